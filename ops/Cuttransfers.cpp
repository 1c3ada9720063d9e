#include "Cuttransfers.h"

#include "Commonutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

CCutTransfers::CCutTransfers(QString folder) : m_Folder(std::move(folder)) {}

QString CCutTransfers::StateFolder(const QString& name)
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG state folders count only when given as absolute paths.
    if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.local/state";
    return base + "/korvanext/" + name;
}

// One file per port, its path percent-encoded into a single name.
QString CCutTransfers::File(const QString& device) const
{
    return m_Folder + "/" + QString::fromLatin1(QUrl::toPercentEncoding(device));
}

void CCutTransfers::Mark(const QString& device)
{
    m_Ports.insert(device);
    if (m_Folder.isEmpty() || !QDir().mkpath(m_Folder)) return;
    QFile::setPermissions(m_Folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // A note that cannot be written costs only the hint of the next run.
    WriteFileAtomically(File(device),
                        (device + "\n" + QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + "\n").toUtf8());
}

void CCutTransfers::Clear(const QString& device)
{
    m_Ports.remove(device);
    if (!m_Folder.isEmpty()) QFile::remove(File(device));
}

bool CCutTransfers::Contains(const QString& device) const
{
    if (m_Ports.contains(device)) return true;
    return !m_Folder.isEmpty() && QFileInfo(File(device)).isFile();
}

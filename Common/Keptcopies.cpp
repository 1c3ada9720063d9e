#include "Keptcopies.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Parametry.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
const char* const kConfiguration = "configuration.kvx";
const char* const kImage = "image.bin";
const char* const kPartial = ".partial";
const char* const kStamp = "yyyy-MM-ddTHH-mm-ss.zzz'Z'";

// Writes the file whole and reads it back: a copy that cannot be read as
// written does not count.
bool WriteChecked(const QString& path, const QByteArray& bytes, QString& reason)
{
    TFileStatus status;
    QByteArray back;
    if (!WriteFileAtomically(path, bytes, &status) || !ReadFileBounded(path, bytes.size(), back, &status)) {
        reason = status.Reason;
        return false;
    }
    if (back != bytes) {
        reason = "the file read back differs from what was written";
        return false;
    }
    return true;
}

// The newest copy of a serial number holds exactly these bytes.
bool SameAsNewest(const std::vector<TKeptCopy>& kept, const QByteArray& bytes)
{
    QByteArray newest;
    return !kept.empty() && ReadFileBounded(kept.front().ImageFile(), bytes.size(), newest) && newest == bytes;
}

QString SystemReason(int error, const char* fallback)
{
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString(fallback);
}
}  // namespace

QString TKeptCopy::ConfigurationFile() const { return QDir(folder).filePath(kConfiguration); }
QString TKeptCopy::ImageFile() const { return QDir(folder).filePath(kImage); }

CKeptCopies::CKeptCopies(QString root) : m_Root(root.isEmpty() ? DefaultRoot() : std::move(root)) {}

QString CKeptCopies::DefaultRoot()
{
    // The window's AppDataLocation; spelled out so the command-line tool, which has
    // another application name, finds the same copies.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/korvanext/backups";
}

QString CKeptCopies::FolderName(const QString& serial)
{
    QString name;
    for (const QChar c : serial) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        name += plain ? c : QChar('_');
    }
    // No ".", "..", nor a hidden folder that a listing would pass over.
    for (int i = 0; i < name.size() && name[i] == '.'; ++i) name[i] = '_';
    return name.isEmpty() ? QString("unknown") : name;
}

CKeptCopies::TResult CKeptCopies::Keep(const std::vector<uint8_t>& image, const CParameters& decoded) const
{
    TResult r;
    const QString serial = FromBytes(decoded.GetValue("SerialNum", 0));
    const QDir serialDir(QDir(m_Root).filePath(FolderName(serial)));
    r.folder = serialDir.path();
    errno = 0;
    if (!QDir().mkpath(serialDir.path())) {
        r.reason = SystemReason(errno, "the folder cannot be created");
        return r;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), int(image.size()));
    // Only this gateway's copies count (an unknown serial number is a folder of its own).
    const std::vector<TKeptCopy> kept = Stamped(serialDir.path());
    if (SameAsNewest(kept, bytes)) {
        r.ok = true;
        r.folder = kept.front().folder;
        return r;
    }
    QString stamp = QDateTime::currentDateTimeUtc().toString(kStamp);
    // Two copies within a millisecond get the next one.
    for (QDateTime t = QDateTime::currentDateTimeUtc(); serialDir.exists(stamp) || serialDir.exists(stamp + kPartial);) {
        t = t.addMSecs(1);
        stamp = t.toString(kStamp);
    }
    const QString partial = serialDir.filePath(stamp + kPartial);
    const QString final = serialDir.filePath(stamp);
    r.folder = final;
    errno = 0;
    if (!QDir().mkdir(partial)) {
        r.reason = SystemReason(errno, "the folder cannot be created");
        return r;
    }
    // The image holds the gateway's PIN and service password: for the user's eyes only.
    QFile::setPermissions(partial, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const std::string text = decoded.SaveToText();
    const bool written =
        WriteChecked(QDir(partial).filePath(kImage), bytes, r.reason) &&
        WriteChecked(QDir(partial).filePath(kConfiguration), QByteArray(text.data(), int(text.size())), r.reason);
    errno = 0;
    if (!written || !QDir().rename(partial, final)) {
        if (written) r.reason = SystemReason(errno, "the folder cannot be renamed");
        QDir(partial).removeRecursively();
        return r;
    }
    r.ok = r.kept = true;
    return r;
}

namespace {
void NewestFirst(std::vector<TKeptCopy>& copies)
{
    std::sort(copies.begin(), copies.end(), [](const TKeptCopy& a, const TKeptCopy& b) {
        return a.time != b.time ? a.time > b.time : a.folder > b.folder;
    });
}
}  // namespace

std::vector<TKeptCopy> CKeptCopies::Stamped(const QString& serialFolder)
{
    std::vector<TKeptCopy> copies;
    for (const QFileInfo& copy : QDir(serialFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDateTime time = QDateTime::fromString(copy.fileName(), kStamp);
        if (!time.isValid()) continue;  // a copy being written, or something else
        time.setTimeSpec(Qt::UTC);
        TKeptCopy c;
        c.folder = copy.filePath();
        c.time = time;
        if (QFileInfo::exists(c.ImageFile()) && QFileInfo::exists(c.ConfigurationFile())) copies.push_back(std::move(c));
    }
    NewestFirst(copies);
    return copies;
}

std::vector<TKeptCopy> CKeptCopies::List(const QString& serial) const
{
    std::vector<TKeptCopy> copies;
    CParameters p;
    BuildCatalogue(p);
    const QDir root(m_Root);
    for (const QFileInfo& serialDir : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!serial.isEmpty() && serialDir.fileName() != FolderName(serial)) continue;
        for (TKeptCopy& c : Stamped(serialDir.filePath())) {
            // A file that does not load leaves the registry as it was: start from the defaults.
            p.SetAllDefaults();
            p.LoadFromFile(c.ConfigurationFile().toLocal8Bit().toStdString());
            c.serial = FromBytes(p.GetValue("SerialNum", 0));
            c.firmware = FromBytes(p.GetValue("SWVer", 0));
            copies.push_back(std::move(c));
        }
    }
    NewestFirst(copies);
    return copies;
}

#include "Uucplock.h"

#include "Commonutils.h"

#include <QFile>
#include <QFileInfo>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
QString LockName(const QString& device) { return "LCK.." + QFileInfo(device).fileName(); }

// The process number in a lock file, 0 when there is none.
pid_t LockPid(const QString& file)
{
    QByteArray bytes;
    if (!ReadFileBounded(file, 64, bytes)) return 0;
    int pid = 0;
    const QByteArray text = bytes.trimmed();
    if (bytes.size() == 4 && !text.isEmpty() && !std::isdigit(static_cast<unsigned char>(text[0])))
        std::memcpy(&pid, bytes.constData(), 4);  // the binary form of older programs
    else
        pid = ParseNumber(bytes.constData());
    return pid > 0 ? pid_t(pid) : 0;
}

bool Alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }
}  // namespace

const QStringList& UucpLockFolders()
{
    static const QStringList folders{"/run/lock", "/var/lock"};
    return folders;
}

pid_t UucpLockOwner(const QString& device, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const pid_t pid = LockPid(folder + "/" + LockName(device));
        if (Alive(pid)) return pid;
    }
    return 0;
}

QString ProcessName(pid_t pid)
{
    QByteArray name;
    if (!ReadFileBounded(QString("/proc/%1/comm").arg(pid), 256, name)) return {};
    return QString::fromLocal8Bit(name.trimmed());
}

bool TUucpLock::Acquire(const QString& device, pid_t& holder)
{
    Release();
    holder = UucpLockOwner(device, m_Folders);
    if (holder == ::getpid()) holder = 0;  // this process holds it already, under another user of the port
    if (holder) return false;
    for (const QString& folder : m_Folders) {
        const QByteArray dir = QFile::encodeName(folder);
        if (::access(dir.constData(), W_OK | X_OK) != 0) continue;
        const QString target = folder + "/" + LockName(device);
        const QByteArray file = QFile::encodeName(target);
        // Written whole under a name of its own, then linked into place: a
        // reader never sees a half-written number, and an existing lock is
        // never overwritten.
        const QByteArray temp = QFile::encodeName(folder + QString("/LTMP.%1").arg(::getpid()));
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        char text[16];
        const int n = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
        const bool written = ::write(fd, text, size_t(n)) == n;
        ::close(fd);
        bool linked = false;
        for (int attempt = 0; written && attempt < 2 && !linked; ++attempt) {
            if (::link(temp.constData(), file.constData()) == 0) {
                linked = true;
                break;
            }
            if (errno != EEXIST) break;
            const pid_t pid = LockPid(target);
            if (pid == ::getpid()) break;  // this process holds it already, under another user of the port
            if (Alive(pid)) {
                holder = pid;
                ::unlink(temp.constData());
                return false;
            }
            ::unlink(file.constData());  // stale: its process is gone
        }
        ::unlink(temp.constData());
        if (linked) m_File = target;
        return true;
    }
    return true;
}

void TUucpLock::Release()
{
    if (m_File.isEmpty()) return;
    // Only a lock that still names this process is removed.
    if (LockPid(m_File) == ::getpid()) ::unlink(QFile::encodeName(m_File).constData());
    m_File.clear();
}

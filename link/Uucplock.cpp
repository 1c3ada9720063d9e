#include "Uucplock.h"

#include "Commonutils.h"
#include "Netport.h"
#include "Transport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The device behind any links; the path as given where it cannot be resolved.
QString RealPath(const QString& path)
{
    char real[PATH_MAX];
    if (::realpath(QFile::encodeName(path).constData(), real)) return QFile::decodeName(real);
    return QDir::cleanPath(path);
}

// The names programs give the lock of a device opened by this path.
void AddLockNames(const QString& path, QStringList& names)
{
    if (path.startsWith("/dev/")) names << "LCK.." + path.mid(5).replace('/', '_');
    names << "LCK.." + QFileInfo(path).fileName();
}

// The process number in a lock file, 0 when there is none.
pid_t LockPid(const QString& file)
{
    QByteArray bytes;
    if (!ReadFileBounded(file, 64, bytes)) return 0;
    int pid = 0;
    const QByteArray text = bytes.trimmed();
    if (bytes.size() == 4 && !text.isEmpty() && !std::isdigit(static_cast<unsigned char>(text[0])))
        std::memcpy(&pid, bytes.constData(), 4);  // the binary form of older programs
    else pid = ParseNumber(bytes.constData());
    return pid > 0 ? pid_t(pid) : 0;
}

bool Alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }
}  // namespace

const QStringList& UucpLockFolders()
{
    static const QStringList folders{"/run/lock", "/var/lock"};
    return folders;
}

QStringList UucpLockNames(const QString& device, const QStringList& linkFolders)
{
    const QString real = RealPath(device);
    QStringList names;
    AddLockNames(real, names);
    AddLockNames(QDir::cleanPath(device), names);
    for (const QString& folder : linkFolders) {
        const QFileInfoList links = QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& link : links)
            if (link.isSymLink() && RealPath(link.filePath()) == real) AddLockNames(link.filePath(), names);
    }
    names.removeDuplicates();
    return names;
}

pid_t UucpLockOwner(const QString& device, const QStringList& folders)
{
    const QStringList names = UucpLockNames(device);
    for (const QString& folder : folders)
        for (const QString& name : names) {
            const pid_t pid = LockPid(folder + "/" + name);
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

QString ProcessText(pid_t pid)
{
    const QString name = ProcessName(pid);
    return QString("process %1%2").arg(pid).arg(name.isEmpty() ? QString() : " (" + name + ")");
}

bool TUucpLock::Acquire(const QString& device, pid_t& holder)
{
    Release();
    // Any live holder under any of the device's names keeps it; this program
    // writes only the name of the real device, so that two devices never share
    // a lock and the sessions of a fleet never lock each other out.
    const QStringList names = UucpLockNames(device);
    holder = 0;
    for (const QString& folder : m_Folders)
        for (const QString& name : names) {
            const pid_t pid = LockPid(folder + "/" + name);
            if (Alive(pid) && pid != ::getpid()) holder = pid;  // this process's own lock is another user of the port
        }
    if (holder) return false;
    for (const QString& folder : m_Folders) {
        const QByteArray dir = QFile::encodeName(folder);
        if (::access(dir.constData(), W_OK | X_OK) != 0) continue;
        const QString target = folder + "/" + names.front();
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

QString SessionLockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const QByteArray dir = QFile::encodeName(runtime + "/korvanext");
        if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST)
            if (::access(dir.constData(), W_OK | X_OK) == 0) return QFile::decodeName(dir);
    }
    if (::access("/run/lock", W_OK | X_OK) == 0) return "/run/lock";
    return QDir::tempPath();
}

QString NetworkLockKey(const QString& url)
{
    TNetworkAddress a;
    if (!ParseNetworkPort(url, a)) return {};
    // Percent-encoded with '_' among the encoded, so that no two hosts and ports give one key.
    return QString::fromLatin1(QString::fromStdString(a.host).toLower().toUtf8().toPercentEncoding({}, "_~") + "_" +
                               QByteArray::fromStdString(a.port));
}

namespace {
pid_t SessionPid(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    const int pid = n > 0 ? ParseNumber(text) : 0;
    return pid > 0 ? pid_t(pid) : 0;
}
}  // namespace

bool TSessionLock::Acquire(const QString& key, int waitMs, pid_t& holder)
{
    Release();
    holder = 0;
    if (m_Folder.isEmpty() || key.isEmpty()) return true;
    // The user's number in the name: the shared folders hold every user's locks.
    const QByteArray path = QFile::encodeName(m_Folder + QString("/korvanext-%1-%2.lock").arg(::geteuid()).arg(key));
    const long long deadline = NowMs() + std::max(waitMs, 0);
    for (;;) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return true;
        struct stat st {};
        // Another user's file there could keep this one out for ever: it is not trusted.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(fd);
            return true;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const pid_t pid = SessionPid(fd);
            if (error != EWOULDBLOCK || pid == ::getpid()) {
                ::close(fd);
                return true;
            }
            const long long left = deadline - NowMs();
            if (left <= 0) {
                holder = Alive(pid) ? pid : 0;
                ::close(fd);
                return false;
            }
            Clock().Sleep(int(std::min(left, 50LL)));
        }
        // The holder before removes the file as it lets go: a lock on a file no
        // longer at the path (or replaced there) locks nothing, so take the path's.
        struct stat now {};
        if (::stat(path.constData(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            ::close(fd);
            continue;
        }
        char text[16];
        const int n = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
        // Held even where the number cannot be written: a refusal then names no process.
        const bool named = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text, size_t(n), 0) == n;
        (void)named;
        m_Fd = fd;
        m_Path = path;
        return true;
    }
}

void TSessionLock::Release()
{
    if (m_Fd < 0) return;
    // Emptied first: a number left behind would name this process after it let
    // go. Removed while still locked, so that a waiting taker sees it gone.
    const bool emptied = ::ftruncate(m_Fd, 0) == 0;
    (void)emptied;
    ::unlink(m_Path.constData());
    ::flock(m_Fd, LOCK_UN);
    ::close(m_Fd);
    m_Fd = -1;
    m_Path.clear();
}

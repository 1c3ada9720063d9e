#include "Commonutils.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QtGlobal>
#include <zlib.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int ParseNumber(const char* p)
{
    if (!p) return 0;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return int(v);
}

int ParseNumber(const std::string& text) { return ParseNumber(text.c_str()); }

std::string NumberText(long long value) { return std::to_string(value); }

uint16_t BlockChecksum(const uint8_t* data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += data[i];
    return uint16_t(~sum & 0xFFFF);
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    // The firmware's checksum is zlib's CRC-32 (reflected 0xEDB88320, chained as zlib chains it).
    return uint32_t(crc32_z(crc, data, size));
}

QString Substitute(const QString& format, const QStringList& args)
{
    QString out;
    out.reserve(format.size() + 32);
    int next = 0;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const QChar f = format[i + 1];
            if (f == 's' || f == 'i' || f == 'd') {
                if (next < args.size()) out += args[next];
                ++next;
                ++i;
                continue;
            }
            if (f == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString Substitute(const QString& format, std::initializer_list<QString> args)
{
    return Substitute(format, QStringList(args));
}

// ---------------------------------------------------------------- files

static bool Fail(TFileStatus* status, TFileStatus::TKind kind, const QString& reason)
{
    if (status) *status = {kind, reason};
    return false;
}

static bool FailErrno(TFileStatus* status, int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return Fail(status, TFileStatus::Missing, "no such file");
    case EACCES:
    case EPERM: return Fail(status, TFileStatus::Permission, "permission denied");
    case EROFS: return Fail(status, TFileStatus::Permission, "read-only file system");
    case EISDIR: return Fail(status, TFileStatus::Folder, "it is a folder");
    case ENOSPC:
    case EDQUOT: return Fail(status, TFileStatus::NoSpace, "no space left on the device");
    default: return Fail(status, TFileStatus::Failed, QString::fromLocal8Bit(std::strerror(error)));
    }
}

static QString TooLarge(qint64 size, qint64 maxSize)
{
    return QString("too large (%1 bytes, at most %2)").arg(size).arg(maxSize);
}

TFdCloser::~TFdCloser()
{
    if (fd >= 0) ::close(fd);
}

bool ReadFileBounded(const QString& path, qint64 maxSize, QByteArray& bytes, TFileStatus* status)
{
    bytes.clear();
    if (status) *status = {};
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Looked at before opening: opening a device or a FIFO can block or act on hardware.
    if (path.isEmpty() || ::stat(name.constData(), &st) != 0) return FailErrno(status, path.isEmpty() ? ENOENT : errno);
    if (S_ISDIR(st.st_mode)) return Fail(status, TFileStatus::Folder, "it is a folder");
    if (!S_ISREG(st.st_mode)) return Fail(status, TFileStatus::NotRegular, "not a regular file");
    if (st.st_size > maxSize) return Fail(status, TFileStatus::TooLarge, TooLarge(st.st_size, maxSize));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FailErrno(status, errno);
    const TFdCloser closer{fd};
    if (::fstat(fd, &st) != 0) return FailErrno(status, errno);
    if (!S_ISREG(st.st_mode)) return Fail(status, TFileStatus::NotRegular, "not a regular file");
    QByteArray data;
    data.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FailErrno(status, errno);
        }
        if (n == 0) break;
        if (data.size() + n > maxSize) return Fail(status, TFileStatus::TooLarge, TooLarge(data.size() + n, maxSize));
        data.append(chunk, qsizetype(n));
    }
    bytes = std::move(data);
    return true;
}

static long SystemWrite(int fd, const void* data, unsigned long size) { return long(::write(fd, data, size)); }

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileStatus* status)
{
    return WriteFileAtomically(path, bytes, status, &SystemWrite);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileStatus* status, TWriteCall writeCall)
{
    if (status) *status = {};
    if (path.isEmpty()) return FailErrno(status, ENOENT);
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) {
        // Renaming over a device or a folder would replace it, not write into it.
        if (S_ISDIR(st.st_mode)) return Fail(status, TFileStatus::Folder, "it is a folder");
        if (!S_ISREG(st.st_mode)) return Fail(status, TFileStatus::NotRegular, "not a regular file");
    } else if (errno != ENOENT) {
        return FailErrno(status, errno);
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(status, TFileStatus::NoFolder, "the folder does not exist");
    if (::access(folder.constData(), W_OK) != 0) return FailErrno(status, errno);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(status, TFileStatus::Failed, file.errorString());
    // Written straight to the descriptor: Qt's buffer would meet a full disk
    // only inside commit(), which then loses the error.
    const int fd = file.handle();
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const long n = writeCall(fd, data, static_cast<unsigned long>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            file.cancelWriting();
            return FailErrno(status, error);
        }
        data += n;
        left -= n;
    }
    // Some file systems report a full disk or an I/O error only here.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        file.cancelWriting();
        return FailErrno(status, error);
    }
    if (!file.commit()) return Fail(status, TFileStatus::Failed, file.errorString());
    return true;
}

namespace {
// Writes every byte and syncs them: 0, or the system's error.
int WriteAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        data += n;
        left -= n;
    }
    return ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
}
}  // namespace

bool CreateFileExclusively(const QString& path, const QByteArray& bytes, unsigned mode, TFileStatus* status)
{
    if (status) *status = {};
    if (path.isEmpty()) return FailErrno(status, ENOENT);
    const QByteArray name = QFile::encodeName(path);
    const QFileInfo info(path);
    QByteArray temp = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".XXXXXX");
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Fail(status, TFileStatus::NoFolder, "the folder does not exist")
                               : FailErrno(status, errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = ::fchmod(fd, mode_t(mode) & ~mask) != 0 ? errno : WriteAll(fd, bytes);
    ::close(fd);
    if (error == 0 && ::link(temp.constData(), name.constData()) != 0) {
        error = errno;
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
            // A file system without hard links: created in place, still never over another file.
            const int direct =
                ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(mode));
            error = direct < 0 ? errno : WriteAll(direct, bytes);
            if (direct >= 0) ::close(direct);
            if (direct >= 0 && error != 0) ::unlink(name.constData());
        }
    }
    ::unlink(temp.constData());
    if (error == EEXIST) return Fail(status, TFileStatus::Exists, "it exists already and is not replaced");
    return error == 0 || FailErrno(status, error);
}

void ReportCheck(const char* source, const char* condition)
{
    static QSet<QString> reported;
    const QString key = QString::fromLatin1(source) + ": " + QString::fromLatin1(condition);
    if (reported.contains(key)) return;
    reported.insert(key);
    qWarning("Consistency check failed in %s: %s", source, condition);
}

static QString WithSeparator(QString path)
{
    if (!path.endsWith('/')) path += '/';
    return path;
}

QString ProgramFolder()
{
    const QString exeDir = WithSeparator(QCoreApplication::applicationDirPath());
    if (QFileInfo::exists(exeDir + "L_Init.ini")) return exeDir;
    const QString shared = QDir::cleanPath(exeDir + "../share/korvanext");
    if (QFileInfo::exists(shared + "/L_Init.ini")) return WithSeparator(shared);
    return exeDir;
}

bool CreatePath(const QString& path) { return QDir().mkpath(path); }

QString SettingsFolder()
{
    // $XDG_CONFIG_HOME/korvanext/, made only when it is missing.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.isEmpty()) {
        const QString folder = WithSeparator(config) + "korvanext/";
        if (CreatePath(folder)) return folder;
    }
    return ProgramFolder();
}

QString OldSettingsFilePath()
{
    // Where earlier versions kept the settings; only read, never created.
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QString() : WithSeparator(docs) + "KorvanextWin program/KorvanextWin.ini";
}

QString WithoutMnemonic(const QString& text)
{
    QString plain;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

void PauseWithEvents(int milliseconds) { Clock().Pause(milliseconds); }

QString BeyondBytes(const QString& s)
{
    QStringList beyond;
    for (const QChar c : s)
        if (c.unicode() > 0xFF && beyond.size() < 3) beyond << "'" + QString(c) + "'";
    if (beyond.isEmpty()) return {};
    return "holds " + beyond.join(", ") + ", which the gateway cannot store (it keeps Latin-1 characters)";
}

QString ShownText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) shown += QString::asprintf("\\x%02x", unsigned(u));
        else shown += c;
    }
    return shown;
}

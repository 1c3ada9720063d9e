// Small helpers shared by every part of the tool.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <string>

// Reads a number the way every text of the tool is read: leading white space,
// one optional sign, decimal digits up to the first other character; no digits
// give 0. Saturates instead of wrapping on overflow.
int ParseNumber(const std::string& text);
int ParseNumber(const char* text);
std::string NumberText(long long value);

// Ones' complement of the 16-bit sum of the bytes: the image block checksum.
uint16_t BlockChecksum(const uint8_t* data, size_t size);

// CRC-32 of zlib and IEEE 802.3.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Fills "%s" and "%i"/"%d" placeholders of a (translated) text from the
// arguments in order; "%%" gives "%". Anything else is copied literally, so a
// text can never be interpreted as a printf format. Missing arguments give "".
QString Substitute(const QString& format, std::initializer_list<QString> args);
QString Substitute(const QString& format, const QStringList& args);

// Closes a file descriptor when it goes out of scope.
struct TFdCloser {
    int fd;
    ~TFdCloser();
};

// What went wrong with a file: the kind decides the exit code and the message,
// the reason says it in words ("no such file", "too large: ...").
struct TFileStatus {
    enum TKind {
        Ok,
        Missing,
        NoFolder,
        Permission,
        Folder,
        NotRegular,
        TooLarge,
        NoSpace,
        NotConfiguration,
        Failed,
        Exists
    };
    TKind Kind = Ok;
    QString Reason;
    bool IsOk() const { return Kind == Ok; }
};

// Largest configuration or settings file read: a configuration file is about 12 KB.
constexpr qint64 kMaxConfigFileSize = 1 << 20;

// Reads a whole regular file of at most maxSize bytes. Devices, FIFOs and
// folders are refused before they are opened, so nothing blocks or has side
// effects; a file that grows past maxSize while read is refused too.
bool ReadFileBounded(const QString& path, qint64 maxSize, QByteArray& bytes, TFileStatus* status = nullptr);

// Writes the bytes to a temporary file beside the target, checks that every
// byte reached it (fsync included) and only then renames it over the target,
// so a failed write never destroys the previous file and is never reported as
// success. A target that exists but is no regular file is refused.
using TWriteCall = long (*)(int fd, const void* data, unsigned long size);
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileStatus* status = nullptr);
// The same with the system's write replaced, to test failing devices.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileStatus* status, TWriteCall writeCall);

// Creates a new file holding the bytes, readable as `mode` allows (less the
// umask), and never replaces or follows what is at the path already, a file
// or a link (Exists). Written whole and synced under a temporary name beside
// it first, so the file appears complete or not at all.
bool CreateFileExclusively(const QString& path, const QByteArray& bytes, unsigned mode, TFileStatus* status = nullptr);

// Reports a failed internal consistency check once per distinct message on the
// debug output; the caller then falls back to a safe value.
void ReportCheck(const char* source, const char* condition);

// Folder of the running program's data: the executable's folder when it holds
// L_Init.ini, else ../share/korvanext/ beside it. Ends with a separator.
QString ProgramFolder();
// The user's configuration folder ($XDG_CONFIG_HOME) + "korvanext/", created
// with every missing parent; falls back to the program folder. Ends with a separator.
QString SettingsFolder();
// The settings file of earlier versions, in the documents folder.
QString OldSettingsFilePath();
// Creates every missing folder of the path.
bool CreatePath(const QString& path);

// The text without its mnemonic marker ("&&" is a literal "&").
QString WithoutMnemonic(const QString& text);

// Latin-1 conversion keeps every byte of a parameter value across the widgets.
inline QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), int(s.size())); }
inline std::string ToBytes(const QString& s) { return s.toLatin1().toStdString(); }
// Why ToBytes cannot keep the text: "holds 'X', 'Y', which the gateway cannot
// store (...)" naming up to three characters beyond Latin-1; empty when it can.
QString BeyondBytes(const QString& s);

// Text from a gateway or a file as it may be shown on a terminal or in plain
// output: control characters (C0, DEL, C1) become "\xNN", so a value can
// neither forge lines nor command the terminal.
QString ShownText(const QString& text);

// Waits the given time while the event loop runs (repaint, timers, clicks).
void PauseWithEvents(int milliseconds);

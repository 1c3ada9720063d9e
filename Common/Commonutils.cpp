#include "Commonutils.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QWidget>
#include <QtGlobal>
#include <array>
#include <climits>

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
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
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

bool WriteFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty()) {
        const QString folder = WithSeparator(docs) + "KorvanextWin program/";
        if (CreatePath(folder)) return folder;
    }
    return ProgramFolder();
}

void CentreOn(QWidget* window, const QWidget* mainWindow)
{
    if (!window || !mainWindow) return;
    const QRect m = mainWindow->frameGeometry();
    const QSize own = window->frameGeometry().size();
    int top = m.top() + (m.height() - own.height()) / 2;
    int left = m.left() + (m.width() - own.width()) / 2;
    window->move(qMax(left, 0), qMax(top, 0));
}

void PauseWithEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

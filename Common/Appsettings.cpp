#include "Appsettings.h"

#include "Commonutils.h"
#include "Profile.h"

#include <QFile>
#include <QStringDecoder>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static const char* const kSection = "Settings";

// A value as the file keeps it: one the reader would trim or unquote is put in
// quotes, which the reader takes off again.
static std::string Utf8(const QString& s)
{
    const std::string v = s.toUtf8().toStdString();
    if (v.empty()) return v;
    const char f = v.front(), l = v.back();
    const bool quoted = v.size() >= 2 && (f == '"' || f == '\'') && l == f;
    return f == ' ' || f == '\t' || l == ' ' || l == '\t' || quoted ? '"' + v + '"' : v;
}

// Every character of the value, a byte-order mark at its start included.
static QString FromUtf8(const std::string& s)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decode(QByteArrayView(s.data(), qsizetype(s.size())));
}

void TAppSettings::Read(const QString& path, int screenWidth, int screenHeight)
{
    const CIniFile ini(path);
    Com = FromUtf8(ini.ReadString(kSection, "Com", "Com1"));
    ActLanguage = ini.ReadInteger(kSection, "ActLanguage", 0);
    Left = ini.ReadInteger(kSection, "Left", (screenWidth - DesignWidth) / 2);
    Top = ini.ReadInteger(kSection, "Top", (screenHeight - DesignHeight) / 2);
    Height = ini.ReadInteger(kSection, "Height", DesignHeight);
    Width = ini.ReadInteger(kSection, "Width", DesignWidth);
    ModemNumber = FromUtf8(ini.ReadString(kSection, "ModemNumber", ""));
    IsModem = ini.ReadInteger(kSection, "IsModem", 0) != 0;
    ModemId = FromUtf8(ini.ReadString(kSection, "ModemId", ""));
    ModemInit = FromUtf8(ini.ReadString(kSection, "ModemInit", "ATE0V1&D2"));
    ModemPulse = ini.ReadInteger(kSection, "ModemPulse", 0);
    KeepCopies = ini.ReadInteger(kSection, "KeepCopies", 1);
}

bool TAppSettings::Write(const QString& path, TFileStatus* status) const
{
    CIniFile ini(path);
    ini.WriteString(kSection, "Com", Utf8(Com));
    ini.WriteInteger(kSection, "ActLanguage", ActLanguage);
    ini.WriteInteger(kSection, "Left", Left);
    ini.WriteInteger(kSection, "Top", Top);
    ini.WriteInteger(kSection, "Height", Height);
    ini.WriteInteger(kSection, "Width", Width);
    ini.WriteString(kSection, "ModemNumber", Utf8(ModemNumber));
    ini.WriteInteger(kSection, "IsModem", IsModem ? 1 : 0);
    ini.WriteString(kSection, "ModemId", Utf8(ModemId));
    ini.WriteString(kSection, "ModemInit", Utf8(ModemInit));
    ini.WriteInteger(kSection, "ModemPulse", ModemPulse);
    ini.WriteInteger(kSection, "KeepCopies", KeepCopies);
    return ini.Save(path, status);
}

QString TAppSettings::WriteProblem(const QString& path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(file.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return "it is a folder";
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return "not a regular file";
        if (::access(file.constData(), W_OK) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

QRect TAppSettings::Placement(const std::vector<QRect>& screens, int minWidth, int minHeight,
                              const QMargins& frame) const
{
    // Left and Top place the frame, Width and Height the inside: the whole frame fits.
    const QSize borders(frame.left() + frame.right(), frame.top() + frame.bottom());
    QRect place(QPoint(Left, Top), QSize(std::max(Width, minWidth), std::max(Height, minHeight)) + borders);
    if (screens.empty()) return place;
    QRect screen = screens.front();
    long long best = 0;
    for (const QRect& s : screens) {
        const QRect common = s.intersected(place);
        const long long area = common.isEmpty() ? 0 : (long long)common.width() * common.height();
        if (area > best) {
            best = area;
            screen = s;
        }
    }
    place.setSize(place.size().boundedTo(screen.size()));
    if (place.right() > screen.right()) place.moveRight(screen.right());
    if (place.bottom() > screen.bottom()) place.moveBottom(screen.bottom());
    if (place.left() < screen.left()) place.moveLeft(screen.left());
    if (place.top() < screen.top()) place.moveTop(screen.top());
    return QRect(place.topLeft(), place.size() - borders);
}

QString SettingsFilePath() { return SettingsFolder() + "KorvanextWin.ini"; }

QString SettingsReadPath()
{
    const QString path = SettingsFilePath();
    if (QFileInfo::exists(path)) return path;
    const QString old = OldSettingsFilePath();
    return !old.isEmpty() && QFileInfo::exists(old) ? old : path;
}

bool PlaceOnScreen(const QRect& frame, const std::vector<QRect>& screens)
{
    // The title bar's corner must be reachable to move the window back.
    const QPoint corner = frame.topLeft();
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& s) { return s.contains(corner); });
}

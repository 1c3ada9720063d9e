// The application settings file: section "Settings" of KorvanextWin.ini in the
// settings folder, read once at start and written once at the end.
#pragma once
#include "Commonutils.h"

#include <QMargins>
#include <QRect>
#include <QString>
#include <vector>

struct TAppSettings {
    QString Com = "Com1";
    int ActLanguage = 0;
    int Left = 0;
    int Top = 0;
    int Height = 715;
    int Width = 891;
    QString ModemNumber;
    bool IsModem = false;
    QString ModemId;
    QString ModemInit = "ATE0V1&D2";  // modem initialisation string
    int ModemPulse = 0;               // 1: pulse dialling
    int KeepCopies = 1;               // 1: keep the gateway's configuration before a write replaces it

    static constexpr int DesignWidth = 891;
    static constexpr int DesignHeight = 715;

    // Missing file or keys give the defaults; the default place centres the
    // design size on a screen of the given size.
    void Read(const QString& path, int screenWidth, int screenHeight);
    bool Write(const QString& path, TFileStatus* status = nullptr) const;
    // Why the settings file cannot be written (replaced through a file beside
    // it), empty when it can.
    static QString WriteProblem(const QString& path);

    // The stored place and size, made to fit the available area of a screen
    // (the one it overlaps most, else the first): a window larger than the
    // screen shrinks to it, one partly or wholly off it moves onto it. The
    // frame the window system puts around it (title bar, borders) fits too:
    // the result is the frame's place and the size inside it.
    QRect Placement(const std::vector<QRect>& screens, int minWidth = 0, int minHeight = 0,
                    const QMargins& frame = {}) const;
};

// Where the settings are written.
QString SettingsFilePath();
// Where they are read from: the written file, or while there is none the file
// an earlier version kept in the documents folder.
QString SettingsReadPath();

// Whether a window's frame at this place shows its top left corner on one of
// the screens; a place that is not (or one a compositor does not reveal, as on
// Wayland) is not worth keeping.
bool PlaceOnScreen(const QRect& frame, const std::vector<QRect>& screens);

#include "Appsettings.h"
#include "Commonutils.h"
#include "Dialing.h"
#include "Hayesmodem.h"
#include "Terminal.h"
#include "Globals.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Profile.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Settings, DefaultsAndRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("KorvanextWin.ini");
    TAppSettings s;
    s.Read(path, 1280, 1024);
    EXPECT_EQ(s.Com, "Com1");
    EXPECT_EQ(s.Width, 891);
    EXPECT_EQ(s.Height, 715);
    EXPECT_EQ(s.Left, (1280 - 891) / 2);
    EXPECT_EQ(s.Top, (1024 - 715) / 2);
    EXPECT_FALSE(s.IsModem);
    s.Com = "/dev/ttyUSB0";
    s.ModemNumber = "+420 123";
    s.IsModem = true;
    s.Left = -20;  // kept as stored
    ASSERT_TRUE(s.Write(path));
    TAppSettings t;
    t.Read(path, 100, 100);
    EXPECT_EQ(t.Com, "/dev/ttyUSB0");
    EXPECT_EQ(t.ModemNumber, "+420 123");
    EXPECT_TRUE(t.IsModem);
    EXPECT_EQ(t.Left, -20);
    CIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Settings", "IsModem", ""), "1");
}

TEST(Settings, TheWindowReadsThemOnceAndWritesThemWhenItCloses)
{
    const QString path = SettingsFilePath();
    QFile::remove(path);
    {
        TGlobalObjects globals;
        Terminal().SetTelephony(std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{}, false));
        CIniFile ini;
        ini.WriteInteger("Settings", "IsModem", 1);
        ini.WriteInteger("Settings", "ActLanguage", 99);  // out of range: falls back
        ini.WriteString("Settings", "Com", "Com4");
        ASSERT_TRUE(ini.Save(path));
        TFMain main;
        EXPECT_FALSE(main.m_Ops.IsModem);  // no modem device: cable mode
        EXPECT_EQ(main.m_Ops.ComPort, "Com4");
        EXPECT_EQ(Language().Language(main.CurrentLanguage()).Id, "Eng");
        // The design width, unless the screen is narrower.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(main.width(), std::min(891, screen.width()));
        main.resize(950, 700);
        main.close();
    }
    CIniFile written(path);
    EXPECT_EQ(written.ReadInteger("Settings", "IsModem", -1), 0);
    EXPECT_EQ(written.ReadInteger("Settings", "Width", 0), 950);
    EXPECT_EQ(written.ReadInteger("Settings", "Height", 0), 700);
    EXPECT_EQ(written.ReadString("Settings", "Com", ""), "Com4");
    EXPECT_TRUE(written.KeyExists("Settings", "ModemId"));
}

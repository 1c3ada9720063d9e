#include "Language.h"
#include "Dialing.h"
#include "Hayesmodem.h"
#include "Serialport.h"
#include "Terminal.h"
#include "Settingsdialog.h"
#include "apptest.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
void Put(const QString& path, const QByteArray& bytes = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A pseudo-terminal whose far end the test reads: what a probe sends arrives there.
struct Pty {
    Pty()
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
        termios t{};
        ::tcgetattr(slave, &t);
        cfsetspeed(&t, B9600);
        t.c_cflag |= HUPCL;
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty()
    {
        ::close(master);
        ::close(slave);
    }
    QByteArray Sent(int ms) const
    {
        QByteArray got;
        pollfd p{master, POLLIN, 0};
        while (::poll(&p, 1, ms) > 0) {
            char buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, int(n));
        }
        return got;
    }
    termios Settings() const
    {
        termios t{};
        ::tcgetattr(slave, &t);
        return t;
    }
    int master = -1, slave = -1;
    QString path;
};
}  // namespace

TEST(Devices, ListedFromWhatTheSystemSaysWithoutOpeningThem)
{
    QTemporaryDir root;
    TDeviceRoots r{root.path() + "/dev", root.path() + "/sys", root.path() + "/run"};
    const QString tty = r.sys + "/class/tty/";
    Put(tty + "ttyS0/type", "4\n");  // a UART
    Put(tty + "ttyS1/type", "0\n");  // a legacy place with nothing behind it
    Put(tty + "ttyS2/uevent");       // neither type nor driver
    Put(tty + "ttyUSB0/device/uevent");
    Put(tty + "ttyUSB0/dev", "188:0\n");
    Put(tty + "ttyUSB10/device/uevent");
    Put(tty + "ttyUSB2/device/uevent");
    Put(tty + "ttyACM0/device/uevent");
    Put(tty + "ttyUSB3/device/uevent");  // gone from /dev meanwhile
    Put(tty + "tty1/device/uevent");     // a console, not a serial port
    Put(r.run + "/udev/data/c188:0", "E:ID_VENDOR=FTDI\nE:ID_MODEL=FT232R_USB_UART\nE:ID_SERIAL=x\n");
    // The device nodes are FIFOs: opening one to read would block the listing.
    QDir().mkpath(r.dev + "/serial/by-id");
    for (const char* n : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyACM0", "tty1"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(r.dev + "/" + n).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("../../ttyACM0", r.dev + "/serial/by-id/usb-Arduino_Uno_85736-if00"));
    ASSERT_TRUE(QFile::link("../../ttyUSB0", r.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"));

    const std::vector<TSerialDevice> found = TComm::ListSerialDevices(r);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].device, r.dev + "/ttyACM0");
    EXPECT_EQ(found[0].path, r.dev + "/serial/by-id/usb-Arduino_Uno_85736-if00");
    EXPECT_EQ(found[0].name, "usb-Arduino_Uno_85736-if00");
    EXPECT_EQ(found[1].device, r.dev + "/ttyS0");
    EXPECT_EQ(found[1].path, r.dev + "/ttyS0");
    EXPECT_EQ(found[1].name, "ttyS0");
    EXPECT_EQ(found[2].name, "FTDI FT232R USB UART");
    EXPECT_EQ(found[2].path, r.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    EXPECT_EQ(found[3].name, "ttyUSB2");
    EXPECT_EQ(found[4].name, "ttyUSB10");
}

TEST(Devices, TheProbeAsksOnlyFreePortsAndRestoresTheirSettings)
{
    Pty free;
    ASSERT_FALSE(free.path.isEmpty());
    const termios before = free.Settings();
    TModemProbe r = CHayesTelephony::Probe("free", free.path, 100);
    EXPECT_EQ(r.result, TModemProbe::NoAnswer);
    EXPECT_EQ(free.Sent(100), "AT\r");
    const termios after = free.Settings();
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);

    // Held by another program's lock: not opened for asking, nothing sent.
    Pty locked;
    const int other = ::open(locked.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    r = CHayesTelephony::Probe("locked", locked.path, 100);
    EXPECT_EQ(r.result, TModemProbe::InUse);
    EXPECT_EQ(r.detail, "locked");
    EXPECT_EQ(locked.Sent(100), "");
    ::close(other);

    // A UUCP lock file counts while the process that wrote it lives.
    QTemporaryDir locks;
    const QString lockFile = locks.filePath("LCK.." + QFileInfo(free.path).fileName());
    Put(lockFile, QByteArray::number(qint64(::getpid())).rightJustified(10, ' ') + "\n");
    r = CHayesTelephony::Probe("uucp", free.path, 100, {locks.path()});
    EXPECT_EQ(r.result, TModemProbe::InUse);
    EXPECT_EQ(r.detail, QString("locked by process %1").arg(::getpid()));
    EXPECT_EQ(free.Sent(50), "");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    Put(lockFile, QByteArray::number(qint64(child)) + "\n");  // stale
    r = CHayesTelephony::Probe("stale", free.path, 100, {locks.path()});
    EXPECT_EQ(r.result, TModemProbe::NoAnswer);

    r = CHayesTelephony::Probe("gone", free.path + "-gone", 100);
    EXPECT_EQ(r.result, TModemProbe::CannotOpen);
}

namespace {
struct DevicesModemProbe : AppFixture {};
}  // namespace

TEST_F(DevicesModemProbe, TheSettingsDialogAsksOnRequestAndShowsWhatAnswered)
{
    TSimOptions o;
    o.modem = true;
    StartApp(o);
    Pty quiet;
    Terminal().SetTelephony(std::make_unique<CHayesTelephony>(
        std::vector<std::pair<QString, QString>>{{"Quiet port", quiet.path}, {"Sim modem", port}}, false));
    TFSettingsDialog* d = main->FSettingsDialog;
    QString chosen;
    QTimer::singleShot(100, [&] {
        EXPECT_EQ(quiet.Sent(0), "") << "opening the dialog asks no port";
        d->FindModemsButton->click();
        chosen = d->TD->currentText();
        d->CancelButton->click();
    });
    main->SettingsClick();
    EXPECT_EQ(chosen, "Sim modem");
    EXPECT_EQ(LastMessage(),
              "Quiet port (" + quiet.path + "): " + Text(302) + "\nSim modem (" + port + "): " + Text(301));
    const int fd = ::open(port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200)) << "the port's own settings are back";
}

TEST_F(DevicesModemProbe, AModemLineInUseIsNotAsked)
{
    TSimOptions o;
    o.modem = true;
    StartSim(o);
    CHayesTelephony modem({{"Sim modem", port}}, false);
    ASSERT_TRUE(modem.OpenLine(0, [](unsigned, unsigned, unsigned) {}));
    const std::vector<TModemProbe> results = modem.ProbeDevices(100);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].result, TModemProbe::InUse);
    modem.CloseLine();
    EXPECT_EQ(modem.ProbeDevices(300)[0].result, TModemProbe::Answers);
}

#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "clirun.h"
#include "hostilepeer.h"
#include "simfixture.h"

#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {
struct Link : SimFixture {
    // Expects the call to raise a link error with this code.
    template <class F> void ExpectCode(uint8_t code, F call)
    {
        try {
            call();
            ADD_FAILURE() << "no exception, expected " << LinkErrorName(code);
        } catch (const CCOMTermExp& e) {
            EXPECT_EQ(e.Code, code) << LinkErrorName(e.Code);
        }
    }
    void Open(TSimOptions o = {}, int baud = 19200)
    {
        StartSim(o);
        ASSERT_TRUE(term.Connect(port, baud));
        term.m_Terminator = 0;
    }
    CCOMTerminal term;
};
}  // namespace

TEST_F(Link, EveryKindOfWait)
{
    Open();
    EXPECT_EQ(term.SendAndWait("U", "X", "Y"), 1);
    EXPECT_EQ(term.SendAndWait("X", "Y", "U"), 2);
    EXPECT_EQ(term.SendAndWait("B"), 1);  // zero-ended reply
    EXPECT_EQ(term.m_Buffer[1], 'C');
    EXPECT_EQ(term.SendAndWait("C"), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(term.m_Buffer.data()) + 1, "3.15");
    EXPECT_TRUE(term.SendAndWaitCount("e", 2049));
    EXPECT_EQ(term.m_Count, 2049);
    EXPECT_TRUE(Block1Valid(term.m_Buffer.data() + 1));
    // "Z" answers with a quoted record: wait for its second quote.
    EXPECT_EQ(term.SendAndWait("Z", "\"", "Y"), 1);
    EXPECT_TRUE(term.SendAndWaitNth("", "\"", 2));
    EXPECT_EQ(term.Extract("\"", ";"), "KX2 gateway 3.15");
}

TEST_F(Link, BytesAfterTheExpectedTextStayForTheNextWait)
{
    Open();
    EXPECT_EQ(term.SendAndWait("UX", "X"), 1);
    EXPECT_EQ(term.SendAndWait("", "U"), 1);  // an empty command sends nothing and keeps the reply
    EXPECT_EQ(term.m_Count, 2);
}

TEST_F(Link, AReplySplitOverManyReadsArrivesWhole)
{
    TSimOptions o;
    o.throttleBaud = 115200;  // many small deliveries
    Open(o);
    ASSERT_TRUE(term.SendAndWaitCount("E", 8193));
    const auto img = sim->Image();
    EXPECT_EQ(std::memcmp(term.m_Buffer.data() + 1, img.data() + ImageLayout::Block2Start, 8192), 0);
}

TEST_F(Link, TimeOutIsADeadlineWithTheLineTimeOfTheReply)
{
    TSimOptions o;
    o.throttleBaud = 38400;  // block 2 takes about 2.1 s on this line
    Open(o);
    term.m_Timeout = 500;
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(term.SendAndWaitCount("E", 8193));
    EXPECT_GT(t.elapsed(), 1500);

    sim->SetOption("silentAfter", 0);
    term.m_Timeout = 300;
    t.restart();
    ExpectCode(CE_CONNECTION_TIMEOUT, [&] { term.SendAndWait("U", "X"); });
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_LT(t.elapsed(), 700);
}

TEST_F(Link, UserBreakEndsTheWaitPromptly)
{
    TSimOptions o;
    o.silentAfter = 0;
    Open(o);
    term.m_Timeout = 10000;
    QElapsedTimer t;
    qint64 abortedAt = 0;
    QTimer::singleShot(200, [&] {
        term.m_Abort = true;
        abortedAt = t.elapsed();
    });
    t.start();
    ExpectCode(CE_USER, [&] { term.SendAndWait("B"); });
    EXPECT_LT(t.elapsed() - abortedAt, 100);
    EXPECT_FALSE(term.m_Waiting);
}

TEST_F(Link, LostLineIsReportedAtOnce)
{
    Open();
    term.m_Timeout = 10000;
    QTimer::singleShot(100, [&] { sim->Kill(); });
    QElapsedTimer t;
    t.start();
    ExpectCode(CE_NOT_CONNECTED, [&] { term.SendAndWait("Q", "never"); });
    EXPECT_LT(t.elapsed(), 1000);
    // Writing to the dead line fails as a send error; closing works.
    ExpectCode(CE_SEND_ERROR, [&] { term.SendAndWait("U", "X"); });
    term.Close();
    EXPECT_FALSE(term.m_Comm.Enabled());
}

TEST_F(Link, AVanishedPortIsNotTakenAgainUnderItsOldName)
{
    Open();
    sim->Stop();  // the line is gone; its number is free once we close it
    // Another line appears meanwhile and is usually given the same name.
    CGatewaySim other{TSimOptions{}};
    std::thread appear([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        other.Start();
    });
    ExpectCode(CE_OPEN_ERROR, [&] { term.Connect(port, 9600); });
    appear.join();
    EXPECT_FALSE(term.m_Comm.Enabled());
    other.Stop();
}

TEST_F(Link, OpenFailuresAndParsing)
{
    ExpectCode(CE_OPEN_ERROR, [&] { term.Connect("/dev/no-such-port", 19200); });
    EXPECT_FALSE(term.m_Comm.Enabled());
    Open();
    // An unsupported speed is refused with an error, not by ending the program.
    ExpectCode(CE_OPEN_ERROR, [&] { term.Connect(port, 38400); });
    EXPECT_FALSE(term.m_Comm.Enabled());
    ASSERT_TRUE(term.Connect(port, 19200));
    term.m_Terminator = 0;
    // Another port object cannot take the line while it is open.
    TComm other;
    other.SetDeviceName(port);
    EXPECT_THROW(other.Open(), ECommError);
    EXPECT_FALSE(other.Enabled());

    term.SendAndWait("C");
    ExpectCode(CE_PARSING_ERROR, [&] { term.Extract("C", "no such end"); });
    ExpectCode(CE_PARSING_ERROR, [&] { term.Extract("nothing", "3"); });
    term.Close();
    ExpectCode(CE_SEND_ERROR, [&] { term.SendAndWait("U", "X"); });
}

TEST_F(Link, ExtractCutsTheReply)
{
    Open();
    // Park a reply in the buffer as the GSM module would send it.
    const char reply[] = "\r\n+CSQ:  5 ,0\r\n\r\nOK\r\n";
    std::memcpy(term.m_Buffer.data(), reply, sizeof reply - 1);
    term.m_Count = int(sizeof reply - 1);
    EXPECT_EQ(term.Extract("+CSQ:", ","), "5 ");
    EXPECT_STREQ(term.Received(), "\r\n+CSQ:  5 ");  // the reply now ends at the comma
}

TEST_F(Link, AFullBufferKeepsItsBytesAndEndsTheWait)
{
    Open();
    ASSERT_EQ(term.m_Comm.Write("eEeE", 4), 4);  // 20484 bytes come back
    PumpEvents(400);
    EXPECT_EQ(term.m_Count, int(CCOMTerminal::BufferSize));
    EXPECT_TRUE(term.m_Overflow);
    const auto img = sim->Image();
    EXPECT_EQ(term.m_Buffer[1], img[size_t(ImageLayout::Block1Start)]);
    try {
        term.SendAndWaitNth("", "never", 1);
        ADD_FAILURE() << "a full buffer did not end the wait";
    } catch (const CCOMTermExp& e) {
        EXPECT_EQ(e.Code, CE_PARSING_ERROR);
        EXPECT_TRUE(e.Overflow);
    }
}

// A device that is not the gateway: bytes that drip or flood end each wait by
// its deadline or the buffer's size, and the command line calls it no gateway.
TEST(LinkHostile, DrippingAndFloodingDevicesEndEveryWait)
{
    THostilePeer gps;
    const QString dripping = QString::fromStdString(gps.StartPty(THostilePeer::Drip(50)));
    ASSERT_FALSE(dripping.isEmpty());
    CCOMTerminal term;
    ASSERT_TRUE(term.Connect(dripping, 19200));
    term.m_Terminator = 0;
    term.m_Timeout = 300;
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(term.SendAndWait("U", "X"), CCOMTermExp);
    EXPECT_LT(t.elapsed(), 700);
    EXPECT_GT(term.m_Count, 0);
    term.Close();

    QTemporaryDir dir;
    QString out, err;
    t.restart();
    EXPECT_EQ(RunCli({"identify", "--port", dripping, "--wait", "2"}, dir.path(), out, err,
                     QProcessEnvironment::systemEnvironment(), 10000),
              5)
        << err.toStdString();
    EXPECT_LT(t.elapsed(), 4000);  // twice --wait
    EXPECT_TRUE(err.contains("The device on " + dripping + " is not a gateway of this kind")) << err.toStdString();

    THostilePeer console;
    const QString flooding = QString::fromStdString(console.StartPty(THostilePeer::Flood("login: ")));
    t.restart();
    EXPECT_EQ(RunCli({"identify", "--port", flooding, "--wait", "5"}, dir.path(), out, err,
                     QProcessEnvironment::systemEnvironment(), 10000),
              5)
        << err.toStdString();
    EXPECT_LT(t.elapsed(), 5000);  // the buffer fills before --wait is up
    EXPECT_TRUE(err.contains("The device on " + flooding + " is not a gateway of this kind")) << err.toStdString();
}

TEST(LinkSerialPort, ClosedPortAndDeviceNames)
{
    TComm c;
    c.Close();
    c.PurgeIn();
    c.PurgeOut();
    EXPECT_EQ(c.InQueCount(), -1);
    EXPECT_FALSE(c.GetModemState(4));
    EXPECT_THROW(c.SetDTRState(true), ECommError);
    EXPECT_EQ(TComm::DevicePath("Com1"), "/dev/ttyS0");
    EXPECT_EQ(TComm::DevicePath("COM8"), "/dev/ttyS7");
    EXPECT_EQ(TComm::DevicePath("Com9"), "Com9");
    EXPECT_EQ(TComm::DevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    try {
        c.SetDeviceName("/dev/null");
        c.Open();
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Text, "Invalid device handle, access denied");
        EXPECT_EQ(e.ErrorCode, -1);
        EXPECT_STREQ(e.what(), "Invalid device handle, access denied (Error: -1) ");
    }
}

TEST_F(Link, PortRulesWhileOpen)
{
    StartSim();
    TComm c;
    c.SetDeviceName(port);
    c.SetFlowControl(fcNone);
    c.SetBaudRate(br19200);
    c.Open();
    EXPECT_TRUE(c.Enabled());
    try {
        c.Open();
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Text, "Port already assigned (open)");
    }
    EXPECT_TRUE(c.Enabled());
    c.SetDeviceName(port);  // the same name is allowed
    EXPECT_THROW(c.SetDeviceName("/dev/ttyS3"), ECommError);
    // Modem lines do not apply to a pseudo-terminal: no failure.
    c.SetDTRState(true);
    c.SetRTSState(false);
    EXPECT_THROW(c.SetBaudRate(br56000), ECommError);  // a rate the platform lacks
    int received = 0;
    c.OnRxChar = [&](TComm* p, int n) {
        char buf[64];
        received += p->Read(buf, std::min(n, 64));
    };
    c.SetBaudRate(br19200);
    ASSERT_EQ(c.Write("U", 1), 1);
    PumpEvents(200);
    EXPECT_EQ(received, 1);
    c.Close();
    EXPECT_FALSE(c.Enabled());
}

TEST_F(Link, APortIsLockedWhileOpenAndFreeAgainAfterClose)
{
    Open();
    // The tty lock as another opener sees it (root opens through it, others are refused).
    auto locked = [&] {
        const int fd = ::open(port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int exclusive = -1;
        if (fd >= 0) {
            (void)ioctl(fd, TIOCGEXCL, &exclusive);
            ::close(fd);
        }
        return exclusive;
    };
    EXPECT_EQ(locked(), 1);
    term.Close();
    // A pseudo-terminal keeps the lock beyond the last close unless it is given back.
    EXPECT_EQ(locked(), 0);
    ASSERT_TRUE(term.Connect(port, 19200));
    EXPECT_EQ(locked(), 1);
}

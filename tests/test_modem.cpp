#include "Dialing.h"
#include "Hayesmodem.h"
#include "Terminal.h"
#include "Language.h"
#include "Settingsdialog.h"
#include "Parameters.h"
#include "apptest.h"
#include "clirun.h"
#include "hostilepeer.h"
#include "ser2netfixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QToolButton>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {
// Records what dialling shows; the "user" closes the modal wait when the call ends.
struct TRecordingView : TDialingView {
    void Prepare() override
    {
        messages.clear();
        ended = false;
        hidden = false;
        modals = 0;
    }
    void Hide() override { hidden = true; }
    void Add(const QString& m) override { messages << m; }
    void RunModal() override
    {
        ++modals;
        if (ended) return;  // nothing left to wait for: the user closes at once
        QEventLoop loop;
        m_Loop = &loop;
        if (cancelAfterMs >= 0) QTimer::singleShot(cancelAfterMs, &loop, &QEventLoop::quit);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);  // the user reads and closes
        loop.exec();
        m_Loop = nullptr;
    }
    void CloseModal() override
    {
        if (m_Loop) m_Loop->quit();
    }
    void CallEnded() override
    {
        ended = true;
        CloseModal();
    }
    bool Active() const override { return true; }
    bool ended = false;
    bool hidden = false;  // the window was closed by the program
    int modals = 0;       // waits for the user since the last Prepare
    QStringList messages;
    int cancelAfterMs = -1;
    QEventLoop* m_Loop = nullptr;
};

struct Modem : AppFixture {
    void Start(TSimOptions o = {})
    {
        o.modem = true;
        if (o.connectDelayMs == TSimOptions().connectDelayMs) o.connectDelayMs = 100;
        StartApp(o);
        Terminal().SetTelephony(
            std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{{"Sim modem", port}}, false));
        Terminal().m_View = &view;
        main->SetSessionModem("Sim modem", "0123456789");
    }
    void TearDown() override
    {
        if (globals) Terminal().m_View = nullptr;
        AppFixture::TearDown();
    }
    TRecordingView view;
};
}  // namespace

TEST(ModemResults, MapToCallStates)
{
    unsigned state = 0, mode = 0;
    EXPECT_TRUE(CHayesTelephony::ResultState("CONNECT 9600", state, mode));
    EXPECT_EQ(state, unsigned(LINECALLSTATE_CONNECTED));
    EXPECT_TRUE(CHayesTelephony::ResultState("BUSY", state, mode));
    EXPECT_EQ(mode, unsigned(LINEDISCONNECTMODE_BUSY));
    EXPECT_TRUE(CHayesTelephony::ResultState(" no dial tone ", state, mode));
    EXPECT_EQ(mode, unsigned(LINEDISCONNECTMODE_NODIALTONE));
    EXPECT_TRUE(CHayesTelephony::ResultState("NO ANSWER", state, mode));
    EXPECT_EQ(mode, unsigned(LINEDISCONNECTMODE_NOANSWER));
    EXPECT_TRUE(CHayesTelephony::ResultState("NO CARRIER", state, mode));
    EXPECT_EQ(state, unsigned(LINECALLSTATE_DISCONNECTED));
    EXPECT_FALSE(CHayesTelephony::ResultState("OK", state, mode));
}

TEST_F(Modem, DialReadWriteAndHangUp)
{
    Start();
    EXPECT_TRUE(main->ToolButtons[5]->isEnabled());  // connect
    main->ConnectModem();
    ASSERT_TRUE(main->m_Ops.ModemConnected) << view.messages.join(" | ").toStdString();
    EXPECT_EQ(LastMessage(), Language().Text(257));
    EXPECT_TRUE(std::string(main->m_Ops.GatewayIdent.data()).find("\"KX2 gateway 3.15;") == 0);
    EXPECT_TRUE(main->ToolButtons[0]->isEnabled());
    EXPECT_EQ(main->StatusLine->text(), Language().Text(247));

    sim->SetImage(CGatewaySim::DefaultImage());
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-004711");
    Parameters().SetValue("FXSVolRec", 0, "5");
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(sim->Image()[33], 5);
    EXPECT_TRUE(Terminal().m_Comm.Enabled());  // a modem link stays up between operations

    main->HangUpModem();
    // The window says the call ended and goes by itself: no wait for a Cancel.
    EXPECT_EQ(view.messages.back(), Language().Text(268));
    EXPECT_EQ(view.modals, 0);
    EXPECT_TRUE(view.hidden);
    QElapsedTimer t;
    t.start();
    while (main->m_Ops.ModemConnected && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(main->m_Ops.ModemConnected);
    EXPECT_FALSE(Terminal().m_CallActive);
    EXPECT_FALSE(sim->InCall());
    EXPECT_EQ(main->StatusLine->text(), Language().Text(248));
}

TEST_F(Modem, EachFailureReplyIsShownAndLeavesNoCall)
{
    const struct {
        const char* result;
        int entry;  // text table entry of the dialling messages
    } cases[] = {{"BUSY", 6}, {"NO ANSWER", 7}, {"NO DIALTONE", 8}, {"NO CARRIER", 4}};
    for (const auto& c : cases) {
        TSimOptions o;
        o.dialResult = c.result;
        Start(o);
        main->ConnectModem();
        EXPECT_FALSE(main->m_Ops.ModemConnected) << c.result;
        EXPECT_FALSE(Terminal().m_CallActive) << c.result;
        EXPECT_TRUE(view.messages.contains(Language().Text(Terminal().m_TextIds[size_t(c.entry)]))) << c.result;
        EXPECT_TRUE(view.messages.contains(Language().Text(268))) << c.result;  // the call went idle
        main.reset();
        globals.reset();
        sim->Stop();
    }
}

TEST_F(Modem, CancelWhileDiallingDropsTheCall)
{
    TSimOptions o;
    o.connectDelayMs = 3000;
    Start(o);
    view.cancelAfterMs = 300;
    QElapsedTimer t;
    t.start();
    main->ConnectModem();
    EXPECT_LT(t.elapsed(), 2500);
    PumpEvents(300);  // the idle report that follows the drop releases the call
    EXPECT_FALSE(main->m_Ops.ModemConnected) << view.messages.join(" | ").toStdString();
    EXPECT_FALSE(Terminal().m_CallActive);
}

TEST_F(Modem, HangUpInTheMiddleOfAReadEndsTheLink)
{
    Start();
    main->ConnectModem();
    ASSERT_TRUE(main->m_Ops.ModemConnected);
    const auto before = Parameters().Snapshot();
    QTimer::singleShot(150, [&] { sim->Kill(); });
    sim->SetOption("silentAfter", 3);  // the gateway stops answering, then the line goes
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(Parameters().Snapshot(), before);
    EXPECT_FALSE(main->m_Ops.ModemConnected);
    EXPECT_FALSE(Terminal().m_CallActive);
    EXPECT_FALSE(LastMessage().isEmpty());
}

TEST_F(Modem, UnknownDeviceSaysSo)
{
    Start();
    main->m_Ops.ModemId = "No such modem";
    main->ConnectModem();
    EXPECT_FALSE(main->m_Ops.ModemConnected);
    ASSERT_FALSE(view.messages.isEmpty());
    EXPECT_EQ(view.messages.front(), Language().Text(264) + " 'No such modem'");
}

TEST_F(Modem, SettingsDialogAppliesOnlyOnOk)
{
    Start();
    main->m_Ops.IsModem = false;
    main->m_Ops.ComPort = "COM3";  // not a known spelling: COM 1 is preselected
    TFSettingsDialog* d = main->FSettingsDialog;
    QTimer::singleShot(100, [&] {
        EXPECT_EQ(d->SerialPort->currentIndex(), 0);
        EXPECT_TRUE(d->ModemMode->isEnabled());
        d->ModemMode->setChecked(true);
        d->FormActivate();
        EXPECT_TRUE(d->TD->isVisibleTo(d));
        EXPECT_FALSE(d->SerialPort->isVisibleTo(d));
        // A terminal server's port typed into the modem box shows whole.
        const QString typed = "rfc2217://192.168.100.200:4001";
        d->TD->setEditText(typed);
        d->layout()->activate();
        EXPECT_GE(d->TD->lineEdit()->width(), d->TD->lineEdit()->fontMetrics().horizontalAdvance(typed));
        d->ModemNumber->setText("555");
        d->CancelButton->click();  // cancel
    });
    main->SettingsClick();
    EXPECT_FALSE(main->m_Ops.IsModem);
    EXPECT_EQ(main->m_Ops.ComPort, "COM3");
    QTimer::singleShot(100, [&] {
        d->ModemMode->setChecked(true);
        d->ModemNumber->setText("555");
        d->OkButton->click();  // OK
    });
    main->SettingsClick();
    EXPECT_TRUE(main->m_Ops.IsModem);
    EXPECT_EQ(main->m_Ops.ComPort, "Com1");
    EXPECT_EQ(main->m_Ops.ModemNumber, "555");
    EXPECT_EQ(main->m_Ops.ModemId, "Sim modem");
    QTimer::singleShot(100, [&] {
        d->SerialPort->setEditText("/dev/ttyUSB7");
        d->CableMode->setChecked(true);
        d->OkButton->click();
    });
    main->SettingsClick();
    EXPECT_FALSE(main->m_Ops.IsModem);
    EXPECT_EQ(main->m_Ops.ComPort, "/dev/ttyUSB7");
}

TEST_F(Modem, WithoutModemsTheModemChoiceIsOff)
{
    StartApp();
    Terminal().SetTelephony(std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{}, false));
    main->m_Ops.IsModem = true;
    TFSettingsDialog* d = main->FSettingsDialog;
    QTimer::singleShot(100, [&] {
        EXPECT_FALSE(d->ModemMode->isEnabled());
        EXPECT_TRUE(d->CableMode->isChecked());
        d->CancelButton->click();
    });
    main->SettingsClick();
    EXPECT_FALSE(main->m_Ops.IsModem);
}

TEST_F(Modem, AModemBehindATerminalServerIsTypedDialledAndHungUp)
{
    Start();
    TSer2net server;
    const QString why = server.Start({port}, 57600);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const QString url = server.ports[0].rfc2217;
    // Typed into the modem list, it is remembered and listed from then on.
    TFSettingsDialog* d = main->FSettingsDialog;
    QTimer::singleShot(100, [&] {
        d->ModemMode->setChecked(true);
        d->FormActivate();
        d->TD->setEditText(" " + url + " ");
        d->OkButton->click();
    });
    main->SettingsClick();
    EXPECT_TRUE(main->m_Ops.IsModem);
    EXPECT_EQ(main->m_Ops.ModemId, url);
    EXPECT_GE(Terminal().FindDevice(url), 0);
    QTimer::singleShot(100, [&] {
        EXPECT_EQ(d->TD->currentText(), url);
        d->CancelButton->click();
    });
    main->SettingsClick();

    main->ConnectModem();
    ASSERT_TRUE(main->m_Ops.ModemConnected) << view.messages.join(" | ").toStdString();
    sim->SetImage(CGatewaySim::DefaultImage());
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-004711");
    main->HangUpModem();
    QElapsedTimer t;
    t.start();
    while ((main->m_Ops.ModemConnected || sim->InCall()) && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(main->m_Ops.ModemConnected);
    EXPECT_FALSE(sim->InCall());  // the escape and ATH went through the server
}

TEST_F(Modem, AnUnreachableModemServerIsNamedWithItsCause)
{
    Start();
    const QString url = QString("socket://127.0.0.1:%1").arg(TSer2net::FreePort());
    main->m_Ops.ModemId = url;
    main->ConnectModem();
    EXPECT_FALSE(main->m_Ops.ModemConnected);
    EXPECT_FALSE(Terminal().m_CallActive);
    const QString said = LastMessage();
    EXPECT_TRUE(said.contains(url.mid(9))) << said.toStdString();
    EXPECT_TRUE(said.contains(Language().Text(621))) << said.toStdString();
    EXPECT_FALSE(said.contains("dialout")) << said.toStdString();
}

// A modem that never connects, or floods the line while dialling: the call is
// given up within --wait, naming the number, and the flood is not kept.
TEST(ModemHostile, ASilentOrFloodingModemEndsTheCallWithinTheWait)
{
    QTemporaryDir dir;
    QString out, err;
    for (const bool flood : {false, true}) {
        THostilePeer modem;
        const QString path = QString::fromStdString(modem.StartPty(THostilePeer::Modem(flood)));
        ASSERT_FALSE(path.isEmpty());
        QElapsedTimer took;
        took.start();
        const int rc = RunCli({"identify", "--modem", path, "--modem-number", "5551234", "--wait", "2"}, dir.path(),
                              out, err, QProcessEnvironment::systemEnvironment(), 15000);
        EXPECT_EQ(rc, 10) << (flood ? "flooding: " : "silent: ") << err.toStdString();
        EXPECT_LT(took.elapsed(), 5000) << (flood ? "flooding" : "silent");  // not the modem's minute
        EXPECT_TRUE(err.contains("5551234")) << err.toStdString();
    }
    EXPECT_LT(ChildrenMaxRssKb(), kPeerMemoryCapKb);
}

// The call drops while the gateway is being read: the modem's NO CARRIER ends
// the run at once as a line lost, not after the modem's long wait.
TEST(ModemHostile, NoCarrierInTheMiddleOfAReadIsALineLostAtOnce)
{
    TSimOptions o;
    o.modem = true;
    o.connectDelayMs = 100;
    CGatewaySim sim(o);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    sim.SetOption("noCarrierAfter", 5);
    QTemporaryDir dir;
    QString out, err;
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(
        RunCli({"read", "gw.kvx", "--modem", QString::fromStdString(sim.SlavePath()), "--modem-number", "5551234"},
               dir.path(), out, err, QProcessEnvironment::systemEnvironment(), 30000),
        10)
        << err.toStdString();
    EXPECT_LT(took.elapsed(), 10000);  // the dial and a few blocks, not the 20 s a modem link's answer may take
    EXPECT_FALSE(err.contains("cable")) << err.toStdString();
    sim.Stop();
}

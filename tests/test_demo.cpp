// The demo mode: its gateway is a process of its own, and its firmware lives
// apart from the program folder, so a normal run never offers the demo image.
#include "Commonutils.h"
#include "Terminal.h"
#include "Demo.h"
#include "Language.h"
#include "Parameters.h"
#include "apptest.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>

namespace {
struct Demo : ::testing::Test {
    void MakeWindow()
    {
        main = std::make_unique<TFMain>();
        auto p = std::make_unique<TScriptedPrompts>();
        prompts = p.get();
        main->SetPrompts(std::move(p));
    }
    void StartGateway(bool modem)
    {
        gateway = std::make_unique<CDemoGateway>();
        QString error;
        ASSERT_TRUE(gateway->Start(modem, &error, true)) << error.toStdString();  // fast: no test waits on the line
    }
    void TearDown() override
    {
        if (main) main->m_Ops.CloseGatewayLink();
        main.reset();
        gateway.reset();
    }
    QString LastMessage() const { return prompts->shown.empty() ? QString() : prompts->shown.back().text; }

    TGlobalObjects globals;
    std::unique_ptr<CDemoGateway> gateway;
    std::unique_ptr<TFMain> main;
    TScriptedPrompts* prompts = nullptr;
};

bool ProcessAlive(qint64 pid) { return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH; }

QStringList Arguments(qint64 pid)
{
    QFile f(QString("/proc/%1/cmdline").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(f.readAll()).split(QChar('\0'));
}
}  // namespace

// As the program starts it, the demo gateway keeps the real line's pace; fast only when asked.
TEST_F(Demo, SimulatorIsPacedToTheLineUnlessFastIsAsked)
{
    QString error;
    CDemoGateway paced;
    ASSERT_TRUE(paced.Start(false, &error)) << error.toStdString();
    const QStringList args = Arguments(paced.ProcessId());
    const int at = int(args.indexOf("--baud-throttle"));
    ASSERT_GE(at, 0) << args.join(' ').toStdString();
    EXPECT_EQ(args.value(at + 1), "19200");
    CDemoGateway fast;
    ASSERT_TRUE(fast.Start(false, &error, true)) << error.toStdString();
    EXPECT_FALSE(Arguments(fast.ProcessId()).contains("--baud-throttle"));
}

TEST_F(Demo, NormalRunOffersNoDemoFirmware)
{
    const QString demoImage = DemoFolder() + "Korvanext-3.20-demo.Bin";
    ASSERT_TRUE(QFile::exists(demoImage)) << demoImage.toStdString();
    EXPECT_NE(QDir(DemoFolder()).canonicalPath(), QDir(ProgramFolder()).canonicalPath());
    MakeWindow();
    EXPECT_EQ(main->m_Ops.FirmwareFiles().join(' ').toStdString(), "");
    EXPECT_EQ(QDir(ProgramFolder()).entryList({"*.Bin", "*.bin"}, QDir::Files).join(' ').toStdString(), "");
}

TEST_F(Demo, DemoRunUpgradesTheSimulatedGatewayWithTheDemoImage)
{
    StartGateway(false);
    MakeWindow();
    gateway->Apply(*main);
    ASSERT_EQ(main->m_Ops.FirmwareFiles(),
              QStringList{QFileInfo(DemoFolder() + "Korvanext-3.20-demo.Bin").absoluteFilePath()});
    ASSERT_TRUE(main->m_Ops.UpgradeFirmware()) << LastMessage().toStdString();
    EXPECT_EQ(LastMessage(), Language().Text(123) + "\n" + Substitute(Language().Text(422), {"3.20"}));
    ASSERT_TRUE(main->m_Ops.ReadFromGateway()) << LastMessage().toStdString();
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.20");
}

TEST_F(Demo, SimulatorEndsWithTheDemo)
{
    StartGateway(true);
    // A modem demo reaches the simulator through a simulated modem on its port.
    ASSERT_EQ(Terminal().m_DeviceCount, 1);
    EXPECT_EQ(Terminal().m_DeviceNames[0], "Demo modem");
    MakeWindow();
    gateway->Apply(*main);
    EXPECT_TRUE(main->m_Ops.IsModem);
    const qint64 pid = gateway->ProcessId();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(ProcessAlive(pid));
    main.reset();
    gateway.reset();
    EXPECT_FALSE(ProcessAlive(pid));
}

TEST_F(Demo, AMissingOrFailingSimulatorIsNamed)
{
    QString error;
    CDemoGateway missing{QString()};
    EXPECT_FALSE(missing.Start(false, &error));
    EXPECT_TRUE(error.contains("korvanext-gatewaysim") && error.contains("korvanext-demo")) << error.toStdString();
    CDemoGateway failing{"/bin/false"};
    EXPECT_FALSE(failing.Start(false, &error));
    EXPECT_TRUE(error.contains("/bin/false") && error.contains("exit code 1")) << error.toStdString();
    EXPECT_EQ(failing.ProcessId(), 0);
}

#include "Commonutils.h"
#include "Terminal.h"
#include "Demo.h"
#include "Language.h"
#include "Parameters.h"
#include "apptest.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

namespace {
struct Ops : AppFixture {
    // The link error that opening the port raises.
    CCOMTermExp OpenFailure(const QString& device)
    {
        try {
            Terminal().Connect(device, 19200);
        } catch (const CCOMTermExp& e) {
            return e;
        }
        ADD_FAILURE() << "opened " << device.toStdString();
        return CCOMTermExp(CE_NOT_CONNECTED);
    }
    QTemporaryDir dir;
};
}  // namespace

TEST_F(Ops, APortThatCannotBeOpenedSaysWhichAndWhy)
{
    StartApp();
    struct {
        QString device;
        int error;
        int hint;
    } cases[] = {
        {dir.filePath("ttyUSB9"), ENOENT, 319},  // unplugged adapter
        {dir.path(), EISDIR, 318},               // a folder
        {QString(), ENOTTY, 318},                // a plain file, filled in below
    };
    const QString plain = dir.filePath("plain");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    cases[2].device = plain;
    for (const auto& c : cases) {
        const CCOMTermExp e = OpenFailure(c.device);
        EXPECT_EQ(e.Code, CE_OPEN_ERROR);
        EXPECT_EQ(e.Device, c.device.toStdString());
        EXPECT_EQ(e.SystemError, c.error) << c.device.toStdString();
        prompts->shown.clear();
        main->m_Ops.ShowLinkError(e);
        ASSERT_EQ(prompts->shown.size(), 1u);
        const QString shown = prompts->shown[0].text;
        EXPECT_TRUE(shown.startsWith(Text(125)));
        EXPECT_TRUE(shown.contains(Substitute(Text(315), {c.device, QString::fromLocal8Bit(std::strerror(c.error))})))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(Text(c.hint))) << shown.toStdString();
        EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
        EXPECT_EQ(main->m_Ops.LinkCode, CE_OPEN_ERROR);
    }

    // A port another program holds is busy, not missing.
    TComm holder;
    holder.SetDeviceName(port);
    holder.Open();
    const CCOMTermExp busy = OpenFailure(port);
    EXPECT_EQ(busy.SystemError, EBUSY);
    main->m_Ops.ShowLinkError(busy);
    EXPECT_TRUE(LastMessage().endsWith(Text(317)));
    holder.Close();

    // Permission cannot be taken away from the test's user; the hint names the
    // group that owns the device.
    CCOMTermExp denied(CE_OPEN_ERROR);
    denied.Device = "/dev/null";
    denied.SystemError = EACCES;
    denied.Detail = std::strerror(EACCES);
    main->m_Ops.ShowLinkError(denied);
    EXPECT_TRUE(LastMessage().endsWith(Substitute(Text(316), {"root"}))) << LastMessage().toStdString();
}

TEST_F(Ops, AnInterruptIsNotClearedByTheNextWait)
{
    StartApp();
    CCOMTerminal& t = Terminal();
    ASSERT_TRUE(t.Connect(port, 19200));
    t.m_Terminator = 0;
    // Raised between two waits: the next one ends at once and sends nothing.
    t.m_Interrupt = true;
    for (int i = 0; i < 2; ++i) {
        try {
            t.SendAndWait("U", "X");
            ADD_FAILURE() << "the wait ran";
        } catch (const CCOMTermExp& e) {
            EXPECT_EQ(e.Code, CE_USER);
        }
    }
    PumpEvents(100);
    EXPECT_EQ(sim->CommandLog(), "");
    t.m_Interrupt = false;
    EXPECT_EQ(t.SendAndWait("U", "X"), 1);
    t.Close();
}

TEST_F(Ops, AnInterruptEndsAnUpgradeTheGatewayKeepsRefusing)
{
    TSimOptions o;
    o.badFirmwareAck = -1;
    StartApp(o);
    const QString fw = DemoFolder() + "Korvanext-3.20-demo.Bin";
    main->m_Ops.FirmwareFile = fw;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (sim->FirmwareBlocks() >= 3) Terminal().m_Interrupt = true;
    });
    poll.start(10);
    EXPECT_FALSE(main->m_Ops.UpgradeAgreed());
    poll.stop();
    Terminal().m_Interrupt = false;
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
    EXPECT_EQ(main->m_Ops.LinkCode, CE_USER);
    EXPECT_EQ(LastMessage(), Text(124));  // part of the firmware went in
    PumpEvents(100);
    const std::string log = sim->CommandLog();
    EXPECT_EQ(log.back(), 'A') << log;  // the gateway was released
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Ops, IdentifySendsOnlyTheIdentificationAndChangesNothingElse)
{
    TSimOptions o;
    o.serial = "KX2-777";
    o.operLock = "23001";
    StartApp(o);
    Parameters().SetValue("FXSVolRec", 0, "1");
    const auto before = Parameters().Snapshot();
    const char* const idents[] = {"HWVer", "SWVer", "SerialNum", "OperLock"};
    std::vector<std::string> old;
    for (const char* key : idents) old.push_back(Parameters().GetValue(key, 0));
    ASSERT_TRUE(main->m_Ops.Identify());
    PumpEvents(100);
    EXPECT_EQ(sim->CommandLog(), "UXBCDFA");
    EXPECT_EQ(Parameters().GetValue("HWVer", 0), "C");
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.15");
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-777");
    EXPECT_EQ(Parameters().GetValue("OperLock", 0), "23001");
    for (size_t i = 0; i < old.size(); ++i) Parameters().SetValue(idents[i], 0, old[i]);
    EXPECT_EQ(Parameters().Snapshot(), before);  // nothing else changed
    EXPECT_FALSE(main->m_Ops.GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Ops, ASilentGatewayIsAskedOnlyWithinTheBound)
{
    TSimOptions o;
    o.silentAfter = 0;
    StartApp(o);
    main->m_Ops.AnswerWaitMs = 1500;
    EXPECT_FALSE(main->m_Ops.Identify());
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
    EXPECT_EQ(main->m_Ops.LinkCode, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(LastMessage(), Substitute(Text(320), {port, "2"}));
    EXPECT_GE(sim->CommandLog().size(), 2u);
}

TEST_F(Ops, OperationsThatMustNotFlashStopAtOldFirmware)
{
    TSimOptions o;
    o.version = "2.9";
    StartApp(o);
    main->m_Ops.FirmwareFile = DemoFolder() + "Korvanext-3.20-demo.Bin";
    main->m_Ops.OfferUpgrade = false;
    const auto before = Parameters().Snapshot();
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_FALSE(main->m_Ops.Identify());
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Declined);
    EXPECT_EQ(main->m_Ops.GatewayVersion, "2.9");
    EXPECT_TRUE(prompts->asked.isEmpty());
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    EXPECT_EQ(sim->ImageWrites(), 0);
    EXPECT_EQ(Parameters().Snapshot(), before);
}

TEST_F(Ops, EveryUpgradeNamesTheFileAndBothVersions)
{
    StartApp();
    const QString fw = DemoFolder() + "Korvanext-3.20-demo.Bin";
    main->m_Ops.FirmwareFile = fw;
    prompts->answers = {true, false};  // the upgrade, then not this file
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    ASSERT_EQ(prompts->asked.size(), 2);
    EXPECT_EQ(prompts->asked[1], Text(321) + "\n\n" + Substitute(Text(322), {QDir::toNativeSeparators(fw), "3.20", "3.15"}));
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Declined);
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
}

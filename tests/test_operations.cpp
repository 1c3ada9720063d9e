#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Parameters.h"
#include "opsfixture.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTemporaryDir>
#include <cstring>
#include "Demo.h"
#include <QDir>
#include <QFile>
#include <cerrno>

using namespace ImageLayout;

namespace {
struct Operations : OpsFixture {
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
    // A gateway image that differs from the defaults in known places.
    static std::vector<uint8_t> GatewayImage()
    {
        CParameters p;
        BuildCatalogue(p);
        p.SetValue("FXSVolRec", 0, "1");
        p.SetValue("GSMNum", 3, "+420600111222");
        p.SetValue("ModemNum1", 0, "777");
        p.SetValue("PINVal", 0, "4321");
        p.SetValue("ServisPassw", 0, "55555");
        return ::GatewayImage(p);
    }
    void StartWithImage(TSimOptions o = {})
    {
        StartOps(o);
        sim->SetImage(GatewayImage());
    }
    // The image a write of the current registry should leave in the gateway.
    std::vector<uint8_t> Expected(const std::string& pin, const std::string& password)
    {
        CParameters& p = Parameters();
        const std::string oldPin = p.GetValue("PINVal", 0), oldPass = p.GetValue("ServisPassw", 0);
        p.SetValue("PINVal", 0, pin);
        p.SetValue("ServisPassw", 0, password);
        const std::vector<uint8_t> img = ::GatewayImage(p);
        p.SetValue("PINVal", 0, oldPin);
        p.SetValue("ServisPassw", 0, oldPass);
        return img;
    }
    static bool SameTransferredBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
    {
        return std::equal(a.begin(), a.begin() + 2048, b.begin()) &&
               std::equal(a.begin() + 4096, a.end(), b.begin() + 4096);
    }
};
}  // namespace

// The read's bar counts bytes: the identification's short replies take a sliver,
// block 1 a fifth, block 2 the rest; each phase is named and the bar never goes back.
TEST_F(Operations, TheReadsBarFollowsTheBytesThroughNamedPhases)
{
    TSimOptions o;
    o.throttleBaud = 230400;  // the replies come in pieces, as on a line
    StartWithImage(o);
    ASSERT_TRUE(ops->ReadFromGateway()) << LastMessage().toStdString();
    const auto shownAt = [this](int text) {
        const int i = int(prompts->labels.indexOf(Text(text)));
        return i < 0 ? -1 : prompts->labelPositions[size_t(i)];
    };
    const int ident = shownAt(652), block1 = shownAt(653), block2 = shownAt(654), max = prompts->progressMax;
    EXPECT_EQ(ident, 0);
    EXPECT_GT(block1, 0);
    EXPECT_LT(block1 * 100, max);
    EXPECT_NEAR(double(block2 - block1) / max, 2049.0 / (2049 + 8193), 0.01);
    const auto& at = prompts->positions;
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at.back(), max);
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
    // Inside a block the bar stands where the reply's bytes have reached.
    for (size_t i = 0; i < at.size(); ++i) {
        if (at[i] > block1 && at[i] < block2) {
            EXPECT_EQ(at[i] - block1, prompts->received[i]);
        } else if (at[i] > block2) {
            EXPECT_EQ(at[i] - block2, prompts->received[i]);
        }
    }
    // Block 2's bytes were seen on their way, not only at the end.
    EXPECT_GT(std::count_if(at.begin(), at.end(), [&](int p) { return p > block2 && p < max; }), 2);
}

TEST_F(Operations, ReadThenWriteRoundTrip)
{
    StartWithImage();
    ASSERT_TRUE(ops->ReadFromGateway());
    EXPECT_EQ(LastMessage(), Text(112));
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");
    EXPECT_EQ(Parameters().GetValue("GSMNum", 3), "+420600111222");
    EXPECT_EQ(Parameters().GetValue("HWVer", 0), "C");
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.15");
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-004711");
    EXPECT_TRUE(ops->GatewayLinkOpen);  // a read leaves the cable link open

    Parameters().SetValue("FXSVolRec", 0, "4");
    Parameters().SetValue("FXSNumBegin", 0, "00");
    ASSERT_TRUE(ops->WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(114));
    EXPECT_FALSE(ops->GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
    EXPECT_TRUE(SameTransferredBytes(sim->Image(), Expected("4321", "55555")));
}

TEST_F(Operations, WriteKeepsTheGatewaysSecretsUnlessChanged)
{
    StartWithImage();
    // A configuration loaded from elsewhere: the registry has the default PIN and password.
    Parameters().SetValue("ModemNum1", 0, "777");
    ASSERT_TRUE(ops->WriteToGateway());
    const auto kept = sim->Image();
    EXPECT_EQ(kept[PinAddr], GatewayImage()[PinAddr]);
    EXPECT_EQ(kept[ServicePasswordAddr], GatewayImage()[ServicePasswordAddr]);

    Parameters().SetValue("PINVal", 0, "9876");
    ops->PinChanged = true;
    ASSERT_TRUE(ops->WriteToGateway());
    EXPECT_TRUE(SameTransferredBytes(sim->Image(), Expected("9876", "55555")));
}

TEST_F(Operations, ChangedSupervisionNumbersNeedConsent)
{
    StartWithImage();
    prompts->answers = {false};
    const auto before = sim->Image();
    EXPECT_FALSE(ops->WriteToGateway());  // registry's ModemNum1 is empty, the gateway's is 777
    EXPECT_EQ(prompts->asked.back(), Text(263));
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);  // Enter keeps the gateway's numbers
    EXPECT_TRUE(prompts->shown.empty());
    EXPECT_EQ(sim->Image(), before);
    EXPECT_EQ(sim->ImageWrites(), 0);
}

TEST_F(Operations, BadChecksumOnceIsRetriedThreeTimesFails)
{
    TSimOptions o;
    o.badChecksum = 1;
    StartWithImage(o);
    EXPECT_TRUE(ops->ReadFromGateway());
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");

    Parameters().SetAllDefaults();
    const auto before = Parameters().Snapshot();
    sim->SetOption("badChecksum", 3);
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_EQ(LastMessage(), Text(113));
    EXPECT_EQ(Parameters().Snapshot(), before);  // not even the identification changed
}

TEST_F(Operations, FaultsLeaveTheRegistryAsItWas)
{
    StartWithImage();
    const auto before = Parameters().Snapshot();
    struct Case {
        const char* name;
        std::function<void()> inject;
        QString message;
    };
    auto expectUnchanged = [&](const char* what) { EXPECT_EQ(Parameters().Snapshot(), before) << what; };

    // Wrong hardware.
    sim->Stop();
    TSimOptions wrongHw;
    wrongHw.hwLetter = 'D';
    StartSim(wrongHw);
    ops->ComPort = port;
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_EQ(LastMessage(), Text(176));
    expectUnchanged("wrong hardware");

    // Refused blocks: three attempts, then text 115; the registry stays.
    sim->Stop();
    TSimOptions refuse;
    refuse.refuseWrite = true;
    StartSim(refuse);
    sim->SetImage(CGatewaySim::DefaultImage());
    ops->ComPort = port;
    EXPECT_FALSE(ops->WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(115));
    expectUnchanged("refused write");
    EXPECT_EQ(sim->ImageWrites(), 0);

    // The line dies in the middle of block 1.
    sim->Stop();
    TSimOptions drop;
    drop.dropMidBlock = true;
    StartSim(drop);
    ops->ComPort = port;
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"CE_NOT_CONNECTED"}));
    expectUnchanged("dropped line");
    EXPECT_FALSE(Terminal().m_Comm.Enabled());

    // And the next operation on a sound gateway works.
    sim->Stop();
    StartSim();
    ops->ComPort = port;
    EXPECT_TRUE(ops->ReadFromGateway());
}

TEST_F(Operations, SilentGatewayIsPolledUntilCancel)
{
    TSimOptions o;
    o.silentAfter = 0;
    StartWithImage(o);
    const auto before = Parameters().Snapshot();
    QTimer::singleShot(1500, [&] {
        ASSERT_TRUE(prompts->progressShown);
        prompts->Cancel();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_LT(t.elapsed(), 1700);
    EXPECT_EQ(ops->Outcome, TOutcome::Link);
    EXPECT_EQ(ops->LinkCode, CE_USER);
    EXPECT_TRUE(prompts->shown.empty()) << LastMessage().toStdString();  // a user break shows no box
    EXPECT_EQ(Parameters().Snapshot(), before);
    EXPECT_FALSE(prompts->progressShown);
}

TEST_F(Operations, CancelDuringATransferStopsItPromptly)
{
    TSimOptions o;
    o.throttleBaud = 19200;  // a whole read takes over five seconds
    StartWithImage(o);
    const auto before = Parameters().Snapshot();
    QElapsedTimer t;
    qint64 cancelledAt = 0;
    QTimer::singleShot(1200, [&] {
        cancelledAt = t.elapsed();
        prompts->Cancel();
    });
    t.start();
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_LT(t.elapsed() - cancelledAt, 150);
    EXPECT_TRUE(prompts->shown.empty());
    EXPECT_EQ(Parameters().Snapshot(), before);
}

TEST_F(Operations, PreReadFailureStopsTheWrite)
{
    StartWithImage();
    sim->SetOption("badChecksum", 10);  // the pre-read of the secrets never gets a sound block 1
    EXPECT_FALSE(ops->WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(113));
    EXPECT_EQ(sim->ImageWrites(), 0);
}

TEST_F(Operations, LinkErrorsNameTheirCode)
{
    StartOps();
    ops->ShowLinkError(CCOMTermExp(CE_SEND_ERROR));
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"CE_SEND_ERROR"}));
    ops->ShowLinkError(CCOMTermExp(CE_PARSING_ERROR));
    EXPECT_EQ(LastMessage(), Substitute(Text(110), {"CE_PARSING_ERROR"}));
    ops->ShowLinkError(CCOMTermExp(CE_OPEN_ERROR));
    EXPECT_EQ(LastMessage(), Text(125));
    ops->ShowLinkError(CCOMTermExp(42));
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"42"}));
    const size_t n = prompts->shown.size();
    ops->ShowLinkError(CCOMTermExp(CE_USER));
    EXPECT_EQ(prompts->shown.size(), n);
}

TEST_F(Operations, PortThatCannotBeOpened)
{
    StartOps();
    ops->ComPort = "/dev/no-such-port";
    const auto before = Parameters().Snapshot();
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_TRUE(LastMessage().startsWith(Text(125)));
    EXPECT_EQ(Parameters().Snapshot(), before);
}

TEST_F(Operations, APortThatCannotBeOpenedSaysWhichAndWhy)
{
    StartOps();
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
        ops->ShowLinkError(e);
        ASSERT_EQ(prompts->shown.size(), 1u);
        const QString shown = prompts->shown[0].text;
        EXPECT_TRUE(shown.startsWith(Text(125)));
        EXPECT_TRUE(shown.contains(Substitute(Text(315), {c.device, QString::fromLocal8Bit(std::strerror(c.error))})))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(Text(c.hint))) << shown.toStdString();
        EXPECT_EQ(ops->Outcome, TOutcome::Link);
        EXPECT_EQ(ops->LinkCode, CE_OPEN_ERROR);
    }

    // A port another program holds is busy, not missing.
    TComm holder;
    holder.SetDeviceName(port);
    holder.Open();
    const CCOMTermExp busy = OpenFailure(port);
    EXPECT_EQ(busy.SystemError, EBUSY);
    ops->ShowLinkError(busy);
    EXPECT_TRUE(LastMessage().endsWith(Text(317)));
    holder.Close();

    // Permission cannot be taken away from the test's user; the hint names the
    // group that owns the device.
    CCOMTermExp denied(CE_OPEN_ERROR);
    denied.Device = "/dev/null";
    denied.SystemError = EACCES;
    denied.Detail = std::strerror(EACCES);
    ops->ShowLinkError(denied);
    EXPECT_TRUE(LastMessage().endsWith(Substitute(Text(316), {"root"}))) << LastMessage().toStdString();
}

TEST_F(Operations, AnInterruptIsNotClearedByTheNextWait)
{
    StartOps();
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

TEST_F(Operations, AnInterruptEndsAnUpgradeTheGatewayKeepsRefusing)
{
    TSimOptions o;
    o.badFirmwareAck = -1;
    StartOps(o);
    const QString fw = DemoFolder() + "Korvanext-3.20-demo.Bin";
    ops->FirmwareFile = fw;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (sim->FirmwareBlocks() >= 3) Terminal().m_Interrupt = true;
    });
    poll.start(10);
    EXPECT_FALSE(ops->UpgradeAgreed());
    poll.stop();
    Terminal().m_Interrupt = false;
    EXPECT_EQ(ops->Outcome, TOutcome::Link);
    EXPECT_EQ(ops->LinkCode, CE_USER);
    EXPECT_EQ(LastMessage(), Text(124));  // part of the firmware went in
    PumpEvents(100);
    const std::string log = sim->CommandLog();
    EXPECT_EQ(log.back(), 'A') << log;  // the gateway was released
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Operations, IdentifySendsOnlyTheIdentificationAndChangesNothingElse)
{
    TSimOptions o;
    o.serial = "KX2-777";
    o.operLock = "23001";
    StartOps(o);
    Parameters().SetValue("FXSVolRec", 0, "1");
    const auto before = Parameters().Snapshot();
    const char* const idents[] = {"HWVer", "SWVer", "SerialNum", "OperLock"};
    std::vector<std::string> old;
    for (const char* key : idents) old.push_back(Parameters().GetValue(key, 0));
    ASSERT_TRUE(ops->Identify());
    PumpEvents(100);
    EXPECT_EQ(sim->CommandLog(), "UXBCDFA");
    EXPECT_EQ(Parameters().GetValue("HWVer", 0), "C");
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.15");
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-777");
    EXPECT_EQ(Parameters().GetValue("OperLock", 0), "23001");
    for (size_t i = 0; i < old.size(); ++i) Parameters().SetValue(idents[i], 0, old[i]);
    EXPECT_EQ(Parameters().Snapshot(), before);  // nothing else changed
    EXPECT_FALSE(ops->GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Operations, ASilentGatewayIsAskedOnlyWithinTheBound)
{
    TSimOptions o;
    o.silentAfter = 0;
    StartOps(o);
    ops->AnswerWaitMs = 1500;
    EXPECT_FALSE(ops->Identify());
    EXPECT_EQ(ops->Outcome, TOutcome::Link);
    EXPECT_EQ(ops->LinkCode, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(LastMessage(), Substitute(Text(320), {port, "2"}));
    EXPECT_GE(sim->CommandLog().size(), 2u);
}

TEST_F(Operations, OperationsThatMustNotFlashStopAtOldFirmware)
{
    TSimOptions o;
    o.version = "2.9";
    StartOps(o);
    ops->FirmwareFile = DemoFolder() + "Korvanext-3.20-demo.Bin";
    ops->OfferUpgrade = false;
    const auto before = Parameters().Snapshot();
    EXPECT_FALSE(ops->ReadFromGateway());
    EXPECT_FALSE(ops->WriteToGateway());
    EXPECT_FALSE(ops->Identify());
    EXPECT_EQ(ops->Outcome, TOutcome::Declined);
    EXPECT_EQ(ops->GatewayVersion, "2.9");
    EXPECT_TRUE(prompts->asked.isEmpty());
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    EXPECT_EQ(sim->ImageWrites(), 0);
    EXPECT_EQ(Parameters().Snapshot(), before);
}

TEST_F(Operations, TheUpgradesLabelNamesEachBlockInTurn)
{
    StartOps();
    ops->FirmwareFile = DemoFolder() + "Korvanext-3.20-demo.Bin";
    ASSERT_TRUE(ops->UpgradeAgreed()) << LastMessage().toStdString();
    QStringList blocks;
    for (const QString& label : prompts->labels)
        if (label.startsWith(Text(122))) blocks << label;
    ASSERT_EQ(blocks.size(), 30);
    EXPECT_EQ(blocks.front(), Text(122) + " 1 / 30");
    EXPECT_EQ(blocks.back(), Text(122) + " 30 / 30");
}

TEST_F(Operations, EveryUpgradeNamesTheFileAndBothVersions)
{
    StartOps();
    const QString fw = DemoFolder() + "Korvanext-3.20-demo.Bin";
    ops->FirmwareFile = fw;
    prompts->answers = {true, false};  // the upgrade, then not this file
    EXPECT_FALSE(ops->UpgradeFirmware());
    ASSERT_EQ(prompts->asked.size(), 2);
    EXPECT_EQ(prompts->asked[1],
              Text(321) + "\n\n" + Substitute(Text(322), {QDir::toNativeSeparators(fw), "3.20", "3.15"}));
    EXPECT_EQ(ops->Outcome, TOutcome::Declined);
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
}

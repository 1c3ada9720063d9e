#include "Commonutils.h"
#include "Firmwareversion.h"
#include "Terminal.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Parameters.h"
#include "Progress.h"
#include "apptest.h"
#include "firmwarefile.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>

using namespace ImageLayout;

namespace {
struct Upgrade : AppFixture {
    void Start(TSimOptions o = {})
    {
        StartApp(o);
        main->m_Ops.FirmwareFolder = dir.path();
    }
    // A firmware file: version text, optionally its own device data block, checksum.
    QString MakeFirmware(const QString& name, const char* version, bool ownDeviceData = false, int size = FirmwareSize)
    {
        return Put(name, FirmwareBytes(version, ownDeviceData).leftJustified(size, '\0', true));
    }
    QString Put(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteFirmwareFile(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};
}  // namespace

TEST_F(Upgrade, FullTransferWithTheGatewaysDeviceData)
{
    Start();
    MakeFirmware("Korvanext-3.20.Bin", "3.20");
    MakeFirmware("Korvanext-big.Bin", "3.30", false, FirmwareSize + 1);  // wrong size: not offered
    EXPECT_EQ(main->m_Ops.FirmwareFiles().size(), 1);
    ASSERT_TRUE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(prompts->asked.front(), Language().Text(116));
    EXPECT_EQ(LastMessage(), Language().Text(123) + "\n" + Substitute(Language().Text(422), {"3.20"}));
    EXPECT_EQ(sim->FirmwareBlocks(), 30);
    EXPECT_EQ(sim->Version(), "3.20");  // the gateway accepted the image and its checksum
    const auto fw = sim->Firmware();
    EXPECT_EQ(fw[DeviceDataAddr], 0x30);  // the gateway's own device data went in
    EXPECT_FALSE(main->m_Ops.GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

// The window gives up on a block refused 20 times in a row, as the command line does.
TEST_F(Upgrade, ABlockRefusedTwentyTimesEndsTheUpgrade)
{
    TSimOptions o;
    o.badFirmwareAck = 1000;
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(sim->FirmwareBlocks(), 20);
    EXPECT_EQ(LastMessage(), Substitute(Text(424), {"1", "30", "20"}));
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Damaged);
    EXPECT_EQ(sim->Version(), "3.15");
}

TEST_F(Upgrade, FileChecksComeBeforeAnyTransfer)
{
    Start();
    // No file: the default name is tried and named.
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(LastMessage(),
              Substitute("%s\n\n%s\n%s", {Language().Text(117), QDir::toNativeSeparators(dir.filePath("Korvanext.Bin")),
                                          "no such file"}));
    MakeFirmware("Korvanext.Bin", "3.20", false, 1000);
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(LastMessage(), Language().Text(175));
    MakeFirmware("Korvanext.Bin", "2.10");
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(LastMessage(), Language().Text(241));
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
}

TEST_F(Upgrade, SeveralFilesAreOfferedAndAnyOtherMayBeChosen)
{
    Start();
    MakeFirmware("Korvanext-b.Bin", "3.20");
    MakeFirmware("Korvanext-a.Bin", "3.20");
    const QString elsewhere = MakeFirmware("other-3.25.bin", "3.25");
    prompts->firmwareChoice.clear();
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());  // cancelled choice
    ASSERT_EQ(prompts->offered.size(), 2);
    EXPECT_TRUE(prompts->offered[0].endsWith("Korvanext-a.Bin"));
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    prompts->firmwareChoice = elsewhere;
    EXPECT_TRUE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(sim->Version(), "3.25");
}

TEST_F(Upgrade, SameOrNewerVersionAsksFirst)
{
    TSimOptions o;
    o.version = "3.20";
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    prompts->answers = {true, false};
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_TRUE(prompts->asked.back().startsWith(Language().Text(119)));
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);  // Enter does not flash the same firmware again
    MakeFirmware("Korvanext.Bin", "3.10", true);
    prompts->answers = {true, true};
    EXPECT_TRUE(main->m_Ops.UpgradeFirmware());
    EXPECT_TRUE(prompts->asked.back().startsWith(Language().Text(120)));
    // A file with its own device data block is sent exactly as it is.
    const auto fw = sim->Firmware();
    EXPECT_EQ(fw[DeviceDataAddr], 0x5A);
    EXPECT_EQ(sim->Version(), "3.10");
}

TEST_F(Upgrade, WrongAcknowledgementsAreRepeated)
{
    TSimOptions o;
    o.badFirmwareAck = 3;
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    ASSERT_TRUE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(sim->FirmwareBlocks(), 33);
    EXPECT_EQ(sim->Version(), "3.20");
}

TEST_F(Upgrade, CancelAfterRepeatedFailuresSaysTheUpgradeDidNotFinish)
{
    TSimOptions o;
    o.badFirmwareAck = 1000;
    o.throttleBaud = 230400;  // slow enough for the watch below to see each notice
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    QTimer poll;
    poll.setInterval(20);
    QStringList notices;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TFProgress* progress = main->Progress();
        if (progress && progress->Notice && progress->Notice->isVisible() &&
            !notices.contains(progress->Notice->text()))
            notices << progress->Notice->text();
        // Cancel shows itself after the tenth failure.
        if (progress && progress->CancelButton->isVisible() && sim->FirmwareBlocks() >= 10) progress->CancelClick();
    });
    poll.start();
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    poll.stop();
    EXPECT_GE(sim->FirmwareBlocks(), 10);
    ASSERT_FALSE(prompts->shown.empty());
    EXPECT_EQ(prompts->shown.back().text, Language().Text(124));  // never a success
    EXPECT_EQ(sim->Version(), "3.15");
    // Until Cancel shows, the window says that the transfer cannot be stopped and
    // how long it takes at the line's pace (30 blocks at 19200 baud: 33 s).
    ASSERT_GE(notices.size(), 2) << notices.join(" | ").toStdString();
    EXPECT_EQ(notices.front(), Text(425) + "\n" + Substitute(Text(426), {"33"}));
    EXPECT_TRUE(notices.back().startsWith(Text(427).section("%i", 0, 0)) &&
                notices.back().endsWith(Text(427).section("%i", 1)))
        << notices.back().toStdString();
}

TEST_F(Upgrade, ADamagedFileIsAskedAboutWithNoAsTheDefault)
{
    Start();
    const QByteArray damaged = Damaged(FirmwareBytes("3.20"));
    const auto* bytes = reinterpret_cast<const uint8_t*>(damaged.constData());
    const QString path = Put("Korvanext.Bin", damaged);
    prompts->answers = {true, false};  // the upgrade, not the damaged file
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    ASSERT_EQ(prompts->asked.size(), 2);
    const auto hex = [](uint32_t v) { return QString("0x%1").arg(v, 8, 16, QChar('0')); };
    EXPECT_EQ(prompts->asked[1], Substitute(Text(420), {QDir::toNativeSeparators(path), hex(FirmwareStoredSum(bytes)),
                                                        hex(FirmwareSum(bytes))}) +
                                     "\n\n" + Text(421));
    EXPECT_EQ(prompts->presets[0], TDefaultAnswer::No);  // Enter does not start a flash either
    EXPECT_EQ(prompts->presets[1], TDefaultAnswer::No);
    EXPECT_EQ(sim->CommandLog().find_first_of("OK"), std::string::npos);  // nothing of it was sent
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Declined);

    // Agreed to, a damaged file with its own device data goes as it is, its own
    // checksum too; the gateway does not take it, and that is what the window says.
    const QByteArray own = Damaged(FirmwareBytes("3.20", true));
    Put("Korvanext.Bin", own);
    prompts->answers = {true, true, true};
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_TRUE(prompts->asked[prompts->asked.size() - 2].startsWith(Text(420).section("%s", 0, 0)));
    EXPECT_EQ(sim->Firmware(), std::vector<uint8_t>(own.begin(), own.end()));
    EXPECT_EQ(LastMessage(), Substitute(Text(423), {"3.15", "3.20"}));
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Damaged);

    // Without device data of its own its checksum is made anew and the gateway
    // takes it: the end names the file as damaged all the same, never a plain success.
    Put("Korvanext.Bin", damaged);
    prompts->answers = {true, true, true};
    EXPECT_TRUE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(sim->Version(), "3.20");
    EXPECT_EQ(LastMessage(), Substitute(Text(659), {"3.20"}));
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Warning);
}

TEST_F(Upgrade, AGatewayThatKeepsItsFirmwareIsNeverReportedUpgraded)
{
    TSimOptions o;
    o.keepFirmware = true;
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    EXPECT_FALSE(main->m_Ops.UpgradeFirmware());
    EXPECT_EQ(sim->FirmwareBlocks(), 30);
    EXPECT_EQ(LastMessage(), Substitute(Text(423), {"3.15", "3.20"}));
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Damaged);
    EXPECT_EQ(main->m_Ops.GatewayVersion, "3.15");
    EXPECT_FALSE(Terminal().m_Comm.Enabled());  // the gateway was released all the same
}

TEST_F(Upgrade, AnUpgradeThatBreaksOffInsideAReadIsSaidOnceAndNotStartedAgain)
{
    // U X B C (old firmware: the upgrade is agreed to), C O and two blocks, then silence.
    TSimOptions o;
    o.version = "2.9";
    o.silentAfter = 8;
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    main->m_Ops.AnswerWaitMs = 1000;
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
    EXPECT_EQ(main->m_Ops.LinkCode, CE_CONNECTION_TIMEOUT);
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(LastMessage(), Substitute(Text(320), {port, "1"}) + "\n" + Text(124));
    EXPECT_EQ(sim->FirmwareBlocks(), 2);
    EXPECT_EQ(sim->CommandLog().substr(0, 8), "UXBCCOKK");
}

TEST(UpgradeFirmwareVersions, AreComparedWholeAndByTheirNumbers)
{
    EXPECT_EQ(CompareFirmwareVersions("3.20.1", "3.20.1"), 0);
    EXPECT_LT(CompareFirmwareVersions("3.20.1", "3.20.2"), 0);
    EXPECT_GT(CompareFirmwareVersions("3.20.10", "3.20.9"), 0);
    EXPECT_LT(CompareFirmwareVersions("3.20", "3.20.1"), 0);
    EXPECT_GT(CompareFirmwareVersions("3.20b", "3.20"), 0);
    EXPECT_NE(CompareFirmwareVersions("3.02", "3.2"), 0);
    EXPECT_NE(CompareFirmwareVersions("3.20.1x", "3.20.1y"), 0);
}

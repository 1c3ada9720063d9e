// Interrupted writes: a block in flight is finished, never cut; what the
// gateway holds afterwards is said; the bar only moves forward.
#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Cuttransfers.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Parameters.h"
#include "apptest.h"
#include "firmwarefile.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>

using namespace ImageLayout;

namespace {
// Both blocks as the line carries them.
bool SameBlocks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.begin() + Block1Size, b.begin()) &&
           std::equal(a.begin() + Block2Start, a.end(), b.begin() + Block2Start);
}

// Records what an operation shows, and breaks it once `breakWhen` holds.
struct TRecordingUI : TOperationUI {
    void ShowProgress(bool, int, bool) override {}
    void SetProgressLabel(const QString& text) override
    {
        labels << text;
        if (onLabel) onLabel(text);
    }
    void SetProgressMax(int max) override { maxima.push_back(max); }
    void SetProgressPos(int pos) override { positions.push_back(pos); }
    void SetCancelVisible(bool) override {}
    bool Cancelled() const override { return cancelled; }
    void Message(const QString& text, TIcon) override { shown << text; }
    bool Ask(const QString&, TIcon, TDefaultAnswer) override { return true; }
    QString ChooseFirmware(const QStringList& files) override { return files.value(0); }
    QStringList labels, shown;
    std::vector<int> maxima, positions;
    bool cancelled = false;
    std::function<void(const QString&)> onLabel;
};

struct Interrupt : AppFixture {
    void Start(TSimOptions o)
    {
        StartApp(o);
        main->m_Ops.CopiesFolder = copies.path();
        Parameters().SetValue("FXSVolRec", 0, "5");
        // Block 2 holds the routing tables: something new in it too.
        Parameters().SetValue("GSMNum", 7, "+420777000111");
    }
    QTemporaryDir copies;
};
}  // namespace

TEST_F(Interrupt, CancelInBlock2FinishesItAndTheNextWriteWorks)
{
    // A gateway that waits for ever for the rest of a block: the worst case.
    TSimOptions o;
    o.throttleBaud = 57600;
    o.blockAbandonMs = 0;
    Start(o);
    main->m_Ops.KeepCopies = false;
    main->m_Ops.AnswerWaitMs = 8000;  // a deaf gateway fails the second write instead of hanging it
    bool stopping = false;
    bool cancelEnabled = true;
    When([&] { return sim->WriteCommands() >= 2 && main->Progress(); },
         [&] {
             main->Progress()->CancelClick();
             cancelEnabled = main->Progress()->CancelButton->isEnabled();
             When([&] { return main->Progress() && main->Progress()->Message->text() == Text(456); },
                  [&] { stopping = true; });
         });
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(main->m_Ops.LinkCode, CE_USER);
    EXPECT_FALSE(cancelEnabled);
    EXPECT_FALSE(main->m_Ops.MayHoldPart());
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(LastMessage(), Text(458));
    // Block 2 went whole, was not read back, and the gateway left configuration mode
    // ("A" follows the block's last bytes, which the paced line still carries).
    PumpUntil([&] { return sim->CommandLog().back() == 'A'; }, 5000);
    const std::string log = sim->CommandLog();
    EXPECT_EQ(log.substr(log.rfind('G')), "GA") << log;
    EXPECT_EQ(sim->ImageWrites(), 2);
    EXPECT_TRUE(stopping) << "the window did not say that it stops after the block";

    prompts->shown.clear();
    ASSERT_TRUE(main->m_Ops.WriteToGateway()) << LastMessage().toStdString();
    EXPECT_TRUE(SameBlocks(sim->Image(), GatewayImage(Parameters())));
}

TEST_F(Interrupt, TheBarOnlyMovesForwardThroughNamedPhases)
{
    TSimOptions o;
    o.corruptStores = 1;  // block 1 is written twice
    Start(o);
    TRecordingUI ui;
    CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
    ops.ComPort = port;
    ops.CopiesFolder = copies.path();
    ASSERT_TRUE(ops.WriteToGateway()) << ui.shown.join('|').toStdString();
    EXPECT_EQ(ui.maxima.size(), 1u);
    EXPECT_TRUE(std::is_sorted(ui.positions.begin(), ui.positions.end()));
    ASSERT_FALSE(ui.positions.empty());
    EXPECT_EQ(ui.positions.back(), ui.maxima.back());
    const QStringList phases{Text(450), Text(452), Text(453), Text(452), Text(453), Text(454), Text(455)};
    EXPECT_EQ(ui.labels, phases);
}

TEST_F(Interrupt, ACutBlockIsNamedAndTheNextSilenceSaysHowToRecover)
{
    TSimOptions o;
    o.throttleBaud = 57600;
    o.blockAbandonMs = 0;
    Start(o);
    TRecordingUI ui;
    CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
    ops.ComPort = port;
    ops.KeepCopies = false;
    ops.AnswerWaitMs = 2500;
    // A second interrupt in block 2 stops at once.
    When([&] { return sim->WriteCommands() >= 2; },
         [&] {
             Terminal().m_Interrupt = true;
             Terminal().m_InterruptNow = true;
         });
    EXPECT_FALSE(ops.WriteToGateway());
    Terminal().m_Interrupt = false;
    Terminal().m_InterruptNow = false;
    EXPECT_EQ(sim->ImageWrites(), 1);
    EXPECT_TRUE(ops.MayHoldPart());
    ASSERT_FALSE(ui.shown.isEmpty());
    EXPECT_EQ(ui.shown.back(), Text(461));
    EXPECT_EQ(sim->CommandLog().back(), 'G');  // no "A" into the block's data
    const QString device = TComm::DevicePath(port);
    EXPECT_TRUE(ops.CutTransfers.Contains(device));

    // The gateway still waits for the rest: the no-answer names the likely reason.
    ui.shown.clear();
    EXPECT_FALSE(ops.Identify());
    ASSERT_FALSE(ui.shown.isEmpty());
    EXPECT_TRUE(ui.shown.back().endsWith(Text(462))) << ui.shown.back().toStdString();

    // Switched off and on (the block dropped): it answers, and the note goes.
    sim->SetOption("blockAbandonMs", 100);
    EXPECT_TRUE(ops.Identify()) << ui.shown.join('|').toStdString();
    EXPECT_FALSE(ops.CutTransfers.Contains(device));

    // The command line keeps the note from one run to the next.
    QTemporaryDir state;
    CCutTransfers(state.path()).Mark(device);
    EXPECT_TRUE(CCutTransfers(state.path()).Contains(device));
    EXPECT_FALSE(CCutTransfers(state.path()).Contains(device + "1"));
    CCutTransfers(state.path()).Clear(device);
    EXPECT_FALSE(CCutTransfers(state.path()).Contains(device));
}

TEST_F(Interrupt, ALineThatDiesAsABlockStartsIsALinkErrorThatNamesTheBlock)
{
    Start({});
    for (const int block : {1, 2}) {
        if (block == 2) StartSim();
        TRecordingUI ui;
        CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
        ops.ComPort = port;
        ops.KeepCopies = false;
        // The gateway goes just before the block's first byte, which meets a dead port.
        ui.onLabel = [&](const QString& label) {
            if (label == Text(block == 1 ? 452 : 454)) sim->Kill();
        };
        EXPECT_FALSE(ops.WriteToGateway()) << block;
        EXPECT_EQ(ops.Outcome, TOutcome::Link) << block;
        EXPECT_TRUE(ops.MayHoldPart()) << block;
        ASSERT_EQ(ui.shown.size(), 2) << ui.shown.join('|').toStdString();
        EXPECT_TRUE(ui.shown[0].contains("CE_SEND_ERROR") || ui.shown[0].contains("CE_NOT_CONNECTED"))
            << ui.shown[0].toStdString();
        EXPECT_EQ(ui.shown[1], Text(block == 1 ? 460 : 461));
        EXPECT_TRUE(ops.CutTransfers.Contains(TComm::DevicePath(port))) << block;
        EXPECT_FALSE(Terminal().m_Comm.Enabled()) << block;
    }
}

TEST_F(Interrupt, ALineThatDiesUnderAFirmwareBlockIsALinkError)
{
    Start({});
    QTemporaryDir folder;
    ASSERT_TRUE(WriteFirmwareFile(folder.filePath("Korvanext-3.20.Bin"), FirmwareBytes("3.20")));
    TRecordingUI ui;
    CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
    ops.ComPort = port;
    ops.FirmwareFolder = folder.path();
    // The gateway goes just before the third block's first byte, which meets a dead port.
    ui.onLabel = [&](const QString& label) {
        if (label.startsWith(Text(122) + " 2 /")) sim->Kill();
    };
    EXPECT_FALSE(ops.UpgradeFirmware());
    EXPECT_EQ(ops.Outcome, TOutcome::Link);
    EXPECT_FALSE(ui.shown.isEmpty());
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Interrupt, EachBlockHasThreeTriesAndBlock2WaitsForASoundBlock1)
{
    Start({});
    TRecordingUI ui;
    CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
    ops.ComPort = port;
    ops.KeepCopies = false;
    // Block 2's first store reads back wrong: it alone is sent again.
    ui.onLabel = [&](const QString& label) {
        if (label == Text(454) && ui.labels.count(label) == 1) sim->SetOption("corruptStores", 1);
    };
    ASSERT_TRUE(ops.WriteToGateway()) << ui.shown.join('|').toStdString();
    EXPECT_EQ(ui.labels, (QStringList{Text(451), Text(452), Text(453), Text(454), Text(455), Text(454), Text(455)}));
    EXPECT_EQ(sim->ImageWrites(), 3);
    EXPECT_TRUE(SameBlocks(sim->Image(), GatewayImage(Parameters())));

    // Block 1 never reads back right: three tries, and block 2 is left as it was.
    ui.labels.clear();
    ui.shown.clear();
    ui.onLabel = nullptr;
    const std::vector<uint8_t> before = sim->Image();
    const size_t logged = sim->CommandLog().size();
    Parameters().SetValue("GSMNum", 7, "+420777000222");
    sim->SetOption("corruptStores", 3);
    EXPECT_FALSE(ops.WriteToGateway());
    EXPECT_EQ(sim->ImageWrites(), 6);
    EXPECT_TRUE(std::equal(before.begin() + Block2Start, before.end(), sim->Image().begin() + Block2Start));
    EXPECT_EQ(sim->CommandLog().find('G', logged), std::string::npos) << sim->CommandLog();
    EXPECT_FALSE(ui.labels.contains(Text(454)));
    ASSERT_FALSE(ui.shown.isEmpty());
    EXPECT_EQ(ui.shown.back(), Text(115));
    EXPECT_TRUE(ops.MayHoldPart());
}

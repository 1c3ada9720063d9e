#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parameters.h"
#include "apptest.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <set>

using namespace ImageLayout;

namespace {
struct Write : AppFixture {
    void Start(TSimOptions o = {})
    {
        StartApp(o);
        main->m_Ops.CopiesFolder = copies.path();
        CParameters p;
        BuildCatalogue(p);
        p.SetValue("FXSVolRec", 0, "2");
        p.SetValue("FXONumBegin", 5, "4711");
        held = GatewayImage(p);
        sim->SetImage(held);
        Parameters().SetValue("FXSVolRec", 0, "5");
    }
    std::vector<TKeptCopy> Kept() const { return CKeptCopies(copies.path()).List(); }
    QTemporaryDir copies;
    std::vector<uint8_t> held;
};

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST_F(Write, EachBlockIsReadOncePerWriteAndTheCopyHoldsWhatWasReplaced)
{
    Start();
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    // Before the write: block 1 and block 2 once; after it, each read back once.
    EXPECT_EQ(sim->Block1Reads(), 2);
    EXPECT_EQ(sim->Block2Reads(), 2);
    const auto kept = Kept();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(main->m_Ops.LastCopy, kept[0].folder);
    EXPECT_TRUE(kept[0].folder.startsWith(copies.filePath("KX2-004711/")));
    const QByteArray image = ReadAll(kept[0].ImageFile());
    EXPECT_EQ(image, QByteArray(reinterpret_cast<const char*>(held.data()), int(held.size())));
    CParameters copy;
    BuildCatalogue(copy);
    ASSERT_TRUE(copy.LoadFromFile(kept[0].ConfigurationFile().toStdString()));
    EXPECT_EQ(copy.GetValue("FXSVolRec", 0), "2");
    EXPECT_EQ(copy.GetValue("FXONumBegin", 5), "4711");
    EXPECT_EQ(copy.GetValue("SerialNum", 0), "KX2-004711");
    EXPECT_EQ(copy.GetValue("SWVer", 0), "3.15");
    EXPECT_EQ(copy.GetValue("HWVer", 0), "C");

    // The gateway now holds the window's configuration: writing it again keeps it once.
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(Kept().size(), 2u);
    EXPECT_EQ(main->m_Ops.LastCopy, Kept()[0].folder);

    // Without copies block 2 is not read before the write.
    main->m_Ops.KeepCopies = false;
    const int e = sim->Block1Reads(), E = sim->Block2Reads();
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(sim->Block1Reads() - e, 2);
    EXPECT_EQ(sim->Block2Reads() - E, 1);
    EXPECT_EQ(Kept().size(), 2u);
    EXPECT_TRUE(main->m_Ops.LastCopy.isEmpty());
}

TEST_F(Write, ACopyThatCannotBeKeptStopsTheWriteBeforeItsFirstByte)
{
    Start();
    // A file where the serial number's folder should be.
    QFile blocker(copies.filePath("KX2-004711"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::FileError);
    EXPECT_EQ(sim->WriteCommands(), 0);
    EXPECT_EQ(sim->Image(), held);
    const QString message = LastMessage();
    EXPECT_TRUE(message.startsWith(Text(407).section('\n', 0, 0))) << message.toStdString();
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(copies.filePath("KX2-004711")))) << message.toStdString();
    EXPECT_FALSE(main->m_Ops.GatewayLinkOpen);

    // With copies turned off the write goes ahead.
    main->m_Ops.KeepCopies = false;
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
}

TEST_F(Write, AConfigurationFromAnotherGatewayIsWrittenOnlyWhenTheUserAgrees)
{
    Start();
    Parameters().SetValue("SerialNum", 0, "KX2-000001");
    prompts->answers = {false};
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    ASSERT_FALSE(prompts->asked.isEmpty());
    EXPECT_EQ(prompts->asked.back(), Substitute(Text(405), {"KX2-000001", "KX2-004711"}));
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Declined);
    EXPECT_EQ(sim->WriteCommands(), 0);
    EXPECT_EQ(sim->Image(), held);

    prompts->answers = {true};
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(sim->Image()[33], 5);

    // Its own gateway, or a configuration that names none, is written without asking.
    const int asked = prompts->asked.size();
    Parameters().SetValue("SerialNum", 0, "KX2-004711");
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
    Parameters().SetValue("SerialNum", 0, "");
    main->m_Ops.KeepCopies = false;
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(prompts->asked.size(), asked);
}

TEST_F(Write, ARetriedBlockWaitsAsLongAsTheFirst)
{
    // The first stored block reads back wrong, and the gateway takes 1.5 s to store.
    TSimOptions o;
    o.corruptStores = 1;
    o.storeDelayMs = 1500;
    Start(o);
    ASSERT_TRUE(main->m_Ops.WriteToGateway()) << LastMessage().toStdString();
    EXPECT_EQ(sim->ImageWrites(), 3);  // block 1 twice, block 2 once
    EXPECT_EQ(sim->Image()[33], 5);
}

TEST_F(Write, AnInterruptedWriteSaysWhatItLeavesBehind)
{
    Start();
    // Cancel once block 1 is in the gateway.
    When([&] { return sim->ImageWrites() >= 1 && main->Progress(); }, [&] { main->Progress()->CancelClick(); });
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
    EXPECT_EQ(main->m_Ops.LinkCode, CE_USER);
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(LastMessage(), Text(457));  // block 1 new, block 2 old

    // The line lost there: the link error, then what the gateway may hold.
    prompts->shown.clear();
    const int writes = sim->ImageWrites();
    When([&] { return sim->ImageWrites() > writes; }, [&] { sim->Kill(); });
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    ASSERT_EQ(prompts->shown.size(), 2u);
    const QString lost = prompts->shown[0].text;  // gone while reading or while sending
    EXPECT_TRUE(lost == Substitute(Text(109), {"CE_NOT_CONNECTED"}) || lost == Substitute(Text(109), {"CE_SEND_ERROR"}))
        << lost.toStdString();
    // Lost in block 1's acknowledgement or in its read-back.
    const QString left = prompts->shown[1].text;
    EXPECT_TRUE(left == Text(460) || left == Text(457)) << left.toStdString();

    // Broken off before anything was sent: no such warning.
    StartSim();
    main->SetSessionPort(port, "test");
    sim->SetOption("badChecksum", 10);
    prompts->shown.clear();
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(LastMessage(), Text(113));
}

TEST_F(Write, TheBarFollowsTheBytesOfLongReplies)
{
    // Paced fast enough for a short test, slow enough for many small deliveries.
    TSimOptions o;
    o.throttleBaud = 115200;
    Start(o);
    std::set<int> read, write;
    auto sample = [&](std::set<int>& into) {
        if (TFProgress* p = main->Progress()) {
            const QProgressBar* bar = p->Bar;
            if (bar->maximum() > 0) into.insert(100 * bar->value() / bar->maximum());
        }
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { sample(read); });
    timer.start(5);
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    timer.stop();
    // The read's marks are 20 % per identification value; the blocks fill the last fifth.
    const auto between = [](const std::set<int>& s, int low, int high) {
        return std::count_if(s.begin(), s.end(), [=](int v) { return v > low && v < high; });
    };
    EXPECT_GE(between(read, 80, 100), 4) << "the bar stood still during the blocks";

    QObject::disconnect(&timer, nullptr, nullptr, nullptr);
    QObject::connect(&timer, &QTimer::timeout, [&] { sample(write); });
    timer.start(5);
    main->m_Ops.KeepCopies = false;
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    timer.stop();
    // The read-back of block 2 runs from 75 % to the end.
    EXPECT_GE(between(write, 75, 100), 4) << "the bar stood still during the read-back";
}

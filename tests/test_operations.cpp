#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Parameters.h"
#include "apptest.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTemporaryDir>
#include <cstring>

using namespace ImageLayout;

namespace {
struct Operations : AppFixture {
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
        StartApp(o);
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
        return std::equal(a.begin(), a.begin() + 2048, b.begin()) && std::equal(a.begin() + 4096, a.end(), b.begin() + 4096);
    }
};
}  // namespace

TEST_F(Operations, ReadThenWriteRoundTrip)
{
    StartWithImage();
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(LastMessage(), Text(112));
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");
    EXPECT_EQ(Parameters().GetValue("GSMNum", 3), "+420600111222");
    EXPECT_EQ(Parameters().GetValue("HWVer", 0), "C");
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.15");
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-004711");
    EXPECT_TRUE(main->m_Ops.GatewayLinkOpen);  // a read leaves the cable link open

    Parameters().SetValue("FXSVolRec", 0, "4");
    Parameters().SetValue("FXSNumBegin", 0, "00");
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(114));
    EXPECT_FALSE(main->m_Ops.GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
    EXPECT_TRUE(SameTransferredBytes(sim->Image(), Expected("4321", "55555")));
}

TEST_F(Operations, WriteKeepsTheGatewaysSecretsUnlessChanged)
{
    StartWithImage();
    // A configuration loaded from elsewhere: the registry has the default PIN and password.
    Parameters().SetValue("ModemNum1", 0, "777");
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    const auto kept = sim->Image();
    EXPECT_EQ(kept[PinAddr], GatewayImage()[PinAddr]);
    EXPECT_EQ(kept[ServisPasswAddr], GatewayImage()[ServisPasswAddr]);

    Parameters().SetValue("PINVal", 0, "9876");
    main->m_Ops.PinChanged = true;
    ASSERT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_TRUE(SameTransferredBytes(sim->Image(), Expected("9876", "55555")));
}

TEST_F(Operations, ChangedSupervisionNumbersNeedConsent)
{
    StartWithImage();
    prompts->answers = {false};
    const auto before = sim->Image();
    EXPECT_FALSE(main->m_Ops.WriteToGateway());  // registry's ModemNum1 is empty, the gateway's is 777
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
    EXPECT_TRUE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");

    Parameters().SetAllDefaults();
    const auto before = Parameters().Snapshot();
    sim->SetOption("badChecksum", 3);
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
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
    main->SetSessionPort(port, "test");
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(LastMessage(), Text(176));
    expectUnchanged("wrong hardware");

    // Refused blocks: three attempts, then text 115; the registry stays.
    sim->Stop();
    TSimOptions refuse;
    refuse.refuseWrite = true;
    StartSim(refuse);
    sim->SetImage(CGatewaySim::DefaultImage());
    main->SetSessionPort(port, "test");
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(115));
    expectUnchanged("refused write");
    EXPECT_EQ(sim->ImageWrites(), 0);

    // The line dies in the middle of block 1.
    sim->Stop();
    TSimOptions drop;
    drop.dropMidBlock = true;
    StartSim(drop);
    main->SetSessionPort(port, "test");
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"CE_NOT_CONNECTED"}));
    expectUnchanged("dropped line");
    EXPECT_FALSE(Terminal().m_Comm.Enabled());

    // And the next operation on a sound gateway works.
    sim->Stop();
    StartSim();
    main->SetSessionPort(port, "test");
    EXPECT_TRUE(main->m_Ops.ReadFromGateway());
}

TEST_F(Operations, SilentGatewayIsPolledUntilCancel)
{
    TSimOptions o;
    o.silentAfter = 0;
    StartWithImage(o);
    const auto before = Parameters().Snapshot();
    QTimer::singleShot(1500, [&] {
        ASSERT_NE(main->Progress(), nullptr);
        main->Progress()->Button1Click();
    });
    QElapsedTimer t;
    t.start();
    main->ReadFromGateway();  // as the menu runs it
    EXPECT_LT(t.elapsed(), 1700);
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
    EXPECT_EQ(main->m_Ops.LinkCode, CE_USER);
    EXPECT_TRUE(prompts->shown.empty()) << LastMessage().toStdString();  // a user break shows no box
    EXPECT_EQ(main->statusBar()->currentMessage(), Text(632));          // but the status bar tells
    EXPECT_EQ(Parameters().Snapshot(), before);
    EXPECT_FALSE(main->isWindowModified());
    EXPECT_EQ(main->Progress(), nullptr);
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
        main->Progress()->Button1Click();
    });
    t.start();
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_LT(t.elapsed() - cancelledAt, 150);
    EXPECT_TRUE(prompts->shown.empty());
    EXPECT_EQ(Parameters().Snapshot(), before);
}

TEST_F(Operations, PreReadFailureStopsTheWrite)
{
    StartWithImage();
    sim->SetOption("badChecksum", 10);  // the pre-read of the secrets never gets a sound block 1
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(LastMessage(), Text(113));
    EXPECT_EQ(sim->ImageWrites(), 0);
}

TEST_F(Operations, LinkErrorsNameTheirCode)
{
    StartApp();
    main->m_Ops.ShowLinkError(CCOMTermExp(CE_SEND_ERROR));
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"CE_SEND_ERROR"}));
    main->m_Ops.ShowLinkError(CCOMTermExp(CE_PARSING_ERROR));
    EXPECT_EQ(LastMessage(), Substitute(Text(110), {"CE_PARSING_ERROR"}));
    main->m_Ops.ShowLinkError(CCOMTermExp(CE_OPEN_ERROR));
    EXPECT_EQ(LastMessage(), Text(125));
    main->m_Ops.ShowLinkError(CCOMTermExp(42));
    EXPECT_EQ(LastMessage(), Substitute(Text(109), {"42"}));
    const size_t n = prompts->shown.size();
    main->m_Ops.ShowLinkError(CCOMTermExp(CE_USER));
    EXPECT_EQ(prompts->shown.size(), n);
}

TEST_F(Operations, PortThatCannotBeOpened)
{
    StartApp();
    main->SetSessionPort("/dev/no-such-port", "nothing");
    const auto before = Parameters().Snapshot();
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_TRUE(LastMessage().startsWith(Text(125)));
    EXPECT_EQ(Parameters().Snapshot(), before);
}

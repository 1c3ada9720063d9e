#include "Commonutils.h"
#include "Comterminal.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Parametry.h"
#include "apptest.h"

#include <QDir>
#include <QFile>
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
        std::vector<uint8_t> img(FirmwareSize, 0);
        for (int i = 0; i < DeviceDataAddr; ++i) img[size_t(i)] = uint8_t(i * 13 + 1);
        if (ownDeviceData) std::memset(img.data() + DeviceDataAddr, 0x5A, DeviceDataSize);
        std::strncpy(reinterpret_cast<char*>(img.data() + FirmwareVersionAddr), version, 11);
        uint32_t sum = 0;
        for (int i = 0; i < FirmwareChecksumAddr; ++i) sum += img[size_t(i)];
        std::memcpy(img.data() + FirmwareChecksumAddr, &sum, 4);
        img.resize(size_t(size));
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(img.data()), int(img.size()));
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
    ASSERT_TRUE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_EQ(prompts->asked.front(), Language().Text(116));
    EXPECT_EQ(LastMessage(), Language().Text(123));
    EXPECT_EQ(sim->FirmwareBlocks(), 30);
    EXPECT_EQ(sim->Version(), "3.20");  // the gateway accepted the image and its checksum
    const auto fw = sim->Firmware();
    EXPECT_EQ(fw[DeviceDataAddr], 0x30);  // the gateway's own device data went in
    EXPECT_FALSE(main->m_Ops.GatewayLinkOpen);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Upgrade, FileChecksComeBeforeAnyTransfer)
{
    Start();
    // No file: the default name is tried and named.
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_EQ(LastMessage(), Substitute("%s\n\n%s\n%s", {Language().Text(117), QDir::toNativeSeparators(dir.filePath("Korvanext.Bin")), "no such file"}));
    MakeFirmware("Korvanext.Bin", "3.20", false, 1000);
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_EQ(LastMessage(), Language().Text(175));
    MakeFirmware("Korvanext.Bin", "2.10");
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());
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
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());  // cancelled choice
    ASSERT_EQ(prompts->offered.size(), 2);
    EXPECT_TRUE(prompts->offered[0].endsWith("Korvanext-a.Bin"));
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    prompts->firmwareChoice = elsewhere;
    EXPECT_TRUE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_EQ(sim->Version(), "3.25");
}

TEST_F(Upgrade, SameOrNewerVersionAsksFirst)
{
    TSimOptions o;
    o.version = "3.20";
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    prompts->answers = {true, false};
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_TRUE(prompts->asked.back().startsWith(Language().Text(119)));
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);  // Enter does not flash the same firmware again
    MakeFirmware("Korvanext.Bin", "3.10", true);
    prompts->answers = {true, true};
    EXPECT_TRUE(main->m_Ops.EzRgnBtn1Click());
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
    ASSERT_TRUE(main->m_Ops.EzRgnBtn1Click());
    EXPECT_EQ(sim->FirmwareBlocks(), 33);
    EXPECT_EQ(sim->Version(), "3.20");
}

TEST_F(Upgrade, CancelAfterRepeatedFailuresSaysTheUpgradeDidNotFinish)
{
    TSimOptions o;
    o.badFirmwareAck = 1000;
    Start(o);
    MakeFirmware("Korvanext.Bin", "3.20");
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Cancel shows itself after the tenth failure.
        if (main->Progress() && main->Progress()->Button1->isVisible() && sim->FirmwareBlocks() >= 10)
            main->Progress()->Button1Click();
    });
    poll.start();
    EXPECT_FALSE(main->m_Ops.EzRgnBtn1Click());
    poll.stop();
    EXPECT_GE(sim->FirmwareBlocks(), 10);
    ASSERT_FALSE(prompts->shown.empty());
    EXPECT_EQ(prompts->shown.back().text, Language().Text(124));  // never a success
    EXPECT_EQ(sim->Version(), "3.15");
}

TEST_F(Upgrade, OldFirmwareFoundByAReadOffersTheUpgrade)
{
    TSimOptions o;
    o.version = "2.9";
    Start(o);
    MakeFirmware("Korvanext-3.20.Bin", "3.20");
    EXPECT_TRUE(main->m_Ops.EzRgnBtn2Click());
    EXPECT_EQ(prompts->asked.front(), Language().Text(174));
    EXPECT_EQ(sim->Version(), "3.20");
    EXPECT_EQ(Parameters().GetValue("SWVer", 0), "3.20");
    EXPECT_EQ(LastMessage(), Language().Text(112));

    // Declining the upgrade ends the read without changes.
    sim->Stop();
    o.version = "2.9";
    StartSim(o);
    main->SetSessionPort(port, "test");
    const auto before = Parameters().Snapshot();
    prompts->answers = {false};
    EXPECT_FALSE(main->m_Ops.EzRgnBtn2Click());
    EXPECT_EQ(Parameters().Snapshot(), before);
}

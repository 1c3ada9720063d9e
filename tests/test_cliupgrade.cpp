// The firmware upgrade from the command line: what it refuses, how every run
// ends, and that it reports only what the gateway confirms.
#include "clirun.h"
#include "firmwarefile.h"
#include "simfixture.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
struct CliUpgrade : SimFixture {
    int Run(const QStringList& args) { return RunCli(args, dir.path(), out, err); }
    // The upgrade with a file of version 3.20 (damaged when asked), agreed to.
    int Upgrade(const QStringList& more = {}, bool damaged = false)
    {
        const QString file = dir.filePath("Korvanext-3.20.Bin");
        EXPECT_TRUE(WriteFirmwareFile(file, damaged ? Damaged(FirmwareBytes("3.20")) : FirmwareBytes("3.20")));
        return Run(QStringList{"upgrade", file, "--port", port, "--yes"} + more);
    }
    QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    QTemporaryDir dir;
    QString out, err;
};
}  // namespace

TEST_F(CliUpgrade, ADamagedFileIsRefusedUnlessForced)
{
    StartSim();
    EXPECT_EQ(Upgrade({}, true), 3) << err.toStdString();
    EXPECT_TRUE(err.contains("Korvanext-3.20.Bin' is damaged: it carries the checksum 0x")) << err.toStdString();
    EXPECT_TRUE(err.contains("--force-damaged")) << err.toStdString();
    EXPECT_EQ(sim->CommandLog(), "");  // the gateway was not even greeted
    EXPECT_EQ(sim->Version(), "3.15");

    // Forced, it goes (with the gateway's device data and a checksum made anew) and is named.
    EXPECT_EQ(Upgrade({"--force-damaged", "--json"}, true), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("is damaged")) << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
    const QJsonObject j = Json();
    EXPECT_EQ(j["result"].toString(), "done");
    EXPECT_EQ(j["firmware"].toString(), "3.20");
    EXPECT_EQ(j["previousFirmware"].toString(), "3.15");
}

TEST_F(CliUpgrade, FirmwareTheGatewayDidNotTakeIsAFailure)
{
    TSimOptions o;
    o.keepFirmware = true;
    StartSim(o);
    EXPECT_EQ(Upgrade({"--json"}), 5) << err.toStdString();
    EXPECT_EQ(sim->FirmwareBlocks(), 30);
    EXPECT_TRUE(
        err.contains("The gateway reports version 3.15 after the upgrade, not 3.20: it did not take the new "
                     "firmware. Repeat the upgrade"))
        << err.toStdString();
    const QJsonObject j = Json();
    EXPECT_EQ(j["exit"].toInt(), 5);
    EXPECT_NE(j["result"].toString(), "done");
    EXPECT_EQ(j["firmware"].toString(), "3.15");
    EXPECT_EQ(j["fileVersion"].toString(), "3.20");
    EXPECT_TRUE(TCliRunner::WaitForRelease(*sim)) << sim->CommandLog();  // released all the same
}

TEST_F(CliUpgrade, ABlockRefusedTwentyTimesInARowEndsTheUpgrade)
{
    TSimOptions refusing;
    refusing.badFirmwareAck = -1;
    StartSim(refusing);
    EXPECT_EQ(Upgrade(), 5) << err.toStdString();
    EXPECT_EQ(sim->FirmwareBlocks(), 20);
    EXPECT_TRUE(
        err.contains("The gateway refused block 1 of 30 20 times in a row, so the upgrade stopped. Its firmware "
                     "may be incomplete: repeat the upgrade"))
        << err.toStdString();
    EXPECT_TRUE(TCliRunner::WaitForRelease(*sim)) << sim->CommandLog();
    sim->Stop();

    // Refusals are counted per block: twelve of each, 360 in all, still end well.
    TSimOptions hesitant;
    hesitant.refuseEachBlock = 12;
    StartSim(hesitant);
    EXPECT_EQ(Upgrade(), 0) << err.toStdString();
    EXPECT_EQ(sim->FirmwareBlocks(), 30 * 13);
    EXPECT_EQ(sim->Version(), "3.20");
}

TEST_F(CliUpgrade, WaitBoundsASilenceInTheMiddleOfTheTransfer)
{
    // U X B C O and two blocks are answered, then nothing more.
    TSimOptions o;
    o.silentAfter = 7;
    StartSim(o);
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(Upgrade({"--wait", "3"}), 12) << err.toStdString();
    // Not a measurement: only far below the 20 s the block's answer was given before.
    EXPECT_LT(took.elapsed(), 12000);
    EXPECT_EQ(sim->FirmwareBlocks(), 2);
    EXPECT_TRUE(err.contains("did not answer within 3 s")) << err.toStdString();
    EXPECT_TRUE(err.contains("The firmware upgrade did not finish")) << err.toStdString();
    EXPECT_EQ(err.count("korvanext-cli:"), 2) << err.toStdString();  // the question, then one failure
}

TEST_F(CliUpgrade, VersionsAreComparedWhole)
{
    // Alike in their first five characters, different after: neither the question
    // nor the confirmation may take one for the other.
    TSimOptions o;
    o.version = "3.20.1";
    o.keepFirmware = true;
    StartSim(o);
    const QString file = dir.filePath("Korvanext-3.20.2.Bin");
    ASSERT_TRUE(WriteFirmwareFile(file, FirmwareBytes("3.20.2")));
    EXPECT_EQ(Run({"upgrade", file, "--port", port, "--yes", "--json", "--wait", "3"}), 5) << err.toStdString();
    EXPECT_FALSE(err.contains("already has this firmware version")) << err.toStdString();
    EXPECT_TRUE(err.contains("reports version 3.20.1 after the upgrade, not 3.20.2")) << err.toStdString();
    EXPECT_EQ(Json()["firmware"].toString(), "3.20.1");
    sim->Stop();

    // The same version, all of it, is the same.
    o.version = "3.20.2";
    o.keepFirmware = false;
    StartSim(o);
    EXPECT_EQ(Run({"upgrade", file, "--port", port, "--yes", "--wait", "3"}), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("already has this firmware version")) << err.toStdString();
}

TEST_F(CliUpgrade, EachOrderOfVersionsIsAQuestionOfItsOwnName)
{
    StartSim();  // 3.15
    const QString file = dir.filePath("Korvanext-3.20.Bin");
    ASSERT_TRUE(WriteFirmwareFile(file, FirmwareBytes("3.20")));
    auto upgrade = [&](const char* agree) {
        return Run({"upgrade", file, "--port", port, "--agree", agree, "--json"});
    };
    EXPECT_EQ(upgrade("same-firmware,older-firmware"), 4) << err.toStdString();
    EXPECT_EQ(Json()["declinedQuestion"].toString(), "newer-firmware") << out.toStdString();
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    ASSERT_EQ(upgrade("newer-firmware"), 0) << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
    EXPECT_EQ(upgrade("newer-firmware"), 4) << err.toStdString();
    EXPECT_EQ(Json()["declinedQuestion"].toString(), "same-firmware") << out.toStdString();
    const QString older = dir.filePath("Korvanext-3.10.Bin");
    ASSERT_TRUE(WriteFirmwareFile(older, FirmwareBytes("3.10")));
    EXPECT_EQ(Run({"upgrade", older, "--port", port, "--agree", "newer-firmware,same-firmware", "--json"}), 4);
    EXPECT_EQ(Json()["declinedQuestion"].toString(), "older-firmware") << out.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
}

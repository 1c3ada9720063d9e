#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parameters.h"
#include "Signalquery.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fstream>

using namespace ImageLayout;

namespace {
struct Sim : SimFixture {
    void Open(TSimOptions o = {})
    {
        StartSim(o);
        ASSERT_TRUE(term.Connect(port, 19200));
        term.m_Terminator = 0;
    }
    std::vector<uint8_t> ToolDefaults()
    {
        CParameters p;
        BuildCatalogue(p);
        return GatewayImage(p);
    }
    CCOMTerminal term;
};
}  // namespace

TEST_F(Sim, FactoryImageMatchesTheToolsDefaults)
{
    // Written apart from each other: the simulator's table and the catalogue agree.
    EXPECT_EQ(CGatewaySim::DefaultImage(), ToolDefaults());
}

TEST_F(Sim, StoresWrittenBlocksAndKeepsThemInItsFile)
{
    QTemporaryDir dir;
    TSimOptions o;
    o.imagePath = (dir.path() + "/gw.bin").toStdString();
    Open(o);
    auto img = ToolDefaults();
    img[33] = 1;
    img[Block2Start + 10] = 0x12;
    WriteChecksums(img.data());
    term.m_Timeout = 2000;
    ASSERT_EQ(term.m_Comm.Write("g", 1), 1);
    ASSERT_EQ(term.m_Comm.Write(img.data(), Block1Size), Block1Size);
    EXPECT_EQ(term.SendAndWait("", "X", "Y"), 1);
    ASSERT_EQ(term.m_Comm.Write("G", 1), 1);
    for (int k = 0; k < 4; ++k) {
        term.m_Count = 0;
        ASSERT_EQ(term.m_Comm.Write(img.data() + Block2Start + k * Block2Piece, Block2Piece), Block2Piece);
        EXPECT_EQ(term.SendAndWait("", "X", "Y"), 1) << "piece " << k;
    }
    EXPECT_EQ(sim->Image(), img);
    EXPECT_EQ(sim->ImageWrites(), 2);
    term.Close();
    sim->Stop();

    CGatewaySim again(o);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Image(), img);
    again.Stop();
}

TEST_F(Sim, RefusesABlockWithABadChecksum)
{
    Open();
    auto img = ToolDefaults();
    img[5] ^= 1;  // checksum no longer matches
    ASSERT_EQ(term.m_Comm.Write("g", 1), 1);
    ASSERT_EQ(term.m_Comm.Write(img.data(), Block1Size), Block1Size);
    EXPECT_EQ(term.SendAndWait("", "X", "Y"), 2);
    EXPECT_EQ(sim->ImageWrites(), 0);
}

TEST_F(Sim, FirmwareBlocksAreAcknowledgedWithTheirCrc)
{
    TSimOptions o;
    o.badFirmwareAck = 1;
    Open(o);
    std::vector<uint8_t> block(FirmwareBlock);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
    const uint32_t crc = Crc32(block.data(), block.size());
    for (int attempt = 0; attempt < 2; ++attempt) {
        term.m_Count = 0;
        const uint8_t head[3] = {'K', 0x08, 0x00};
        ASSERT_EQ(term.m_Comm.Write(head, 3), 3);
        ASSERT_EQ(term.m_Comm.Write(block.data(), FirmwareBlock), FirmwareBlock);
        ASSERT_TRUE(term.SendAndWaitCount("", 7));
        const uint8_t* r = term.m_Buffer.data();
        const uint32_t got = uint32_t(r[3] | r[4] << 8 | r[5] << 16 | uint32_t(r[6]) << 24);
        EXPECT_EQ(r[0], 'K');
        EXPECT_EQ(r[1], 0x08);
        EXPECT_EQ(got == crc, attempt == 1) << "attempt " << attempt;
    }
    const auto fw = sim->Firmware();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), fw.begin() + 0x800));
    // Device data block.
    term.m_Count = 0;
    ASSERT_EQ(term.m_Comm.Write("O\xEE\x00", 3), 3);
    ASSERT_TRUE(term.SendAndWaitCount("", 259));
}

TEST_F(Sim, AnswersTheGsmModulesCommandsAt57600)
{
    TSimOptions o;
    o.atErrors = {"AT+GMI"};
    o.call = true;
    o.callDirection = 0;
    StartSim(o);
    ASSERT_TRUE(term.Connect(port, 57600));
    EXPECT_EQ(term.SendAndWait("AT", "OK\r\n"), 1);
    EXPECT_EQ(term.SendAndWait("AT+GMI", "OK\r\n", "ERROR\r\n"), 2);
    EXPECT_EQ(term.SendAndWait("AT+CGMI", "OK\r\n", "ERROR\r\n"), 1);
    EXPECT_EQ(term.Extract("\r\n", "\r\n"), "KORVA");
    EXPECT_EQ(term.SendAndWait("AT+CSQ", "OK\r\n", "ERROR\r\n"), 1);
    EXPECT_EQ(term.Extract("+CSQ:", ","), "17");
    EXPECT_EQ(term.SendAndWait("AT+CLCC", "\r\nOK\r\n", "ERROR\r\n"), 1);
    EXPECT_NE(std::string(term.Received()).find("+CLCC: 1,0,0,0,0,\"+420777123456\""), std::string::npos);
    EXPECT_EQ(term.SendAndWait("AT+NOSUCH", "OK\r\n", "ERROR\r\n"), 2);
}

TEST_F(Sim, SignalQueryTellsALevelNoMeasurementAndAnErrorApart)
{
    StartSim();
    ASSERT_TRUE(term.Connect(port, 57600));
    term.m_Terminator = 13;
    TSignalReading r = QuerySignal(term);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.csq, 17);
    EXPECT_TRUE(r.Measured());
    EXPECT_EQ(r.Dbm(), -79);
    sim->SetSignal(99);  // the module's "not known"
    r = QuerySignal(term);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.csq, 99);
    EXPECT_FALSE(r.Measured());
    sim->SetSignal(123456);  // no value a module gives: none is read from it
    r = QuerySignal(term);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.csq, -1);
    EXPECT_FALSE(r.Measured());
    // One command line a query, nothing else on the line.
    EXPECT_EQ(sim->AtLog(), std::vector<std::string>(3, "AT+CSQ"));
    term.Close();

    TSimOptions o;
    o.atErrors = {"AT+CSQ"};
    StartSim(o);
    ASSERT_TRUE(term.Connect(port, 57600));
    term.m_Terminator = 13;
    r = QuerySignal(term);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.csq, -1);
    EXPECT_FALSE(r.Measured());
}

TEST_F(Sim, ProgramCountsTheLinesBytesWhenAsked)
{
    // The benches read what a command-line run put on the line this way.
    QProcess program;
    program.start(QCoreApplication::applicationDirPath() + "/korvanext-gatewaysim");
    ASSERT_TRUE(program.waitForReadyRead(10000));
    const QString device = QString::fromUtf8(program.readLine()).trimmed();
    ASSERT_TRUE(term.Connect(device, 19200));
    term.m_Terminator = 0;
    EXPECT_EQ(term.SendAndWait("B"), 1);
    EXPECT_EQ(term.SendAndWait("D"), 1);
    term.Close();
    ::kill(pid_t(program.processId()), SIGUSR1);
    ASSERT_TRUE(program.waitForReadyRead(10000));
    // "B" and "D" in; "BC2\0" and "DKX2-004711\0" out.
    EXPECT_EQ(QString::fromUtf8(program.readLine()), "bytes 2 16\n");
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

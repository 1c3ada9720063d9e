// Signals that come where stopping would harm the gateway: a write met by a
// hang-up finishes both blocks, a firmware transfer finishes its image unless
// a second signal cuts it, and a cut upgrade is remembered; a line that hangs
// up under a read ends it at once.
#include "clirun.h"
#include "firmwarefile.h"
#include "Imagelayout.h"
#include "simfixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <vector>

using namespace ImageLayout;

namespace {
struct CliSignals : SimFixture, TCliRunner {
    using TCliRunner::Run;
    QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    // Every run of a test shares one state folder, so that it learns what an earlier run cut.
    std::unique_ptr<QProcess> StartRun(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", dir.filePath("state"));
        return Start(args, env);
    }
    int RunHere(const QStringList& args) { return Finish(StartRun(args)); }
    void Signal(const std::unique_ptr<QProcess>& p, int signal) { ::kill(pid_t(p->processId()), signal); }
};

bool SameBlock(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int start, int size)
{
    return a.size() == size_t(ImageSize) && b.size() == size_t(ImageSize) &&
           std::equal(a.begin() + start, a.begin() + start + size, b.begin() + start);
}

std::vector<uint8_t> FileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
}  // namespace

TEST_F(CliSignals, AHangUpBetweenTheBlocksLeavesTheNewConfigurationWhole)
{
    ASSERT_EQ(Run({"defaults", "new.kvx"}), 0);
    ASSERT_EQ(Run({"set", "new.kvx", "FXSVolRec=5", "GSMNum:8=+420777000111"}), 0);
    TSimOptions o;
    o.throttleBaud = 57600;
    o.imagePath = Path("gateway.img").toStdString();
    StartSim(o);
    const std::vector<uint8_t> before = sim->Image();
    const QStringList write{"write", "new.kvx", "--port", port, "--no-backup", "--json"};
    ASSERT_EQ(RunHere(write), 0) << err.toStdString();
    const std::vector<uint8_t> written = sim->Image();
    ASSERT_FALSE(SameBlock(before, written, Block2Start, Block2Size));

    // Block 1 is being read back: SIGINT stops after it, SIGHUP and SIGTERM go on.
    const auto readingBack = [&](size_t from) {
        const std::string log = sim->CommandLog();
        const size_t g = log.find('g', from);
        return g != std::string::npos && log.find('e', g) != std::string::npos;
    };
    for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
        sim->SetImage(before);
        const size_t logged = sim->CommandLog().size();
        auto p = StartRun(write);
        ASSERT_TRUE(WaitFor([&] { return readingBack(logged); }));
        Signal(p, signal);
        EXPECT_EQ(Finish(std::move(p)), 11) << signal << err.toStdString();
        const std::vector<uint8_t> kept = FileBytes(Path("gateway.img"));
        EXPECT_TRUE(SameBlock(kept, written, Block1Start, Block1Size)) << signal;
        EXPECT_EQ(SameBlock(kept, written, Block2Start, Block2Size), signal != SIGINT) << signal;
        EXPECT_EQ(Json()["partial"].toBool(), signal == SIGINT) << signal;
        EXPECT_EQ(Json()["written"].toBool(), signal != SIGINT) << signal;
        if (signal == SIGINT) continue;
        const QString name = signal == SIGHUP ? "SIGHUP" : "SIGTERM";
        EXPECT_TRUE(err.contains(name + " received: finishing the write so that the gateway is left whole"))
            << err.toStdString();
        EXPECT_TRUE(
            Json()["error"].toString().contains("interrupted by " + name + ": 'write' on " + port +
                                                " was finished first (the gateway holds the new configuration whole"))
            << out.toStdString();
        EXPECT_TRUE(WaitForRelease(*sim)) << sim->CommandLog();
    }

    // Apply sends its blocks by the same rule.
    sim->SetImage(before);
    const size_t logged = sim->CommandLog().size();
    auto p = StartRun({"apply", "new.kvx", "--port", port, "--no-backup", "--json"});
    ASSERT_TRUE(WaitFor([&] { return readingBack(logged); }));
    Signal(p, SIGHUP);
    EXPECT_EQ(Finish(std::move(p)), 11) << err.toStdString();
    const std::vector<uint8_t> kept = FileBytes(Path("gateway.img"));
    EXPECT_TRUE(SameBlock(kept, written, Block2Start, Block2Size));
    EXPECT_TRUE(Json()["changed"].toBool()) << out.toStdString();
    EXPECT_FALSE(Json()["partial"].toBool()) << out.toStdString();
}

TEST_F(CliSignals, AFirmwareTransferFinishesUnlessASecondSignalCutsItAndACutIsRemembered)
{
    TSimOptions o;
    o.throttleBaud = 115200;  // a fifth of a second a block
    StartSim(o);
    const QString file = Path("Korvanext-3.20.Bin");
    ASSERT_TRUE(WriteFirmwareFile(file, FirmwareBytes("3.20")));
    const QStringList upgrade{"upgrade", file, "--port", port, "--yes", "--json"};

    // Two signals: the transfer is cut and the gateway keeps part of an image.
    auto p = StartRun(upgrade);
    ASSERT_TRUE(WaitFor([&] { return sim->FirmwareBlocks() >= 3; }));
    Signal(p, SIGINT);
    PumpEvents(150);
    Signal(p, SIGINT);
    EXPECT_EQ(Finish(std::move(p)), 11) << err.toStdString();
    EXPECT_LT(sim->FirmwareBlocks(), 30);
    EXPECT_EQ(sim->Version(), "3.15");
    EXPECT_TRUE(err.contains("SIGINT received: the firmware transfer finishes first")) << err.toStdString();
    EXPECT_TRUE(err.contains("a second signal cuts it")) << err.toStdString();
    EXPECT_TRUE(Json()["error"].toString().contains("interrupted by SIGINT twice")) << out.toStdString();

    // Every later command there says so, whether the gateway answers or not.
    for (const QStringList& command : {QStringList{"identify"}, QStringList{"read", "x.kvx"}}) {
        EXPECT_EQ(RunHere(command + QStringList{"--port", port, "--json"}), 4) << err.toStdString();
        const QString error = Json()["error"].toString();
        EXPECT_TRUE(error.contains("the firmware upgrade on " + port + " was cut off earlier")) << error.toStdString();
        EXPECT_TRUE(error.contains("'korvanext-cli upgrade FILE --port " + port + "' repeats it"))
            << error.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("x.kvx")));
    sim->SetOption("silentAfter", 0);
    EXPECT_EQ(RunHere({"identify", "--port", port, "--json", "--wait", "1"}), 12);
    EXPECT_TRUE(Json()["error"].toString().contains("The firmware upgrade on this port was cut off earlier"))
        << out.toStdString();
    sim->SetOption("silentAfter", -1);

    // One signal: the image goes whole, the gateway runs it, and the note is gone.
    const int sent = sim->FirmwareBlocks();
    p = StartRun(upgrade);
    ASSERT_TRUE(WaitFor([&] { return sim->FirmwareBlocks() >= sent + 3; }));
    Signal(p, SIGINT);
    EXPECT_EQ(Finish(std::move(p)), 11) << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
    EXPECT_EQ(Json()["firmware"].toString(), "3.20");
    EXPECT_TRUE(Json()["error"].toString().contains("'upgrade' on " + port +
                                                    " was finished first (the gateway runs "
                                                    "firmware 3.20 now)"))
        << out.toStdString();
    EXPECT_EQ(RunHere({"identify", "--port", port}), 0) << err.toStdString();
}

TEST_F(CliSignals, ALineThatHangsUpUnderAReadEndsItAtOnceWithoutSpinning)
{
    TSimOptions o;
    o.throttleBaud = 9600;  // block 1 takes two seconds
    StartSim(o);
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    QElapsedTimer run;
    run.start();
    auto p = StartRun({"read", "x.kvx", "--port", port});
    ASSERT_TRUE(WaitFor([&] { return sim->CommandLog().find('e') != std::string::npos; }));
    PumpEvents(300);
    QElapsedTimer gone;
    gone.start();
    sim->Kill();
    const int code = Finish(std::move(p));
    const qint64 afterHangUp = gone.elapsed();
    const qint64 wall = run.elapsed();
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    const double cpu =
        seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) - seconds(before.ru_stime);
    EXPECT_EQ(code, 10) << err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.kvx")));
    // Bounds far above what it takes: half a second expected, with room for a loaded machine.
    EXPECT_LT(afterHangUp, 2000);
    EXPECT_LT(cpu, 0.5 * double(wall) / 1000) << cpu << " s of CPU in " << wall << " ms";
}

#include "clifixture.h"
#include "hostilepeer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <csignal>
#include <unistd.h>

namespace {
// Runs on several gateways at once.
struct CliFleet : Cli {};
}  // namespace

TEST_F(CliFleet, SeveralGatewaysAtOnce)
{
    Rack rack;
    for (const char* serial : {"KX-1", "KX-2", "KX-3"}) {
        TSimOptions o;
        o.serial = serial;
        o.hwLetter = std::string(serial) == "KX-3" ? 'D' : 'C';
        rack.Add(o);
    }
    WriteFile("ports", (rack.ports[0] + "\n# spare\n\n" + rack.ports[1] + "\n").toUtf8());
    ASSERT_EQ(Run({"read", "fleet/", "--ports-from", "ports"}), 0) << err.toStdString();
    EXPECT_TRUE(ReadFile("fleet/KX-1.kvx").contains("SerialNum=\"KX-1\""));
    EXPECT_TRUE(ReadFile("fleet/KX-2.kvx").contains("SerialNum=\"KX-2\""));
    const QStringList rows = out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 3) << out.toStdString();
    EXPECT_TRUE(rows[0].startsWith("PORT"));
    EXPECT_TRUE(rows[1].contains(rack.ports[0]) && rows[1].contains("KX-1") && rows[1].contains("done"));

    // The worst status wins; every gateway's messages carry its port.
    EXPECT_EQ(Run({"identify", "--port", rack.ports[0], "--port", rack.ports[2], "--port", Path("gone"), "--json"}),
              15);
    const QJsonArray g = Json()["gateways"].toArray();
    ASSERT_EQ(g.size(), 3);
    EXPECT_EQ(g[0].toObject()["serial"].toString(), "KX-1");
    EXPECT_EQ(g[1].toObject()["exit"].toInt(), 5);
    EXPECT_EQ(g[2].toObject()["result"].toString(), "port cannot be opened");
    EXPECT_EQ(Json()["exit"].toInt(), 15);
    EXPECT_TRUE(err.contains(Path("gone") + ": korvanext-cli: The serial port cannot be opened")) << err.toStdString();

    // Several gateways into one file would overwrite each other.
    EXPECT_EQ(Run({"read", "one.kvx", "--port", rack.ports[0], "--port", rack.ports[1]}), 1);
    EXPECT_EQ(Run({"identify", "--port", rack.ports[0], "--port", rack.ports[1], "--jobs", "0"}), 1);
}

TEST_F(CliFleet, AFleetRunsAtMostJobsGatewaysAtOnce)
{
    // Two devices that are no gateways each take about --wait: one after the other, twice that.
    THostilePeer a, b;
    const QString first = QString::fromStdString(a.StartPty(THostilePeer::Drip(50)));
    const QString second = QString::fromStdString(b.StartPty(THostilePeer::Drip(50)));
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(Run({"identify", "--port", first, "--port", second, "--wait", "1", "--jobs", "1", "--json"}), 5)
        << err.toStdString();
    EXPECT_GE(took.elapsed(), 2000);
    EXPECT_EQ(Json()["gateways"].toArray().size(), 2);
}

TEST_F(CliFleet, RunsOfAKilledFleetFinishTheirWrite)
{
    FileWithBothBlocks(*this);
    Rack rack;
    for (int i = 0; i < 2; ++i) {
        TSimOptions o;
        o.throttleBaud = 19200;
        o.blockAbandonMs = 0;
        rack.Add(o);
    }
    auto p = Start({"write", "new.kvx", "--port", rack.ports[0], "--port", rack.ports[1], "--no-backup"});
    ASSERT_TRUE(WaitFor([&] { return rack.sims[0]->WriteCommands() >= 1 && rack.sims[1]->WriteCommands() >= 1; }));
    // The runs, children of the fleet's parent.
    QStringList runs;
    const pid_t parent = pid_t(p->processId());
    for (const QString& task :
         QDir(QString("/proc/%1/task").arg(parent)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(QString("/proc/%1/task/%2/children").arg(parent).arg(task));
        if (f.open(QIODevice::ReadOnly)) runs += QString::fromLatin1(f.readAll()).split(' ', Qt::SkipEmptyParts);
    }
    ASSERT_EQ(runs.size(), 2);
    ::kill(parent, SIGKILL);
    Finish(std::move(p));
    EXPECT_TRUE(WaitFor([&] {
        return std::none_of(runs.begin(), runs.end(),
                            [](const QString& pid) { return QFile::exists("/proc/" + pid.trimmed()); });
    }));
    PumpEvents(200);
    // Told with SIGTERM, with nobody left to decide: both blocks go, none is left old.
    for (const auto& s : rack.sims) {
        EXPECT_TRUE(WaitFor([&] { return s->ImageWrites() == 2 && s->CommandLog().back() == 'A'; })) << s->CommandLog();
        EXPECT_EQ(s->WriteCommands(), 2);
        EXPECT_EQ(s->CommandLog().back(), 'A') << s->CommandLog();
    }
}

TEST_F(CliFleet, AFleetPassesOnTheSignalThatCame)
{
    Rack rack;
    for (int i = 0; i < 2; ++i) {
        TSimOptions o;
        o.silentAfter = 0;
        rack.Add(o);
    }
    auto p = Start({"identify", "--port", rack.ports[0], "--port", rack.ports[1], "--wait", "0", "--json"});
    ASSERT_TRUE(WaitFor([&] { return rack.sims[0]->Commands() >= 2 && rack.sims[1]->Commands() >= 2; }));
    ::kill(pid_t(p->processId()), SIGHUP);
    EXPECT_EQ(Finish(std::move(p)), 11);
    for (const QString& gateway : rack.ports)
        EXPECT_TRUE(err.contains(gateway + ": korvanext-cli: interrupted by SIGHUP")) << err.toStdString();
}

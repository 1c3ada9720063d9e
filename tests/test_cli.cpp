#include "Imagelayout.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {
struct Cli : SimFixture {
    // Runs korvanext-cli while the simulator's thread answers; returns the exit code.
    int Run(const QStringList& args)
    {
        QProcess p;
        p.setProgram(QCoreApplication::applicationDirPath() + "/korvanext-cli");
        p.setArguments(args);
        p.setWorkingDirectory(dir.path());
        p.start();
        p.waitForFinished(60000);
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QString out, err;
};
}  // namespace

TEST_F(Cli, ReadWriteDiffAndBackupAgainstTheGateway)
{
    StartSim();
    ASSERT_EQ(Run({"identify", "--port", port}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("SerialNum\tKX2-004711"));
    ASSERT_EQ(Run({"read", "gw.kvx", "--port", port}), 0) << err.toStdString();
    QFile f(Path("gw.kvx"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    f.close();
    text.replace("FXSVolRec=\"3\"", "FXSVolRec=\"1\"");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    EXPECT_EQ(Run({"diff", "gw.kvx", "--defaults"}), 4);
    EXPECT_TRUE(out.contains("FXSVolRec")) << out.toStdString();
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", port}), 0) << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);
    ASSERT_EQ(Run({"read", "again.kvx", "--port", port}), 0);
    EXPECT_EQ(Run({"diff", "gw.kvx", "again.kvx"}), 0) << out.toStdString();
    ASSERT_EQ(Run({"backup", "saved", "--port", port}), 0);
    EXPECT_TRUE(out.contains("saved/gateway-KX2-004711-"));
}

TEST_F(Cli, FailuresHaveTheirExitCodes)
{
    TSimOptions o;
    o.hwLetter = 'D';
    StartSim(o);
    EXPECT_EQ(Run({"read", "x.kvx", "--port", port}), 5);  // not a gateway of this kind
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(Run({"read", "x.kvx", "--port", Path("no-such-port")}), 15);
    EXPECT_EQ(Run({"write", "missing.kvx", "--port", port}), 2);
    EXPECT_EQ(Run({"frobnicate"}), 1);
    EXPECT_EQ(Run({"write", "--help"}), 0);
    EXPECT_TRUE(out.contains("usage: korvanext-cli write"));
}

TEST_F(Cli, UpgradeNeedsConsent)
{
    StartSim();
    const QString fw = QCoreApplication::applicationDirPath() + "/Korvanext-3.20-demo.Bin";
    ASSERT_TRUE(QFile::exists(fw));
    EXPECT_EQ(Run({"upgrade", fw, "--port", port}), 4);  // no --yes: declined
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    EXPECT_EQ(Run({"upgrade", fw, "--port", port, "--yes"}), 0) << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
}

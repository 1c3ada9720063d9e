// korvanext-cli run from a test, in a folder of the test's own.
#pragma once
#include "simfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// The exit status, or -1 when the program did not end by itself in time.
// `program` runs in its place where the tool must be started through another.
inline int RunCli(const QStringList& args, const QString& folder, QString& out, QString& err,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int waitMs = 60000,
                  const QString& program = {})
{
    QProcess p;
    p.setProgram(program.isEmpty() ? QCoreApplication::applicationDirPath() + "/korvanext-cli" : program);
    p.setArguments(args);
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(env);
    p.start();
    p.waitForFinished(waitMs);
    out = QString::fromUtf8(p.readAllStandardOutput());
    err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.state() == QProcess::NotRunning ? p.exitCode() : -1;
}

// A test's scratch folder with korvanext-cli run in it, also while the test
// does something meanwhile (Start, then Finish).
struct TCliRunner {
    int Run(const QStringList& args)
    {
        return RunCli(args, dir.path(), out, err, QProcessEnvironment::systemEnvironment(), 120000);
    }
    // Started and left running, for what a test does to it meanwhile.
    std::unique_ptr<QProcess> Start(const QStringList& args,
                                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProgram(QCoreApplication::applicationDirPath() + "/korvanext-cli");
        p->setArguments(args);
        p->setWorkingDirectory(dir.path());
        p->start();
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    int Finish(std::unique_ptr<QProcess> p)
    {
        p->waitForFinished(120000);
        out = QString::fromUtf8(p->readAllStandardOutput());
        err = QString::fromUtf8(p->readAllStandardError());
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }
    // Waits (serving the simulators) until the condition holds.
    static bool WaitFor(const std::function<bool()>& condition, int ms = 20000) { return PumpUntil(condition, ms); }
    // Waits until the simulator's last command is the release ("A") a finished run ends
    // with: it may reach the simulator's log after the tool's process ended.
    static bool WaitForRelease(const CGatewaySim& sim, int ms = 3000)
    {
        return WaitFor(
            [&] {
                const std::string log = sim.CommandLog();
                return !log.empty() && log.back() == 'A';
            },
            ms);
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    void WriteFile(const QString& name, const QByteArray& bytes) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadFile(const QString& path) const
    {
        QFile f(QDir(dir.path()).filePath(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QString out, err;
};

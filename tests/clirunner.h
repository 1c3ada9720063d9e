// Runs korvanext-cli in a scratch folder while the test's simulators answer.
#pragma once
#include "simfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

struct TCliRunner {
    // Runs korvanext-cli while the simulators' threads answer; returns the exit code.
    int Run(const QStringList& args) { return Finish(Start(args)); }
    std::unique_ptr<QProcess> Start(const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
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
    static bool WaitFor(const std::function<bool()>& condition, int ms = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < ms) PumpEvents(20);
        return condition();
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

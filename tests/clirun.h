// korvanext-cli run from a test, in a folder of the test's own.
#pragma once
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

// The exit status, or -1 when the program did not end by itself in time.
inline int RunCli(const QStringList& args, const QString& folder, QString& out, QString& err,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int waitMs = 60000)
{
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/korvanext-cli");
    p.setArguments(args);
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(env);
    p.start();
    p.waitForFinished(waitMs);
    out = QString::fromUtf8(p.readAllStandardOutput());
    err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.state() == QProcess::NotRunning ? p.exitCode() : -1;
}

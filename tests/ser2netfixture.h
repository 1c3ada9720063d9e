// A real ser2net (4.x) in front of simulated gateways: raw TCP and telnet with
// the COM-PORT-OPTION on free loopback ports, from a configuration written
// into a temporary folder. Stopped (killed if need be) when the object goes.
#pragma once
#include "loopback.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TSer2net {
public:
    struct TPorts {
        QString raw;      // socket://127.0.0.1:N
        QString rfc2217;  // rfc2217://127.0.0.1:M
    };
    static QString Program()
    {
        return QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/bin", "/sbin", "/usr/local/sbin"});
    }
    // A loopback port nobody listens on at this moment.
    static int FreePort()
    {
        const TLoopbackSocket s = LoopbackSocket(false);
        ::close(s.fd);
        return s.port;
    }
    // Serves each device (a gateway's pseudo-terminal) on two ports; empty when ser2net cannot start.
    QString Start(const QStringList& devices, int baud = 19200)
    {
        if (Program().isEmpty()) return "ser2net is not installed (tools/setup.sh installs it)";
        QString yaml = "%YAML 1.1\n---\n";
        int n = 0;
        for (const QString& device : devices) {
            TPorts p;
            const int raw = FreePort(), telnet = FreePort();
            for (const auto& [accepter, name] :
                 {std::pair{QString("tcp,127.0.0.1,%1").arg(raw), QString("raw%1").arg(n)},
                  std::pair{QString("telnet(rfc2217),tcp,127.0.0.1,%1").arg(telnet), QString("tel%1").arg(n)}})
                yaml += QString(
                            "connection: &%1\n  accepter: %2\n  connector: serialdev,%3,%4n81,local\n"
                            "  options:\n    kickolduser: true\n")
                            .arg(name, accepter, device)
                            .arg(baud);
            p.raw = QString("socket://127.0.0.1:%1").arg(raw);
            p.rfc2217 = QString("rfc2217://127.0.0.1:%1").arg(telnet);
            ports.push_back(p);
            m_Listening << raw << telnet;
            ++n;
        }
        QFile f(m_Dir.filePath("ser2net.yaml"));
        if (!f.open(QIODevice::WriteOnly) || f.write(yaml.toUtf8()) < 0) return "cannot write " + f.fileName();
        f.close();
        return Restart();
    }
    // Starts ser2net again on the same ports (after Kill).
    QString Restart()
    {
        m_Process.setProgram(Program());
        // -u: no UUCP lock files, the test's pseudo-terminals are its own.
        m_Process.setArguments({"-n", "-u", "-c", m_Dir.filePath("ser2net.yaml"), "-P", m_Dir.filePath("ser2net.pid")});
        m_Process.setProcessChannelMode(QProcess::MergedChannels);
        m_Process.start();
        if (!m_Process.waitForStarted(10000)) return "ser2net does not start: " + m_Process.errorString();
        for (int i = 0; i < 500; ++i) {
            if (AllListening()) return {};
            if (m_Process.state() != QProcess::Running) break;
            QThread::msleep(10);
        }
        return "ser2net does not listen: " + QString::fromLocal8Bit(m_Process.readAll());
    }
    // As a crash or a power cut of the terminal server.
    void Kill()
    {
        if (m_Process.state() == QProcess::NotRunning) return;
        m_Process.kill();
        m_Process.waitForFinished(10000);
    }
    ~TSer2net() { Kill(); }

    std::vector<TPorts> ports;

private:
    // Listening sockets as the kernel lists them: a probe connection would make
    // ser2net open the device, and hold it while it lets go.
    bool AllListening() const
    {
        QFile f("/proc/net/tcp");
        if (!f.open(QIODevice::ReadOnly)) return false;
        QList<int> open;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> cols = line.simplified().split(' ');
            if (cols.size() > 3 && cols[3] == "0A") open << cols[1].split(':').value(1).toInt(nullptr, 16);
        }
        for (int port : m_Listening)
            if (!open.contains(port)) return false;
        return true;
    }
    QTemporaryDir m_Dir;
    QProcess m_Process;
    QList<int> m_Listening;
};

// The demo mode: a simulated gateway in a process of its own (the simulator of
// the demo package) and the demo firmware in a folder of its own. The user's
// program carries no test material, and a normal run never offers the demo image.
#pragma once
#include <QString>
#include <memory>

class QProcess;
class TFMain;

// Folder of the demo firmware: share/korvanext-demo beside an installed program,
// demo/ beside the build tree's bin/ (with a trailing separator). Never the program folder.
QString DemoFolder();
// The simulator program: beside this program, else on PATH; empty when absent.
QString DemoSimulatorProgram();

class CDemoGateway {
public:
    explicit CDemoGateway(QString program = DemoSimulatorProgram());
    ~CDemoGateway();
    CDemoGateway(const CDemoGateway&) = delete;
    CDemoGateway& operator=(const CDemoGateway&) = delete;

    // Starts the simulator (behind a simulated modem when asked) and waits, bounded,
    // for the pseudo-terminal it reports. False with a message naming what failed.
    // A modem demo installs the simulated modem on the terminal: call before the window exists.
    // Unless fast, the simulator answers at the pace of the real line (19200 baud),
    // so reads, writes and upgrades take as long as on a gateway.
    bool Start(bool modem, QString* error, bool fast = false);
    // Ends the simulator (it also ends by itself when this process dies).
    void Stop();
    // For this run only: the window talks to the simulator and looks for firmware in DemoFolder().
    void Apply(TFMain& window) const;

    const QString& Port() const { return m_Port; }
    qint64 ProcessId() const;

private:
    QString m_Program;
    std::unique_ptr<QProcess> m_Process;
    QString m_Port;
    bool m_Modem = false;
};

#include "Demo.h"

#include "Dialing.h"
#include "Hayesmodem.h"
#include "Terminal.h"
#include "Globals.h"
#include "Mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <sys/prctl.h>

namespace {
const char* const kSimulator = "korvanext-gatewaysim";
const char* const kDemoPackage = "korvanext-demo";
const char* const kModemName = "Demo modem";  // the telephony's device and the window's modem are one
constexpr int kTextDemoGateway = 375;
constexpr int kLineBaud = 19200;        // the gateway's cable
constexpr int kStartTimeoutMs = 10000;  // the simulator reports its port within milliseconds
}  // namespace

QString DemoFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(exeDir + "/../share/korvanext-demo") + '/';
    const QString buildTree = QDir::cleanPath(exeDir + "/../demo") + '/';
    if (!QFileInfo::exists(installed) && QFileInfo::exists(buildTree)) return buildTree;
    return installed;
}

QString DemoSimulatorProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + '/' + kSimulator;
    if (QFileInfo(beside).isExecutable()) return beside;
    return QStandardPaths::findExecutable(kSimulator);
}

CDemoGateway::CDemoGateway(QString program) : m_Program(std::move(program)) {}

CDemoGateway::~CDemoGateway() { Stop(); }

qint64 CDemoGateway::ProcessId() const { return m_Process ? m_Process->processId() : 0; }

bool CDemoGateway::Start(bool modem, QString* error, bool fast)
{
    auto fail = [&](const QString& text) {
        Stop();
        if (error) *error = text;
        return false;
    };
    if (m_Program.isEmpty())
        return fail(QString("the gateway simulator %1 is neither beside the program (%2) nor on PATH; "
                            "install the package %3")
                        .arg(kSimulator, QCoreApplication::applicationDirPath(), kDemoPackage));
    // The demo gateway keeps its configuration between runs.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    QStringList args{"--image", QDir(data).filePath("demo-gateway.bin"), "--call", "+420777123456"};
    if (modem) args << "--modem";
    if (!fast) args << "--baud-throttle" << QString::number(kLineBaud);

    m_Process = std::make_unique<QProcess>();
    m_Process->setProgram(m_Program);
    m_Process->setArguments(args);
    // A simulator must not outlive a window that crashed.
    m_Process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_Process->start(QIODevice::ReadOnly);
    if (!m_Process->waitForStarted(kStartTimeoutMs))
        return fail(QString("%1 cannot be started: %2").arg(m_Program, m_Process->errorString()));

    QElapsedTimer clock;
    clock.start();
    while (!m_Process->canReadLine()) {
        const int left = kStartTimeoutMs - int(clock.elapsed());
        if (m_Process->state() != QProcess::Running || left <= 0) break;
        m_Process->waitForReadyRead(left);
    }
    if (!m_Process->canReadLine()) {
        const QString said = QString::fromLocal8Bit(m_Process->readAllStandardError()).trimmed();
        if (m_Process->state() != QProcess::Running)
            return fail(QString("%1 ended at start (exit code %2)%3")
                            .arg(m_Program)
                            .arg(m_Process->exitCode())
                            .arg(said.isEmpty() ? QString() : ": " + said));
        return fail(QString("%1 reported no pseudo-terminal within %2 s").arg(m_Program).arg(kStartTimeoutMs / 1000));
    }
    m_Port = QString::fromLocal8Bit(m_Process->readLine()).trimmed();
    if (!m_Port.startsWith('/') || !QFileInfo::exists(m_Port))
        return fail(QString("%1 reported '%2', which is no pseudo-terminal").arg(m_Program, m_Port));
    m_Modem = modem;
    if (modem)
        Terminal().SetTelephony(
            std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{{kModemName, m_Port}}, false));
    return true;
}

void CDemoGateway::Stop()
{
    if (!m_Process) return;
    if (m_Process->state() != QProcess::NotRunning) {
        m_Process->terminate();
        if (!m_Process->waitForFinished(3000)) {
            m_Process->kill();
            m_Process->waitForFinished(1000);
        }
    }
    m_Process.reset();
    m_Port.clear();
}

void CDemoGateway::Apply(TFMain& window) const
{
    if (m_Modem) window.SetSessionModem(kModemName, "0123 456 789");
    else window.SetSessionPort(m_Port, {}, kTextDemoGateway);
    window.m_Ops.FirmwareFolder = DemoFolder();
}

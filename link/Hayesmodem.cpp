#include "Hayesmodem.h"

#include "Commonutils.h"
#include "Netport.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <signal.h>
#include <sys/file.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// ---------------------------------------------------------------- modem devices

namespace {
// A modem's line: raw bytes at 57600 baud, no modem control lines.
void SetModemLine(int fd, termios t)
{
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, B57600);
    ::tcsetattr(fd, TCSANOW, &t);
}

// The modem's line: a serial device held for the whole call, so neither
// another program nor a modem search of this one writes into it, or a
// terminal server's port. A failure raises ECommError naming it.
std::unique_ptr<TTransport> OpenModem(const QString& path, int timeoutMs)
{
    if (IsNetworkPort(path)) {
        // The server's line runs as the modem's own would.
        auto line = OpenNetworkPort(path, TLineSettings{57600, 8, 0, 0, fcNone}, timeoutMs);
        (void)line->SetDtr(true);
        return line;
    }
    const QByteArray device = QFile::encodeName(path);
    const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = fd < 0 ? errno : ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? EBUSY : 0;
    if (error) {
        if (fd >= 0) ::close(fd);
        ECommError e("Error accessing specified device", error, error);
        e.Device = device.toStdString();
        throw e;
    }
    auto line = std::make_unique<TDeviceTransport>(fd);
    termios t{};
    if (tcgetattr(fd, &t) == 0) SetModemLine(fd, t);
    (void)line->SetDtr(true);
    return line;
}

// Another process that has the device open, as far as this user may look.
pid_t OpenElsewhere(const QString& device)
{
    const QByteArray wanted = QFile::encodeName(device);
    const pid_t self = ::getpid();
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    pid_t holder = 0;
    while (!holder) {
        const dirent* p = ::readdir(proc);
        if (!p) break;
        char* end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (!end || *end || pid <= 0 || pid == self) continue;
        const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        while (const dirent* f = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((fdDir + "/" + f->d_name).c_str(), target, sizeof target);
            if (n == wanted.size() && std::memcmp(target, wanted.constData(), size_t(n)) == 0) {
                holder = pid_t(pid);
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holder;
}
}  // namespace

namespace {
// Whether a modem on the line answers "AT" with "OK" within timeoutMs.
bool AnswersAt(TTransport& line, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        return std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    };
    static const uint8_t at[] = {'A', 'T', '\r'};
    size_t sent = 0;
    std::string got;
    while (got.find("OK") == std::string::npos && left() > 0) {
        if (sent < sizeof at || !line.Flush()) {
            const ssize_t n = line.Send(at + sent, sizeof at - sent);
            if (n < 0) return false;
            sent += size_t(n);
        }
        pollfd p{line.Handle(), POLLIN, 0};
        if (::poll(&p, 1, int(std::min<long long>(left(), 50))) <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        uint8_t buf[64];
        const ssize_t n = line.Receive(buf, sizeof buf);
        if (n < 0) return false;
        if (got.size() < 4096) got.append(reinterpret_cast<const char*>(buf), size_t(n));
    }
    return got.find("OK") != std::string::npos;
}
}  // namespace

TModemProbe CHayesTelephony::Probe(const QString& name, const QString& path, int timeoutMs,
                                   const QStringList& lockFolders)
{
    TModemProbe r{name, path, TModemProbe::NoAnswer, {}};
    auto result = [&r](TModemProbe::TResult what, const QString& detail) {
        r.result = what;
        r.detail = detail;
        return r;
    };
    if (IsNetworkPort(path)) {
        // A terminal server's port: connecting is the only way to ask, and the
        // answer and the connection share one bound.
        const auto start = std::chrono::steady_clock::now();
        try {
            auto line = OpenNetworkPort(path, TLineSettings{57600, 8, 0, 0, fcNone}, timeoutMs);
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            if (AnswersAt(*line, int(std::max<long long>(timeoutMs - spent, 1)))) r.result = TModemProbe::Answers;
        } catch (const ECommError& e) {
            return result(TModemProbe::CannotOpen, QString::fromStdString(e.Detail.empty() ? e.Text : e.Detail));
        }
        return r;
    }
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty()) return result(TModemProbe::CannotOpen, "no such device");
    if (const pid_t pid = UucpLockOwner(device, lockFolders))
        return result(TModemProbe::InUse, QString("locked by process %1").arg(pid));
    if (const pid_t pid = OpenElsewhere(device))
        return result(TModemProbe::InUse, QString("open in process %1").arg(pid));
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY) return result(TModemProbe::InUse, "busy");
        return result(TModemProbe::CannotOpen, QString::fromLocal8Bit(std::strerror(error)));
    }
    TDeviceTransport line(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return result(TModemProbe::InUse, "locked");
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0) return result(TModemProbe::CannotOpen, "not a serial port");
    // Nobody else opens it while it is asked; its settings go back as they were.
    (void)::ioctl(fd, TIOCEXCL);
    SetModemLine(fd, saved);
    ::tcflush(fd, TCIFLUSH);
    if (AnswersAt(line, timeoutMs)) r.result = TModemProbe::Answers;
    ::tcflush(fd, TCIOFLUSH);
    ::tcsetattr(fd, TCSANOW, &saved);
    (void)::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    return r;
}

std::vector<TModemProbe> CHayesTelephony::ProbeDevices(int timeoutMs) const
{
    std::vector<TModemProbe> results(m_Devices.size());
    std::vector<std::thread> probes;
    for (size_t i = 0; i < m_Devices.size(); ++i)
        probes.emplace_back([&, i] { results[i] = Probe(m_Devices[i].name, m_Devices[i].path, timeoutMs); });
    for (auto& t : probes) t.join();
    return results;
}

CHayesTelephony::CHayesTelephony(std::vector<std::pair<QString, QString>> extra, bool systemDevices)
    : m_Extra(std::move(extra)), m_SystemDevices(systemDevices)
{
    List();
}

void CHayesTelephony::List()
{
    m_Devices.clear();
    unsigned id = 0;
    if (m_SystemDevices) {
        const std::vector<TSerialDevice> devices = TComm::ListSerialDevices();
        for (const TSerialDevice& d : devices) {
            const auto same =
                std::count_if(devices.begin(), devices.end(), [&](const TSerialDevice& o) { return o.name == d.name; });
            // Two adapters of one model are told apart by their kernel names.
            const QString name = same > 1 ? d.name + " (" + QFileInfo(d.device).fileName() + ")" : d.name;
            m_Devices.push_back({name, id++, LINEBEARERMODE_VOICE, LINEMEDIAMODE_DATAMODEM, d.path});
        }
    }
    for (const auto& [name, path] : m_Extra)
        m_Devices.push_back({name, id++, LINEBEARERMODE_VOICE, LINEMEDIAMODE_DATAMODEM, path});
}

void CHayesTelephony::AddDevice(const QString& name, const QString& path)
{
    for (const auto& [n, p] : m_Extra)
        if (n == name) return;
    m_Extra.emplace_back(name, path);
    // The numbers of the others stay: the new one comes last.
    m_Devices.push_back({name, unsigned(m_Devices.size()), LINEBEARERMODE_VOICE, LINEMEDIAMODE_DATAMODEM, path});
}

void CHayesTelephony::Rescan()
{
    // The numbers of the devices change: not while a line is open on one.
    if (!m_Port) List();
}

CHayesTelephony::~CHayesTelephony() { CloseLine(); }

std::vector<TLineDevice> CHayesTelephony::Devices() { return m_Devices; }

bool CHayesTelephony::ResultState(const QString& raw, unsigned& state, unsigned& mode)
{
    const QString line = raw.trimmed().toUpper();
    mode = 0;
    if (line.startsWith("CONNECT")) state = LINECALLSTATE_CONNECTED;
    else if (line == "RINGING" || line == "RING") state = LINECALLSTATE_PROCEEDING;
    else if (line == "BUSY") state = LINECALLSTATE_DISCONNECTED, mode = LINEDISCONNECTMODE_BUSY;
    else if (line == "NO ANSWER") state = LINECALLSTATE_DISCONNECTED, mode = LINEDISCONNECTMODE_NOANSWER;
    else if (line == "NO DIALTONE" || line == "NO DIAL TONE")
        state = LINECALLSTATE_DISCONNECTED, mode = LINEDISCONNECTMODE_NODIALTONE;
    else if (line == "NO CARRIER" || line == "ERROR" || line == "DELAYED" || line == "BLACKLISTED")
        state = LINECALLSTATE_DISCONNECTED, mode = LINEDISCONNECTMODE_UNAVAIL;
    else return false;
    return true;
}

void CHayesTelephony::Report(unsigned message, unsigned p1, unsigned p2)
{
    // Through the event loop, as the telephony service delivers its messages.
    if (!m_Notifier) return;
    TCallback cb = m_Callback;
    QTimer::singleShot(0, m_Notifier.get(), [cb, message, p1, p2] {
        if (cb) cb(message, p1, p2);
    });
}

bool CHayesTelephony::OpenLine(unsigned id, TCallback callback)
{
    CloseLine();
    if (id >= m_Devices.size()) return false;
    m_Failure.reset();
    const QString path = m_Devices[id].path;
    const bool network = IsNetworkPort(path);
    // A modem that a daemon or a dial-out program holds by the UUCP convention is left alone.
    if (pid_t holder = 0; !network && !m_Lock.Acquire(path, holder)) {
        qWarning("Modem %s: in use by process %d (%s)", qPrintable(path), int(holder), qPrintable(ProcessName(holder)));
        return false;
    }
    try {
        m_Port = OpenModem(path, m_ConnectTimeoutMs);
    } catch (const ECommError& e) {
        m_Lock.Release();
        m_Failure = e;
        return false;
    }
    m_Callback = std::move(callback);
    m_Notifier = std::make_unique<QSocketNotifier>(m_Port->Handle(), QSocketNotifier::Read);
    QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
    m_DialTimer = std::make_unique<QTimer>();
    m_DialTimer->setSingleShot(true);
    QObject::connect(m_DialTimer.get(), &QTimer::timeout, [this] {
        if (!m_Calling) return;
        WriteText("\r");  // any character ends the dialling
        Finish(LINEDISCONNECTMODE_NOANSWER);
    });
    WriteText("ATZ\r");
    if (!WaitFor("OK", 2000)) {
        CloseLine();
        return false;
    }
    if (!m_InitString.trimmed().isEmpty()) {
        WriteText(m_InitString.trimmed().toLatin1() + "\r");
        if (!WaitFor("OK", 2000)) {
            CloseLine();
            return false;
        }
    }
    return true;
}

void CHayesTelephony::WriteText(const QByteArray& text)
{
    if (!m_Port) return;
    m_Seen.clear();
    // Commands are short: a line that takes nothing for a second is not waited for longer.
    const long long start = NowMs();
    const auto* p = reinterpret_cast<const uint8_t*>(text.constData());
    size_t done = 0;
    while ((done < size_t(text.size()) || !m_Port->Flush()) && NowMs() - start < 1000) {
        const ssize_t n = m_Port->Send(p + done, size_t(text.size()) - done);
        if (n < 0) return;
        done += size_t(n);
        if (n == 0) Clock().Sleep(2);
    }
}

bool CHayesTelephony::WaitFor(const char* text, int ms)
{
    const long long start = NowMs();
    while (!m_Seen.contains(text) && NowMs() - start < ms && m_Port) {
        // A full m_Seen is a modem that floods: it is not talked to.
        if (m_Seen.contains("ERROR") || m_Seen.size() >= kMaxSeen) return false;
        PauseWithEvents(20);
    }
    return m_Seen.contains(text);
}

bool CHayesTelephony::MakeCall(const QString& number)
{
    if (!m_Port || m_Calling || m_Connected) return false;
    QByteArray digits;
    for (const QChar c : number)
        if (c.isDigit() || c == '+' || c == '*' || c == '#' || c == ',' || c == 'W' || c == 'w')
            digits += char(c.toLatin1());
    if (digits.isEmpty()) return false;
    m_Line.clear();
    WriteText(QByteArray("ATD") + (m_PulseDial ? "P" : "T") + digits + "\r");
    m_Calling = true;
    m_DialTimer->start(m_DialTimeoutMs);
    Report(LINE_CALLSTATE, LINECALLSTATE_DIALING, 0);
    return true;
}

void CHayesTelephony::OnReadable()
{
    char buf[256];
    // A device gives 0 when it is gone; a network line gives -1 (ECONNRESET) and 0 for nothing now.
    ssize_t n = m_Port->Receive(reinterpret_cast<uint8_t*>(buf), sizeof buf);
    if (n == 0 && m_Port->Network()) return;
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The modem went away.
            m_Notifier->setEnabled(false);
            const bool inCall = m_Calling || m_Connected;
            m_Calling = m_Connected = false;
            if (inCall) Report(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0);
            Report(LINE_CLOSE, 0, 0);
        }
        return;
    }
    // What a modem says to a command is a few lines: more is kept no longer, and
    // a modem that floods while dialling ends the call as unavailable.
    m_Seen.append(buf, int(std::min<qsizetype>(n, kMaxSeen - m_Seen.size())));
    if (m_Seen.size() >= kMaxSeen && m_Calling) {
        WriteText("\r");
        Finish(LINEDISCONNECTMODE_UNAVAIL);
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] != '\r' && buf[i] != '\n') {
            if (m_Line.size() < 200) m_Line += buf[i];
            continue;
        }
        const QString line = QString::fromLatin1(m_Line);
        m_Line.clear();
        unsigned state = 0, mode = 0;
        if (!m_Calling || line.isEmpty() || !ResultState(line, state, mode)) continue;
        if (state == LINECALLSTATE_CONNECTED) {
            m_Calling = false;
            m_Connected = true;
            m_DialTimer->stop();
            // From now on the data belongs to the serial port that takes the call over.
            m_Notifier->setEnabled(false);
            Report(LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0);
            return;
        }
        if (state == LINECALLSTATE_PROCEEDING) Report(LINE_CALLSTATE, LINECALLSTATE_PROCEEDING, 0);
        else Finish(mode);
    }
}

void CHayesTelephony::Finish(unsigned mode)
{
    m_Calling = false;
    m_DialTimer->stop();
    Report(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, mode);
    Report(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0);
}

int CHayesTelephony::TakeCallHandle()
{
    return m_Connected && m_Port && !m_Port->Network() ? ::dup(m_Port->Handle()) : -1;
}

std::unique_ptr<TTransport> CHayesTelephony::TakeCallLine()
{
    // A terminal server's line has no descriptor of its own to share: it is lent.
    if (!m_Connected || !m_Port || !m_Port->Network()) return nullptr;
    return std::make_unique<TLentTransport>(*m_Port);
}

void CHayesTelephony::Drop()
{
    if (!m_Port || m_Dropping) return;
    pollfd alive{m_Port->Handle(), POLLOUT, 0};
    if (::poll(&alive, 1, 0) > 0 && (alive.revents & (POLLHUP | POLLERR))) {
        // The modem is gone: nothing to hang up.
        m_Calling = m_Connected = false;
        Report(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0);
        return;
    }
    m_Dropping = true;
    if (m_Calling) {
        WriteText("\r");
        m_Calling = false;
        m_DialTimer->stop();
        WaitFor("NO CARRIER", 1000);
    } else if (m_Connected) {
        m_Connected = false;
        m_Notifier->setEnabled(true);
        // Dropping DTR hangs a modem up; where the line has no DTR, the escape and ATH do.
        if (m_Port->SetDtr(false)) {
            PauseWithEvents(600);
            (void)m_Port->SetDtr(true);
        }
        PauseWithEvents(1100);
        WriteText("+++");
        WaitFor("OK", 1500);
        PauseWithEvents(100);
        WriteText("ATH\r");
        WaitFor("OK", 1500);
    }
    m_Dropping = false;
    Report(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0);
}

void CHayesTelephony::CloseLine()
{
    m_Notifier.reset();
    m_DialTimer.reset();
    m_Port.reset();
    m_Lock.Release();
    m_Calling = m_Connected = false;
}

std::unique_ptr<CTelephony> CreateDefaultTelephony() { return std::make_unique<CHayesTelephony>(); }

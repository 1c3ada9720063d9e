#include "Serialport.h"

#include "Commonutils.h"
#include "Netport.h"

#include <QMetaObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QObject>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

static std::string ErrorMessage(const std::string& text, int code)
{
    std::string m = text + " (Error: " + std::to_string(code) + ") ";
    if (code > 0) m += std::strerror(code);
    return m;
}

ECommError::ECommError(const std::string& text, int errorCode, int systemError)
    : std::runtime_error(ErrorMessage(text, errorCode)),
      ErrorCode(errorCode),
      Text(text),
      SystemError(systemError ? systemError : std::max(errorCode, 0))
{}

int BaudRateValue(TBaudrate rate)
{
    static const int values[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    return values[rate];
}

static speed_t SpeedConstant(TBaudrate rate)
{
    switch (rate) {
    case br110: return B110;
    case br300: return B300;
    case br600: return B600;
    case br1200: return B1200;
    case br2400: return B2400;
    case br4800: return B4800;
    case br9600: return B9600;
    case br19200: return B19200;
    case br38400: return B38400;
    case br57600: return B57600;
    case br115200: return B115200;
    default: return 0;  // rates this platform's serial driver does not offer
    }
}

void TCommEventChars::SetChar(int index, char c)
{
    char* fields[] = {&XonChar, &XoffChar, &ErrorChar, &EofChar, &EvtChar};
    if (index < 1 || index > 5) return;
    *fields[index - 1] = c;
    if (m_Owner) m_Owner->ApplySettings();
}

void TCommEventChars::Assign(const TCommEventChars& other)
{
    XonChar = other.XonChar;
    XoffChar = other.XoffChar;
    ErrorChar = other.ErrorChar;
    EofChar = other.EofChar;
    EvtChar = other.EvtChar;
}

TComm::TComm() : m_Context(std::make_unique<QObject>()) {}

TComm::~TComm() { Close(); }

QString TComm::DevicePath(const QString& name)
{
    static const QRegularExpression com("^com([1-8])$", QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name.trimmed());
    if (m.hasMatch()) return QString("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
    return name;
}

namespace {
QString ReadSmall(const QString& path)
{
    QByteArray bytes;
    return ReadFileBounded(path, 65536, bytes) ? QString::fromUtf8(bytes).trimmed() : QString();
}

// "ttyUSB10" sorts after "ttyUSB9".
bool KernelOrder(const TSerialDevice& a, const TSerialDevice& b)
{
    static const QRegularExpression split("^(.*?)(\\d*)$");
    const auto ma = split.match(QFileInfo(a.device).fileName());
    const auto mb = split.match(QFileInfo(b.device).fileName());
    if (ma.captured(1) != mb.captured(1)) return ma.captured(1) < mb.captured(1);
    return ma.captured(2).toInt() < mb.captured(2).toInt();
}

// Vendor and model as udev recorded them for the device numbered "major:minor".
QString UdevName(const TDeviceRoots& roots, const QString& number)
{
    if (number.isEmpty()) return {};
    QString vendor, model;
    for (const QString& line : ReadSmall(roots.run + "/udev/data/c" + number).split('\n')) {
        if (line.startsWith("E:ID_VENDOR=")) vendor = line.mid(12);
        else if (line.startsWith("E:ID_MODEL=")) model = line.mid(11);
    }
    QString name = vendor + " " + model;
    return name.replace(QLatin1Char('_'), QLatin1Char(' ')).simplified();
}
}  // namespace

std::vector<TSerialDevice> TComm::ListSerialDevices(const TDeviceRoots& roots)
{
    // Stable names first: /dev/serial/by-id links, by the kernel name they lead to.
    QMap<QString, QString> byId;
    for (const QFileInfo& f :
         QDir(roots.dev + "/serial/by-id").entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (f.isSymLink()) byId.insert(QFileInfo(f.symLinkTarget()).fileName(), f.absoluteFilePath());

    static const QRegularExpression serial("^tty(S|USB|ACM|AMA)\\d+$");
    QStringList kernelNames;
    const QDir classTty(roots.sys + "/class/tty");
    if (classTty.exists()) {
        for (const QString& n : classTty.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot)) {
            if (!serial.match(n).hasMatch()) continue;
            const QString node = classTty.filePath(n);
            // The kernel keeps a ttyS entry for every possible legacy port; only
            // those with a UART behind them are ports.
            if (n.startsWith("ttyS")) {
                const QString type = ReadSmall(node + "/type");
                if (type.isEmpty() ? !QFileInfo::exists(node + "/device/driver") : type == "0") continue;
            } else if (!QFileInfo::exists(node + "/device")) {
                continue;
            }
            kernelNames << n;
        }
    } else {
        // No sysfs to ask: adapters are there when their nodes are.
        for (const QString& n : QDir(roots.dev).entryList({"ttyUSB*", "ttyACM*"}, QDir::System))
            if (serial.match(n).hasMatch()) kernelNames << n;
    }

    std::vector<TSerialDevice> found;
    for (const QString& n : kernelNames) {
        const QString device = roots.dev + "/" + n;
        if (!QFileInfo::exists(device)) continue;
        TSerialDevice d;
        d.device = device;
        d.path = byId.value(n, device);
        d.name = UdevName(roots, ReadSmall(roots.sys + "/class/tty/" + n + "/dev"));
        if (d.name.isEmpty()) d.name = byId.contains(n) ? QFileInfo(byId.value(n)).fileName() : n;
        found.push_back(d);
    }
    std::sort(found.begin(), found.end(), KernelOrder);
    return found;
}

static void RequireClosed(const TComm& c)
{
    if (c.Enabled()) throw ECommError("Port already assigned (open)", -1);
}

void TComm::SetDeviceName(const QString& name)
{
    if (name == m_DeviceName) return;
    RequireClosed(*this);
    m_DeviceName = name;
}

void TComm::SetMonitorEvents(unsigned events)
{
    if (events == m_MonitorEvents) return;
    RequireClosed(*this);
    m_MonitorEvents = events;
}

void TComm::SetReadBufSize(int size)
{
    if (size == m_ReadBufSize) return;
    RequireClosed(*this);
    m_ReadBufSize = size;
}

void TComm::SetWriteBufSize(int size)
{
    if (size == m_WriteBufSize) return;
    RequireClosed(*this);
    m_WriteBufSize = size;
}

#define KVX_SETTER(Name, Type, field) \
    void TComm::Name(Type v)          \
    {                                 \
        if (field == v) return;       \
        field = v;                    \
        ApplySettings();              \
    }
KVX_SETTER(SetBaudRate, TBaudrate, m_BaudRate)
KVX_SETTER(SetParity, TParity, m_Parity)
KVX_SETTER(SetStopbits, TStopbits, m_Stopbits)
KVX_SETTER(SetDatabits, TDatabits, m_Databits)
KVX_SETTER(SetOptions, unsigned, m_Options)
KVX_SETTER(SetFlowControl, TFlowControl, m_FlowControl)
#undef KVX_SETTER

TLineSettings TComm::Line() const
{
    static const int bits[] = {4, 5, 6, 7, 8};
    return {BaudRateValue(m_BaudRate), bits[m_Databits], int(m_Parity), int(m_Stopbits), int(m_FlowControl)};
}

void TComm::ApplySettings()
{
    if (!Enabled()) return;
    if (Network()) {
        if (!m_Transport->Apply(Line())) throw ECommError("Cannot set the port's speed and framing", errno);
        return;
    }
    termios t{};
    if (tcgetattr(m_Handle, &t) != 0) throw ECommError("Cannot set the port's speed and framing", errno);
    const speed_t speed = SpeedConstant(m_BaudRate);
    if (speed == 0) throw ECommError("Cannot set the port's speed and framing", EINVAL);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CMSPAR);
    static const tcflag_t sizes[] = {CS5, CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[m_Databits];
    switch (m_Parity) {
    case paNone: break;
    case paOdd: t.c_cflag |= PARENB | PARODD; break;
    case paEven: t.c_cflag |= PARENB; break;
    case paMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case paSpace: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (m_Stopbits != sb10) t.c_cflag |= CSTOPB;
    if (m_FlowControl != fcDefault) {
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (m_FlowControl == fcCTS) t.c_cflag |= CRTSCTS;
        if (m_FlowControl == fcSoftware) t.c_iflag |= IXON | IXOFF;
    }
    if (m_Options & coParityCheck) t.c_iflag |= INPCK;
    if (m_Options & coIgnoreXOff) t.c_iflag |= IXANY;
    t.c_cc[VSTART] = cc_t(m_EventChars.XonChar);
    t.c_cc[VSTOP] = cc_t(m_EventChars.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(m_Handle, TCSANOW, &t) != 0) throw ECommError("Cannot set the port's speed and framing", errno);
    if (m_FlowControl == fcNone) {
        SetModemLine(TIOCMBIC, TIOCM_DTR);
        SetModemLine(TIOCMBIC, TIOCM_RTS);
    }
}

void TComm::Open()
{
    RequireClosed(*this);
    if (IsNetworkPort(m_DeviceName)) {
        // One session of this program drives a server's line at a time: another
        // is waited for within the connection's bound. Not EBUSY, which a
        // reopening terminal would retry at length.
        const long long start = NowMs();
        if (pid_t holder = 0; !m_SessionLock.Acquire(NetworkLockKey(m_DeviceName), ConnectTimeout, holder)) {
            ECommError e("Error accessing specified device", EAGAIN, EAGAIN);
            TNetworkAddress a;
            e.Device = ParseNetworkPort(m_DeviceName, a) ? a.Name() : m_DeviceName.toStdString();
            e.Detail = ("in use by another session of this program" + (holder ? ", " + ProcessText(holder) : QString()))
                           .toStdString();
            throw e;
        }
        try {
            // The server is given the line settings as the connection opens.
            Adopt(OpenNetworkPort(m_DeviceName, Line(), std::max(1, int(ConnectTimeout - (NowMs() - start)))), false);
        } catch (...) {
            m_SessionLock.Release();
            throw;
        }
        return;
    }
    if (const std::string name = m_DeviceName.toStdString(); IsLocalPort(name)) {
        std::unique_ptr<TTransport> line = OpenLocalPort(name);
        if (!line) {
            ECommError e("Error accessing specified device", EIO, EIO);
            e.Device = name;
            throw e;
        }
        Adopt(std::move(line), false);
        return;
    }
    OpenDevice();
}

// Every way a serial device is opened passes here.
void TComm::OpenDevice()
{
    const QByteArray path = DevicePath(m_DeviceName).toLocal8Bit();
    // Every failure names the device, so that the user sees which one and why.
    auto fail = [&](const char* text, int code, int system) {
        ECommError e(text, code, system);
        e.Device = path.toStdString();
        return e;
    };
    // A port another program has locked by the UUCP convention is not even
    // opened: opening can already change its modem lines.
    if (pid_t holder = 0; !m_UucpLock.Acquire(QFile::decodeName(path), holder)) {
        ECommError e = fail("Error accessing specified device", EBUSY, EBUSY);
        e.Detail = ("in use by " + ProcessText(holder)).toStdString();
        throw e;
    }
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        m_UucpLock.Release();
        throw fail("Error accessing specified device", e, e);
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        const int e = errno;
        ::close(fd);
        m_UucpLock.Release();
        throw fail("Invalid device handle, access denied", -1, e);
    }
    // Exclusive use: an advisory lock that also holds between programs running
    // with privileges, then the tty's own lock, taken only once the port is ours
    // (on another program's port it would lock that program out) and given back
    // at Close (a pseudo-terminal keeps it beyond the last close, and a user
    // without privileges could not open it again).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        m_UucpLock.Release();
        throw fail("Error accessing specified device", e, e);
    }
    m_Exclusive = ioctl(fd, TIOCEXCL) == 0;
    try {
        Adopt(std::make_unique<TDeviceTransport>(fd), true);
    } catch (ECommError& e) {
        e.Device = path.toStdString();
        throw;
    }
}

void TComm::OpenTAPI(int handle)
{
    RequireClosed(*this);
    if (handle < 0 || fcntl(handle, F_GETFD) < 0) throw ECommError("Error accessing specified device", EBADF);
    struct stat st {};
    if (fstat(handle, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(handle);
        throw ECommError("Invalid device handle, access denied", -1);
    }
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) | O_NONBLOCK);
    Adopt(std::make_unique<TDeviceTransport>(handle), false);
}

void TComm::OpenTAPI(std::unique_ptr<TTransport> line)
{
    RequireClosed(*this);
    if (!line) throw ECommError("Error accessing specified device", EBADF);
    Adopt(std::move(line), false);
}

void TComm::Adopt(std::unique_ptr<TTransport> transport, bool applySettings)
{
    m_Transport = std::move(transport);
    m_Handle = m_Transport->Handle();
    try {
        if (m_Transport->Polled()) StartThread();
        if (applySettings) ApplySettings();
    } catch (...) {
        // A port that failed to open is left closed.
        Close();
        throw;
    }
}

void TComm::Close()
{
    if (!Enabled()) return;
    StopThread();
    if (m_Exclusive) (void)ioctl(m_Handle, TIOCNXCL);
    m_Exclusive = false;
    m_Transport.reset();
    m_Handle = -1;
    m_UucpLock.Release();
    m_SessionLock.Release();
}

void TComm::StartThread()
{
    if (pipe2(m_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw ECommError("Error initializing Read/Write Buffers", errno);
    m_Stop = false;
    {
        std::lock_guard<std::mutex> g(m_HandMutex);
        m_Handled = true;
    }
    const unsigned generation = ++m_Generation;
    m_Thread = std::thread(&TComm::EventLoop, this, m_Handle, m_WakePipe[0], generation);
}

void TComm::StopThread()
{
    {
        // Set under the hand-over's lock: the event thread tests the flag and then
        // sleeps on the condition; set between the two, the wake-up below would
        // be lost and the join would wait for ever on a thread that waits for
        // this thread to handle its event.
        std::lock_guard<std::mutex> g(m_HandMutex);
        m_Stop = true;
    }
    ++m_Generation;  // hand-overs still queued for this port are void
    if (m_WakePipe[1] >= 0) {
        const char c = 1;
        (void)!::write(m_WakePipe[1], &c, 1);
    }
    m_HandCond.notify_all();
    if (m_Thread.joinable()) m_Thread.join();
    for (int& p : m_WakePipe) {
        if (p >= 0) ::close(p);
        p = -1;
    }
}

void TComm::EventLoop(int fd, int wakeFd, unsigned generation)
{
    bool watching = true;
    while (!m_Stop) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, POLLIN | POLLRDHUP, 0}};
        const int n = ::poll(fds, watching ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (m_Stop || (fds[0].revents & POLLIN)) break;
        if (!watching) continue;
        unsigned mask = 0;
        if (fds[1].revents & POLLIN) mask |= evRxChar;
        // A connection the far end closed is lost once what it sent before is read.
        int unread = 0;
        const bool closed = (fds[1].revents & POLLRDHUP) && (ioctl(fd, FIONREAD, &unread) != 0 || unread == 0);
        if (closed) mask &= ~evRxChar;
        if (closed || (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            mask |= evError | evRlsd;
            watching = false;  // a dead line would wake the poll for ever
        }
        mask &= m_MonitorEvents | evError;
        if (!mask) continue;
        {
            std::lock_guard<std::mutex> g(m_HandMutex);
            m_Handled = false;
        }
        QMetaObject::invokeMethod(
            m_Context.get(), [this, mask, generation] { Dispatch(mask, generation); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> l(m_HandMutex);
        m_HandCond.wait(l, [this] { return m_Handled || m_Stop; });
    }
}

void TComm::Dispatch(unsigned mask, unsigned generation)
{
    struct Done {
        TComm* c;
        ~Done()
        {
            {
                std::lock_guard<std::mutex> g(c->m_HandMutex);
                c->m_Handled = true;
            }
            c->m_HandCond.notify_all();
        }
    } done{this};
    if (generation != m_Generation || !Enabled()) return;
    const unsigned errors = (mask & evError) ? CE_LINELOST : 0;
    const int queued = InQueCount();
    if ((mask & evError) && OnError) OnError(this, errors);
    if ((mask & evRlsd) && OnRlsd) OnRlsd(this);
    if ((mask & evRxChar) && OnRxChar && queued > 0 && Enabled()) OnRxChar(this, queued);
}

int TComm::Write(const void* buffer, int count)
{
    std::lock_guard<TCriticalSection> g(m_Lock);
    if (!Enabled()) throw ECommError("Write error", EBADF);
    const auto* p = static_cast<const uint8_t*>(buffer);
    int done = 0;
    const long long deadline = NowMs() + WriteTimeout;
    // Bytes a transport took but still holds count as written only once they are out.
    while (done < count || !m_Transport->Flush()) {
        const ssize_t n = m_Transport->Send(p + done, size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0) {
            // A connection the far end closed is a line lost, as a pulled cable is.
            if (errno == EPIPE || errno == ECONNRESET) {
                if (OnError) OnError(this, CE_LINELOST);
                return -1;
            }
            throw ECommError("Write error", errno);
        }
        const long long left = deadline - NowMs();
        if (left <= 0) return -1;
        pollfd pfd{m_Handle, POLLOUT, 0};
        ::poll(&pfd, 1, int(left));
        if (pfd.revents & (POLLHUP | POLLERR)) throw ECommError("Write error", EIO);
    }
    return done;
}

int TComm::Read(void* buffer, int count)
{
    std::lock_guard<TCriticalSection> g(m_Lock);
    if (!Enabled()) throw ECommError("Read error", EBADF);
    const ssize_t n = m_Transport->Receive(static_cast<uint8_t*>(buffer), size_t(std::max(count, 0)));
    if (n < 0) throw ECommError("Read error", errno);
    return int(n);
}

int TComm::InQueCount() const { return Enabled() ? m_Transport->InQueue() : -1; }

int TComm::OutQueCount() const { return Enabled() ? m_Transport->OutQueue() : -1; }

// Locked as Read is: a network transport's purge empties what Read takes from.
void TComm::PurgeIn()
{
    std::lock_guard<TCriticalSection> g(m_Lock);
    if (Enabled()) m_Transport->Purge(true, false);
}

void TComm::PurgeOut()
{
    std::lock_guard<TCriticalSection> g(m_Lock);
    if (Enabled()) m_Transport->Purge(false, true);
}

bool TComm::Drain(int timeoutMs)
{
    std::lock_guard<TCriticalSection> g(m_Lock);
    return Enabled() && m_Transport->Drain(timeoutMs);
}

// Modem-control requests that the device does not support (a pseudo-terminal,
// for one) do not apply and are not failures.
static bool NotApplicable(int e) { return e == ENOTTY || e == EINVAL || e == ENOTSUP || e == ENOSYS || e == EIO; }

void TComm::SetModemLine(unsigned long request, int bit)
{
    if (!Enabled()) throw ECommError("Port not open, unable to complete operation", -1);
    const int rc = ioctl(m_Handle, request, &bit);
    if (rc != 0 && !NotApplicable(errno)) throw ECommError("Cannot set the port's modem control lines", errno);
}

void TComm::SetDTRState(bool on) { SetModemLine(on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR); }
void TComm::SetRTSState(bool on) { SetModemLine(on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS); }

bool TComm::GetModemState(int index) const
{
    int status = 0;
    if (!Enabled() || ioctl(m_Handle, TIOCMGET, &status) != 0) return false;
    switch (index) {
    case 1: return status & TIOCM_CTS;
    case 2: return status & TIOCM_DSR;
    case 3: return status & TIOCM_RNG;
    case 4: return status & TIOCM_CAR;
    default: return false;
    }
}

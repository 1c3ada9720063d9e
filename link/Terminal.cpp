#include "Terminal.h"

#include "Dialing.h"

#include <QLoggingCategory>
#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <cstring>

// The link's debug lines (a wait that timed out) are silent unless asked for with
// QT_LOGGING_RULES="korvanext.link.debug=true": a monitor polling a silent port
// would otherwise print one a second on the terminal.
Q_LOGGING_CATEGORY(lcLink, "korvanext.link", QtWarningMsg)

namespace {
// What a modem puts into the data when the call drops.
const uint8_t kNoCarrier[] = {'\r', '\n', 'N', 'O', ' ', 'C', 'A', 'R', 'R', 'I', 'E', 'R'};
}  // namespace

const char* LinkErrorName(uint8_t code)
{
    switch (code) {
    case CE_NOT_CONNECTED: return "CE_NOT_CONNECTED";
    case CE_USER: return "CE_USER";
    case CE_CONNECTION_TIMEOUT: return "CE_CONNECTION_TIMEOUT";
    case CE_PARSING_ERROR: return "CE_PARSING_ERROR";
    case CE_SEND_ERROR: return "CE_SEND_ERROR";
    case CE_OPEN_ERROR: return "CE_OPEN_ERROR";
    default: return nullptr;
    }
}

const char* CCOMTermExp::what() const noexcept
{
    const char* name = LinkErrorName(Code);
    return name ? name : "CE_UNKNOWN";
}

CCOMTerminal::CCOMTerminal() : m_Telephony(CreateDefaultTelephony())
{
    m_Timer.setInterval(100);
    QObject::connect(&m_Timer, &QTimer::timeout, [] {});
    m_Timer.start();
    InstallHandlers();
    RefreshDevices();
}

CCOMTerminal::~CCOMTerminal()
{
    m_OnStateChange = nullptr;
    m_View = nullptr;
    m_Comm.Close();
    if (m_Telephony) m_Telephony->CloseLine();
}

void CCOMTerminal::InstallHandlers()
{
    m_Comm.OnRxChar = [this](TComm* c, int n) { OnReceive(c, n); };
    m_Comm.OnError = [this](TComm*, unsigned errors) {
        if (errors & CE_LINELOST) m_LineLost = true;
    };
}

CCOMTermExp CCOMTerminal::OpenFailure(const ECommError& e, const QString& port)
{
    CCOMTermExp x(CE_OPEN_ERROR);
    x.Device = e.Device.empty() ? TComm::DevicePath(port).toStdString() : e.Device;
    x.SystemError = e.SystemError;
    x.NetFailure = e.NetFailure;
    // A network port's own text says more than the system's word for its error.
    x.Detail = !e.Detail.empty()                             ? e.Detail
               : e.SystemError > 0 && e.NetFailure == nfNone ? std::strerror(e.SystemError)
                                                             : e.Text;
    return x;
}

bool CCOMTerminal::Connect(const QString& port, int baudRate)
{
    bool reopening = false;
    if (m_Comm.Enabled()) {
        reopening = m_Comm.DeviceName() == port;
        m_Comm.Close();
    }
    m_BaudRate = baudRate;
    TBaudrate rate;
    switch (baudRate) {
    case 9600: rate = br9600; break;
    case 19200: rate = br19200; break;
    case 57600: rate = br57600; break;
    default: {
        CCOMTermExp e(CE_OPEN_ERROR);
        e.Device = TComm::DevicePath(port).toStdString();
        e.Detail = "speed " + std::to_string(baudRate) + " not supported";
        throw e;
    }
    }
    m_Comm.SetDeviceName(port);
    m_Comm.SetStopbits(sb10);
    m_Comm.SetDatabits(da8);
    m_Comm.SetParity(paNone);
    m_Comm.SetFlowControl(fcNone);
    m_Comm.SetReadBufSize(10000);
    m_Comm.SetWriteBufSize(10000);
    m_Comm.SetBaudRate(rate);
    // The device may still be held for a moment after it was closed. Only that
    // is waited for: a device that is gone fails at once, and its name may soon
    // belong to another line (a pseudo-terminal's number is given out again).
    for (int attempt = 0;; ++attempt) {
        m_Comm.Close();
        try {
            m_Comm.Open();
            break;
        } catch (const ECommError& e) {
            // A terminal server may still be letting go of the line it served us a moment ago.
            const bool held = e.SystemError == EBUSY || e.NetFailure == nfClosed;
            if (!reopening || !held || attempt >= 100) {
                throw OpenFailure(e, port);
            }
            Clock().Sleep(10);
        }
    }
    m_Count = 0;
    m_Terminator = 13;
    m_LineLost = false;
    m_Overflow = false;
    InstallHandlers();
    m_Comm.PurgeIn();
    m_Comm.PurgeOut();
    return true;
}

void CCOMTerminal::Close()
{
    m_Comm.Close();
    SetConnected(false);
    if (m_CallActive) HangUp();
}

void CCOMTerminal::OnReceive(TComm* comm, int count)
{
    if (!comm->Enabled()) return;
    uint8_t chunk[4999];
    int n = 0;
    try {
        n = comm->Read(chunk, std::min(count, int(sizeof chunk)));
    } catch (const ECommError&) {
        m_LineLost = true;  // the device went away; the running wait reports it
        return;
    }
    // A full buffer keeps what it has: starting over would let a flooding peer
    // hold a wait for ever; the wait ends on m_Overflow instead.
#ifdef KVX_PLANT_FAULT_CAP
    const int room = n;  // planted: the buffer's bound is gone
#else
    const int room = BufferSize - m_Count;
#endif
    if (n > room) m_Overflow = true;
    const int kept = std::min(n, room);
    std::memcpy(m_Buffer.data() + m_Count, chunk, size_t(kept));
    m_Count += kept;
    if (n > 0 && m_OnReceive) m_OnReceive(m_Count);
}

const char* CCOMTerminal::Received()
{
    m_Buffer[size_t(m_Count)] = 0;
    return reinterpret_cast<const char*>(m_Buffer.data());
}

void CCOMTerminal::SendRaw(const void* data, int size)
{
    bool sent = false;
    try {
        sent = m_Comm.Write(data, size) == size;
    } catch (...) {
        // A port that fails under the bytes (the device gone, an I/O error) is a link error.
        throw CCOMTermExp(CE_SEND_ERROR);
    }
    if (!sent) throw CCOMTermExp(SendFailure());
}

void CCOMTerminal::Send(const std::string& command)
{
    if (command.empty()) return;
    SendRaw(command.data(), int(command.size()));
    m_Count = 0;
    m_Overflow = false;
    if (m_Terminator != 0) SendRaw(&m_Terminator, 1);
}

template <class Cond> int CCOMTerminal::Wait(const std::string& command, Cond condition, int replyBytes)
{
    // A second wait started from an event handler would corrupt this one.
    if (m_Waiting) throw CCOMTermExp(CE_SEND_ERROR);
    m_Waiting = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{m_Waiting};

    // A Cancel pressed between two waits of a block in flight is not lost.
    if (m_Abort && BlockInFlight()) BreakNow();
    m_Abort = false;
    if (BreakNow()) throw CCOMTermExp(CE_USER);
    Send(command);
    long long start = NowMs();
#ifdef KVX_PLANT_FAULT_DEADLINE
    int seen = 0;  // planted: arriving bytes extend the wait
#endif
    // A reply of known length gets its line time (10 bits a byte) on top of the
    // bound; a modem call's data rate is not known, so the slowest is assumed.
    const int baud = m_CallActive ? 2400 : m_BaudRate > 0 ? m_BaudRate : 19200;
    const qint64 deadline = qint64(m_Timeout) + qint64(replyBytes) * 10 * 1000 / baud;
    auto overflow = [] {
        CCOMTermExp e(CE_PARSING_ERROR);
        e.Overflow = true;
        return e;
    };
    int scanned = 0;  // bytes already searched for "NO CARRIER" (each is searched once)
    while (NowMs() - start < deadline) {
        if (BreakNow()) throw CCOMTermExp(CE_USER);
        if (const int r = condition()) return r;
        if (m_Overflow) throw overflow();
        // A modem whose call dropped says so in the data; the line is gone now,
        // not when the wait has run out.
        if (m_Count < scanned) scanned = 0;  // the buffer was cleared meanwhile
        if (m_CallActive && m_Count > scanned) {
            const auto from = m_Buffer.begin() + std::max(0, scanned - 11), end = m_Buffer.begin() + m_Count;
            if (std::search(from, end, kNoCarrier, kNoCarrier + 12) != end) m_LineLost = true;
            scanned = m_Count;
        }
        if (m_LineLost || !m_Comm.Enabled()) throw CCOMTermExp(CE_NOT_CONNECTED);
#ifdef KVX_PLANT_FAULT_DEADLINE
        if (m_Count != seen) {
            seen = m_Count;
            start = NowMs();
        }
#endif
        Clock().WaitForEvents(start + deadline);
    }
    if (const int r = condition()) return r;
    if (m_Overflow) throw overflow();
    qCDebug(lcLink, "Connection timeout");
    throw CCOMTermExp(CE_CONNECTION_TIMEOUT);
}

bool CCOMTerminal::BreakNow()
{
    if (m_InterruptNow) return true;
    if (!m_Abort && !m_Interrupt) return false;
    if (!BlockInFlight() && !(m_HoldWrite > 0 && WriteFinishes())) return true;
    if (!m_BreakHeld) {
        m_BreakHeld = true;
        if (m_OnBreakHeld) m_OnBreakHeld();
    }
    return false;
}

bool CCOMTerminal::DrainOutput(int timeoutMs)
{
    const long long start = NowMs();
    while (!m_Comm.Drain(0)) {
        // A line that hung up never drains: nothing to wait for.
        if (m_InterruptNow || m_LineLost || NowMs() - start >= timeoutMs || !m_Comm.Enabled()) return false;
        Clock().ServeEvents(10);
        m_Comm.Drain(10);
    }
    return true;
}

int CCOMTerminal::SendAndWait(const std::string& command, std::initializer_list<const char*> expected)
{
    const char* const* s = expected.begin();
    const bool zeroEnded = expected.size() == 0 || s[0] == nullptr;
    return Wait(command, [&]() -> int {
        if (zeroEnded) return (m_Count > 0 && m_Buffer[size_t(m_Count - 1)] == 0) ? 1 : 0;
        const char* received = Received();
        int index = 0;
        for (const char* text : expected) {
            ++index;
            if (index > 10) break;
            if (text && std::strstr(received, text)) return index;
        }
        return 0;
    });
}

bool CCOMTerminal::SendAndWaitCount(const std::string& command, int n)
{
    const auto arrived = [&] { return m_Count >= n ? 1 : 0; };
    return Wait(command, arrived, n) != 0;
}

bool CCOMTerminal::SendAndWaitNth(const std::string& command, const char* text, int n)
{
    const auto nthArrived = [&] {
        const char* p = std::strstr(Received(), text);
        for (int found = 1; p && found < n; ++found) p = std::strstr(p + 1, text);
        return p ? 1 : 0;
    };
    return Wait(command, nthArrived) != 0;
}

std::string CCOMTerminal::Extract(const char* start, const char* end)
{
    Received();
    return ExtractText(reinterpret_cast<char*>(m_Buffer.data()), start, end);
}

std::string ExtractText(char* received, const char* start, const char* end)
{
    char* s = std::strstr(received, start);
    if (!s) throw CCOMTermExp(CE_PARSING_ERROR);
    s += std::strlen(start);
    char* e = std::strstr(s, end);
    if (!e) throw CCOMTermExp(CE_PARSING_ERROR);
    *e = 0;
    while (*s == ' ' || *s == '\t') ++s;
    return std::string(s, size_t(e - s));
}

void CCOMTerminal::SetConnected(bool connected)
{
    if (m_Connected == connected) return;
    m_Connected = connected;
    if (m_OnStateChange) m_OnStateChange(m_Connected, m_CallActive);
}

void CCOMTerminal::SetCallActive(bool active)
{
    if (m_CallActive == active) return;
    m_CallActive = active;
    if (m_OnStateChange) m_OnStateChange(m_Connected, m_CallActive);
}

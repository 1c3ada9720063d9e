#include "Netport.h"

#include "Serialport.h"
#include "Telnetcodec.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int Left(long long deadline) { return int(std::max(0LL, deadline - NowMs())); }

[[noreturn]] void Fail(const TNetworkAddress& a, TNetFailure why, int error, const std::string& text)
{
    ECommError e(text, error > 0 ? error : -1, error);
    e.Device = a.Name();
    e.NetFailure = why;
    throw e;
}

TNetFailure FailureOf(int error)
{
    switch (error) {
    case ECONNREFUSED: return nfRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return nfUnreachable;
    case ETIMEDOUT: return nfTimedOut;
    case ECONNRESET:
    case EPIPE: return nfClosed;
    default: return nfOther;
    }
}

// A raw TCP connection: the bytes go as they are.
class TTcpTransport : public TDescriptorTransport {
public:
    using TDescriptorTransport::TDescriptorTransport;
    bool Network() const override { return true; }
    ssize_t Send(const uint8_t* buffer, size_t count) override { return SendRaw(buffer, count); }
    ssize_t Receive(uint8_t* buffer, size_t count) override { return ReceiveRaw(buffer, count); }
    int InQueue() const override { return Queue(FIONREAD); }
    int OutQueue() const override { return Queue(SIOCOUTQ); }
    void Purge(bool in, bool) override
    {
        // What was sent cannot be called back; what arrived is dropped.
        uint8_t sink[4096];
        while (in && ::recv(m_Fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {}
    }
    bool Drain(int timeoutMs) override { return DrainQueue(SIOCOUTQ, timeoutMs); }

protected:
    ssize_t SendRaw(const uint8_t* buffer, size_t count)
    {
        for (;;) {
            const ssize_t n = ::send(m_Fd, buffer, count, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
    }
    ssize_t ReceiveRaw(uint8_t* buffer, size_t count)
    {
        if (count == 0) return 0;
        for (;;) {
            const ssize_t n = ::recv(m_Fd, buffer, count, MSG_DONTWAIT);
            if (n > 0) {
                // Acknowledged at once: a server that gathers its small writes
                // (Nagle) would otherwise wait for our delayed acknowledgement.
                const int one = 1;
                setsockopt(m_Fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
                return n;
            }
            if (n == 0) {
                errno = ECONNRESET;
                return -1;
            }
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        }
    }
};

// Telnet with the COM-PORT-OPTION: data bytes 0xFF doubled both ways, the line
// settings sent as subnegotiations and confirmed by the server.
class TTelnetTransport : public TTcpTransport {
public:
    TTelnetTransport(int fd, TNetworkAddress address) : TTcpTransport(fd), m_Address(std::move(address)) {}

    ssize_t Send(const uint8_t* buffer, size_t count) override
    {
        if (!Flush()) {
            errno = m_Error;
            return m_Error ? -1 : 0;
        }
        const size_t take = std::min(count, size_t(4096));
        TTelnetCodec::Escape(buffer, take, m_Out);
        Flush();
        if (m_Error) {
            errno = m_Error;
            return -1;
        }
        return ssize_t(take);
    }
    bool Flush() override
    {
        while (!m_Out.empty() && !m_Error) {
            const ssize_t n = SendRaw(reinterpret_cast<const uint8_t*>(m_Out.data()), m_Out.size());
            if (n < 0) m_Error = errno;
            if (n <= 0) break;
            m_Out.erase(0, size_t(n));
        }
        return m_Out.empty();
    }
    ssize_t Receive(uint8_t* buffer, size_t count) override
    {
        if (!m_In.empty()) {
            const size_t n = std::min(count, m_In.size());
            std::memcpy(buffer, m_In.data(), n);
            m_In.erase(0, n);
            return ssize_t(n);
        }
        const ssize_t n = ReceiveRaw(buffer, count);
        if (n <= 0) return n;
        // Decoding never lengthens: the data fit where the raw bytes were.
        const size_t d = m_Codec.Decode(buffer, size_t(n), buffer);
        Answer();
        if (m_Error == ENOBUFS) {
            errno = m_Error;
            return -1;
        }
        return ssize_t(d);
    }
    int InQueue() const override
    {
        const int raw = Queue(FIONREAD);
        return raw < 0 ? raw : raw + int(m_In.size());
    }
    int OutQueue() const override
    {
        const int queued = Queue(SIOCOUTQ);
        return queued < 0 ? queued : queued + int(m_Out.size());
    }
    void Purge(bool in, bool out) override
    {
        if (in) m_In.clear();
        TTcpTransport::Purge(in, out);
    }

    // Opening: binary both ways and the COM-PORT-OPTION agreed, then the line.
    void Start(const TLineSettings& line, long long deadline)
    {
        m_Out += m_Codec.Start();
        Flush();
        AwaitUntil([this] { return m_Codec.Ready(); }, deadline);
        Configure(line, deadline);
    }
    bool SetDtr(bool on) override
    {
        // SET-CONTROL 8 raises DTR, 9 drops it; the server confirms, nobody waits for that.
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetControl, std::string(1, char(on ? 8 : 9)));
        Flush();
        errno = m_Error;
        return m_Error == 0;
    }
    bool Apply(const TLineSettings& line) override
    {
        try {
            Configure(line, NowMs() + kConfirmMs);
            return true;
        } catch (const ECommError& e) {
            errno = e.SystemError > 0 ? e.SystemError : EPROTO;
            return false;
        }
    }

private:
    static constexpr int kConfirmMs = 5000;

    // What a server can make us hold: answers it does not read, data it sends
    // before the line is set. More is a server that floods; it fails.
    static constexpr size_t kMaxQueue = 65536;

    void Answer()
    {
        const std::string replies = m_Codec.TakeReplies();
        if (m_Out.size() + replies.size() > kMaxQueue) {
            if (!m_Error) m_Error = ENOBUFS;
            return;
        }
        m_Out += replies;
        Flush();
    }
    void Configure(const TLineSettings& line, long long deadline)
    {
        const uint32_t b = uint32_t(line.baud);
        const std::string baud{char(b >> 24), char(b >> 16), char(b >> 8), char(b)};
        static const char parity[] = {1, 2, 3, 4, 5};  // none, odd, even, mark, space
        static const char stop[] = {1, 3, 2};          // 1, 1.5, 2
        static const char flow[] = {1, 3, 3, 2, 1};    // none, CTS, DTR (hardware), XON/XOFF, default
        const unsigned before = m_Codec.Acks(TTelnetCodec::SetBaudrate);
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetBaudrate, baud);
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetDatasize, std::string(1, char(line.dataBits)));
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetParity, std::string(1, parity[line.parity % 5]));
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetStopsize, std::string(1, stop[line.stopBits % 3]));
        m_Out += TTelnetCodec::ComPortCommand(TTelnetCodec::SetControl, std::string(1, flow[line.flow % 5]));
        Flush();
        AwaitUntil([&] { return m_Codec.Acks(TTelnetCodec::SetBaudrate) > before; }, deadline);
        if (m_Codec.AckedBaud() != b)
            Fail(m_Address, nfNoComPort, EPROTO,
                 "The server runs the line at " + std::to_string(m_Codec.AckedBaud()) + " baud instead of " +
                     std::to_string(b));
    }
    // Reads and answers the server until done() holds; received data is kept.
    template <class Done> void AwaitUntil(Done done, long long deadline)
    {
        for (;;) {
            if (m_Error == ENOBUFS)
                Fail(m_Address, nfOther, m_Error, "The server negotiates without end and does not read the answers");
            if (m_Error == EMSGSIZE)
                Fail(m_Address, nfOther, m_Error, "The server sends data without end before the line is set");
            if (m_Error) Fail(m_Address, FailureOf(m_Error), m_Error, "Connection lost");
            if (m_Codec.Refused())
                Fail(m_Address, nfNoComPort, EPROTO, "The server refuses binary mode or the COM-PORT-OPTION");
            if (done()) return;
            const int left = Left(deadline);
            if (left == 0) Fail(m_Address, nfNoComPort, ETIMEDOUT, "The server does not confirm the COM-PORT-OPTION");
            pollfd p{m_Fd, short(POLLIN | (m_Out.empty() ? 0 : POLLOUT)), 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) Fail(m_Address, nfOther, errno, "Connection failed");
            Flush();
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            uint8_t raw[4096];
            const ssize_t n = ReceiveRaw(raw, sizeof raw);
            if (n < 0) {
                const int e = errno;
                std::string said;  // a server that turns us away often says why
                for (char c : m_In)
                    if (c >= 32 && c < 127 && said.size() < 80) said += c;
                Fail(m_Address, FailureOf(e), e,
                     said.empty() ? "The server closed the connection" : "The server closed the connection: " + said);
            }
            const size_t d = m_Codec.Decode(raw, size_t(n), raw);
            if (m_In.size() + d > kMaxQueue) m_Error = EMSGSIZE;
            else m_In.append(reinterpret_cast<const char*>(raw), d);
            Answer();
        }
    }

    TNetworkAddress m_Address;
    TTelnetCodec m_Codec;
    std::string m_Out;  // escaped bytes the socket has not taken yet
    std::string m_In;   // data that arrived while negotiating
    int m_Error = 0;
};

// A name lookup that waits at most until the deadline: the system's resolver
// has bounds of its own (tries and time-outs of each name server) that may
// add up to far more. A lookup given up on ends alone in its thread.
addrinfo* Lookup(const TNetworkAddress& a, long long deadline)
{
    struct TLookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int rc = 0;
        int error = 0;
        addrinfo* found = nullptr;
        ~TLookup()
        {
            if (found) freeaddrinfo(found);
        }
    };
    auto lookup = std::make_shared<TLookup>();
    std::thread([lookup, host = a.host, port = a.port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        addrinfo* found = nullptr;
        const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
        const int error = errno;
        std::lock_guard<std::mutex> g(lookup->mutex);
        lookup->rc = rc;
        lookup->error = error;
        lookup->found = found;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> g(lookup->mutex);
    if (!lookup->done.wait_for(g, std::chrono::milliseconds(Left(deadline)), [&] { return lookup->finished; }))
        Fail(a, nfLookupTimedOut, ETIMEDOUT, "The host name could not be looked up in time");
    const int rc = lookup->rc;
    if (rc != 0) {
        const bool unknown = rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL || rc == EAI_AGAIN;
        Fail(a, unknown ? nfHostNotFound : nfOther, -1,
             rc == EAI_SYSTEM ? std::strerror(lookup->error) : gai_strerror(rc));
    }
    return std::exchange(lookup->found, nullptr);
}

// Connects to the first address that answers, within the deadline.
int Connect(const TNetworkAddress& a, long long deadline)
{
    addrinfo* found = Lookup(a, deadline);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);
    int error = ETIMEDOUT;
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int ok = ::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 ? 0 : errno;
        if (ok == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int n;
            do n = ::poll(&p, 1, Left(deadline));
            while (n < 0 && errno == EINTR);
            socklen_t len = sizeof ok;
            if (n == 0) ok = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &ok, &len) != 0) ok = errno;
        }
        if (ok == 0) {
            // Commands are single letters: each goes at once, not gathered.
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
            return fd;
        }
        ::close(fd);
        error = ok;
        if (Left(deadline) == 0) break;
    }
    Fail(a, FailureOf(error), error, error == ETIMEDOUT ? "No answer in time" : std::strerror(error));
}
}  // namespace

std::string TNetworkAddress::Name() const
{
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
}

bool IsNetworkPort(const QString& text)
{
    const QString t = text.trimmed();
    return t.startsWith("socket://", Qt::CaseInsensitive) || t.startsWith("rfc2217://", Qt::CaseInsensitive);
}

QString ShownPortText(const QString& text)
{
    static const QRegularExpression password("^([A-Za-z0-9+.-]+://[^/@:]*):[^/@]*@");
    QString shown = text.trimmed();
    return shown.replace(password, "\\1:***@");
}

bool ParseNetworkPort(const QString& text, TNetworkAddress& address)
{
    static const QRegularExpression form(
        "^(socket|rfc2217)://(?:\\[([0-9A-Fa-f:.]+(?:%[\\w.-]+)?)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})/?$",
        QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch()) return false;
    const int port = m.captured(4).toInt();
    if (port < 1 || port > 65535) return false;
    address.comPort = m.captured(1).compare("rfc2217", Qt::CaseInsensitive) == 0;
    address.host = (m.captured(2).isEmpty() ? m.captured(3) : m.captured(2)).toStdString();
    address.port = std::to_string(port);
    return true;
}

std::unique_ptr<TTransport> OpenNetworkPort(const QString& text, const TLineSettings& line, int timeoutMs)
{
    TNetworkAddress a;
    if (!ParseNetworkPort(text, a)) {
        a.host = ShownPortText(text).toStdString();
        ECommError e("Not a network port of the form socket://HOST:PORT or rfc2217://HOST:PORT", -1, EINVAL);
        e.Device = a.host;
        e.NetFailure = nfBadName;
        throw e;
    }
    const long long deadline = NowMs() + std::max(timeoutMs, 1);
    const int fd = Connect(a, deadline);
    if (!a.comPort) return std::make_unique<TTcpTransport>(fd);
    auto t = std::make_unique<TTelnetTransport>(fd, a);
    t->Start(line, deadline);
    return t;
}

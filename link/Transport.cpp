#include "Transport.h"

#include <map>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
std::map<std::string, TLocalPortOpener>& LocalPorts()
{
    static std::map<std::string, TLocalPortOpener> ports;
    return ports;
}
}  // namespace

void SetLocalPort(const std::string& name, TLocalPortOpener open)
{
    if (open) LocalPorts()[name] = std::move(open);
    else LocalPorts().erase(name);
}

bool IsLocalPort(const std::string& name) { return !LocalPorts().empty() && LocalPorts().count(name) > 0; }

std::unique_ptr<TTransport> OpenLocalPort(const std::string& name)
{
    const auto p = LocalPorts().find(name);
    return p == LocalPorts().end() ? nullptr : p->second();
}

TDescriptorTransport::~TDescriptorTransport() { ::close(m_Fd); }

int TDescriptorTransport::Queue(unsigned long request) const
{
    int n = 0;
    return ioctl(m_Fd, request, &n) == 0 ? n : -1;
}

bool TDescriptorTransport::DrainQueue(unsigned long request, int timeoutMs)
{
    // tcdrain() and the socket have no bounded wait for it: the queue is watched.
    const long long start = NowMs();
    for (;;) {
        const int left = Flush() ? Queue(request) : 1;
        if (left <= 0) return left == 0;
        if (NowMs() - start >= timeoutMs) return false;
        Clock().Sleep(2);
    }
}

ssize_t TDeviceTransport::Send(const uint8_t* buffer, size_t count)
{
    for (;;) {
        const ssize_t n = ::write(m_Fd, buffer, count);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

ssize_t TDeviceTransport::Receive(uint8_t* buffer, size_t count)
{
    for (;;) {
        const ssize_t n = ::read(m_Fd, buffer, count);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

int TDeviceTransport::InQueue() const { return Queue(FIONREAD); }

int TDeviceTransport::OutQueue() const { return Queue(TIOCOUTQ); }

void TDeviceTransport::Purge(bool in, bool out)
{
    if (in || out) tcflush(m_Fd, in && out ? TCIOFLUSH : in ? TCIFLUSH : TCOFLUSH);
}

bool TDeviceTransport::Drain(int timeoutMs) { return DrainQueue(TIOCOUTQ, timeoutMs); }

bool TDeviceTransport::SetDtr(bool on)
{
    int dtr = TIOCM_DTR;
    return ioctl(m_Fd, on ? TIOCMBIS : TIOCMBIC, &dtr) == 0;
}

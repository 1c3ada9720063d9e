// Peers that do not behave: a pseudo-terminal or a TCP server that drips,
// floods, hangs up at once or keeps negotiating, each on a thread of its own
// so that a test may run the command line against it meanwhile.
#pragma once
#include "loopback.h"
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// Runs `behave(fd, stopping)` on its own thread against a peer's descriptor;
// stops and joins on destruction.
class THostilePeer {
public:
    using TBehaviour = std::function<void(int fd, const std::atomic<bool>& stop)>;
    ~THostilePeer()
    {
        m_Stop = true;
        if (m_Thread.joinable()) m_Thread.join();
        if (m_Listen >= 0) ::close(m_Listen);
        if (m_Master >= 0) ::close(m_Master);
    }
    // A pseudo-terminal; the device the program is to open is returned.
    std::string StartPty(TBehaviour behave)
    {
        m_Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_Master < 0 || ::grantpt(m_Master) != 0 || ::unlockpt(m_Master) != 0) return {};
        const std::string slave = ::ptsname(m_Master);
        // Held open here too, so that the line stays while the program reopens it.
        m_Slave = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        ::fcntl(m_Master, F_SETFL, O_NONBLOCK);
        m_Thread = std::thread([this, behave] {
            behave(m_Master, m_Stop);
            ::close(m_Slave);
        });
        return slave;
    }
    // A TCP server on the loopback that serves one connection after another; its port.
    int StartTcp(TBehaviour behave)
    {
        const TLoopbackSocket listener = LoopbackSocket();
        m_Listen = listener.fd;
        if (!listener.port) return -1;
        m_Thread = std::thread([this, behave] {
            while (!m_Stop) {
                pollfd p{m_Listen, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                const int fd = ::accept(m_Listen, nullptr, nullptr);
                if (fd < 0) continue;
                ::fcntl(fd, F_SETFL, O_NONBLOCK);
                behave(fd, m_Stop);
                ::close(fd);
            }
        });
        return listener.port;
    }

    // Behaviours. A byte every `ms` until the peer goes (what a GPS receiver on the wrong port looks like).
    static TBehaviour Drip(int ms)
    {
        return [ms](int fd, const std::atomic<bool>& stop) {
            char sink[512];
            while (!stop) {
                if (Put(fd, "$", 1) < 0 && errno != EAGAIN) return;
                if (::read(fd, sink, sizeof sink) == 0) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            }
        };
    }
    // As many bytes as the line takes, never reading.
    static TBehaviour Flood(const std::string& text)
    {
        return [text](int fd, const std::atomic<bool>& stop) {
            std::string block;
            while (block.size() < 4096) block += text;
            while (!stop) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                if (p.revents & (POLLERR | POLLHUP)) return;
                if (Put(fd, block.data(), block.size()) < 0 && errno != EAGAIN) return;
            }
        };
    }
    // A telnet server that turns an option on and off without end and never reads.
    static TBehaviour OptionLoop()
    {
        return [](int fd, const std::atomic<bool>& stop) {
            const unsigned char flip[] = {255, 252, 3, 255, 251, 3};  // WONT SGA, WILL SGA
            std::string block;
            while (block.size() < 4096) block.append(reinterpret_cast<const char*>(flip), sizeof flip);
            while (!stop) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                if (p.revents & (POLLERR | POLLHUP)) return;
                if (Put(fd, block.data(), block.size()) < 0 && errno != EAGAIN) return;
            }
        };
    }
    // A modem that says OK to every command; to the dial command it says
    // nothing at all (flood false) or floods the line without end.
    static TBehaviour Modem(bool flood)
    {
        return [flood](int fd, const std::atomic<bool>& stop) {
            std::string line;
            bool dialled = false;
            const std::string block(4096, '~');
            while (!stop) {
                if (dialled && flood) {
                    pollfd p{fd, POLLOUT, 0};
                    if (::poll(&p, 1, 50) > 0) (void)Put(fd, block.data(), block.size());
                    continue;
                }
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                char c;
                if (::read(fd, &c, 1) != 1) continue;
                if (c != '\r') {
                    line += c;
                    continue;
                }
                dialled = line.rfind("ATD", 0) == 0;
                if (!dialled) (void)Put(fd, "\r\nOK\r\n", 6);
                line.clear();
            }
        };
    }
    // Accepts and closes at once.
    static TBehaviour HangUp()
    {
        return [](int, const std::atomic<bool>&) {};
    }

private:
    // A write that never raises SIGPIPE when the program has gone.
    static ssize_t Put(int fd, const void* data, size_t n)
    {
        const ssize_t r = ::send(fd, data, n, MSG_NOSIGNAL);
        return r < 0 && errno == ENOTSOCK ? ::write(fd, data, n) : r;
    }
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
    int m_Listen = -1, m_Master = -1, m_Slave = -1;
};

// What the tool may hold whatever a peer sends: 64 MB, and four times that where
// AddressSanitizer's shadow memory and quarantine count in (an unbounded buffer
// grows to gigabytes either way).
#if defined(__SANITIZE_ADDRESS__)
constexpr long kPeerMemoryCapKb = 4 * 64 * 1024;
#else
constexpr long kPeerMemoryCapKb = 64 * 1024;
#endif

// The largest resident size of the children waited for so far, in kilobytes.
inline long ChildrenMaxRssKb()
{
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss;
}

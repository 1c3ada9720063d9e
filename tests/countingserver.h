// The plainest terminal server: raw TCP on loopback in front of one gateway's
// pseudo-terminal. It counts the connections it accepts and keeps what each
// one sent, so that a test sees how many a command opened and which one
// carried its bytes. A newer connection takes the line from an older one.
#pragma once
#include "loopback.h"
#include <QString>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

class TCountingServer {
public:
    explicit TCountingServer(const QString& device)
    {
        m_Line = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        if (m_Line >= 0 && tcgetattr(m_Line, &t) == 0) {
            cfmakeraw(&t);
            cfsetspeed(&t, B19200);
            tcsetattr(m_Line, TCSANOW, &t);
        }
        const TLoopbackSocket listener = LoopbackSocket();
        m_Listener = listener.fd;
        m_Port = listener.port;
        m_Thread = std::thread([this] { Serve(); });
    }
    ~TCountingServer()
    {
        m_Stop = true;
        m_Thread.join();
        if (m_Client >= 0) ::close(m_Client);
        ::close(m_Listener);
        if (m_Line >= 0) ::close(m_Line);
    }
    TCountingServer(const TCountingServer&) = delete;
    TCountingServer& operator=(const TCountingServer&) = delete;

    bool Ready() const { return m_Line >= 0 && m_Port > 0; }
    QString Url() const { return QString("socket://127.0.0.1:%1").arg(m_Port); }
    int Accepted() const
    {
        std::lock_guard<std::mutex> g(m_Mutex);
        return int(m_Received.size());
    }
    // What the nth connection (from 0) sent.
    std::string Received(int n) const
    {
        std::lock_guard<std::mutex> g(m_Mutex);
        return n < int(m_Received.size()) ? m_Received[size_t(n)] : std::string();
    }

private:
    // Both ends are non-blocking: a block of the write fills the terminal's queue.
    static void WriteAll(int fd, const char* data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            const ssize_t w = n < 0 && errno == ENOTSOCK ? ::write(fd, data, size) : n;
            if (w > 0) {
                data += w;
                size -= size_t(w);
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 20);
            }
        }
    }
    void Serve()
    {
        char b[4096];
        while (!m_Stop) {
            pollfd p[3] = {{m_Listener, POLLIN, 0}, {m_Line, POLLIN, 0}, {m_Client, POLLIN, 0}};
            if (::poll(p, m_Client >= 0 ? 3 : 2, 20) <= 0) continue;
            if (p[0].revents & POLLIN) {
                const int fd = ::accept4(m_Listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    if (m_Client >= 0) ::close(m_Client);
                    m_Client = fd;
                    std::lock_guard<std::mutex> g(m_Mutex);
                    m_Received.emplace_back();
                }
                continue;
            }
            if (p[1].revents & POLLIN) {
                const ssize_t n = ::read(m_Line, b, sizeof b);
                if (n > 0 && m_Client >= 0) WriteAll(m_Client, b, size_t(n));
            }
            if (m_Client >= 0 && (p[2].revents & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t n = ::recv(m_Client, b, sizeof b, 0);
                if (n <= 0) {
                    ::close(m_Client);
                    m_Client = -1;
                    continue;
                }
                WriteAll(m_Line, b, size_t(n));
                std::lock_guard<std::mutex> g(m_Mutex);
                m_Received.back().append(b, size_t(n));
            }
        }
    }

    int m_Line = -1, m_Listener = -1, m_Client = -1, m_Port = 0;
    std::atomic<bool> m_Stop{false};
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Received;
    std::thread m_Thread;
};

// A TCP socket on a loopback port the kernel picks, for the tests' servers.
#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

struct TLoopbackSocket {
    int fd = -1;
    int port = 0;  // 0: binding or listening failed
};

// Bound and listening; with listen false only bound, to learn a free port.
inline TLoopbackSocket LoopbackSocket(bool listen = true)
{
    TLoopbackSocket s;
    s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && (!listen || ::listen(s.fd, 4) == 0) &&
        ::getsockname(s.fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        s.port = ntohs(a.sin_port);
    return s;
}

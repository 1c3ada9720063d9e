// Measures the link against a (throttled) gateway: repeated block reads, with
// wall time against the line's byte time and the CPU time the tool spends.
#include "Comterminal.h"
#include "Gatewayimage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

static double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvanext-benchlink PORT BAUD [COUNT]\n");
        return 1;
    }
    const QString port = argv[1];
    const int baud = std::atoi(argv[2]);
    const int count = argc > 3 ? std::atoi(argv[3]) : 50;
    CCOMTerminal term;
    try {
        term.Connect(port, 19200);
        term.m_Terminator = 0;
        term.m_Timeout = 2000;
        const double cpu0 = CpuSeconds();
        QElapsedTimer t;
        t.start();
        long long bytes = 0;
        for (int i = 0; i < count; ++i) {
            term.SendAndWaitCount("e", 2049);
            if (!Block1Valid(term.m_Buffer.data() + 1)) throw CCOMTermExp(CE_PARSING_ERROR);
            term.SendAndWaitCount("E", 8193);
            bytes += 2 + 2049 + 8193;
        }
        const double wall = t.elapsed() / 1000.0;
        const double cpu = CpuSeconds() - cpu0;
        // Commands and replies share the line in turn: their byte times add up.
        const double line = double(bytes) * 10.0 / baud;
        std::printf("link_read_ratio %.3f ratio\n", wall / line);
        std::printf("link_read_wall %.2f s\n", wall);
        std::printf("link_wait_cpu %.2f %%\n", 100.0 * cpu / wall);
    } catch (const CCOMTermExp& e) {
        std::fprintf(stderr, "korvanext-benchlink: link failed: %s\n", e.what());
        return 2;
    }
    return 0;
}

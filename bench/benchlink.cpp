// Measures the gateway operations against the simulator paced to a line rate:
// wall time against the line's byte time, the tool's CPU time while it waits,
// and nothing of the simulator's own work.
#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Gatewayops.h"
#include "Gatewaysim.h"
#include "Globals.h"
#include "Language.h"
#include "Parameters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {
double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class TQuietUI : public TOperationUI {
public:
    void ShowProgress(bool, int, bool) override {}
    void SetProgressLabel(const QString&) override {}
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetCancelVisible(bool) override {}
    bool Cancelled() const override { return false; }
    void Message(const QString&, TIcon) override {}
    bool Ask(const QString&, TIcon, TDefaultAnswer) override { return true; }
    QString ChooseFirmware(const QStringList& p) override { return p.value(0); }
};

struct Figures {
    double wall, line, cpu;
    long long bytes;
};

// Runs one measured piece of work; the line time is the byte time of everything that crossed the line.
template <class F> Figures Measure(CGatewaySim& sim, int baud, F work)
{
    const long long in0 = sim.BytesIn(), out0 = sim.BytesOut();
    const double simCpu0 = sim.CpuSeconds(), cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    work();
    const double wall = t.elapsed() / 1000.0;
    const double cpu = (CpuSeconds() - cpu0) - (sim.CpuSeconds() - simCpu0);
    const long long bytes = sim.BytesIn() - in0 + sim.BytesOut() - out0;
    return {wall, double(bytes) * 10.0 / baud, cpu, bytes};
}

// The write exchange by exchange as first designed: block 1 read twice before
// the write (once for the supervision numbers, once for the PIN and password),
// then both blocks written and read back. Its line time is what the write is
// measured against.
void DesignedWrite(CCOMTerminal& t, const QString& port, const std::vector<uint8_t>& image)
{
    t.Connect(port, 19200);
    t.m_Terminator = 0;
    t.m_Timeout = 1000;
    t.SendAndWait("U", "X", "Y");
    t.SendAndWait("X", "U", "X");
    t.SendAndWait("B");
    t.SendAndWait("C");
    t.SendAndWaitCount("e", 2049);
    t.SendAndWaitCount("e", 2049);
    t.m_Timeout = 20000;
    const char g = 'g', G = 'G', a = 'A';
    t.m_Count = 0;
    t.m_Comm.Write(&g, 1);
    t.m_Comm.Write(image.data(), 2048);
    PauseWithEvents(200);
    t.SendAndWait("", "X", "Y");
    t.m_Timeout = 1000;
    t.SendAndWaitCount("e", 2049);
    t.m_Timeout = 20000;
    t.m_Count = 0;
    t.m_Comm.Write(&G, 1);
    for (int k = 0; k < 4; ++k) {
        t.m_Count = 0;
        t.m_Comm.Write(image.data() + 4096 + 2048 * k, 2048);
        PauseWithEvents(200);
        t.SendAndWait("", "X", "Y");
    }
    t.m_Timeout = 1000;
    t.SendAndWaitCount("E", 8193);
    t.m_Comm.Write(&a, 1);
    PauseWithEvents(100);
    t.Close();
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* what = argc > 1 ? argv[1] : "all";
    const int count = argc > 2 ? std::atoi(argv[2]) : 5;
    const int baud = 19200;
    TSimOptions o;
    o.throttleBaud = baud;
    CGatewaySim sim(o);
    if (!sim.Start()) return 2;
    TGlobalObjects globals;
    Language().InitEnglish(ProgramFolder());
    BuildCatalogue(Parameters());
    TQuietUI ui;
    CGatewayOps ops(Parameters(), Terminal(), Language(), ui);
    ops.ComPort = QString::fromStdString(sim.SlavePath());
    ops.FirmwareFolder = ProgramFolder();
    bool ok = true;
    auto report = [](const char* name, const Figures& f, double pauses = 0) {
        std::printf("%s_ratio %.3f ratio\n", name, f.wall / f.line);
        if (pauses > 0) std::printf("%s_ratio_without_protocol_pauses %.3f ratio\n", name, (f.wall - pauses) / f.line);
        std::printf("%s_wall %.2f s\n", name, f.wall);
        std::printf("%s_cpu %.2f %%\n", name, 100.0 * f.cpu / f.wall);
    };
    const bool all = std::strcmp(what, "all") == 0;
    if (all || !std::strcmp(what, "link")) {
        CCOMTerminal& term = Terminal();
        term.Connect(ops.ComPort, 19200);
        term.m_Terminator = 0;
        term.m_Timeout = 2000;
        report("link_read", Measure(sim, baud, [&] {
                   for (int i = 0; i < count; ++i) {
                       term.SendAndWaitCount("e", 2049);
                       term.SendAndWaitCount("E", 8193);
                   }
               }));
        term.Close();
    }
    if (all || !std::strcmp(what, "read")) {
        ok &= ops.ReadFromGateway();  // the first read also opens the port and warms up
        report("read", Measure(sim, baud, [&] { ok &= ops.ReadFromGateway(); }));
    }
    if (all || !std::strcmp(what, "write")) {
        // The write's own pauses after each piece overlap the line time of that piece.
        QTemporaryDir copies;
        ops.CopiesFolder = copies.path();
        // The write as the program makes it keeps a copy (both blocks read first).
        const Figures copy = Measure(sim, baud, [&] { ok &= ops.WriteToGateway(); });
        report("write", copy);
        // Against the line time of the write as first designed, with the kept copy
        // and without (block 1 read once).
        const Figures designed =
            Measure(sim, baud, [&] { DesignedWrite(Terminal(), ops.ComPort, GatewayImage(Parameters())); });
        ops.KeepCopies = false;
        const Figures noCopy = Measure(sim, baud, [&] { ok &= ops.WriteToGateway(); });
        ops.KeepCopies = true;
        std::printf("write_designed_line %.2f s\n", designed.line);
        std::printf("write_designed_bytes %lld bytes\n", designed.bytes);
        for (const auto& [name, f] : {std::pair{"write_copy", copy}, std::pair{"write_nocopy", noCopy}}) {
            std::printf("%s_ratio_to_designed %.3f ratio\n", name, f.wall / designed.line);
            std::printf("%s_bytes %lld bytes\n", name, f.bytes);
            std::printf("%s_bytes_to_designed %.4f ratio\n", name, double(f.bytes) / double(designed.bytes));
        }
    }
    if (all || !std::strcmp(what, "upgrade")) {
        ops.FirmwareFile = KVX_DEMO_FIRMWARE;
        report("upgrade", Measure(sim, baud, [&] { ok &= ops.UpgradeFirmware(); }));
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("bench_peak_rss %.1f MB\n", u.ru_maxrss / 1024.0);
    sim.Stop();
    return ok ? 0 : 3;
}

// The Hayes modem's result lines: what the modem answers to the dial command
// arrives in arbitrary pieces through a pseudo-terminal, and the call states
// reported must be those of the lines it holds, however it was cut.
//
// Input: a line for ResultState alone, then the pieces of the modem's answer.
#include "Dialing.h"
#include "Hayesmodem.h"
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

// The modem's pauses (the reset and init string) become one pass of the event loop.
extern "C" void __wrap__Z15PauseWithEventsi(int) { QCoreApplication::processEvents(QEventLoop::AllEvents); }

namespace {
struct TReport {
    unsigned state, mode;
    bool operator==(const TReport& o) const { return state == o.state && mode == o.mode; }
};

// What the modem layer must report for the bytes of its answer.
std::vector<TReport> Expected(const std::string& bytes)
{
    std::vector<TReport> r;
    std::string line;
    for (const char c : bytes) {
        if (c != '\r' && c != '\n') {
            if (line.size() < 200) line += c;  // the rest of an endless line is dropped
            continue;
        }
        unsigned state = 0, mode = 0;
        const bool result = !line.empty() && CHayesTelephony::ResultState(
                                                 QString::fromLatin1(line.data(), int(line.size())), state, mode);
        line.clear();
        if (!result) continue;
        if (state == LINECALLSTATE_CONNECTED) {
            r.push_back({state, 0});
            return r;
        }
        if (state == LINECALLSTATE_PROCEEDING) {
            r.push_back({state, 0});
            continue;
        }
        r.push_back({LINECALLSTATE_DISCONNECTED, mode});
        r.push_back({LINECALLSTATE_IDLE, 0});
        return r;
    }
    return r;
}

struct TModemWorld {
    TFuzzLine line;
    std::string heard;  // what the modem was sent
    std::vector<std::string> pieces;
    size_t next = 0;
    bool dialled = false;
    int device = -1;  // the modem's side, to see what it has not read yet
    QTimer beat;

    // The modem side: "OK" to every command until the dial command, then the pieces.
    void Beat()
    {
        heard += line.Read();
        line.Flush();
        size_t cr;
        while ((cr = heard.find('\r')) != std::string::npos) {
            const std::string command = heard.substr(0, cr);
            heard.erase(0, cr + 1);
            if (command.rfind("ATD", 0) == 0) dialled = true;
            else line.Write("\r\nOK\r\n");
        }
        int waiting = 0;
        if (!dialled || next >= pieces.size() || line.Pending()) return;
        if (device >= 0 && ioctl(device, FIONREAD, &waiting) == 0 && waiting > 0) return;
        line.Write(pieces[next++]);
    }
};
TModemWorld* g_World = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    static TModemWorld world;
    g_World = &world;
    world.beat.setInterval(0);
    QObject::connect(&world.beat, &QTimer::timeout, [] { g_World->Beat(); });
    world.beat.start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TModemWorld& w = *g_World;
    TFuzzInput in(data, size);

    // A result line alone: the call state depends neither on case nor on the blanks around it.
    const std::string raw = in.Text(64);
    const QString line = QString::fromLatin1(raw.data(), int(raw.size()));
    unsigned state = 0, mode = 0, state2 = 0, mode2 = 0;
    const bool result = CHayesTelephony::ResultState(line, state, mode);
    bool ascii = true;
    for (const char c : raw) ascii &= (c & 0x80) == 0;
    if (ascii) {
        FUZZ_CHECK(CHayesTelephony::ResultState(" \t" + line.toLower() + "\r\n", state2, mode2) == result);
        if (result) FUZZ_CHECK(state2 == state && mode2 == mode);
    }
    if (result && state != LINECALLSTATE_DISCONNECTED) FUZZ_CHECK(mode == 0);

    // The modem's answer to the dial command, in pieces, ended by a line that
    // ends any call that is still being placed.
    w.pieces.clear();
    std::string all;
    const int n = in.Byte() % 8;
    for (int i = 0; i < n; ++i) {
        const uint8_t kind = in.Byte();
        std::string piece;
        if (kind & 0x80) {
            const char c = char(in.Byte());
            piece.assign(size_t(in.Word() % 600), c);
        } else {
            piece = in.Text(64);
        }
        if (piece.empty()) continue;
        w.pieces.push_back(piece);
        all += piece;
    }
    w.pieces.push_back("\rNO CARRIER\r");
    all += w.pieces.back();
    const std::vector<TReport> expected = Expected(all);

    if (!w.line.Open()) FuzzFail("no pseudo-terminal");
    w.device = w.line.OpenDevice();
    w.heard.clear();
    w.next = 0;
    w.dialled = false;
    std::vector<TReport> reports;
    {
        CHayesTelephony modem({{"Fuzz modem", QString::fromStdString(w.line.DevicePath())}}, false);
        // A modem that has not said "OK" within its two seconds (a loaded machine)
        // is given up by the program as a real one would be: nothing to check then.
        if (!modem.OpenLine(0, [&](unsigned message, unsigned p1, unsigned p2) {
                if (message == LINE_CALLSTATE && p1 != LINECALLSTATE_DIALING) reports.push_back({p1, p2});
            })) {
            ::close(w.device);
            w.device = -1;
            w.line.Hangup();
            return 0;
        }
        FUZZ_CHECK(modem.MakeCall("123"));
        QElapsedTimer t;
        t.start();
        // The closing line ends the call at the latest: its reports are the last.
        while (reports.size() < expected.size()) {
            if (t.elapsed() > 20000) {
                int waiting = -1;
                ioctl(w.device, FIONREAD, &waiting);
                std::fprintf(stderr, "reports %zu of %zu, pieces written %zu of %zu, unread %d, unsent %d\n",
                             reports.size(), expected.size(), w.next, w.pieces.size(), waiting, int(w.line.Pending()));
                FuzzFail("the modem's answer was not taken in");
            }
            QCoreApplication::processEvents();
        }
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        modem.CloseLine();
    }
    ::close(w.device);
    w.device = -1;
    w.line.Hangup();
    FUZZ_CHECK(reports == expected);
    return 0;
}

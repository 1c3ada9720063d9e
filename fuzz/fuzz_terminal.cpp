// The terminal's receive and wait path: a script of waits, each answered by
// chunks of bytes through a pseudo-terminal. A model of the reply buffer
// (20000-byte cap, zero bytes, Extract's cut) checks every completion
// condition, the bytes kept, Extract's value and the command on the line.
#include "Terminal.h"
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {
constexpr int kSize = CCOMTerminal::BufferSize;
constexpr size_t kChunk = 4999;  // one receive event reads at most this much

// The reply buffer as the terminal should hold it.
struct TModel {
    std::vector<uint8_t> buf = std::vector<uint8_t>(kSize + 1, 0);
    int count = 0;
    bool overflow = false;  // a full buffer keeps what it has and drops the rest

    void Append(uint8_t b)
    {
        if (count >= kSize) {
            overflow = true;
            return;
        }
        buf[size_t(count++)] = b;
    }
    // The received bytes as one zero-terminated string.
    std::string Received() const
    {
        size_t n = 0;
        while (n < size_t(count) && buf[n]) ++n;
        return std::string(reinterpret_cast<const char*>(buf.data()), n);
    }
};

enum class TKind { Texts, Zero, Count, Nth };

struct TWait {
    TKind kind = TKind::Count;
    std::string command;
    std::array<std::optional<std::string>, 10> texts;  // Texts: null textCount are skipped
    int textCount = 0;
    int n = 0;
    std::string text;  // Nth
};

// The condition as the terminal must judge it on the model; 0 when it does not hold.
int Condition(const TWait& w, const TModel& m)
{
    switch (w.kind) {
    case TKind::Zero: return m.count > 0 && m.buf[size_t(m.count - 1)] == 0 ? 1 : 0;
    case TKind::Count: return m.count >= w.n ? 1 : 0;
    case TKind::Texts: {
        const std::string s = m.Received();
        for (int i = 0; i < w.textCount; ++i)
            if (w.texts[size_t(i)] && s.find(*w.texts[size_t(i)]) != std::string::npos) return i + 1;
        return 0;
    }
    case TKind::Nth: {
        const std::string s = m.Received();
        size_t p = s.find(w.text);
        if (p == std::string::npos) return 0;
        for (int found = 1; found < w.n; ++found) {
            p = s.find(w.text, p + 1);
            if (p == std::string::npos) return 0;
        }
        return 1;
    }
    }
    return 0;
}

struct TState {
    CCOMTerminal* term = nullptr;
    TFuzzLine line;
    TModel model;  // what the terminal holds once every byte written has arrived
    bool modelValid = true;
    std::string sent;  // what the tool wrote to the line

    // The running wait's feed.
    const TWait* wait = nullptr;
    std::vector<std::string> chunks;
    size_t next = 0;
    std::vector<int> countAfter;  // model count once chunk i has arrived
    std::vector<bool> fullAfter;  // ... and whether bytes had to be dropped by then
    TModel before;                // model when the feed started
    int stableBeats = 0;

    // A full buffer drops what comes, so its count alone cannot tell that a chunk
    // has been taken in: the overflow flag the dropped byte raises does.
    bool CaughtUp() const
    {
        return next == 0 || (term->m_Count == countAfter[next - 1] && (!fullAfter[next - 1] || term->m_Overflow));
    }

    void Beat()
    {
        sent += line.Read();
        line.Flush();
        if (!wait || !line.Up()) return;
        if (!CaughtUp()) {
            stableBeats = 0;
            return;
        }
        if (next < chunks.size()) {
            // Past the buffer's end one byte shows the overflow; more would only
            // arrive after the wait and could not be told from the next reply.
            std::string& bytes = chunks[next];
            if (model.overflow) bytes.clear();
            else if (bytes.size() > size_t(kSize - model.count)) bytes.resize(size_t(kSize - model.count) + 1);
            for (const char c : bytes) model.Append(uint8_t(c));
            countAfter.push_back(model.count);
            fullAfter.push_back(model.overflow);
            line.Write(bytes);
            ++next;
            stableBeats = 0;
            return;
        }
        // Everything has arrived: once the wait has looked at it, break a wait
        // whose condition cannot hold any more (instead of waiting out its time-out).
        if (++stableBeats >= 2 && !Condition(*wait, model)) term->m_Abort = true;
    }

    // The model of the bytes that have arrived now (a prefix of what was written).
    TModel Arrived() const
    {
        TModel m = before;
        size_t i = 0;
        for (; i + 1 < next; ++i)
            for (const char c : chunks[i]) m.Append(uint8_t(c));
        // At the buffer's end the byte that was dropped counts as arrived once
        // the terminal has seen it.
        auto reached = [&] { return m.count == term->m_Count && m.overflow == term->m_Overflow; };
        if (next == 0 || reached()) return m;
        for (const char c : chunks[next - 1]) {
            m.Append(uint8_t(c));
            if (reached()) return m;
        }
        FuzzFail("the reply buffer counts bytes that were never received");
    }

    void CheckBuffer(const TModel& m) const
    {
        FUZZ_CHECK(term->m_Count == m.count);
        FUZZ_CHECK(std::memcmp(term->m_Buffer.data(), m.buf.data(), size_t(m.count)) == 0);
    }

    void Pump(const std::function<bool()>& done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            FUZZ_CHECK(t.elapsed() < 5000);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
};

TState* g_State = nullptr;

// Texts reach the terminal as zero-terminated strings.
std::string CText(TFuzzInput& in, size_t max)
{
    const std::string t = in.Text(max);
    return t.substr(0, t.find('\0'));
}

std::vector<std::string> ReadChunks(TFuzzInput& in)
{
    std::vector<std::string> chunks;
    const int n = in.Byte() % 8;
    for (int i = 0; i < n; ++i) {
        const uint8_t kind = in.Byte();
        std::string bytes;
        if (kind & 0x80) {
            // A long run: reaches the wrap of the buffer with a few input bytes.
            const uint8_t b = in.Byte();
            bytes.assign(size_t(in.Word()) % 30001, char(b));
        } else {
            bytes = in.Text(64);
        }
        for (size_t p = 0; p < bytes.size(); p += kChunk) chunks.push_back(bytes.substr(p, kChunk));
    }
    return chunks;
}

int RunWait(CCOMTerminal& t, const TWait& w)
{
    switch (w.kind) {
    case TKind::Count: return t.SendAndWaitCount(w.command, w.n) ? 1 : 0;
    case TKind::Nth: return t.SendAndWaitNth(w.command, w.text.c_str(), w.n) ? 1 : 0;
    case TKind::Zero:
        if (w.textCount == 0) return t.SendAndWait(w.command);
        [[fallthrough]];
    case TKind::Texts: {
        std::array<const char*, 10> p{};
        for (int i = 0; i < w.textCount; ++i) p[size_t(i)] = w.texts[size_t(i)] ? w.texts[size_t(i)]->c_str() : nullptr;
        return t.SendAndWait(w.command, {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9]});
    }
    }
    return 0;
}

void DoWait(TState& s, TWait w, std::vector<std::string> chunks, bool silent)
{
    CCOMTerminal& t = *s.term;
    const std::string terminator =
        (!w.command.empty() && t.m_Terminator) ? std::string(1, t.m_Terminator) : std::string();
    s.sent.clear();
    if (!w.command.empty()) {
        s.model.count = 0;
        s.model.overflow = false;
    }
    s.before = s.model;
    s.chunks = silent ? std::vector<std::string>() : std::move(chunks);
    s.next = 0;
    s.countAfter.clear();
    s.fullAfter.clear();
    s.stableBeats = 0;
    s.wait = silent ? nullptr : &w;
    t.m_Timeout = silent ? 3 : 4000;

    int result = 0;
    int code = -1;
    try {
        result = RunWait(t, w);
    } catch (const CCOMTermExp& e) {
        code = e.Code;
    }
    s.wait = nullptr;

    if (!s.line.Up() || !s.modelValid) {
        // A lost line ends every wait at once, by its condition or as lost
        // (a wait of a few milliseconds may end before the loss is seen), or
        // by a full buffer that no command has cleared since.
        FUZZ_CHECK(code == -1 || code == CE_NOT_CONNECTED || code == CE_SEND_ERROR ||
                   (silent && code == CE_CONNECTION_TIMEOUT) || (code == CE_PARSING_ERROR && t.m_Overflow));
        s.modelValid = false;
        return;
    }
    // A full buffer ends a wait whose condition does not hold as a bad reply.
    FUZZ_CHECK(code == -1 || code == CE_USER || (silent && code == CE_CONNECTION_TIMEOUT) ||
               (code == CE_PARSING_ERROR && s.Arrived().overflow));
    if (code == -1) {
        const TModel arrived = s.Arrived();
        s.CheckBuffer(arrived);
        const int expected = Condition(w, arrived);
        FUZZ_CHECK(expected != 0);
        FUZZ_CHECK(result == expected);
    } else if (silent) {
        FUZZ_CHECK(Condition(w, s.model) == 0);
    }
    // The rest of a chunk that was on its way arrives after the wait.
    s.Pump([&] { return s.CaughtUp(); });
    s.CheckBuffer(s.model);
    // The terminal adds nothing to a command but its terminator.
    const std::string expectedSent = w.command + terminator;
    s.Pump([&] {
        s.sent += s.line.Read();
        return s.sent.size() >= expectedSent.size();
    });
    FUZZ_CHECK(s.sent == expectedSent);
}

void DoExtract(TState& s, const std::string& start, const std::string& end)
{
    CCOMTerminal& t = *s.term;
    std::string value;
    bool failed = false;
    try {
        value = t.Extract(start.c_str(), end.c_str());
    } catch (const CCOMTermExp& e) {
        FUZZ_CHECK(e.Code == CE_PARSING_ERROR);
        failed = true;
    }
    if (!s.modelValid || !s.line.Up()) {
        s.modelValid = false;
        return;
    }
    const std::string r = s.model.Received();
    const size_t a = r.find(start);
    const size_t e = a == std::string::npos ? a : r.find(end, a + start.size());
    FUZZ_CHECK(failed == (e == std::string::npos));
    if (failed) return;
    s.model.buf[e] = 0;  // the received string now ends at the end text
    size_t b = a + start.size();
    while (b < e && (r[b] == ' ' || r[b] == '\t')) ++b;
    FUZZ_CHECK(value == r.substr(b, e - b));
    s.CheckBuffer(s.model);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    static CCOMTerminal terminal;
    static TState state;
    state.term = &terminal;
    g_State = &state;
    static QTimer beat;
    beat.setInterval(0);
    QObject::connect(&beat, &QTimer::timeout, [] { g_State->Beat(); });
    beat.start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TState& s = *g_State;
    CCOMTerminal& t = *s.term;
    TFuzzInput in(data, size);
    t.Close();
    if (!s.line.Open()) FuzzFail("no pseudo-terminal");
    try {
        t.Connect(QString::fromStdString(s.line.DevicePath()), 19200);
    } catch (const CCOMTermExp&) {
        FuzzFail("the pseudo-terminal cannot be opened as a port");
    }
    t.m_Abort = false;
    s.model = TModel();
    s.modelValid = true;
    s.sent.clear();

    for (int op = 0; op < 24 && !in.Empty(); ++op) {
        const uint8_t what = in.Byte();
        TWait w;
        switch (what % 9) {
        case 0:
        case 1: {
            w.kind = TKind::Texts;
            w.command = in.Text(4);
            w.textCount = 1 + in.Byte() % 10;
            const uint8_t nulls = in.Byte();
            for (int i = 0; i < w.textCount; ++i)
                if (!(nulls & (1u << (i % 8))) || i == 0) w.texts[size_t(i)] = CText(in, 6);
            if (nulls & 1) w.texts[0].reset();  // the first text null: a zero-terminated reply
            if (!w.texts[0]) w.kind = TKind::Zero;
            DoWait(s, w, ReadChunks(in), false);
            break;
        }
        case 2:
            w.kind = TKind::Count;
            w.command = in.Text(4);
            w.n = in.Word() % 20001;
            DoWait(s, w, ReadChunks(in), false);
            break;
        case 3:
            w.kind = TKind::Nth;
            w.command = in.Text(4);
            w.text = CText(in, 4);
            if (w.text.empty()) w.text = "\"";  // callers always look for a text
            w.n = in.Byte() % 6;
            DoWait(s, w, ReadChunks(in), false);
            break;
        case 4: {
            const std::string start = CText(in, 6);
            DoExtract(s, start, CText(in, 6));
            break;
        }
        case 5:
            // Callers clear the count before writing a block themselves.
            t.m_Count = 0;
            s.model.count = 0;
            break;
        case 6: t.m_Terminator = char(in.Byte() & 1 ? 13 : 0); break;
        case 7:
            // Nothing comes: the wait ends with the time-out (or at once, when the
            // bytes already there satisfy it).
            w.kind = in.Byte() & 1 ? TKind::Zero : TKind::Count;
            w.n = in.Word() % 20001;
            // A count beyond what is there waits its line time (up to 10 s at
            // 20000); a few bytes beyond tell as much at a fraction of the cost.
            if (w.n > s.model.count) w.n = s.model.count + 1 + w.n % 64;
            DoWait(s, w, {}, true);
            break;
        case 8: s.line.Hangup(); break;
        }
    }
    t.Close();
    s.line.Hangup();
    return 0;
}

// The link's waits in virtual time: a local line whose far end answers from a
// script, so that deadlines are checked to the millisecond without waiting for them.
#include "Commonutils.h"
#include "Serialport.h"
#include "Terminal.h"
#include "Virtualclock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

namespace {
// The far end: answers each command letter after a delay, at once or a byte at a time.
struct TScriptedPeer : TVirtualPeer {
    struct TAnswer {
        std::string bytes;
        int afterMs = 0;
        int dripMs = 0;  // > 0: one byte each dripMs
    };
    TLocalLine line;
    TComm* port = nullptr;
    std::map<char, TAnswer> answers;
    std::string pending;
    long long dueAt = LLONG_MAX;
    int dripMs = 0;

    bool Step() override
    {
        bool did = false;
        for (const char c : line.TakeSent()) {
            did = true;
            const auto a = answers.find(c);
            if (a == answers.end()) continue;
            pending = a->second.bytes;
            dripMs = a->second.dripMs;
            dueAt = Clock().NowMs() + a->second.afterMs;
        }
        if (!pending.empty() && Clock().NowMs() >= dueAt) {
            const size_t n = dripMs > 0 ? 1 : pending.size();
            line.Write(pending.substr(0, n));
            pending.erase(0, n);
            dueAt = pending.empty() ? LLONG_MAX : dueAt + dripMs;
            did = true;
        }
        return line.Deliver(*port) || did;
    }
    long long Due() const override { return dueAt; }
};

struct VirtualClock : ::testing::Test {
    void SetUp() override
    {
        peer.port = &term.m_Comm;
        clock.peer = &peer;
        SetClock(&clock);
        SetLocalPort("virtual-gateway", [this] { return peer.line.Open(); });
        real.start();
        ASSERT_TRUE(term.Connect("virtual-gateway", 19200));
        term.m_Terminator = 0;
    }
    void TearDown() override
    {
        term.Close();
        SetLocalPort("virtual-gateway", nullptr);
        SetClock(nullptr);
        // Virtual time is free: however long the waits, the test takes no real time to speak of.
        EXPECT_LT(real.elapsed(), 5000);
    }
    // The virtual time the call took, and the link error it raised (-1: none).
    template <class F> std::pair<long long, int> Timed(F call)
    {
        const long long start = clock.NowMs();
        int code = -1;
        try {
            call();
        } catch (const CCOMTermExp& e) {
            code = e.Code;
        }
        return {clock.NowMs() - start, code};
    }
    TVirtualClock clock;
    TScriptedPeer peer;
    CCOMTerminal term;
    QElapsedTimer real;
};
}  // namespace

TEST_F(VirtualClock, ASilentGatewayTimesOutAtTheDeadlineWithTheReplysLineTime)
{
    term.m_Timeout = 20000;
    auto [ms, code] = Timed([&] { term.SendAndWait("U", "X"); });
    EXPECT_EQ(code, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(ms, 20000);
    // A reply of 2049 bytes at 19200 baud adds its 1067 ms of line time.
    term.m_Timeout = 1000;
    std::tie(ms, code) = Timed([&] { term.SendAndWaitCount("e", 2049); });
    EXPECT_EQ(code, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(ms, 1000 + 2049 * 10 * 1000 / 19200);
}

TEST_F(VirtualClock, AnAnswerCountsUpToItsDeadlineAndNoLater)
{
    term.m_Timeout = 1000;
    peer.answers['U'] = {"X", 999};
    auto [ms, code] = Timed([&] { EXPECT_EQ(term.SendAndWait("U", "X", "Y"), 1); });
    EXPECT_EQ(code, -1);
    EXPECT_EQ(ms, 999);
    peer.answers['U'] = {"X", 1001};
    std::tie(ms, code) = Timed([&] { term.SendAndWait("U", "X", "Y"); });
    EXPECT_EQ(code, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(ms, 1000);
}

TEST_F(VirtualClock, ADrippingDeviceDoesNotHoldAWaitPastItsDeadline)
{
    term.m_Timeout = 1000;
    peer.answers['B'] = {std::string(500, 'b'), 0, 50};
    auto [ms, code] = Timed([&] { term.SendAndWait("B"); });
    EXPECT_EQ(code, CE_CONNECTION_TIMEOUT);
    EXPECT_EQ(ms, 1000);
    EXPECT_GT(term.m_Count, 15);
}

TEST_F(VirtualClock, AFloodingDeviceFillsTheBufferAndEndsTheWait)
{
    term.m_Timeout = 20000;
    peer.answers['C'] = {std::string(3 * CCOMTerminal::BufferSize, 'c')};
    try {
        term.SendAndWait("C");
        ADD_FAILURE() << "a flood was taken for an answer";
    } catch (const CCOMTermExp& e) {
        EXPECT_EQ(e.Code, CE_PARSING_ERROR);
        EXPECT_TRUE(e.Overflow);
    }
    EXPECT_EQ(term.m_Count, CCOMTerminal::BufferSize);
    EXPECT_LT(peer.line.Pending(), size_t(2 * CCOMTerminal::BufferSize));
}

TEST_F(VirtualClock, ALostLineEndsTheWaitAtOnceAndCannotBeOpenedAgain)
{
    term.m_Timeout = 20000;
    peer.answers['Q'] = {"", 300};
    QTimer::singleShot(0, [&] { peer.line.Hangup(); });
    auto [ms, code] = Timed([&] { term.SendAndWait("Q", "never"); });
    EXPECT_EQ(code, CE_NOT_CONNECTED);
    EXPECT_EQ(ms, 0);
    term.Close();
    std::tie(ms, code) = Timed([&] { term.Connect("virtual-gateway", 19200); });
    EXPECT_EQ(code, CE_OPEN_ERROR);
}

TEST_F(VirtualClock, PausesAndSleepsPassInVirtualTimeAndServeEvents)
{
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    auto [ms, code] = Timed([&] { PauseWithEvents(600); });
    EXPECT_EQ(ms, 600);
    EXPECT_TRUE(served);
    std::tie(ms, code) = Timed([&] { Clock().Sleep(50); });
    EXPECT_EQ(ms, 50);
    // Output that has left at once is drained without waiting.
    std::tie(ms, code) = Timed([&] { EXPECT_TRUE(term.DrainOutput(6000)); });
    EXPECT_EQ(ms, 0);
}

TEST(LocalLine, BytesReachTheToolInOrderWhateverPiecesItTakesThemIn)
{
    TLocalLine line;
    auto tool = line.Open();
    ASSERT_TRUE(tool);
    std::string sent, got;
    for (int i = 0; i < 20000; ++i) sent += char('a' + i % 23);
    line.Write(sent.substr(0, 9000));
    uint8_t buffer[700];
    size_t piece = 1;
    while (got.size() < sent.size()) {
        // More arrives while the tool is part way through what came before.
        if (got.size() > 5000 && line.Pending() + got.size() < sent.size()) line.Write(sent.substr(9000));
        const ssize_t n = tool->Receive(buffer, piece);
        ASSERT_GT(n, 0);
        EXPECT_EQ(size_t(tool->InQueue()), line.Pending());
        got.append(reinterpret_cast<const char*>(buffer), size_t(n));
        piece = (piece + 37) % sizeof buffer + 1;  // 1 to 700 bytes
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(line.Pending(), 0u);
    EXPECT_EQ(tool->InQueue(), 0);
}

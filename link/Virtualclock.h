// Virtual time for tests and fuzz targets: a clock that stands still while
// anything happens and, once nothing is pending (no event delivered, nothing
// for the far end to do), jumps to the waiter's deadline, so that silences and
// time-outs cost no real time. The far end is an in-process line (TLocalLine)
// whose peer answers at once on the same thread.
#pragma once
#include "Transport.h"

#include <QObject>

#include <climits>
#include <functional>
#include <memory>
#include <string>

class TComm;

// The far end of the lines in virtual time, stepped at every pass of a wait.
class TVirtualPeer {
public:
    virtual ~TVirtualPeer() = default;
    // Takes in what the tool sent and answers; true when it did anything.
    virtual bool Step() = 0;
    // When it next acts of its own accord (in NowMs), LLONG_MAX when never.
    virtual long long Due() const { return LLONG_MAX; }
};

class TVirtualClock : public TClock {
public:
    // A waiter without a nearer deadline that finds nothing to do is woken this
    // much later, as the terminal's timer wakes the event loop.
    static constexpr int kIdleStepMs = 100;

    // Counts the events delivered in this thread, to tell a pass that did something.
    TVirtualClock();
    ~TVirtualClock() override;
    TVirtualClock(const TVirtualClock&) = delete;
    TVirtualClock& operator=(const TVirtualClock&) = delete;

    long long NowMs() override { return m_Now; }
    void WaitForEvents(long long deadline) override;
    void ServeEvents(int ms) override;
    void Pause(int ms) override;
    void Sleep(int ms) override { Advance(m_Now + (ms > 0 ? ms : 0)); }

    // Moves the time on to `to` (never back), telling onAdvance.
    void Advance(long long to);

    TVirtualPeer* peer = nullptr;
    // Called after each move of the time (a fuzz target's watch over its bounds).
    std::function<void(long long now)> onAdvance;

private:
    // Events and the peer once; true when anything happened.
    bool Pass();
    // Jumps to `deadline`, or less far when the peer acts before it.
    void Idle(long long deadline);

    class TCounter : public QObject {
    public:
        bool eventFilter(QObject*, QEvent*) override
        {
            ++delivered;
            return false;
        }
        unsigned long long delivered = 0;
    };
    TCounter m_Counter;
    long long m_Now = 1000000;
};

// An in-process line: what the tool sends collects for the peer, what the peer
// writes reaches the tool when it is delivered (as the port's event thread
// would hand it over). Opened by a port name (SetLocalPort) or lent to a call.
class TLocalLine {
public:
    TLocalLine();
    // The tool's end, for TComm::OpenTAPI or a local port's opener. One is open at a time.
    std::unique_ptr<TTransport> Open();
    bool Opened() const;
    // What the tool sent since the last call.
    std::string TakeSent();
    void Write(const std::string& bytes);
    // The line goes dead: the tool sees it lost at the next delivery, and
    // nothing written later reaches it.
    void Hangup();
    bool Up() const;
    // Bytes written and not yet received by the tool.
    size_t Pending() const;
    // Hands what is pending, or the loss of the line, to `port` when the port
    // has this line open; true when it did.
    bool Deliver(TComm& port);
    // The most the tool has held unread at once (the line's buffer).
    size_t HighWater() const;
    // A fresh line: nothing pending, up, high water 0.
    void Reset();

    struct TState;

private:
    std::shared_ptr<TState> m_State;
};

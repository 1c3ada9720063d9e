#include "Virtualclock.h"

#include "Serialport.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

// ---------------------------------------------------------------- clock

TVirtualClock::TVirtualClock()
{
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(&m_Counter);
}

TVirtualClock::~TVirtualClock()
{
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(&m_Counter);
}

void TVirtualClock::Advance(long long to)
{
    if (to <= m_Now) return;
    m_Now = to;
    if (onAdvance) onAdvance(m_Now);
}

bool TVirtualClock::Pass()
{
    // The peer first. While it answers, the events wait for a pass in which it
    // is quiet, which comes before the time moves on; the event loop costs a
    // system call each pass.
    if (peer && peer->Step()) return true;
    const unsigned long long before = m_Counter.delivered;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return m_Counter.delivered != before;
}

void TVirtualClock::Idle(long long deadline)
{
    long long to = deadline > m_Now ? deadline : m_Now + kIdleStepMs;
    to = std::min(to, m_Now + 60000LL);  // a waiter without a deadline still sees time pass
    if (peer) {
        const long long due = peer->Due();
        if (due > m_Now) to = std::min(to, due);
    }
    Advance(to);
}

void TVirtualClock::WaitForEvents(long long deadline)
{
    if (!Pass()) Idle(deadline);
}

void TVirtualClock::ServeEvents(int ms)
{
    if (!Pass()) Idle(m_Now + std::max(ms, 1));
}

void TVirtualClock::Pause(int ms)
{
    const long long end = m_Now + std::max(ms, 0);
    while (m_Now < end) WaitForEvents(end);
}

// ---------------------------------------------------------------- local line

// Bytes on their way to the tool. The tool may take them a few at a time, so
// what it took is skipped over, not erased from the front each time.
class TToTool {
public:
    size_t size() const { return m_Bytes.size() - m_Taken; }
    bool empty() const { return size() == 0; }
    void append(const std::string& bytes) { m_Bytes += bytes; }
    size_t Take(uint8_t* buffer, size_t count)
    {
        const size_t n = std::min(count, size());
        std::memcpy(buffer, m_Bytes.data() + m_Taken, n);
        m_Taken += n;
        if (m_Taken == m_Bytes.size()) {
            clear();
        } else if (m_Taken >= 4096 && m_Taken * 2 >= m_Bytes.size()) {
            m_Bytes.erase(0, m_Taken);
            m_Taken = 0;
        }
        return n;
    }
    void clear()
    {
        m_Bytes.clear();
        m_Taken = 0;
    }

private:
    std::string m_Bytes;
    size_t m_Taken = 0;
};

struct TLocalLine::TState {
    std::string fromTool;
    TToTool toTool;
    bool up = true;
    bool open = false;
    bool lossTold = false;
    size_t highWater = 0;
    int wake = -1;  // the port's handle: a descriptor of its own, never readable
    ~TState()
    {
        if (wake >= 0) ::close(wake);
    }
};

namespace {
class TLocalTransport : public TTransport {
public:
    explicit TLocalTransport(std::shared_ptr<TLocalLine::TState> state) : m_State(std::move(state))
    {
        m_State->open = true;
        m_State->lossTold = false;
    }
    ~TLocalTransport() override { m_State->open = false; }
    int Handle() const override { return m_State->wake; }
    bool Polled() const override { return false; }
    ssize_t Send(const uint8_t* buffer, size_t count) override
    {
        if (!m_State->up) return Fail(EIO);
        m_State->fromTool.append(reinterpret_cast<const char*>(buffer), count);
        return ssize_t(count);
    }
    ssize_t Receive(uint8_t* buffer, size_t count) override
    {
        TToTool& in = m_State->toTool;
        if (in.empty() && !m_State->up) return Fail(EIO);
        return ssize_t(in.Take(buffer, count));
    }
    int InQueue() const override { return int(m_State->toTool.size()); }
    int OutQueue() const override { return 0; }
    void Purge(bool in, bool) override
    {
        if (in) m_State->toTool.clear();
    }
    bool Drain(int) override { return true; }

private:
    static ssize_t Fail(int e)
    {
        errno = e;
        return -1;
    }
    std::shared_ptr<TLocalLine::TState> m_State;
};
}  // namespace

TLocalLine::TLocalLine() : m_State(std::make_shared<TState>())
{
    // The port counts a line as open by its descriptor: an event counter never raised.
    m_State->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

std::unique_ptr<TTransport> TLocalLine::Open()
{
    if (!m_State->up || m_State->open) return nullptr;
    return std::make_unique<TLocalTransport>(m_State);
}

bool TLocalLine::Opened() const { return m_State->open; }

std::string TLocalLine::TakeSent()
{
    std::string s;
    s.swap(m_State->fromTool);
    return s;
}

void TLocalLine::Write(const std::string& bytes)
{
    if (!m_State->up) return;
    m_State->toTool.append(bytes);
    m_State->highWater = std::max(m_State->highWater, m_State->toTool.size());
}

void TLocalLine::Hangup() { m_State->up = false; }

bool TLocalLine::Up() const { return m_State->up; }

size_t TLocalLine::Pending() const { return m_State->toTool.size(); }

size_t TLocalLine::HighWater() const { return m_State->highWater; }

void TLocalLine::Reset()
{
    TState& s = *m_State;
    s.fromTool.clear();
    s.toTool.clear();
    s.up = true;
    s.lossTold = false;
    s.highWater = 0;
}

bool TLocalLine::Deliver(TComm& port)
{
    TState& s = *m_State;
    if (!s.open || !port.Enabled()) return false;
    // As the port's event thread hands an event over: the loss, else the bytes.
    if (!s.up && s.toTool.empty()) {
        if (s.lossTold) return false;
        s.lossTold = true;
        if (port.OnError) port.OnError(&port, CE_LINELOST);
        if (port.OnRlsd && port.Enabled()) port.OnRlsd(&port);
        return true;
    }
    const int queued = port.InQueCount();
    if (queued <= 0 || !port.OnRxChar) return false;
    port.OnRxChar(&port, queued);
    return true;
}

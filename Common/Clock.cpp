#include "Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <time.h>

namespace {
class TMonotonicClock : public TClock {
public:
    long long NowMs() override
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
    }
    // The terminal's timer wakes the event loop at least every 100 ms, so the
    // waiter looks at its deadline in time.
    void WaitForEvents(long long) override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
    void ServeEvents(int ms) override { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); }
    void Pause(int ms) override
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    void Sleep(int ms) override
    {
        if (ms <= 0) return;
        // A signal ends the sleep early: the caller looks at its flags and deadline again.
        timespec pause{ms / 1000, long(ms % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
};

TMonotonicClock g_Monotonic;
std::atomic<TClock*> g_Clock{&g_Monotonic};
}  // namespace

TClock& Clock() { return *g_Clock.load(std::memory_order_acquire); }

void SetClock(TClock* clock) { g_Clock.store(clock ? clock : &g_Monotonic, std::memory_order_release); }

long long NowMs() { return Clock().NowMs(); }

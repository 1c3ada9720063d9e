// Synchronisation objects of the serial port.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

enum TEventWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A manual-reset event, initially not signalled.
class TSimpleEvent {
public:
    void SetEvent();
    void ResetEvent();
    TEventWaitResult WaitFor(int milliseconds);

private:
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_Signaled = false;
};

class TCriticalSection {
public:
    void Acquire() { m_Mutex.lock(); }
    void Release() { m_Mutex.unlock(); }
    void Enter() { Acquire(); }
    void Leave() { Release(); }
    // Standard lock interface, for std::lock_guard.
    void lock() { Acquire(); }
    void unlock() { Release(); }

private:
    std::recursive_mutex m_Mutex;
};

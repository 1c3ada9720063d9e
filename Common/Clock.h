// The one clock of the link's and the operations' waits: every deadline,
// pause, retry back-off and progress time asks it. The program runs on the
// monotonic clock; tests and fuzz targets put a virtual one in its place that
// skips over silences, so that a 20 s time-out costs no real time.
#pragma once

class TClock {
public:
    virtual ~TClock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual long long NowMs() = 0;
    // One step of a wait that serves events until it is satisfied or `deadline`
    // (in NowMs) has passed; may block until an event comes.
    virtual void WaitForEvents(long long deadline) = 0;
    // Serves the events there are, for at most `ms` (a wait that watches
    // something other than events, as the port's output queue).
    virtual void ServeEvents(int ms) = 0;
    // Serves events, user input aside, for `ms` (PauseWithEvents).
    virtual void Pause(int ms) = 0;
    // The calling thread sleeps `ms` without serving events (a retry's back-off).
    virtual void Sleep(int ms) = 0;
};

// The clock in use: the monotonic one unless another was set.
TClock& Clock();
// Puts `clock` in place (nullptr: the monotonic clock again). The caller keeps
// it alive while it is set, and sets it while no wait runs.
void SetClock(TClock* clock);
// The time of the clock in use, for deadlines.
long long NowMs();

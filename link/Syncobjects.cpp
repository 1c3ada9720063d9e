#include "Syncobjects.h"

void TSimpleEvent::SetEvent()
{
    {
        std::lock_guard<std::mutex> g(m_Mutex);
        m_Signaled = true;
    }
    m_Cond.notify_all();
}

void TSimpleEvent::ResetEvent()
{
    std::lock_guard<std::mutex> g(m_Mutex);
    m_Signaled = false;
}

TEventWaitResult TSimpleEvent::WaitFor(int milliseconds)
{
    std::unique_lock<std::mutex> l(m_Mutex);
    if (milliseconds < 0) {
        m_Cond.wait(l, [this] { return m_Signaled; });
        return wrSignaled;
    }
    return m_Cond.wait_for(l, std::chrono::milliseconds(milliseconds), [this] { return m_Signaled; }) ? wrSignaled
                                                                                                      : wrTimeout;
}

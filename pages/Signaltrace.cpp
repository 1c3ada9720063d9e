#include "Signaltrace.h"

bool CSignalTrace::Level(int q, int& dB)
{
    if (q < 0 || q > 32) return false;
    dB = 2 * q - 113;
    return true;
}

bool CSignalTrace::Add(const QDateTime& time, int q)
{
    int dB = 0;
    const bool measured = Level(q, dB);
    // One gap marker is enough for a run of failed readings: the line breaks there.
    const bool repeatedGap = !measured && !m_Readings.empty() && !m_Readings.back().measured;
    if (!repeatedGap) m_Readings.push_back({time, dB, measured});
    else m_Readings.back().time = time;
    const QDateTime oldest = time.addSecs(-m_KeepSeconds);
    while (!m_Readings.empty() && m_Readings.front().time < oldest) m_Readings.pop_front();
    return measured;
}

const CSignalTrace::TReading* CSignalTrace::Best() const
{
    const TReading* best = nullptr;
    for (const TReading& r : m_Readings)
        if (r.measured && (!best || r.dB > best->dB)) best = &r;
    return best;
}

const CSignalTrace::TReading* CSignalTrace::Worst() const
{
    const TReading* worst = nullptr;
    for (const TReading& r : m_Readings)
        if (r.measured && (!worst || r.dB < worst->dB)) worst = &r;
    return worst;
}

const CSignalTrace::TReading* CSignalTrace::Now() const
{
    return m_Readings.empty() || !m_Readings.back().measured ? nullptr : &m_Readings.back();
}

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
    if (!Level(q, dB)) return false;
    m_Readings.push_back({time, dB});
    const QDateTime oldest = time.addSecs(-m_KeepSeconds);
    while (!m_Readings.empty() && m_Readings.front().time < oldest) m_Readings.pop_front();
    return true;
}

const CSignalTrace::TReading* CSignalTrace::Best() const
{
    const TReading* best = nullptr;
    for (const TReading& r : m_Readings)
        if (!best || r.dB > best->dB) best = &r;
    return best;
}

const CSignalTrace::TReading* CSignalTrace::Worst() const
{
    const TReading* worst = nullptr;
    for (const TReading& r : m_Readings)
        if (!worst || r.dB < worst->dB) worst = &r;
    return worst;
}

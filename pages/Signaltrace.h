// The readings of the monitor's antenna mode: the last few minutes of signal
// levels, with the best and the worst of them.
#pragma once
#include <QDateTime>
#include <deque>

class CSignalTrace {
public:
    struct TReading {
        QDateTime time;
        int dB = 0;            // dBm
        bool measured = true;  // false: no reading at that time (no value, ERROR, no answer), a gap
    };

    explicit CSignalTrace(int keepSeconds = 300) : m_KeepSeconds(keepSeconds) {}
    // The level for a +CSQ value, or false when the value carries no measurement (99).
    static bool Level(int q, int& dB);
    // Keeps a reading, one without a level as a gap, and drops those older than
    // the kept time; false when q carries no measurement.
    bool Add(const QDateTime& time, int q);
    // A time without a reading: the link failed or the module did not answer.
    void AddGap(const QDateTime& time) { Add(time, -1); }
    void Clear() { m_Readings.clear(); }

    const std::deque<TReading>& Readings() const { return m_Readings; }
    // The strongest and the weakest kept level (the earliest of equals); none while there is none.
    const TReading* Best() const;
    const TReading* Worst() const;
    // The newest level, none when the newest reading is a gap.
    const TReading* Now() const;
    int KeepSeconds() const { return m_KeepSeconds; }

private:
    int m_KeepSeconds;
    std::deque<TReading> m_Readings;
};

// The chart of the monitor's antenna mode: the kept signal levels over time,
// broken where there was no reading, with the best, the worst and the latest marked.
#pragma once
#include <QChartView>
#include <vector>

class CLanguage;
class CSignalTrace;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

class TSignalChart : public QChartView {
    Q_OBJECT
public:
    explicit TSignalChart(QWidget* parent = nullptr);
    void Translate(const CLanguage& language);
    // Draws the trace; the time axis spans at least thirty readings at intervalMs.
    void Show(const CSignalTrace& trace, int intervalMs);
    // Roomy where the screen allows; the dialog shrinks it down to its minimum on a small one.
    QSize sizeHint() const override { return {560, 300}; }

    // One line a run of readings without a gap; the first one carries the legend.
    const std::vector<QLineSeries*>& Lines() const { return m_Lines; }
    QValueAxis* LevelAxis() const { return m_LevelAxis; }
    QDateTimeAxis* TimeAxis() const { return m_TimeAxis; }
    QScatterSeries* NowMark() const { return m_Now; }

private:
    QLineSeries* Line(size_t index);
    void SetTimeRange(qint64 fromMs, qint64 toMs);

    std::vector<QLineSeries*> m_Lines;
    QScatterSeries *m_Best = nullptr, *m_Worst = nullptr, *m_Now = nullptr;
    QDateTimeAxis* m_TimeAxis = nullptr;
    QValueAxis* m_LevelAxis = nullptr;
};

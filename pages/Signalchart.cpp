#include "Signalchart.h"

#include "Language.h"
#include "Signaltrace.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

namespace {
const int kTextLevelAxis = 523, kTextTimeAxis = 524, kTextSignalSeries = 525, kTextBestSeries = 541,
          kTextWorstSeries = 542, kTextNowSeries = 543;
// The module reports -113 to -51 dBm (and -49 as its top value); the axis
// runs on round numbers around them.
const int kAxisLow = -120, kAxisHigh = -40, kAxisStep = 20;
const int kMostTimeSteps = 4;  // before rounding out to whole steps
}  // namespace

TSignalChart::TSignalChart(QWidget* parent) : QChartView(new QChart, parent)
{
    setObjectName("SignalChart");
    QChart* c = chart();
    m_TimeAxis = new QDateTimeAxis(c);
    m_TimeAxis->setFormat("HH:mm:ss");
    m_TimeAxis->setTickCount(6);
    m_LevelAxis = new QValueAxis(c);
    m_LevelAxis->setRange(kAxisLow, kAxisHigh);
    m_LevelAxis->setTickCount((kAxisHigh - kAxisLow) / kAxisStep + 1);
    m_LevelAxis->setMinorTickCount(1);
    m_LevelAxis->setLabelFormat("%d");
    c->addAxis(m_TimeAxis, Qt::AlignBottom);
    c->addAxis(m_LevelAxis, Qt::AlignLeft);
    m_Best = new QScatterSeries(c);
    m_Worst = new QScatterSeries(c);
    m_Now = new QScatterSeries(c);
    m_Best->setColor(QColor(0, 150, 0));
    m_Worst->setColor(QColor(200, 0, 0));
    m_Now->setColor(QColor(0, 90, 200));
    Line(0);
    for (QScatterSeries* s : {m_Best, m_Worst, m_Now}) {
        s->setMarkerSize(11);
        c->addSeries(s);
        s->attachAxis(m_TimeAxis);
        s->attachAxis(m_LevelAxis);
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    c->setMargins(QMargins(4, 4, 4, 4));
    setRenderHint(QPainter::Antialiasing);
    // Room for six times and five levels unshortened, and small enough for the
    // dialog to keep within a 1280 x 720 screen.
    setMinimumSize(480, 220);
}

QLineSeries* TSignalChart::Line(size_t index)
{
    while (m_Lines.size() <= index) {
        auto* s = new QLineSeries(chart());
        chart()->addSeries(s);
        s->attachAxis(m_TimeAxis);
        s->attachAxis(m_LevelAxis);
        if (!m_Lines.empty()) {
            s->setColor(m_Lines.front()->color());
            // The legend names the signal once, not once a piece.
            for (QLegendMarker* m : chart()->legend()->markers(s)) m->setVisible(false);
        }
        m_Lines.push_back(s);
        // Series are drawn in the order they were added: the marks go on top again.
        for (QScatterSeries* mark : {m_Best, m_Worst, m_Now}) {
            if (!mark) continue;
            chart()->removeSeries(mark);
            chart()->addSeries(mark);
            mark->attachAxis(m_TimeAxis);
            mark->attachAxis(m_LevelAxis);
        }
    }
    return m_Lines[index];
}

void TSignalChart::Translate(const CLanguage& l)
{
    m_Lines.front()->setName(l.Text(kTextSignalSeries));
    m_Best->setName(l.Text(kTextBestSeries));
    m_Worst->setName(l.Text(kTextWorstSeries));
    m_Now->setName(l.Text(kTextNowSeries));
    m_LevelAxis->setTitleText(l.Text(kTextLevelAxis));
    m_TimeAxis->setTitleText(l.Text(kTextTimeAxis));
}

void TSignalChart::Show(const CSignalTrace& trace, int intervalMs)
{
    const auto& readings = trace.Readings();
    std::vector<QList<QPointF>> runs(1);
    for (const auto& r : readings) {
        if (!r.measured) {
            if (!runs.back().isEmpty()) runs.emplace_back();
            continue;
        }
        runs.back().append(QPointF(double(r.time.toMSecsSinceEpoch()), r.dB));
    }
    for (size_t i = 0; i < std::max(runs.size(), m_Lines.size()); ++i) {
        if (i < runs.size()) Line(i)->replace(runs[i]);
        else m_Lines[i]->clear();
    }
    const auto mark = [](QScatterSeries* s, const CSignalTrace::TReading* r) {
        if (r) s->replace(QList<QPointF>{QPointF(double(r->time.toMSecsSinceEpoch()), r->dB)});
        else s->clear();
    };
    mark(m_Best, trace.Best());
    mark(m_Worst, trace.Worst());
    mark(m_Now, trace.Now());
    // Thirty readings across at least, at most the kept time, the newest reading at the right.
    const QDateTime last = readings.empty() ? QDateTime::currentDateTime() : readings.back().time;
    QDateTime first = readings.empty() ? last : readings.front().time;
    const qint64 least = std::max<qint64>(3000, 30LL * intervalMs);
    if (first.msecsTo(last) < least) first = last.addMSecs(-least);
    SetTimeRange(first.toMSecsSinceEpoch(), last.addMSecs(least / 30).toMSecsSinceEpoch());
}

void TSignalChart::SetTimeRange(qint64 fromMs, qint64 toMs)
{
    // Ticks on whole multiples of a round step, so that no two labels read alike.
    static const qint64 kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    qint64 step = 3600 * 1000;
    for (const qint64 s : kSteps)
        if ((toMs - fromMs) / (s * 1000) < kMostTimeSteps) {
            step = s * 1000;
            break;
        }
    const qint64 low = fromMs / step * step;
    const qint64 high = (toMs + step - 1) / step * step;
    m_TimeAxis->setTickCount(int((high - low) / step) + 1);
    m_TimeAxis->setRange(QDateTime::fromMSecsSinceEpoch(low), QDateTime::fromMSecsSinceEpoch(high));
}

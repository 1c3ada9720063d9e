#include "Commonutils.h"
#include "Terminal.h"
#include "Language.h"
#include "Monitor.h"
#include "apptest.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <functional>

using namespace MonitorParse;

namespace {
struct Monitor : AppFixture {
    void Open(TSimOptions o = {})
    {
        StartApp(o);
        mon = main->FMonitor;
        mon->m_CyclePause = 300;
        mon->show();
    }
    // The polling loop runs inside the event loop until the monitor is closed, so a
    // test speaks to it from timer ticks: each step waits for its condition, then acts.
    struct Step {
        std::function<bool()> until;
        std::function<void()> then;
        int ms = 10000;
    };
    void Run(std::vector<Step> steps)
    {
        size_t at = 0;
        QElapsedTimer t;
        t.start();
        QTimer tick;
        tick.setInterval(20);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (at >= steps.size()) return;
            if (steps[at].until()) {
                if (steps[at].then) steps[at].then();
                ++at;
                t.restart();
            } else if (t.elapsed() > steps[at].ms) {
                ADD_FAILURE() << "step " << at << " did not happen; status " << mon->Status->text().toStdString();
                at = steps.size();
            }
            if (at >= steps.size() && mon->isVisible()) mon->OkButtonClick();
        });
        tick.start();
        QElapsedTimer all;
        all.start();
        while ((mon->isVisible() || mon->Polling()) && all.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_FALSE(mon->Polling());
    }
    bool WaitFor(const std::function<bool()>& done, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    }
    TFMonitor* mon = nullptr;
};
}  // namespace

TEST(MonitorParse, RepliesAreReadOnlyAsFarAsTheyGo)
{
    int dir = -1;
    std::string number;
    EXPECT_TRUE(FirstCall("\r\n+CLCC: 1,1,0,0,0,\"+420777\",145\r\n\r\nOK\r\n", dir, number));
    EXPECT_EQ(dir, 1);
    EXPECT_EQ(number, "+420777");
    EXPECT_TRUE(FirstCall("+CLCC: 1, 0,0,0,0,\"12\",129\r\n+CLCC: 2,1,0,0,0,\"34\"", dir, number));
    EXPECT_EQ(dir, 0);
    EXPECT_EQ(number, "12");
    EXPECT_FALSE(FirstCall("\r\nOK\r\n", dir, number));
    EXPECT_FALSE(FirstCall("+CLCC: 1", dir, number));
    EXPECT_FALSE(FirstCall("+CLCC: 1,1,0,0,0,\"+4207", dir, number));  // cut off in the number
    EXPECT_FALSE(FirstCall("+CLCC:", dir, number));
    EXPECT_EQ(Clean(std::string(200, 'x')), "");
    EXPECT_EQ(Clean("bad\x01"), "");
    EXPECT_EQ(Clean("SIMNET"), "SIMNET");
    const auto f = IdentFields("junk\"KX2 gateway;35693;SIMNET; (23001);17\"");
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0], "KX2 gateway");
    EXPECT_EQ(f[4], "17");
    EXPECT_EQ(IdentFields("\"only;two").size(), 1u);  // no closing quote: the fields before the break
    EXPECT_TRUE(IdentFields("no quote at all").empty());
}

TEST_F(Monitor, ShowsTheModuleAndFollowsACall)
{
    TSimOptions o;
    o.call = true;
    o.callDirection = 1;
    Open(o);
    Run({{[&] { return mon->SignalBar->isVisible(); },
          [&] {
              EXPECT_EQ(mon->Status->text(), Language().Text(102));
              EXPECT_EQ(mon->Module->text(), "KORVA GM-900 Revision 12.01");
              EXPECT_EQ(mon->Imei->text(), "356938035643809");
              EXPECT_EQ(mon->Imsi->text(), "230019876543210");
              EXPECT_EQ(mon->SmsCentreNumber->text(), "+420603052000");
              EXPECT_EQ(mon->Operator->text(), "SIMNET CZ (23001)");
              EXPECT_EQ(mon->Call->text(), Language().Text(132) + " (+420777123456)");
              EXPECT_EQ(mon->SignalBar->value(), 17);
              EXPECT_EQ(mon->SignalLevel->text(), "-79 dBm");
              EXPECT_TRUE(main->m_Ops.MonitorBusy);
              sim->SetCall(false, 0, "");
              sim->SetSignal(99);
          }},
         {[&] { return mon->Call->text() == Language().Text(134) && !mon->SignalBar->isVisible(); },
          [&] {
              EXPECT_TRUE(mon->Signal->isVisible());
              sim->SetSignal(32);
          }},
         {[&] { return mon->SignalLevel->text() == "-49 dBm"; }, nullptr}});
    EXPECT_FALSE(main->m_Ops.MonitorBusy);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
}

TEST_F(Monitor, AntennaModeAsksOnlyForTheSignalAndGoesBackToTheFullCycle)
{
    Open();
    mon->m_AntennaInterval = 50;
    size_t mark = 0;
    // Only the signal from the cycle after the switch on, until the switch back.
    const auto onlySignal = [&](size_t from, size_t to) {
        const auto log = sim->AtLog();
        size_t i = from;
        while (i < to && log[i] != "AT+CSQ") ++i;  // the rest of the cycle under way
        for (++i; i < to; ++i) EXPECT_EQ(log[i], "AT+CSQ") << "command " << i;
    };
    Run({{[&] { return mon->SignalBar->isVisible(); },
          [&] {
              EXPECT_FALSE(mon->SignalChart->isVisible());
              mon->AntennaBox->click();
              mark = sim->AtLog().size();
          }},
         {[&] { return mon->Trace().Readings().size() >= 4; },
          [&] {
              EXPECT_TRUE(mon->SignalChart->isVisible());
              EXPECT_EQ(mon->Trace().Best()->dB, -79);
              sim->SetSignal(25);
          }},
         {[&] { return mon->Trace().Best()->dB == -63; },
          [&] {
              EXPECT_TRUE(mon->SignalSummary->text().contains(
                  Substitute(Language().Text(521), {"-63", mon->Trace().Best()->time.toString("HH:mm:ss")})));
              EXPECT_EQ(mon->SignalLevel->text(), "-63 dBm");
              const size_t now = sim->AtLog().size();
              onlySignal(mark, now);
              EXPECT_GE(now - mark, 5u);
              mon->AntennaBox->click();
              mark = now;
          }},
         {[&] {
              const auto log = sim->AtLog();
              return std::find(log.begin() + long(mark), log.end(), "AT+COPS?") != log.end();
          },
          [&] { EXPECT_FALSE(mon->SignalChart->isVisible()); }}});
}

TEST(MonitorSignalTrace, ReadingsWithoutALevelAreGapsThatBreakTheLine)
{
    CSignalTrace t(60);
    const QDateTime start = QDateTime::currentDateTime();
    EXPECT_TRUE(t.Add(start, 17));
    EXPECT_FALSE(t.Add(start.addSecs(1), 99));
    t.AddGap(start.addSecs(2));  // one gap for a run of failures
    EXPECT_EQ(t.Readings().size(), 2u);
    EXPECT_FALSE(t.Now());  // the last value no longer holds
    EXPECT_EQ(t.Best()->dB, -79);
    EXPECT_EQ(t.Worst()->dB, -79);
    EXPECT_TRUE(t.Add(start.addSecs(3), 20));
    ASSERT_TRUE(t.Now());
    EXPECT_EQ(t.Now()->dB, -73);
    // The chart draws the two runs apart, on a level axis of round steps.
    TSignalChart chart;
    chart.Show(t, 1000);
    std::vector<int> pieces;
    for (QLineSeries* line : chart.Lines())
        if (line->count() > 0) pieces.push_back(int(line->count()));
    EXPECT_EQ(pieces, (std::vector<int>{1, 1}));
    // The marks are drawn over every piece of the line, the later ones too.
    const QList<QAbstractSeries*> drawn = chart.chart()->series();
    ASSERT_GE(drawn.size(), 3);
    EXPECT_EQ(drawn.back(), chart.NowMark());
    for (QLineSeries* line : chart.Lines()) EXPECT_LT(drawn.indexOf(line), drawn.size() - 3);
    const QValueAxis* axis = chart.LevelAxis();
    const int step = int(axis->max() - axis->min()) / (axis->tickCount() - 1);
    EXPECT_EQ(int(axis->min()) % step, 0);
    EXPECT_EQ(step % 10, 0);
    EXPECT_LE(axis->min(), -113);
    EXPECT_GE(axis->max(), -49);
}

TEST(MonitorSignalTrace, TimeTicksFallOnWholeStepsAndNeverRepeatALabel)
{
    // Readings at odd milliseconds over spans from a few seconds to an hour.
    for (const int intervalMs : {100, 333, 1000, 7000, 120000}) {
        CSignalTrace t(60);
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(1765000000123);
        for (int i = 0; i < 31; ++i) t.Add(start.addMSecs(qint64(i) * intervalMs), 15);
        TSignalChart chart;
        chart.Show(t, intervalMs);
        const QDateTimeAxis* axis = chart.TimeAxis();
        const qint64 low = axis->min().toMSecsSinceEpoch(), high = axis->max().toMSecsSinceEpoch();
        ASSERT_GE(axis->tickCount(), 2);
        const qint64 step = (high - low) / (axis->tickCount() - 1);
        EXPECT_EQ((high - low) % (axis->tickCount() - 1), 0) << intervalMs;
        EXPECT_EQ(step % 1000, 0) << intervalMs;  // whole seconds: labels HH:mm:ss differ
        EXPECT_EQ(low % step, 0) << intervalMs;
        EXPECT_LE(axis->tickCount(), 7) << intervalMs;  // room for each label
        EXPECT_LE(low, t.Readings().front().time.toMSecsSinceEpoch());
        EXPECT_GE(high, t.Readings().back().time.toMSecsSinceEpoch());
    }
}

TEST_F(Monitor, AnOutageInAntennaModeShowsNoReadingUntilTheSignalIsBack)
{
    Open();
    mon->m_AntennaInterval = 50;
    Run({{[&] { return mon->SignalBar->isVisible(); }, [&] { mon->AntennaBox->click(); }},
         {[&] { return mon->Trace().Now() != nullptr; }, [&] { sim->SetSignal(99); }},
         {[&] { return !mon->Trace().Readings().back().measured; },
          [&] {
              EXPECT_EQ(mon->Signal->text(), Language().Text(655));
              EXPECT_FALSE(mon->SignalLevel->isVisible());
              EXPECT_TRUE(mon->SignalSummary->text().startsWith(Language().Text(656)));
              EXPECT_TRUE(mon->SignalChart->NowMark()->points().isEmpty());
              sim->SetSignal(20);
          }},
         {[&] { return mon->Trace().Now() && mon->Trace().Now()->dB == -73; },
          [&] {
              EXPECT_EQ(mon->SignalLevel->text(), "-73 dBm");
              int pieces = 0;
              for (QLineSeries* line : mon->SignalChart->Lines()) pieces += line->count() > 0;
              EXPECT_EQ(pieces, 2);
              sim->Kill();
          }},
         // A gateway that goes away is an outage too: no last value stays up.
         {[&] { return mon->Status->text() == Language().Text(103); },
          [&] {
              EXPECT_EQ(mon->Signal->text(), Language().Text(655));
              EXPECT_FALSE(mon->Trace().Now());
          }}});
}

TEST_F(Monitor, RawNetworkPortIsRefusedAtOnceNamingTheRfc2217Port)
{
    StartApp();
    main->SetSessionPort("socket://127.0.0.1:9", "terminal server");
    mon = main->FMonitor;
    QElapsedTimer t;
    t.start();
    mon->show();
    ASSERT_TRUE(WaitFor([&] { return !mon->isVisible(); }, 4000));
    EXPECT_LT(t.elapsed(), 2000);  // before any connection is tried
    EXPECT_EQ(LastMessage(), Substitute(Language().Text(657), {"socket://127.0.0.1:9", "rfc2217://127.0.0.1:9"}));
    EXPECT_FALSE(main->m_Ops.MonitorBusy);
}

TEST_F(Monitor, ModuleThatAnswersNothingShowsNoValue)
{
    TSimOptions o;
    o.atErrors = {"AT+GMI",  "AT+CGMI", "AT+GMM",  "AT+CGMM", "AT+GMR",
                  "AT+CGMR", "AT+GSN",  "AT+CGSN", "AT+CSQ",  "AT+CLCC"};
    Open(o);
    Run({{[&] { return mon->Signal->text() == Language().Text(240); },
          [&] {
              EXPECT_EQ(mon->Module->text(), Language().Text(240));
              EXPECT_EQ(mon->Imei->text(), Language().Text(240));
              EXPECT_EQ(mon->Call->text(), Language().Text(240));
              EXPECT_FALSE(mon->SignalBar->isVisible());
          }}});
}

TEST_F(Monitor, SilenceMarksTheLinkDownAndClosingMidPollCleansUp)
{
    Open();
    QElapsedTimer t;
    Run({{[&] { return mon->Imei->text() == "356938035643809"; }, [&] { sim->SetOption("silentAfter", 0); }},
         {[&] { return mon->Status->text() == Language().Text(103); }, [&] { t.start(); }}});
    EXPECT_LT(t.elapsed(), 1500);  // closing mid-poll ends the loop at once
    EXPECT_FALSE(main->m_Ops.MonitorBusy);
    EXPECT_FALSE(Terminal().m_Comm.Enabled());
    // The main window works afterwards.
    sim->SetOption("silentAfter", -1);
    EXPECT_TRUE(main->m_Ops.ReadFromGateway());
}

TEST_F(Monitor, GatewayThatGoesAwayEndsNothingButThePolling)
{
    Open();
    Run({{[&] { return mon->Imei->text() == "356938035643809"; }, [&] { sim->Kill(); }},
         {[&] { return mon->Status->text() == Language().Text(103); }, nullptr}});
    EXPECT_FALSE(main->m_Ops.MonitorBusy);
}

TEST_F(Monitor, PortThatCannotBeOpenedClosesTheDialog)
{
    StartApp();
    main->SetSessionPort("/dev/no-such-port", "nothing");
    mon = main->FMonitor;
    mon->show();
    ASSERT_TRUE(WaitFor([&] { return !mon->isVisible(); }, 4000));
    EXPECT_TRUE(LastMessage().startsWith(Language().Text(125)));
    EXPECT_FALSE(main->m_Ops.MonitorBusy);
}

#include "Commonutils.h"
#include "Terminal.h"
#include "Language.h"
#include "Monitor.h"
#include "apptest.h"

#include <QChartView>
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
              EXPECT_EQ(mon->SignalLevel->text(), "-79 dB");
              EXPECT_TRUE(main->m_Ops.MonitorBusy);
              sim->SetCall(false, 0, "");
              sim->SetSignal(99);
          }},
         {[&] { return mon->Call->text() == Language().Text(134) && !mon->SignalBar->isVisible(); },
          [&] {
              EXPECT_TRUE(mon->Signal->isVisible());
              sim->SetSignal(32);
          }},
         {[&] { return mon->SignalLevel->text() == "-49 dB"; }, nullptr}});
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
              EXPECT_EQ(mon->SignalLevel->text(), "-63 dB");
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

TEST_F(Monitor, ModuleThatAnswersNothingShowsNoValue)
{
    TSimOptions o;
    o.atErrors = {"AT+GMI", "AT+CGMI", "AT+GMM", "AT+CGMM", "AT+GMR", "AT+CGMR", "AT+GSN", "AT+CGSN", "AT+CSQ", "AT+CLCC"};
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

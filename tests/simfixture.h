// A gateway simulator on a pseudo-terminal, started for one test.
#pragma once
#include "Gatewaysim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

inline void PumpEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

// Serves events until the condition holds or ms have passed; whether it holds.
inline bool PumpUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < ms) PumpEvents(20);
    return condition();
}

// Runs `action` once, from the event loop, as soon as `ready` holds; the timer
// goes with `owner`.
inline void WhenReady(QObject* owner, std::function<bool()> ready, std::function<void()> action)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (!ready()) return;
        timer->stop();
        action();
    });
    timer->start(5);
}

struct SimFixture : ::testing::Test {
    void StartSim(TSimOptions o = {})
    {
        sim = std::make_unique<CGatewaySim>(o);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        port = QString::fromStdString(sim->SlavePath());
    }
    void TearDown() override
    {
        if (sim) sim->Stop();
    }
    std::unique_ptr<CGatewaySim> sim;
    QString port;
};

// A gateway simulator on a pseudo-terminal, started for one test.
#pragma once
#include "Gatewaysim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <gtest/gtest.h>
#include <memory>

inline void PumpEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
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

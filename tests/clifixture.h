// The command line's tests against simulated gateways: the fixture, a rack of
// further gateways, and files they share.
#pragma once
#include "Demo.h"
#include "Gatewaysim.h"
#include "clirun.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

inline QString Program(const char* name) { return QCoreApplication::applicationDirPath() + "/" + name; }
inline QString DemoFirmware() { return DemoFolder() + "Korvanext-3.20-demo.Bin"; }

struct Cli : SimFixture, TCliRunner {
    using TCliRunner::Run;  // not the test's own Run
    QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    int Lines(const QString& text) const { return int(text.trimmed().split('\n').size()); }
};

// More gateways for a run on several ports.
struct Rack {
    void Add(TSimOptions o)
    {
        sims.push_back(std::make_unique<CGatewaySim>(o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
        ports << QString::fromStdString(sims.back()->SlavePath());
    }
    std::vector<std::unique_ptr<CGatewaySim>> sims;
    QStringList ports;
};

// new.kvx: a configuration with changes in both blocks.
inline void FileWithBothBlocks(Cli& cli)
{
    EXPECT_EQ(cli.Run({"defaults", "new.kvx"}), 0);
    EXPECT_EQ(cli.Run({"set", "new.kvx", "FXSVolRec=5", "GSMNum:8=+420777000111"}), 0);
}

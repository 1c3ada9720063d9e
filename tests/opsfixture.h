// The gateway operations on a simulated gateway, without a window: a UI that
// records what they show and answers their questions from a script.
#pragma once
#include "Catalogue.h"
#include "Commonutils.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Language.h"
#include "Parameters.h"
#include "Terminal.h"
#include "scriptedanswers.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct TRecordingUI : TOperationUI, TScriptedAnswers {
    void ShowProgress(bool show, int textNumber, bool) override
    {
        progressShown = show;
        if (show) {
            progressTexts.push_back(textNumber);
            cancelled = false;
        }
    }
    void SetProgressLabel(const QString& text) override
    {
        labels << text;
        labelPositions.push_back(positions.empty() ? 0 : positions.back());
    }
    void SetProgressMax(int max) override { progressMax = max; }
    void SetProgressPos(int pos) override
    {
        positions.push_back(pos);
        received.push_back(Terminal().m_Count);
    }
    void SetCancelVisible(bool visible) override { cancelVisible = visible; }
    bool Cancelled() const override { return cancelled; }
    void Message(const QString& text, TIcon icon) override { Show(text, icon); }
    bool Ask(const QString& text, TIcon, TDefaultAnswer preset) override { return Answer(text, preset); }
    QString ChooseFirmware(const QStringList& paths) override { return Choose(paths); }
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    // What the progress window's Cancel does.
    void Cancel()
    {
        Terminal().m_Abort = true;
        cancelled = true;
    }

    bool progressShown = false;
    bool cancelled = false;
    bool cancelVisible = false;
    int progressMax = 0;
    std::vector<int> progressTexts, positions;
    std::vector<int> received;        // the bytes of the reply in when each position was set
    std::vector<int> labelPositions;  // the bar's position when each label was shown
    QStringList labels;
};

struct OpsFixture : SimFixture {
    void StartOps(TSimOptions o = {})
    {
        StartSim(o);
        globals = std::make_unique<TGlobalObjects>();
        Language().InitEnglish(ProgramFolder());
        BuildCatalogue(Parameters());
        prompts = std::make_unique<TRecordingUI>();
        ops = std::make_unique<CGatewayOps>(Parameters(), Terminal(), Language(), *prompts);
        ops->FirmwareFolder = ProgramFolder();
        ops->ComPort = port;
    }
    void TearDown() override
    {
        if (ops) ops->CloseGatewayLink();
        ops.reset();
        globals.reset();
        SimFixture::TearDown();
    }
    // Runs `action` once, from the event loop, as soon as `ready` holds.
    void When(std::function<bool()> ready, std::function<void()> action)
    {
        WhenReady(QCoreApplication::instance(), std::move(ready), std::move(action));
    }
    QString LastMessage() const { return prompts->shown.empty() ? QString() : prompts->shown.back().text; }
    QString Text(int n) const { return Language().Text(n); }

    std::unique_ptr<TGlobalObjects> globals;
    std::unique_ptr<TRecordingUI> prompts;
    std::unique_ptr<CGatewayOps> ops;
};

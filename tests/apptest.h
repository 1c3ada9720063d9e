// The main window on a simulated gateway, with scripted answers to its questions.
#pragma once
#include "Globals.h"
#include "Mainwindow.h"
#include "Prompts.h"
#include "scriptedanswers.h"
#include "simfixture.h"

#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

struct TScriptedPrompts : TPrompts, TScriptedAnswers {
    void Message(QWidget*, const QString&, const QString& text, TIcon icon) override { Show(text, icon); }
    bool Ask(QWidget*, const QString&, const QString& text, TIcon, TDefaultAnswer preset) override
    {
        return Answer(text, preset);
    }
    TSaveChoice AskSave(QWidget*, const QString&, const QString& text) override
    {
        saveAsked << text;
        if (saveAnswers.empty()) return TSaveChoice::Discard;
        const TSaveChoice a = saveAnswers.front();
        saveAnswers.pop_front();
        return a;
    }
    QString OpenFile(QWidget*, const QString&) override { return openPath; }
    QString SaveFile(QWidget*, const QString&, const QString&) override { return savePath; }
    QString ChooseFirmware(TFFirmwareChoice&, const QStringList& paths) override { return Choose(paths); }

    QStringList saveAsked;
    std::deque<TSaveChoice> saveAnswers;  // Discard when empty
    QString openPath, savePath;
};

struct AppFixture : SimFixture {
    void StartApp(TSimOptions o = {})
    {
        StartSim(o);
        globals = std::make_unique<TGlobalObjects>();
        main = std::make_unique<TFMain>();
        auto p = std::make_unique<TScriptedPrompts>();
        prompts = p.get();
        main->SetPrompts(std::move(p));
        main->SetSessionPort(port, "test gateway");
    }
    void TearDown() override
    {
        if (main) main->m_Ops.CloseGatewayLink();
        main.reset();
        globals.reset();
        SimFixture::TearDown();
    }
    // Runs `action` once, from the event loop, as soon as `ready` holds.
    void When(std::function<bool()> ready, std::function<void()> action)
    {
        WhenReady(main.get(), std::move(ready), std::move(action));
    }
    QString LastMessage() const { return prompts->shown.empty() ? QString() : prompts->shown.back().text; }
    QString Text(int n) const { return Language().Text(n); }

    std::unique_ptr<TGlobalObjects> globals;
    std::unique_ptr<TFMain> main;
    TScriptedPrompts* prompts = nullptr;
};

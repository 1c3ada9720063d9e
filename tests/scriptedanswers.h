// What a test's stand-in for the user saw and how it answers: the messages shown,
// the questions asked with the answer Enter would give, and the firmware chosen.
#pragma once
#include "Gatewayops.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

struct TScriptedAnswers {
    struct TShown {
        QString text;
        TIcon icon;
    };
    void Show(const QString& text, TIcon icon) { shown.push_back({text, icon}); }
    // The next scripted answer; Yes when the script has run out.
    bool Answer(const QString& text, TDefaultAnswer preset)
    {
        asked << text;
        presets.push_back(preset);
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QString Choose(const QStringList& paths)
    {
        offered = paths;
        return firmwareChoice;
    }

    std::vector<TShown> shown;
    QStringList asked;
    std::vector<TDefaultAnswer> presets;  // the default answer of each question asked
    std::deque<bool> answers;             // Yes when empty
    QString firmwareChoice;
    QStringList offered;  // the firmware files the choice was offered
};

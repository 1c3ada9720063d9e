// Message boxes, questions and file choices of the program. The window uses
// the standard dialogs; tests put scripted answers in their place.
#pragma once
#include "Gatewayops.h"
#include "Keyboard.h"

#include <QString>
#include <QStringList>

class QWidget;
class TFFirmwareChoice;

// The answer to "save the changes first?".
enum class TSaveChoice { Save, Discard, Cancel };

class TPrompts {
public:
    virtual ~TPrompts() = default;
    virtual void Message(QWidget* parent, const QString& caption, const QString& text, TIcon icon);
    virtual bool Ask(QWidget* parent, const QString& caption, const QString& text, TIcon icon,
                     TDefaultAnswer preset = TDefaultAnswer::No);
    // Save / Discard / Cancel; closing the box is Cancel.
    virtual TSaveChoice AskSave(QWidget* parent, const QString& caption, const QString& text);
    // Open and save dialogs; an empty result when the user cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& filter);
    virtual QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix);
    // Firmware file choice: the listed files or any other; empty when cancelled.
    virtual QString ChooseFirmware(TFFirmwareChoice& dialog, const QStringList& paths);
};

// A "description|pattern|description|pattern" filter as the language files
// hold it, in the form the file dialogs take.
QString DialogFilter(const QString& languageFilter);

// A menu text as a window caption or hint: no mnemonic and no trailing "...".
QString CaptionText(const QString& menuText);

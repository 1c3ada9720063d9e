// Keyboard use of the pages: Alt+letter mnemonics chosen for the texts of the
// language shown, and an explicit focus order.
#pragma once
#include "Commonutils.h"

#include <QChar>
#include <QString>
#include <initializer_list>

class QWidget;

// Translates the page (its texts by text number) and gives its labelled
// controls mnemonics that fit the new texts.
void TranslatePage(QWidget* page);

// Gives every label with a buddy that takes the focus, every check box, radio
// button and push button of the page a mnemonic of its own. Controls on
// different tabs of one tab control may share a letter, since only one tab
// shows at a time; letters the window's menu bar uses are left to it.
void AssignMnemonics(QWidget* page);

// The key of a text's mnemonic in upper case, or a null character.
QChar MnemonicKey(const QString& text);

// Tab moves the focus through these widgets in this order; a tab control
// stands for its tab bar.
void ChainFocus(std::initializer_list<QWidget*> order);

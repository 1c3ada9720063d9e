// The language tables on widgets: texts by the text numbers controls carry in
// "Tag", the menu that lists the languages, and where a dialog opens. The tables
// themselves (CLanguage) know no widgets, so the command line reads them too.
#pragma once
#include <QString>
#include <functional>

class CLanguage;
class QMenu;
class QWidget;

// Tag and hint flag of a control, as the language tables read them.
void SetTag(QWidget* w, int tag, bool showHint = true);
int GetTag(const QWidget* w);
// A widget that is one page of a tab control (its tab carries its text).
bool IsTabPage(const QWidget* w);

// The form's title and every tagged control under it in the loaded language.
void ApplyToForm(const CLanguage& language, QWidget* form);
void ApplyToComponents(const CLanguage& language, QWidget* owner);

// Reads folder + "L_Init.ini" as CLanguage::Init does and lists the languages
// in the menu (when there is one): a checkable item each, the loaded one
// ticked; choosing one calls onSelect with its index.
bool InitLanguages(CLanguage& language, const QString& folder, QMenu* menu, std::function<void(int)> onSelect);

// Centres the window on the main window; a negative top or left becomes 0.
void CentreOn(QWidget* window, const QWidget* mainWindow);

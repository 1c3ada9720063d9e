#include "Formtexts.h"

#include "Bindings.h"
#include "Commonutils.h"
#include "Language.h"

#include <QAbstractSlider>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>

namespace {
// Marks the menu items InitLanguages made, so a second call replaces them.
const char* const kLanguageItem = "LanguageIndex";

bool ShowsHint(const QWidget* w)
{
    const QVariant v = w->property("ShowHint");
    return !v.isValid() || v.toBool();
}

void ApplyToWidget(const CLanguage& l, QWidget* w)
{
    const int t = GetTag(w);
    if (t == 0) return;
    const bool hint = ShowsHint(w);

    // A page of a tab control: its tab carries the text.
    if (IsTabPage(w)) {
        auto* tabs = static_cast<QTabWidget*>(w->parentWidget()->parentWidget());
        const int i = tabs->indexOf(w);
        if (i >= 0 && t > 0) {
            tabs->setTabText(i, l.Text(t));
            return;
        }
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        int id = t;
        if (t > 0) {
            // First translation: the design-time item texts are the item values.
            for (int j = 0; j < combo->count(); ++j)
                if (!combo->itemData(j).isValid()) combo->setItemData(j, ParseNumber(combo->itemText(j).toStdString()));
            w->setProperty("Tag", -t);
        } else {
            id = -t;
        }
        for (int j = 0; j < combo->count(); ++j) combo->setItemText(j, l.Item(id, j));
        if (hint) combo->setToolTip(l.Hint(id));
        return;
    }
    if (t < 0) return;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(l.Text(t));
        // A screen reader names the field by its label, also where the field
        // sits in a box of its own and the label relation does not reach it.
        if (QWidget* buddy = label->buddy()) buddy->setAccessibleName(WithoutMnemonic(l.Text(t)).trimmed());
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(" " + l.Text(t) + " ");
        return;
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        radio->setText(l.Text(t));
        return;
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(l.Text(t));
    } else if (!(qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
                 qobject_cast<QAbstractSlider*>(w) || qobject_cast<TUpDown*>(w))) {
        return;
    }
    if (hint) w->setToolTip(l.Hint(t));
}
}  // namespace

void SetTag(QWidget* w, int tag, bool showHint)
{
    w->setProperty("Tag", tag);
    w->setProperty("ShowHint", showHint);
}

int GetTag(const QWidget* w)
{
    const QVariant v = w->property("Tag");
    return v.isValid() ? v.toInt() : 0;
}

bool IsTabPage(const QWidget* w)
{
    const QWidget* stack = w->parentWidget();
    return stack && qobject_cast<const QStackedWidget*>(stack) &&
           qobject_cast<const QTabWidget*>(stack->parentWidget());
}

void ApplyToForm(const CLanguage& language, QWidget* form)
{
    if (!form) return;
    form->setWindowTitle(language.Text(GetTag(form)));
    ApplyToComponents(language, form);
}

void ApplyToComponents(const CLanguage& language, QWidget* owner)
{
    if (!owner) return;
    const QList<QWidget*> all = owner->findChildren<QWidget*>();
    for (QWidget* w : all) ApplyToWidget(language, w);
}

bool InitLanguages(CLanguage& language, const QString& folder, QMenu* menu, std::function<void(int)> onSelect)
{
    if (menu)
        for (QAction* a : menu->actions())
            if (a->property(kLanguageItem).isValid()) delete a;
    const bool read = language.Init(folder);
    language.OnChosen = nullptr;
    if (!menu) return read;
    for (int i = 0; i < language.LanguageCount(); ++i) {
        QAction* a = menu->addAction(language.Language(i).Name);
        a->setCheckable(true);
        a->setChecked(false);
        a->setData(i);
        a->setProperty(kLanguageItem, i);
        QObject::connect(a, &QAction::triggered, a, [onSelect, i] {
            if (onSelect) onSelect(i);
        });
    }
    language.OnChosen = [items = QPointer<QMenu>(menu)](int lang) {
        if (!items) return;
        for (QAction* a : items->actions()) {
            const QVariant index = a->property(kLanguageItem);
            if (index.isValid()) a->setChecked(index.toInt() == lang);
        }
    };
    return read;
}

void CentreOn(QWidget* window, const QWidget* mainWindow)
{
    if (!window || !mainWindow) return;
    const QRect m = mainWindow->frameGeometry();
    const QSize own = window->frameGeometry().size();
    int top = m.top() + (m.height() - own.height()) / 2;
    int left = m.left() + (m.width() - own.width()) / 2;
    window->move(qMax(left, 0), qMax(top, 0));
}

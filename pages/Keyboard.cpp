#include "Keyboard.h"

#include "Globals.h"
#include "Formtexts.h"
#include "Language.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextLayout>
#include <cmath>
#include <vector>

namespace {
// Marks a control whose minimum width SetTextOf set.
const char* const kWidened = "WidenedForMnemonic";

bool TakesFocus(const QWidget* w)
{
    while (w && w->focusProxy()) w = w->focusProxy();
    return w && (w->focusPolicy() & Qt::TabFocus);
}

QString TextOf(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    return static_cast<const QAbstractButton*>(w)->text();
}

// How much wider a text with a mnemonic is drawn than the font measures it (and
// size hints with it): the underlined letter is shaped apart from its neighbours,
// so a kerning pair across it ("T&e", "-&T") is lost, and a last letter may
// reach beyond its advance.
int DrawnExtra(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    const QChar key = MnemonicKey(text);
    QString plain = text;
    int at = -1;
    for (int i = 0; i + 1 < plain.size(); ++i) {
        if (plain[i] != '&') continue;
        plain.remove(i, 1);
        if (at < 0 && !key.isNull() && plain[i] != '&') at = i;
    }
    QTextLayout layout(plain, font);
    if (at >= 0) {
        QTextCharFormat underlined;
        underlined.setFontUnderline(true);
        layout.setFormats({QTextLayout::FormatRange{at, 1, underlined}});
    }
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid() || plain.isEmpty()) return 0;
    const int overhang = std::max(0, -metrics.rightBearing(plain.back()));
    const int drawn = int(std::ceil(line.naturalTextWidth())) + overhang;
    return std::max(0, drawn - metrics.size(Qt::TextShowMnemonic, text).width());
}

void SetTextOf(QWidget* w, const QString& text)
{
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
    else static_cast<QAbstractButton*>(w)->setText(text);
    // Layouts give a control its size hint: widened by what the drawing adds, or the last letter is cut.
    const int extra = DrawnExtra(w->font(), text);
    const bool widened = w->property(kWidened).toBool();
    if (extra == 0 && !widened) return;
    w->setMinimumWidth(0);
    if (extra > 0) w->setMinimumWidth(w->sizeHint().width() + extra);
    w->setProperty(kWidened, extra > 0);
}

bool Candidate(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->buddy() && TakesFocus(l->buddy()) && !l->text().isEmpty();
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w) ||
        qobject_cast<const QPushButton*>(w))
        return !static_cast<const QAbstractButton*>(w)->text().isEmpty();
    return false;
}

// Positions in the text that could carry the mnemonic, best first: the first
// letters of words, then other letters and digits; plain ASCII before the rest,
// which not every keyboard reaches with Alt alone.
std::vector<int> Choices(const QString& text)
{
    std::vector<int> first, other, foreign;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!c.isLetterOrNumber()) continue;
        if (c.unicode() >= 128) foreign.push_back(i);
        else if (i == 0 || !text[i - 1].isLetterOrNumber()) first.push_back(i);
        else other.push_back(i);
    }
    first.insert(first.end(), other.begin(), other.end());
    first.insert(first.end(), foreign.begin(), foreign.end());
    return first;
}

struct TControl {
    QWidget* widget;
    QString text;  // without a mnemonic
    std::vector<int> choices;
    int chosen = -1;  // index into choices
};

// Kuhn's augmenting path over the letters: a control takes a letter that is
// free, or one whose holder can move to another of its own.
bool Place(std::vector<TControl>& controls, size_t i, std::vector<bool>& visited, std::vector<int>& holder,
           const QString& reserved)
{
    TControl& c = controls[i];
    for (size_t k = 0; k < c.choices.size(); ++k) {
        const QChar key = c.text[c.choices[k]].toUpper();
        if (reserved.contains(key)) continue;
        const int slot = key.unicode();
        if (visited[size_t(slot)]) continue;
        visited[size_t(slot)] = true;
        if (holder[size_t(slot)] < 0 || Place(controls, size_t(holder[size_t(slot)]), visited, holder, reserved)) {
            holder[size_t(slot)] = int(i);
            c.chosen = int(k);
            return true;
        }
    }
    return false;
}

// The controls that show with the scope itself, and the tab pages directly within it.
void Collect(QWidget* scope, std::vector<TControl>& controls, std::vector<QWidget*>& inner)
{
    const QList<QWidget*> all = scope->findChildren<QWidget*>();
    for (QWidget* w : all) {
        QWidget* page = nullptr;
        for (QWidget* p = w; p && p != scope && !page; p = p->parentWidget())
            if (IsTabPage(p)) page = p;
        if (page == w) {
            bool deeper = false;
            for (QWidget* p = w->parentWidget(); p && p != scope; p = p->parentWidget()) deeper |= IsTabPage(p);
            if (!deeper) inner.push_back(w);
        }
        if (page || !Candidate(w)) continue;
        const QString text = WithoutMnemonic(TextOf(w));
        controls.push_back({w, text, Choices(text)});
    }
}

void Match(std::vector<TControl>& controls, const QString& reserved)
{
    std::vector<int> holder(65536, -1);
    for (size_t i = 0; i < controls.size(); ++i) {
        std::vector<bool> visited(65536, false);
        Place(controls, i, visited, holder, reserved);
    }
}

void AssignScope(QWidget* scope, const QString& reserved)
{
    std::vector<TControl> controls;
    std::vector<QWidget*> inner;
    Collect(scope, controls, inner);
    // The scope's letters are chosen together with those of its fullest tab
    // page, so that they leave the tab pages letters of their own.
    const size_t own = controls.size();
    std::vector<TControl> fullest;
    for (QWidget* page : inner) {
        std::vector<TControl> pageControls;
        std::vector<QWidget*> deeper;
        Collect(page, pageControls, deeper);
        if (pageControls.size() > fullest.size()) fullest = pageControls;
    }
    controls.insert(controls.end(), fullest.begin(), fullest.end());
    Match(controls, reserved);
    controls.resize(own);
    QString used = reserved;
    for (const TControl& c : controls) {
        QString marked;
        for (int i = 0; i < c.text.size(); ++i) {
            if (c.chosen >= 0 && i == c.choices[size_t(c.chosen)]) {
                marked += '&';
                used += c.text[i].toUpper();
            }
            marked += c.text[i];
            if (c.text[i] == '&') marked += '&';
        }
        SetTextOf(c.widget, marked);
    }
    for (QWidget* page : inner) AssignScope(page, used);
}

}  // namespace

QChar MnemonicKey(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] != '&') return text[i + 1].toUpper();
        ++i;
    }
    return {};
}

void AssignMnemonics(QWidget* page)
{
    QString reserved;
    for (QMenuBar* bar : page->window()->findChildren<QMenuBar*>()) {
        for (const QAction* a : bar->actions())
            if (const QChar key = MnemonicKey(a->text()); !key.isNull()) reserved += key;
    }
    AssignScope(page, reserved);
}

void TranslatePage(QWidget* page)
{
    ApplyToForm(Language(), page);
    AssignMnemonics(page);
}

void ChainFocus(std::initializer_list<QWidget*> order)
{
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        // A tab control takes part through its tab bar alone: as a stop of its own
        // it would lead the focus back to the bar from wherever it was created.
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            tabs->setFocusProxy(nullptr);
            tabs->setFocusPolicy(Qt::NoFocus);
            w = tabs->tabBar();
        }
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

#include "fitcheck.h"
#include "Keyboard.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolButton>
#include <cmath>

namespace {
QString Name(const QWidget* w)
{
    QString name = w->objectName();
    for (const QWidget* p = w->parentWidget(); name.isEmpty() && p; p = p->parentWidget())
        if (!p->objectName().isEmpty()) name = QString("%1 in %2").arg(w->metaObject()->className(), p->objectName());
    return name.isEmpty() ? QString(w->metaObject()->className()) : name;
}

QString Quote(const QString& text) { return "'" + QString(text).replace('\n', "\\n") + "'"; }

// The part of a widget its parents let show; empty when it shows whole.
QString CutBy(const QWidget* w)
{
    QRect r = w->rect();
    const QWidget* child = w;
    for (const QWidget* p = w->parentWidget(); p && !child->isWindow(); child = p, p = p->parentWidget()) {
        r.translate(child->pos());
        // Cell editors and the contents of scrolled views are cut by design.
        if (auto* area = qobject_cast<const QAbstractScrollArea*>(p->parentWidget()); area && area->viewport() == p) {
            if (qobject_cast<const QAbstractItemView*>(area)) return {};
        }
        if (!p->rect().contains(r)) return Name(p);
    }
    return {};
}

// The width a control's text takes as painted, mnemonic underline included: the
// rightmost column with ink, which the font's measure can fall short of.
int PaintedWidth(const QWidget* w, const QString& text)
{
    const QFontMetrics fm(w->font());
    QImage image(fm.horizontalAdvance(text) + 4 * fm.height(), 2 * fm.height(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(w->devicePixelRatioF());
    image.setDotsPerMeterX(qRound(w->logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(w->logicalDpiY() / 0.0254));
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setFont(w->font());
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, image.width(), image.height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                   text);
    }
    // Faint antialiasing at the edge is no loss; a cut stroke is.
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (qAlpha(image.pixel(x, y)) >= 96) return int(std::ceil((x + 1) / w->devicePixelRatioF()));
    return 0;
}

void Label(QLabel* l, QStringList& out)
{
    const QString text = l->buddy() ? WithoutMnemonic(l->text()) : l->text();
    if (text.isEmpty()) return;
    const bool rich = l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    QRect r = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
    QSize need;
    if (rich) {
        QTextDocument doc;
        doc.setDefaultFont(l->font());
        doc.setHtml(text);
        doc.setTextWidth(l->wordWrap() ? r.width() : -1);
        need = doc.size().toSize() - QSize(2 * int(doc.documentMargin()), 2 * int(doc.documentMargin()));
    } else {
        const int flags = Qt::TextExpandTabs | (l->wordWrap() ? Qt::TextWordWrap : 0);
        need = l->fontMetrics().boundingRect(QRect(0, 0, r.width(), 100000), flags, text).size();
        if (l->buddy() && !l->wordWrap()) need.setWidth(std::max(need.width(), PaintedWidth(l, l->text())));
    }
    if (need.width() > r.width() || need.height() > r.height())
        out << QString("%1 %2 needs %3 x %4, has %5 x %6")
                   .arg(Name(l), Quote(text))
                   .arg(need.width())
                   .arg(need.height())
                   .arg(r.width())
                   .arg(r.height());
}

void Button(QAbstractButton* b, QStringList& out)
{
    const QString text = WithoutMnemonic(b->text());
    if (text.isEmpty()) return;
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    opt.icon = b->icon();
    opt.iconSize = b->iconSize();
    QRect room;
    int need = b->fontMetrics().horizontalAdvance(text);
    need = std::max(need, PaintedWidth(b, b->text()));
    if (qobject_cast<QCheckBox*>(b)) {
        room = b->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, b);
    } else if (qobject_cast<QRadioButton*>(b)) {
        room = b->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, b);
    } else if (qobject_cast<QPushButton*>(b)) {
        room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        if (!opt.icon.isNull()) need += opt.iconSize.width() + 4;
    } else {
        room = b->rect();
        need = b->sizeHint().width();
    }
    if (need > room.width())
        out << QString("%1 %2 needs %3, has %4").arg(Name(b), Quote(text)).arg(need).arg(room.width());
}

void Group(QGroupBox* g, QStringList& out)
{
    if (g->title().trimmed().isEmpty()) return;
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = g->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (g->isCheckable()) opt.subControls |= QStyle::SC_GroupBoxCheckBox;
    const QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
    if (!g->rect().contains(label))
        out << QString("%1 title %2 needs %3, has %4")
                   .arg(Name(g), Quote(g->title()))
                   .arg(label.right())
                   .arg(g->width());
}

void Combo(QComboBox* c, QStringList& out)
{
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.frame = c->hasFrame();
    const QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    const int viewWidth = std::max(c->width(), c->view()->minimumWidth());
    for (int j = 0; j < c->count(); ++j) {
        const QString item = c->itemText(j);
        const int need = c->fontMetrics().horizontalAdvance(item) + 2;
        if (need > field.width())
            out << QString("%1 item %2 needs %3, the field has %4")
                       .arg(Name(c), Quote(item))
                       .arg(need)
                       .arg(field.width());
    }
    if (c->view()->sizeHintForColumn(0) > viewWidth)
        out << QString("%1: open list %2 narrower than its items (%3)")
                   .arg(Name(c))
                   .arg(viewWidth)
                   .arg(c->view()->sizeHintForColumn(0));
}

void Tabs(QTabBar* bar, QStringList& out)
{
    for (QToolButton* arrow : bar->findChildren<QToolButton*>())
        if (arrow->isVisible()) {
            out << QString("%1: tabs need scroll arrows").arg(Name(bar->parentWidget() ? bar->parentWidget() : bar));
            return;
        }
    for (int i = 0; i < bar->count(); ++i) {
        const QRect tab = bar->tabRect(i);
        const int need = bar->fontMetrics().horizontalAdvance(WithoutMnemonic(bar->tabText(i)));
        if (!bar->rect().contains(tab) || tab.width() < need)
            out << QString("%1: tab %2 does not show whole").arg(Name(bar->parentWidget()), Quote(bar->tabText(i)));
    }
}

void Headers(QTableWidget* t, QStringList& out)
{
    const QHeaderView* h = t->horizontalHeader();
    if (!h->isVisible()) return;
    const int margin = 2 * t->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    for (int c = 0; c < t->columnCount(); ++c) {
        const QTableWidgetItem* item = t->horizontalHeaderItem(c);
        if (!item || h->isSectionHidden(c)) continue;
        const int need = h->fontMetrics().horizontalAdvance(item->text()) + margin;
        if (need > h->sectionSize(c))
            out << QString("%1 header %2 needs %3, has %4")
                       .arg(Name(t), Quote(item->text()))
                       .arg(need)
                       .arg(h->sectionSize(c));
    }
}

void Items(QListWidget* list, QStringList& out)
{
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    for (int i = 0; i < list->count(); ++i) {
        const QString text = list->item(i)->text();
        const int need = list->fontMetrics().horizontalAdvance(text) + margin;
        if (need > list->viewport()->width())
            out << QString("%1 item %2 needs %3, has %4")
                       .arg(Name(list), Quote(text))
                       .arg(need)
                       .arg(list->viewport()->width());
    }
}
}  // namespace

QStringList Misfits(QWidget* root)
{
    QStringList out;
    QList<QWidget*> all = root->window()->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisible() || w->window() != root->window()) continue;
        const int before = int(out.size());
        if (auto* l = qobject_cast<QLabel*>(w)) Label(l, out);
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) Button(b, out);
        else if (auto* g = qobject_cast<QGroupBox*>(w)) Group(g, out);
        else if (auto* c = qobject_cast<QComboBox*>(w)) Combo(c, out);
        else if (auto* bar = qobject_cast<QTabBar*>(w)) Tabs(bar, out);
        else if (auto* t = qobject_cast<QTableWidget*>(w)) Headers(t, out);
        else if (auto* list = qobject_cast<QListWidget*>(w)) Items(list, out);
        else continue;
        // A control its parent cuts off shows only in part, however wide it is.
        if (int(out.size()) == before && !qobject_cast<QTabBar*>(w)) {
            const QString by = CutBy(w);
            if (!by.isEmpty()) out << QString("%1 is cut off by %2").arg(Name(w), by);
        }
    }
    return out;
}

void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }
}

void ForEveryTab(QWidget* scope, const std::function<void(const QString&)>& visit, const QString& path)
{
    QTabWidget* tabs = nullptr;
    for (QTabWidget* t : scope->findChildren<QTabWidget*>()) {
        QWidget* p = t->parentWidget();
        while (p && p != scope && !qobject_cast<QTabWidget*>(p)) p = p->parentWidget();
        if (p == scope) {
            tabs = t;
            break;
        }
    }
    if (!tabs) {
        visit(path);
        return;
    }
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        ForEveryTab(tabs->widget(i), visit, path + " / " + tabs->tabText(i));
    }
    tabs->setCurrentIndex(0);
}

#include "Pageform.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>

namespace {
const int kTextNoOperatorLock = 372;

// What a label's mnemonic reaches: the field, or the edit of an edit with its spinner.
QWidget* Buddy(QWidget* field)
{
    if (field->focusPolicy() & Qt::TabFocus) return field;
    auto* edit = field->findChild<QLineEdit*>();
    return edit ? edit : field;
}
}  // namespace

TFPage::TFPage(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint) { resize(862, 613); }

QLineEdit* TFPage::MakeEdit(const char* name, int maxLength, int tag)
{
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    // Short fields are as wide as what they hold, not as the page.
    const int chars = maxLength > 0 && maxLength <= 8 ? maxLength : maxLength > 0 && maxLength <= 20 ? 20 : 0;
    if (chars) e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QString(chars + 1, '0')) + 16);
    if (tag) SetTag(e, tag);
    return e;
}

TUpDown* TFPage::MakeUpDown(const char* name, QLineEdit* associate, int min, int max, int increment)
{
    auto* u = new TUpDown(this);
    u->setObjectName(name);
    u->SetRange(min, max);
    u->SetIncrement(increment);
    u->SetAssociate(associate);
    return u;
}

QComboBox* TFPage::MakeCombo(const char* name, std::initializer_list<int> values, int tag)
{
    auto* c = new QComboBox(this);
    c->setObjectName(name);
    // Design-time items are the item values; the language gives their texts.
    for (int v : values) c->addItem(QString::number(v));
    // As wide as its longest item in the language shown.
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    c->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    SetTag(c, tag);
    return c;
}

QCheckBox* TFPage::MakeCheck(const char* name, int tag)
{
    auto* c = new QCheckBox(this);
    c->setObjectName(name);
    SetTag(c, tag);
    return c;
}

QSlider* TFPage::MakeTrack(const char* name, int min, int max, int tag)
{
    auto* t = new QSlider(Qt::Horizontal, this);
    t->setObjectName(name);
    t->setRange(min, max);
    t->setTickPosition(QSlider::TicksBelow);
    t->setTickInterval(1);
    t->setPageStep(1);
    if (tag) SetTag(t, tag);
    return t;
}

QWidget* TFPage::EditWithUpDown(QLineEdit* edit, TUpDown* upDown)
{
    auto* box = new QWidget(this);
    auto* l = new QHBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(1);
    edit->setParent(box);
    upDown->setParent(box);
    l->addWidget(edit);
    l->addWidget(upDown);
    l->addStretch();
    return box;
}

void TFPage::BindEdit(const char* key, QLineEdit* edit) { Bindings().AddControl(key, 0, edit); }
void TFPage::BindMemo(const char* key, QPlainTextEdit* memo) { Bindings().AddControl(key, 0, memo); }
void TFPage::BindCheck(const char* key, QCheckBox* box, bool inverted)
{
    Bindings().AppendControl(std::make_unique<CParCheck>(key, 0, box, inverted));
}
void TFPage::BindTrack(const char* key, QSlider* track)
{
    Bindings().AppendControl(std::make_unique<CParTrack>(key, 0, track));
}
void TFPage::BindCombo(const char* key, QComboBox* combo)
{
    Bindings().AppendControl(std::make_unique<CParCombo>(key, 0, combo));
}

void TFPage::showEvent(QShowEvent* event)
{
    for (QComboBox* c : findChildren<QComboBox*>())
        c->view()->setMinimumWidth(c->view()->sizeHintForColumn(0) + 2 * c->view()->frameWidth() + 8);
    QWidget::showEvent(event);
}

QGroupBox* TFPage::MakeGroup(const char* name, int tag, QWidget* parent)
{
    auto* g = new QGroupBox(parent ? parent : this);
    g->setObjectName(name);
    SetTag(g, tag);
    return g;
}

QLabel* TFPage::MakeLabel(const char* name, int tag, QWidget* parent)
{
    auto* l = new QLabel(parent ? parent : this);
    if (name) l->setObjectName(name);
    SetTag(l, tag);
    return l;
}

QLabel* TFPage::AddRow(QFormLayout* form, int tag, QWidget* field, const char* labelName)
{
    QLabel* label = MakeLabel(labelName, tag);
    label->setBuddy(Buddy(field));
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(label, field);
    return label;
}

QLabel* TFPage::AddCell(QGridLayout* grid, int row, int column, int tag, QWidget* field, const char* labelName)
{
    QLabel* label = MakeLabel(labelName, tag);
    label->setBuddy(Buddy(field));
    grid->addWidget(label, row, column);
    grid->addWidget(field, row, column + 1);
    return label;
}

QString TFPage::OperLockText(const std::string& value)
{
    if (value.empty()) {
        // An empty reply of a gateway that was read means no lock; before any read nothing is known.
        const CParameters& p = Parameters();
        const bool read = !p.GetValue("HWVer", 0).empty() || !p.GetValue("SWVer", 0).empty();
        return Language().Text(read ? kTextNoOperatorLock : 111);
    }
    std::string v = value;
    // The top bit of the last character marks a lock that is switched off.
    if (static_cast<unsigned char>(v.back()) & 0x80) {
        v.back() = char(static_cast<unsigned char>(v.back()) & 0x7F);
        return Substitute(Language().Text(138), {FromBytes(v)});
    }
    return Substitute(Language().Text(137), {FromBytes(v)});
}

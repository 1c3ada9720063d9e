#include "Dform.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"
#include "Parcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>

TFDForm::TFDForm(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint) { resize(862, 613); }

QLineEdit* TFDForm::MakeEdit(const char* name, int maxLength, int tag)
{
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    if (tag) SetTag(e, tag);
    return e;
}

TUpDown* TFDForm::MakeUpDown(const char* name, QLineEdit* associate, int min, int max, int increment)
{
    auto* u = new TUpDown(this);
    u->setObjectName(name);
    u->SetRange(min, max);
    u->SetIncrement(increment);
    u->SetAssociate(associate);
    return u;
}

QComboBox* TFDForm::MakeCombo(const char* name, std::initializer_list<int> values, int tag)
{
    auto* c = new QComboBox(this);
    c->setObjectName(name);
    // Design-time items are the item values; the language gives their texts.
    for (int v : values) c->addItem(QString::number(v));
    SetTag(c, tag);
    return c;
}

QCheckBox* TFDForm::MakeCheck(const char* name, int tag)
{
    auto* c = new QCheckBox(this);
    c->setObjectName(name);
    SetTag(c, tag);
    return c;
}

QSlider* TFDForm::MakeTrack(const char* name, int min, int max, int tag)
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

QWidget* TFDForm::EditWithUpDown(QLineEdit* edit, TUpDown* upDown)
{
    auto* box = new QWidget(this);
    auto* l = new QHBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(1);
    edit->setParent(box);
    upDown->setParent(box);
    l->addWidget(edit);
    l->addWidget(upDown);
    return box;
}

void TFDForm::BindEdit(const char* key, QLineEdit* edit) { Parameters().AddControl(key, 0, edit); }
void TFDForm::BindMemo(const char* key, QPlainTextEdit* memo) { Parameters().AddControl(key, 0, memo); }
void TFDForm::BindCheck(const char* key, QCheckBox* box, bool inverted)
{
    Parameters().AppendControl(std::make_unique<CParCheck>(key, 0, box, inverted));
}
void TFDForm::BindTrack(const char* key, QSlider* track)
{
    Parameters().AppendControl(std::make_unique<CParTrack>(key, 0, track));
}
void TFDForm::BindCombo(const char* key, QComboBox* combo)
{
    Parameters().AppendControl(std::make_unique<CParCombo>(key, 0, combo));
}

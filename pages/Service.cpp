#include "Service.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TFService::TFService(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFService");
    auto* top = new QVBoxLayout(this);
    QGroupBox* ident = MakeGroup("GroupBox3", 75);
    auto* fi = new QFormLayout(ident);
    auto display = [this](QLabel*& l, const char* name) {
        l = new QLabel(this);
        l->setObjectName(name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    AddRow(fi, 76, display(Label5, "Label5"));
    AddRow(fi, 77, display(Label6, "Label6"));
    AddRow(fi, 78, display(Label7, "Label7"));
    AddRow(fi, 56, display(Label8, "Label8"));

    auto* general = new QFormLayout;
    CheckBox1 = MakeCheck("CheckBox1", 84);
    general->addRow(CheckBox1);
    Edit13 = MakeEdit("Edit13", 3);
    UpDown7 = MakeUpDown("UpDown7", Edit13, 0, 255);
    AddRow(general, 289, EditWithUpDown(Edit13, UpDown7));

    QGroupBox* g1 = MakeGroup("GroupBox1", 153);
    auto* f1 = new QFormLayout(g1);
    Edit1 = MakeEdit("Edit1", 3);
    UpDown1 = MakeUpDown("UpDown1", Edit1, 0, 255);
    AddRow(f1, 154, EditWithUpDown(Edit1, UpDown1));
    Edit2 = MakeEdit("Edit2", 16);
    AddRow(f1, 155, Edit2);

    QGroupBox* g2 = MakeGroup("GroupBox2", 260);
    auto* f2 = new QGridLayout(g2);
    QLabel* numbers = MakeLabel(nullptr, 261);
    QLabel* substrings = MakeLabel(nullptr, 262);
    f2->addWidget(numbers, 0, 1);
    f2->addWidget(substrings, 0, 2);
    for (int i = 0; i < 5; ++i) {
        const QByteArray number = "Edit" + QByteArray::number(3 + i);
        const QByteArray sub = "Edit" + QByteArray::number(8 + i);
        const QByteArray ud = "UpDown" + QByteArray::number(2 + i);
        Numbers[size_t(i)] = MakeEdit(number.constData(), 16);
        Substrings[size_t(i)] = MakeEdit(sub.constData(), 3);
        TUpDown* u = MakeUpDown(ud.constData(), Substrings[size_t(i)], 0, 15);
        f2->addWidget(new QLabel(QString("%1.").arg(i + 1), this), i + 1, 0);
        f2->addWidget(Numbers[size_t(i)], i + 1, 1);
        f2->addWidget(EditWithUpDown(Substrings[size_t(i)], u), i + 1, 2);
    }
    // The column headings lead to the first row.
    numbers->setBuddy(Numbers[0]);
    substrings->setBuddy(Substrings[0]);
    f2->setColumnStretch(1, 1);
    top->addWidget(ident);
    top->addLayout(general);
    top->addWidget(g1);
    top->addWidget(g2);
    top->addStretch();
}

void TFService::LoadFromParameters()
{
    TranslatePage(this);
    // Each field of the table by its column and row, as a screen reader reads it.
    for (int i = 0; i < 5; ++i) {
        const QString row = QString(" %1").arg(i + 1);
        Numbers[size_t(i)]->setAccessibleName(Language().Text(261) + row);
        Substrings[size_t(i)]->setAccessibleName(Language().Text(262) + row);
    }
    CParBindings& p = Bindings();
    p.ClearControls();
    BindCheck("COMPerm", CheckBox1, true);
    BindEdit("SMSCandence", Edit1);
    BindEdit("SMSNum", Edit2);
    BindEdit("MaxDataTime", Edit13);
    for (int i = 0; i < 5; ++i) BindEdit(("ModemNum" + std::to_string(i + 1)).c_str(), Numbers[size_t(i)]);
    for (int i = 0; i < 5; ++i) BindEdit(("SubString" + std::to_string(i + 1)).c_str(), Substrings[size_t(i)]);
    p.ControlsFromValues();
    const struct {
        QLabel* label;
        const char* key;
    } shown[] = {{Label5, "HWVer"}, {Label6, "SWVer"}, {Label7, "SerialNum"}};
    for (const auto& s : shown) {
        const std::string v = Parameters().GetValue(s.key, 0);
        s.label->setText(v.empty() ? Language().Text(101) : FromBytes(v));
    }
    Label8->setText(OperLockText(Parameters().GetValue("OperLock", 0)));
}

void TFService::StoreToParameters() { Bindings().ValuesFromControls(); }

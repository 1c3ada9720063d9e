#include "Gsmsim.h"

#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TFGsmSim::TFGsmSim(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFGsmSim");
    auto* top = new QVBoxLayout(this);
    auto* general = new QFormLayout;
    ComboBox1 = MakeCombo("ComboBox1", {0, 1, 2}, 58);
    AddRow(general, 58, ComboBox1);
    ComboBox2 = MakeCombo("ComboBox2", {0, 1}, 59);
    AddRow(general, 59, ComboBox2);
    ComboBox3 = MakeCombo("ComboBox3", {0, 1}, 283);
    AddRow(general, 283, ComboBox3);
    Edit6 = MakeEdit("Edit6", 40);
    AddRow(general, 284, Edit6);
    Edit5 = MakeEdit("Edit5", 16);
    AddRow(general, 155, Edit5);
    Label8 = new QLabel(this);
    Label8->setObjectName("Label8");
    Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label1 = AddRow(general, 56, Label8, "Label1");
    QGroupBox* g1 = MakeGroup("GroupBox1", 156);
    auto* f1 = new QFormLayout(g1);
    Edit1 = MakeEdit("Edit1", 3);
    UpDown1 = MakeUpDown("UpDown1", Edit1, 0, 255);
    AddRow(f1, 157, EditWithUpDown(Edit1, UpDown1));
    Edit2 = MakeEdit("Edit2", 9);  // eight characters and the closing "#"
    AddRow(f1, 158, Edit2);
    Edit3 = MakeEdit("Edit3", 3);
    UpDown3 = MakeUpDown("UpDown3", Edit3, 0, 999);
    AddRow(f1, 159, EditWithUpDown(Edit3, UpDown3));
    Edit4 = MakeEdit("Edit4", 3);
    UpDown2 = MakeUpDown("UpDown2", Edit4, 0, 180);
    AddRow(f1, 160, EditWithUpDown(Edit4, UpDown2));
    top->addLayout(general);
    top->addWidget(g1);
    top->addStretch();
}

void TFGsmSim::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindCombo("CLIRInk", ComboBox1);
    BindCombo("RoamPerm", ComboBox2);
    BindCombo("CallHandOver", ComboBox3);
    BindEdit("GprsApn", Edit6);
    BindEdit("CallsCadence", Edit1);
    BindEdit("CreditCode", Edit2);
    BindEdit("MinCredit", Edit3);
    BindEdit("CreditAnswer", Edit4);
    BindEdit("SMSNum", Edit5);
    Bindings().ControlsFromValues();
    Label8->setText(OperLockText(Parameters().GetValue("OperLock", 0)));
}

void TFGsmSim::StoreToParameters() { Bindings().ValuesFromControls(); }

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
    Clir = MakeCombo("Clir", {0, 1, 2}, 58);
    AddRow(general, 58, Clir);
    Roaming = MakeCombo("Roaming", {0, 1}, 59);
    AddRow(general, 59, Roaming);
    CallHandOver = MakeCombo("CallHandOver", {0, 1}, 283);
    AddRow(general, 283, CallHandOver);
    GprsApn = MakeEdit("GprsApn", 40);
    AddRow(general, 284, GprsApn);
    ServiceSmsNumber = MakeEdit("ServiceSmsNumber", 16);
    AddRow(general, 155, ServiceSmsNumber);
    OperatorLock = new QLabel(this);
    OperatorLock->setObjectName("OperatorLock");
    OperatorLock->setTextInteractionFlags(Qt::TextSelectableByMouse);
    OperatorLockLabel = AddRow(general, 56, OperatorLock, "OperatorLockLabel");
    QGroupBox* g1 = MakeGroup("CreditCheckGroup", 156);
    auto* f1 = new QFormLayout(g1);
    CreditCheckCalls = MakeEdit("CreditCheckCalls", 3);
    CreditCheckCallsUpDown = MakeUpDown("CreditCheckCallsUpDown", CreditCheckCalls, 0, 255);
    AddRow(f1, 157, EditWithUpDown(CreditCheckCalls, CreditCheckCallsUpDown));
    CreditQueryCode = MakeEdit("CreditQueryCode", 9);  // eight characters and the closing "#"
    AddRow(f1, 158, CreditQueryCode);
    MinimumCredit = MakeEdit("MinimumCredit", 3);
    MinimumCreditUpDown = MakeUpDown("MinimumCreditUpDown", MinimumCredit, 0, 999);
    AddRow(f1, 159, EditWithUpDown(MinimumCredit, MinimumCreditUpDown));
    CreditPosition = MakeEdit("CreditPosition", 3);
    CreditPositionUpDown = MakeUpDown("CreditPositionUpDown", CreditPosition, 0, 180);
    AddRow(f1, 160, EditWithUpDown(CreditPosition, CreditPositionUpDown));
    top->addLayout(general);
    top->addWidget(g1);
    top->addStretch();
}

void TFGsmSim::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindCombo("CLIRInk", Clir);
    BindCombo("RoamPerm", Roaming);
    BindCombo("CallHandOver", CallHandOver);
    BindEdit("GprsApn", GprsApn);
    BindEdit("CallsCadence", CreditCheckCalls);
    BindEdit("CreditCode", CreditQueryCode);
    BindEdit("MinCredit", MinimumCredit);
    BindEdit("CreditAnswer", CreditPosition);
    BindEdit("SMSNum", ServiceSmsNumber);
    Bindings().ControlsFromValues();
    OperatorLock->setText(OperLockText(Parameters().GetValue("OperLock", 0)));
}

void TFGsmSim::StoreToParameters() { Bindings().ValuesFromControls(); }

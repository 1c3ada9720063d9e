#include "Security.h"

#include "Bindings.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parameters.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

TFSecurity::TFSecurity(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFSecurity");
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    ServicePasswordEdit = MakeEdit("ServicePasswordEdit", 8);
    AddRow(form, 91, ServicePasswordEdit);
    PinEdit = MakeEdit("PinEdit", 8);
    AddRow(form, 90, PinEdit);
    top->addLayout(form);
    top->addStretch();
}

void TFSecurity::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindEdit("ServisPassw", ServicePasswordEdit);
    BindEdit("PINVal", PinEdit);
    Bindings().ControlsFromValues();
    m_LoadedPin = PinEdit->text();
    m_LoadedPassword = ServicePasswordEdit->text();
}

void TFSecurity::StoreToParameters()
{
    Bindings().ValuesFromControls();
    if (m_Host) {
        if (PinEdit->text() != m_LoadedPin) m_Host->SetPinChanged();
        if (ServicePasswordEdit->text() != m_LoadedPassword) m_Host->SetPasswordChanged();
    }
    hide();
}

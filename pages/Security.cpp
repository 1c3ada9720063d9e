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
    Edit7 = MakeEdit("Edit7", 8);
    AddRow(form, 91, Edit7);
    Edit6 = MakeEdit("Edit6", 8);
    AddRow(form, 90, Edit6);
    top->addLayout(form);
    top->addStretch();
}

void TFSecurity::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindEdit("ServisPassw", Edit7);
    BindEdit("PINVal", Edit6);
    Bindings().ControlsFromValues();
    m_LoadedPin = Edit6->text();
    m_LoadedPassword = Edit7->text();
}

void TFSecurity::StoreToParameters()
{
    Bindings().ValuesFromControls();
    if (m_Host) {
        if (Edit6->text() != m_LoadedPin) m_Host->SetPinChanged();
        if (Edit7->text() != m_LoadedPassword) m_Host->SetPasswordChanged();
    }
    hide();
}

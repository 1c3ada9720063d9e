#include "Zabezpeceni.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFZabezpeceni::TFZabezpeceni(QWidget* parent) : TFDForm(parent) { setObjectName("TFZabezpeceni"); }

void TFZabezpeceni::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFZabezpeceni::StoreToParameters() { Parameters().ValuesFromControls(); }

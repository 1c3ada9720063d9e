#include "Servis.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFServis::TFServis(QWidget* parent) : TFDForm(parent) { setObjectName("TFServis"); }

void TFServis::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFServis::StoreToParameters() { Parameters().ValuesFromControls(); }

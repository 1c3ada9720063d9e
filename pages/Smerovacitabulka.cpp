#include "Smerovacitabulka.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFSmerovaciTabulka::TFSmerovaciTabulka(QWidget* parent) : TFDForm(parent) { setObjectName("TFSmerovaciTabulka"); }

void TFSmerovaciTabulka::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFSmerovaciTabulka::StoreToParameters() { Parameters().ValuesFromControls(); }

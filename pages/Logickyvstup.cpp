#include "Logickyvstup.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFLogickyVstup::TFLogickyVstup(QWidget* parent) : TFDForm(parent) { setObjectName("TFLogickyVstup"); }

void TFLogickyVstup::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFLogickyVstup::StoreToParameters() { Parameters().ValuesFromControls(); }

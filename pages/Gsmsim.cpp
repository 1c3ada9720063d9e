#include "Gsmsim.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFGSMSIM::TFGSMSIM(QWidget* parent) : TFDForm(parent) { setObjectName("TFGSMSIM"); }

void TFGSMSIM::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFGSMSIM::StoreToParameters() { Parameters().ValuesFromControls(); }

#include "Slicparametry.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFSLICParametry::TFSLICParametry(QWidget* parent) : TFDForm(parent) { setObjectName("TFSLICParametry"); }

void TFSLICParametry::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFSLICParametry::StoreToParameters() { Parameters().ValuesFromControls(); }

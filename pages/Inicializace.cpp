#include "Inicializace.h"

#include "Globals.h"
#include "Language.h"
#include "Parametry.h"

TFInicializace::TFInicializace(QWidget* parent) : TFDForm(parent) { setObjectName("TFInicializace"); }

void TFInicializace::LoadFromParameters()
{
    Language().ApplyToForm(this);
    Parameters().ClearControls();
    Parameters().ControlsFromValues();
}

void TFInicializace::StoreToParameters() { Parameters().ValuesFromControls(); }

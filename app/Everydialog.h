// For checks of the whole interface (the accessibility check): every dialog of
// the window shown at once, without a modal loop and without a gateway.
#pragma once

class TFMain;

// Shows the settings, comparison, restore, about, monitor, firmware choice and
// dialling dialogs beside the window; the monitor polls nothing.
void ShowEveryDialog(TFMain& main);

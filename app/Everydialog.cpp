#include "Everydialog.h"

#include "Firmwarechoice.h"
#include "Dialing.h"
#include "Dialingdialog.h"
#include "Mainwindow.h"
#include "Monitor.h"
#include "Settingsdialog.h"
#include "Aboutbox.h"
#include "Restoredialog.h"
#include "Comparedialog.h"

void ShowEveryDialog(TFMain& main)
{
    // In modem mode without a call the monitor leaves the port alone.
    main.m_Ops.IsModem = true;
    main.FAboutBox->FormActivate();
    for (QDialog* d : std::initializer_list<QDialog*>{main.FSettingsDialog, main.FCompareDialog, main.FRestoreDialog,
                                                      main.FAboutBox, main.FMonitor, main.FFirmwareChoice}) {
        d->setModal(false);
        d->show();
    }
    main.FDialingDialog->Prepare();  // with the texts of a call
}

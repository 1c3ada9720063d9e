#include "Everydialog.h"

#include "Askbinaries.h"
#include "Comdialing.h"
#include "Main.h"
#include "Monitor.h"
#include "Nastaveni.h"
#include "Oaplikaci.h"
#include "Obnoveni.h"
#include "Porovnani.h"

void ShowEveryDialog(TFMain& main)
{
    // In modem mode without a call the monitor leaves the port alone.
    main.m_Ops.IsModem = true;
    main.FOAplikaci->FormActivate();
    for (QDialog* d : std::initializer_list<QDialog*>{main.FNastaveni, main.FPorovnani, main.FObnoveni, main.FOAplikaci,
                                                      main.FMonitor, main.FAskBinaries}) {
        d->setModal(false);
        d->show();
    }
    main.FCOMDialing->Prepare();  // with the texts of a call
}

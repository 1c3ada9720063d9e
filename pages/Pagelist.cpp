#include "Pagelist.h"

#include "Gsmsim.h"
#include "Initialisation.h"
#include "Smsinput.h"
#include "Service.h"
#include "Telephonelines.h"
#include "Routingtables.h"
#include "Security.h"

std::array<TFPage*, 7> MakePages(QWidget* parent)
{
    return {new TFTelephoneLines(parent), new TFRoutingTables(parent),  new TFSmsInput(parent), new TFGsmSim(parent),
            new TFService(parent),        new TFInitialisation(parent), new TFSecurity(parent)};
}

#include "Pagelist.h"

#include "Gsmsim.h"
#include "Inicializace.h"
#include "Logickyvstup.h"
#include "Servis.h"
#include "Slicparametry.h"
#include "Smerovacitabulka.h"
#include "Zabezpeceni.h"

std::array<TFDForm*, 7> MakePages(QWidget* parent)
{
    return {new TFSLICParametry(parent), new TFSmerovaciTabulka(parent), new TFLogickyVstup(parent),
            new TFGSMSIM(parent),        new TFServis(parent),           new TFInicializace(parent),
            new TFZabezpeceni(parent)};
}

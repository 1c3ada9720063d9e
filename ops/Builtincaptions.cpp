#include "Captions.h"

const CCaptions& BuiltInCaptions()
{
    static const CCaptions captions = CCaptions::FromEntries({
#include "Captiontable.inc"
    });
    return captions;
}

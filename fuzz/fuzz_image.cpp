// Images from the gateway: any 12288 bytes decode to normalised values that encode and decode to themselves.
#include "Catalogue.h"
#include "Imagelayout.h"
#include "Parametry.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CParameters* p = [] {
        auto* r = new CParameters;
        BuildCatalogue(*r);
        return r;
    }();
    std::vector<uint8_t> img(ImageLayout::ImageSize, 0);
    std::memcpy(img.data(), data, std::min(size, img.size()));
    p->FromImage(img.data());
    const auto decoded = p->Snapshot();
    std::vector<uint8_t> again(ImageLayout::ImageSize);
    p->ToImage(again.data(), int(again.size()));
    p->FromImage(again.data());
    // Decoding is idempotent after one round (fields shared by bits may clamp once).
    std::vector<uint8_t> third(ImageLayout::ImageSize);
    p->ToImage(third.data(), int(third.size()));
    if (third != again) std::abort();
    (void)decoded;
    return 0;
}

// Images from the gateway: any 12288 bytes decode to normalised values that
// encode and decode to themselves, and survive a configuration file.
#include "Catalogue.h"
#include "Imagelayout.h"
#include "Parameters.h"
#include "fuzzsupport.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
CParameters* NewRegistry()
{
    auto* r = new CParameters;
    BuildCatalogue(*r);
    return r;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CParameters* p = NewRegistry();
    static CParameters* file = NewRegistry();
    std::vector<uint8_t> img(ImageLayout::ImageSize, 0);
    std::memcpy(img.data(), data, std::min(size, img.size()));
    p->FromImage(img.data());
    if (!Normalised(*p)) std::abort();

    // What the gateway holds is kept in a file without loss (the PIN and the
    // service password never go into one).
    file->SetAllDefaults();
    file->LoadFromText(p->SaveToText());
    for (const auto& [key, rc] : p->Entries())
        if (rc.Par->m_InFile && file->Find(key)->Values != rc.Values) std::abort();

    std::vector<uint8_t> again(ImageLayout::ImageSize);
    p->ToImage(again.data(), int(again.size()));
    p->FromImage(again.data());
    // Decoding is idempotent after one round (fields shared by bits may clamp once).
    std::vector<uint8_t> third(ImageLayout::ImageSize);
    p->ToImage(third.data(), int(third.size()));
    if (third != again) std::abort();
    return 0;
}

// Configuration files: any bytes load without harm and every value stays normalised.
#include "Catalogue.h"
#include "Parametry.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CParameters* p = [] {
        auto* r = new CParameters;
        BuildCatalogue(*r);
        return r;
    }();
    p->SetAllDefaults();
    p->LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    for (const auto& [key, rc] : p->Entries())
        for (const std::string& v : rc.Values)
            if (rc.Par->Normalize(v) != v) std::abort();
    // What was loaded saves and loads back the same.
    const std::string text = p->SaveToText();
    const auto before = p->Snapshot();
    p->SetAllDefaults();
    p->LoadFromText(text);
    if (p->Snapshot() != before) std::abort();
    return 0;
}

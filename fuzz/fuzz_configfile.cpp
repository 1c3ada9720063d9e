// Configuration files: any bytes load without harm, from memory and from a
// file; every value stays normalised; what was loaded saves and loads back the same.
#include "Catalogue.h"
#include "Parametry.h"
#include "fuzzsupport.h"

#include <string>

namespace {
CParameters& Registry()
{
    static CParameters* p = [] {
        auto* r = new CParameters;
        BuildCatalogue(*r);
        return r;
    }();
    return *p;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CParameters& p = Registry();
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    p.SetAllDefaults();
    p.LoadFromText(bytes);
    FUZZ_CHECK(Normalised(p));
    const std::string text = p.SaveToText();
    const auto before = p.Snapshot();
    p.SetAllDefaults();
    p.LoadFromText(text);
    FUZZ_CHECK(p.Snapshot() == before);

    // The same through files, as the window and the command-line tool use them.
    const std::string path = (FuzzScratch() + "fuzz.kvx").toStdString();
    const std::string saved = (FuzzScratch() + "saved.kvx").toStdString();
    FUZZ_CHECK(FuzzWriteFile(QString::fromStdString(path), bytes));
    (void)p.LoadFromFile(path);
    FUZZ_CHECK(Normalised(p));
    const auto loaded = p.Snapshot();
    FUZZ_CHECK(p.SaveToFile(saved));
    FUZZ_CHECK(p.LoadFromFile(saved));
    FUZZ_CHECK(p.Snapshot() == loaded);
    return 0;
}

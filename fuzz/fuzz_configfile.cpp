// Configuration files: any bytes load without harm, from memory and from a
// file; every value stays normalised; what was loaded saves and loads back the
// same and whole; the check before a write takes whatever was loaded.
#include "Catalogue.h"
#include "Parameters.h"
#include "Writecheck.h"
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
    CParameters::TLoadReport report;
    p.LoadFromText(bytes, &report);
    FUZZ_CHECK(Normalised(p));
    // The check before a write takes whatever a load left; once numbers are
    // shown as the gateway keeps them, only texts can still change on the way.
    (void)CheckBeforeWrite(p, report.Gaps);
    (void)HoldNumbers(p);
    for (const TDifference& d : CheckBeforeWrite(p, {}).changed)
        FUZZ_CHECK(!dynamic_cast<const CParInt*>(p.Find(d.key)->Par.get()));
    const std::string text = p.SaveToText();
    const auto before = p.Snapshot();
    p.SetAllDefaults();
    // What the program writes is whole: nothing missing, no broken line.
    p.LoadFromText(text, &report);
    FUZZ_CHECK(p.Snapshot() == before);
    FUZZ_CHECK(report.Gaps.Empty());

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

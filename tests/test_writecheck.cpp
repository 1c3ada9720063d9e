#include "Catalogue.h"
#include "Commonutils.h"
#include "Parameters.h"
#include "Writecheck.h"

#include <gtest/gtest.h>
#include <set>

namespace {
struct WriteCheck : ::testing::Test {
    WriteCheck() { BuildCatalogue(p); }
    CParameters p;
};

std::set<std::string> Names(const TWriteCheck& c)
{
    std::set<std::string> names;
    for (const CParameters::TFileGap& g : c.missing) names.insert(GapName(g).toStdString());
    return names;
}
}  // namespace

TEST_F(WriteCheck, AFileCutShortNamesTheRowsAndKeysItLeftOutAndItsBrokenLine)
{
    p.SetValue("FXSExtraTar", 3, "7");
    p.SetValue("SMSText", 0, "hello");
    const std::string whole = p.SaveToText();
    // Cut inside the FXSExtraTar line, after its 118th value.
    const size_t line = whole.find("\nFXSExtraTar=") + 1;
    size_t cut = line;
    for (int quotes = 0; quotes < 2 * 118 + 1; ++quotes) cut = whole.find('"', cut) + 1;
    CParameters loaded;
    BuildCatalogue(loaded);
    CParameters::TLoadReport r;
    ASSERT_TRUE(loaded.LoadFromText(whole.substr(0, cut), &r));
    EXPECT_EQ(loaded.GetValue("FXSExtraTar", 3), "7");
    EXPECT_TRUE(r.Gaps.brokenLastLine);
    ASSERT_FALSE(r.Gaps.missing.empty());
    EXPECT_EQ(GapName(r.Gaps.missing.front()), "FXSExtraTar:119-120");
    // The check names what is still at its default: SMSText set since then is what the user sees.
    loaded.SetValue("SMSText", 0, "typed");
    loaded.SetValue("GSMNum", 4, "123");
    loaded.SetValue("FXSExtraTar", 119, "9");
    const TWriteCheck check = CheckBeforeWrite(loaded, r.Gaps);
    const std::set<std::string> names = Names(check);
    EXPECT_TRUE(check.brokenLastLine);
    EXPECT_TRUE(names.count("FXSExtraTar:119"));
    EXPECT_TRUE(names.count("GSMNum:1-4") && names.count("GSMNum:6-120") && names.count("Veltran"));
    EXPECT_FALSE(names.count("SMSText"));
    // Identification values are not written: never missing.
    EXPECT_FALSE(names.count("SerialNum") || names.count("HWVer"));
    // A selective write hears only of what it writes.
    const std::vector<TSettingRef> chosen = {{"GSMNum", 0}, {"FXSAdd", 0}};
    const TWriteCheck selective = CheckBeforeWrite(loaded, r.Gaps, &chosen);
    EXPECT_EQ(Names(selective), std::set<std::string>{"GSMNum:1"});
    EXPECT_FALSE(selective.brokenLastLine);

    // A whole file, with or without its last line end, lacks nothing.
    for (const std::string& text : {whole, whole.substr(0, whole.size() - 1)}) {
        ASSERT_TRUE(loaded.LoadFromText(text, &r));
        EXPECT_TRUE(r.Gaps.Empty());
    }
    // A line cut inside its key is broken too; a quote-less value ends its line as before.
    ASSERT_TRUE(loaded.LoadFromText("FXSVolRec=\"2\"\nFXSVolS", &r));
    EXPECT_TRUE(r.Gaps.brokenLastLine);
    EXPECT_EQ(loaded.GetValue("FXSVolRec", 0), "2");
}

TEST_F(WriteCheck, ValuesTheImageCannotHoldAreListedWithWhatItWouldKeep)
{
    p.SetValue("FXSRBToneCad", 0, "2");
    p.SetValue("FXORBToneCad", 0, "3");
    p.SetValue("SMSText", 0, std::string(50, 'a'));
    p.SetValue("PINVal", 0, "123456789012");
    p.SetValue("FXSVolRec", 0, "5");
    TWriteCheck check = CheckBeforeWrite(p, {});
    ASSERT_EQ(check.changed.size(), 3u);
    EXPECT_EQ(check.changed[0].key, "FXORBToneCad");
    EXPECT_EQ(check.changed[0].other, "1");
    EXPECT_EQ(check.changed[1].key, "FXSRBToneCad");
    EXPECT_EQ(check.changed[1].mine, "2");
    EXPECT_EQ(check.changed[1].other, "0");
    EXPECT_EQ(check.changed[2].other, std::string(40, 'a'));
    // The PIN counts only where it is written.
    check = CheckBeforeWrite(p, {}, nullptr, {"PINVal"});
    ASSERT_EQ(check.changed.size(), 4u);
    EXPECT_EQ(check.changed[2].other, "12345678");

    EXPECT_EQ(HeldLimit(*p.Find("FXSRBToneCad")->Par), "only 0 and 1");
    EXPECT_EQ(HeldLimit(*p.Find("SMSText")->Par), "at most 40 characters");

    // Of all numbers, only the ring-back cadences lose values on the way.
    std::set<std::string> lossy;
    for (const auto& [key, rc] : p.Entries()) {
        const auto* n = dynamic_cast<const CParInt*>(rc.Par.get());
        if (!n || rc.Par->m_Address == -1 || n->m_Max - n->m_Min > 70000) continue;
        for (int v = n->m_Min; v <= n->m_Max; ++v) {
            const std::string t = rc.Par->Normalize(NumberText(v));
            if (HeldValue(*rc.Par, t) != t) lossy.insert(key);
        }
    }
    EXPECT_EQ(lossy, (std::set<std::string>{"FXORBToneCad", "FXSRBToneCad"}));

    // A load shows numbers as the gateway keeps them; texts stay for the write to name.
    const std::vector<TDifference> held = HoldNumbers(p);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(p.GetValue("FXSRBToneCad", 0), "0");
    EXPECT_EQ(p.GetValue("FXORBToneCad", 0), "1");
    EXPECT_EQ(p.GetValue("SMSText", 0).size(), 50u);
}

#include "Catalogue.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parameters.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {
struct Registry : ::testing::Test {
    Registry() { BuildCatalogue(p); }
    std::vector<uint8_t> Image() const
    {
        std::vector<uint8_t> img(ImageLayout::ImageSize, 0xEE);
        p.ToImage(img.data(), int(img.size()));
        return img;
    }
    CParameters p;
};

// A value of the key that differs from its default and survives the image.
std::string OtherValue(const CParBasic& par, int instance)
{
    if (auto* i = dynamic_cast<const CParInt*>(&par)) {
        // Two-value fields flip; wider ones take a value off the default.
        const int def = std::stoi(par.m_Default);
        int v = def == i->m_Max ? i->m_Min : std::min(i->m_Max, def + i->m_Step * (1 + instance % 2));
        if (auto* m = dynamic_cast<const CParMaskByte*>(&par); m && m->m_Mask == 0x04) v = def == 0 ? 1 : 0;
        return par.Normalize(std::to_string(v));
    }
    if (dynamic_cast<const CParPasString*>(&par)) return "APN text " + std::to_string(instance);
    if (dynamic_cast<const CParPhoneCross*>(&par)) return "*10" + std::to_string(instance % 10) + "#";
    if (dynamic_cast<const CParStringNum*>(&par)) return std::to_string(5000 + instance);
    if (auto* ph = dynamic_cast<const CParPhoneString*>(&par))
        return ph->Normalize(std::to_string(700000 + instance * 37) + "*#");
    return "X" + std::to_string(instance);
}
}  // namespace

TEST_F(Registry, CatalogueShape)
{
    EXPECT_EQ(p.Count(), 131);
    EXPECT_EQ(p.ValueCount(), 2749);
    int tables = 0;
    for (const auto& [key, rc] : p.Entries()) tables += rc.Count == 120;
    EXPECT_EQ(tables, 22);
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "3");
    EXPECT_EQ(p.GetValue("FXSNumBegin", 119), "");
    EXPECT_EQ(p.GetValue("ServisPassw", 0), "40729");
    EXPECT_FALSE(p.Find("PINVal")->Par->m_InFile);
    EXPECT_FALSE(p.Find("ServisPassw")->Par->m_InFile);
}

TEST_F(Registry, KeysWalkInByteOrder)
{
    std::vector<std::string> keys;
    for (const auto& [key, rc] : p.Entries()) keys.push_back(key);
    auto pos = [&](const char* k) { return std::find(keys.begin(), keys.end(), k) - keys.begin(); };
    EXPECT_LT(pos("CLIRInk"), pos("COMPerm"));
    EXPECT_LT(pos("COMPerm"), pos("CallHandOver"));
    EXPECT_LT(pos("GSMDialFXOTime"), pos("GSMDialNUm"));
    EXPECT_EQ(keys.front(), "CLIRInk");
}

TEST_F(Registry, SetValueNormalisesAndAddKeepsTheFirstEntry)
{
    p.SetValue("FXSVolRec", 0, "9");
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "5");
    p.SetValue("FXSHangMin", 0, "550");
    EXPECT_EQ(p.GetValue("FXSHangMin", 0), "500");
    p.Add("FXSVolRec", std::make_unique<CParMaskByte>(0, 0, 99, 1, 0xFF), 1, 999, 0);
    EXPECT_EQ(p.Find("FXSVolRec")->Par->m_Address, 33);
    // Out-of-range instances and unknown keys change nothing and do not crash.
    p.SetValue("FXSVolRec", 1, "1");
    p.SetValue("NoSuchKey", 0, "1");
    EXPECT_EQ(p.GetValue("FXSVolRec", -1), "");
    EXPECT_EQ(p.GetValue("NoSuchKey", 0), "");
    EXPECT_EQ(p.Count(), 131);
    // Past either end, and again at the end: first entries kept, new ones in order.
    const std::string last = p.Entries().rbegin()->first;
    const int lastAddress = p.Find(last)->Par->m_Address;
    p.Add(last, std::make_unique<CParInt>(0, 0, 9), 1, 998, 0);
    p.Add("zzLast", std::make_unique<CParInt>(1, 0, 9), 1, -1, 0);
    p.Add("AAFirst", std::make_unique<CParInt>(2, 0, 9), 1, -1, 0);
    p.Add("zzLast", std::make_unique<CParInt>(3, 0, 9), 1, -1, 0);
    EXPECT_EQ(p.Find(last)->Par->m_Address, lastAddress);
    EXPECT_EQ(p.Entries().begin()->first, "AAFirst");
    EXPECT_EQ(p.Entries().rbegin()->first, "zzLast");
    EXPECT_EQ(p.Find("zzLast")->Par->m_Default, "1");
    EXPECT_EQ(p.Count(), 133);
}

TEST_F(Registry, DefaultImageBytes)
{
    const auto img = Image();
    EXPECT_EQ(img[4], 0xA9);
    EXPECT_EQ(img[5], 0x01);
    EXPECT_EQ(img[33], 3);
    EXPECT_EQ(img[36], 50);
    EXPECT_EQ(img[274], 58);
    EXPECT_EQ(img[262], 0);
    EXPECT_EQ(img[2], 5);
    // "40729": packed digits and the end code.
    EXPECT_EQ(img[2038], 0x4A);
    EXPECT_EQ(img[2039], 0x72);
    EXPECT_EQ(img[2040], 0x90);
    // Bytes that no key covers stay zero.
    for (int i = 2048; i < 4096; ++i) ASSERT_EQ(img[size_t(i)], 0) << i;
    for (int i = 12192; i < 12288; ++i) ASSERT_EQ(img[size_t(i)], 0) << i;
}

TEST_F(Registry, RoutingStridesAndSharedBytes)
{
    p.SetValue("FXSNumBegin", 5, "12");
    p.SetValue("GSMCallTime", 119, "77");
    p.SetValue("FXSDirection", 0, "3");
    p.SetValue("FXSNumLength", 0, "15");
    p.SetValue("FXONumEnd", 3, "1");
    auto img = Image();
    EXPECT_EQ(img[4216], 0x12);
    EXPECT_EQ(img[4217] & 0xF0, 0);
    EXPECT_EQ(img[12132], 77);
    EXPECT_EQ(img[4104], 0x3F);
    EXPECT_EQ(img[6984 + 3 * 22], 0x40);
    // Ring-back cadences own one bit: 2 and 4 come back as 0, 3 as 1.
    p.SetValue("FXSRBToneCad", 0, "3");
    p.SetValue("FXORBToneCad", 0, "2");
    img = Image();
    p.FromImage(img.data());
    EXPECT_EQ(p.GetValue("FXSRBToneCad", 0), "1");
    EXPECT_EQ(p.GetValue("FXORBToneCad", 0), "0");
}

TEST_F(Registry, RoundTripOfDefaultsAndOfEveryKeyChanged)
{
    const auto defaults = p.Snapshot();
    const auto img = Image();
    p.FromImage(img.data());
    EXPECT_EQ(p.Snapshot(), defaults);

    for (const auto& [key, rc] : p.Entries())
        for (int i = 0; i < rc.Count; ++i) p.SetValue(key, i, OtherValue(*rc.Par, i));
    const auto changed = p.Snapshot();
    // Every key in the image really differs from its default now.
    for (const auto& [key, rc] : p.Entries())
        if (rc.Par->m_Address != -1) {
            EXPECT_NE(rc.Values[0], rc.Par->m_Default) << key;
        }

    const auto img2 = Image();
    CParameters q;
    BuildCatalogue(q);
    q.FromImage(img2.data());
    for (const auto& [key, rc] : p.Entries()) {
        if (rc.Par->m_Address == -1) continue;
        for (int i = 0; i < rc.Count; ++i)
            ASSERT_EQ(q.GetValue(key, i), rc.Values[size_t(i)]) << key << "[" << i << "]";
    }
    p.Restore(defaults);
    EXPECT_EQ(p.Snapshot(), defaults);
    EXPECT_NE(changed, defaults);
}

TEST_F(Registry, DecodingClampsWhatTheImageHolds)
{
    std::vector<uint8_t> img(ImageLayout::ImageSize, 0xFF);
    p.FromImage(img.data());
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "5");
    EXPECT_EQ(p.GetValue("FXSAlertFrekv", 0), "50");
    EXPECT_EQ(p.GetValue("FXSNumBegin", 0), "");  // code 15 ends the number at once
    EXPECT_EQ(p.GetValue("FXODTMFLength", 0), "1500");
    EXPECT_EQ(p.GetValue("SMSText", 0).size(), 40u);
}

TEST_F(Registry, UsedEntryBitmapsAndChecksums)
{
    p.SetValue("GSMNum", 0, "1");
    p.SetValue("GSMNum", 119, "2");
    p.SetValue("FXSNumBegin", 9, "3");
    auto img = Image();
    FillUsedBitmaps(p, img.data());
    EXPECT_EQ(img[12176], 0x01);
    for (int i = 1; i < 14; ++i) EXPECT_EQ(img[size_t(12176 + i)], 0);
    EXPECT_EQ(img[12176 + 14], 0x80);
    EXPECT_EQ(img[12144 + 1], 0x02);
    EXPECT_EQ(img[12160], 0);
    WriteChecksums(img.data());
    EXPECT_TRUE(Block1Valid(img.data()));
    EXPECT_TRUE(Block2Valid(img.data()));
    img[100] ^= 1;
    EXPECT_FALSE(Block1Valid(img.data()));
}

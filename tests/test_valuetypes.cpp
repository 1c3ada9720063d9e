#include "Commonutils.h"
#include "Parameters.h"

#include <gtest/gtest.h>
#include <vector>

TEST(ValueTypesNumberRule, ParsesLikeTheGateway)
{
    EXPECT_EQ(ParseNumber("  -12ab"), -12);
    EXPECT_EQ(ParseNumber("+7"), 7);
    EXPECT_EQ(ParseNumber("abc"), 0);
    EXPECT_EQ(ParseNumber(""), 0);
    EXPECT_EQ(ParseNumber("- 5"), 0);
    EXPECT_EQ(ParseNumber("\t42 17"), 42);
    // Far too many digits saturate instead of wrapping into a negative number.
    EXPECT_EQ(ParseNumber("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseNumber("-99999999999999999999"), -2147483647 - 1);
}

TEST(ValueTypesIntegerTypes, ClampAndStepOntoTheGrid)
{
    const CParInt p(500, 100, 25500, 100);
    EXPECT_EQ(p.Normalize("letters"), "100");
    EXPECT_EQ(p.Normalize("-5"), "100");
    EXPECT_EQ(p.Normalize("99999"), "25500");
    EXPECT_EQ(p.Normalize("150"), "100");
    EXPECT_EQ(p.Normalize(" 250x"), "200");
    const CFXODetPermTone perm(2030, 0, 8925, 35, 0xFF);
    EXPECT_EQ(perm.Normalize("100"), "1610");
    EXPECT_EQ(perm.Normalize("0"), "0");
    EXPECT_EQ(perm.Normalize("2030"), "2030");
    EXPECT_EQ(perm.Normalize("9000"), "8925");
    const CParNumberLength len(0, 0, 15, 1, 0x0F);
    EXPECT_EQ(len.Normalize("1"), "3");
    EXPECT_EQ(len.Normalize("2"), "3");
    EXPECT_EQ(len.Normalize("0"), "0");
    EXPECT_EQ(len.Normalize("16"), "15");
    const CFXODetConTone con(4, 0, 255, 1, 0xFF);
    EXPECT_EQ(con.Normalize("1"), "2");
    EXPECT_EQ(con.Normalize("0"), "0");
}

TEST(ValueTypesIntegerTypes, EncodingsOwnOnlyTheirBits)
{
    const CParMaskByte m(0, 0, 3, 1, 0x30);
    uint8_t b = 0x8F;
    m.Encode("2", &b);
    EXPECT_EQ(b, 0xAF);
    EXPECT_EQ(m.Decode(&b), "2");

    const CParMaskByte stepped(500, 100, 25500, 100, 0xFF);
    b = 0;
    stepped.Encode("500", &b);
    EXPECT_EQ(b, 5);

    const CFXODTMFLength dtmf(100, 100, 1500, 100, 0xFF);
    dtmf.Encode("100", &b);
    EXPECT_EQ(b, 0);
    dtmf.Encode("1500", &b);
    EXPECT_EQ(b, 14);
    b = 255;
    EXPECT_EQ(dtmf.Decode(&b), "25500");

    const CParWord w(425, 1, 3400);
    uint8_t word[2] = {0, 0};
    w.Encode("425", word);
    EXPECT_EQ(word[0], 0xA9);
    EXPECT_EQ(word[1], 0x01);
    word[0] = 0xFF;
    word[1] = 0xFF;
    EXPECT_EQ(w.Decode(word), "-1");

    const CParInt i32(0, -100000, 100000);
    uint8_t four[4];
    i32.Encode("-2", four);
    EXPECT_EQ(four[0], 0xFE);
    EXPECT_EQ(four[3], 0xFF);
    EXPECT_EQ(i32.Decode(four), "-2");
}

TEST(ValueTypesIntegerTypes, ThreeDigitsAreRightAligned)
{
    const CParThreeDigits m(0, 0, 999);
    uint8_t b[3] = {9, 9, 9};
    m.Encode("42", b);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x34);
    EXPECT_EQ(b[2], 0x32);
    EXPECT_EQ(m.Decode(b), "42");
    const uint8_t five[3] = {0, 0, 0x35};
    EXPECT_EQ(m.Decode(five), "5");
    m.Encode("999", b);
    EXPECT_EQ(m.Decode(b), "999");
    m.Encode("0", b);
    EXPECT_EQ(m.Decode(b), "0");
}

TEST(ValueTypes, PhoneNumbersKeepOnlyTheirCharacters)
{
    const CParPhoneString phone("", 16);
    EXPECT_EQ(phone.Normalize("+420 (123) 456-789"), "+420123456789");
    EXPECT_EQ(phone.Normalize("12345678901234567890"), "1234567890123456");
    const CParPhoneNoPlus noPlus("", 16);
    EXPECT_EQ(noPlus.Normalize("+12*#"), "12*#");
    const CParPhoneQuest quest("", 16);
    EXPECT_EQ(quest.Normalize("+12??"), "12??");
    const CParPhoneCross cross("", 8);
    EXPECT_EQ(cross.Normalize("*101"), "*101#");
    EXPECT_EQ(cross.Normalize("*101#"), "*101#");
    EXPECT_EQ(cross.Normalize(""), "");
    EXPECT_EQ(cross.Normalize("12345678"), "12345678#");
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    cross.Encode("12345678#", b);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[3], 0x78);  // eight digits, no "#" and no end code
}

TEST(ValueTypes, DigitStringsPadAndPinsMayBeEmpty)
{
    const CParStringNum num("", 8, 4);
    EXPECT_EQ(num.Normalize(""), "1234");
    EXPECT_EQ(num.Normalize("7"), "7234");
    EXPECT_EQ(num.Normalize("12a3"), "1234");
    EXPECT_EQ(num.Normalize("123456789"), "123456789");
    const CPIN pin("", 8, 4);
    EXPECT_EQ(pin.Normalize(""), "");
    EXPECT_EQ(pin.Normalize("12"), "1234");
}

TEST(ValueTypes, PackedNibbles)
{
    const CParPhoneQuest quest("", 16);
    std::vector<uint8_t> b(8, 0x77);
    quest.Encode("0*#?", b.data());
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(b[1], 0xCE);
    EXPECT_EQ(b[2], 0x07);  // end code in the high nibble, the low one kept
    EXPECT_EQ(quest.Decode(b.data()), "0*#?");

    const CParPhoneString phone("", 16);
    std::fill(b.begin(), b.end(), 0x55);
    phone.Encode("12", b.data());
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[1], 0x05);
    // Code 15 ends a number too, and a full field has no end code.
    std::fill(b.begin(), b.end(), 0x11);
    b[3] = 0x1F;
    EXPECT_EQ(phone.Decode(b.data()), "1111111");
    std::fill(b.begin(), b.end(), 0x99);
    EXPECT_EQ(phone.Decode(b.data()), std::string(16, '9'));
}

TEST(ValueTypes, PascalStringsAreCutWhenEncoded)
{
    const CParPasString s("", 40);
    std::vector<uint8_t> b(41, 0);
    const std::string fifty(50, 'x');
    EXPECT_EQ(s.Normalize(fifty), fifty);
    s.Encode(fifty, b.data());
    EXPECT_EQ(b[0], 40);
    EXPECT_EQ(s.Decode(b.data()), std::string(40, 'x'));
    b[0] = 200;  // a length byte beyond the field is limited to the field
    EXPECT_EQ(s.Decode(b.data()).size(), 40u);
}

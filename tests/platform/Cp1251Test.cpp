#include "platform/Cp1251.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1251, Utf8RoundTrip)
{
    const std::string texts[] = {"", "plain", "Кол-во дублей", "Ёжик ёлка №5 «Ђ» €", "Ўўїґ"};
    for (const auto& t : texts)
        EXPECT_EQ(Cp1251ToUtf8(A(t)), t) << t;
    EXPECT_EQ(A("Все"), "\xC2\xF1\xE5");
    EXPECT_EQ(A("x中y"), "x?y");
}

TEST(Cp1251, UpperCaseLatinAndCyrillic)
{
    const struct {
        const char* lower;
        const char* upper;
    } cases[] = {
        {"abc xyz 019 _", "ABC XYZ 019 _"},
        {"абвгдежзийклмнопрстуфхцчшщъыьэюя", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"},
        {"ёлка", "ЁЛКА"},
        {"ђѓљњќћџўјґєїіѕ", "ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"},
        {"ПРИВЕТ Мир", "ПРИВЕТ МИР"},
        {"µ№«»", "µ№«»"}, // no upper case in 1251: unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(AnsiUpperCase(A(c.lower))), c.upper) << c.lower;
    EXPECT_EQ(AnsiUpperChar(0xB8), 0xA8); // ё -> Ё
    EXPECT_EQ(AnsiUpperChar(0xFF), 0xDF); // я -> Я
    EXPECT_EQ(AnsiUpperChar(0x00), 0x00);
}

TEST(Cp1251, UnassignedByteRoundTrips)
{
    EXPECT_EQ(Cp1251ToUnicode(0x98), u'\u0098');
    EXPECT_EQ(UnicodeToCp1251(u'\u0098'), 0x98);
    EXPECT_EQ(UnicodeToCp1251(u'\u4E2D'), -1);
}

} // namespace

#include "db/TextConv.h"
#include "platform/AnsiString.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConv, Utf8ToAnsi)
{
    const struct {
        const char* what;
        std::string utf8;
        std::string ansi;
    } cases[] = {
        {"empty", "", ""},
        {"ascii unchanged", "D:\\Share\\Linux 1.iso ~!@#$%^&*()", "D:\\Share\\Linux 1.iso ~!@#$%^&*()"},
        {"cyrillic to 1251", "Дубли в шаре: ёжик, Ё, №", "\xC4\xF3\xE1\xEB\xE8 \xE2 \xF8\xE0\xF0\xE5: \xB8\xE6\xE8\xEA, \xA8, \xB9"},
        {"chinese to a substitute", "文件.txt", "??.txt"},
        {"emoji is one character", "a\xF0\x9F\x98\x80" "b", "a?b"},
        {"invalid utf-8 without error", "ok\xFF\xC3(end", "ok?" "?(end"},
        {"zero byte inside converted whole", std::string("a\0\xD0\xB1", 4), std::string("a\0\xE1", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_to_ansi(c.utf8), c.ansi) << c.what;
        std::string out;
        EXPECT_EQ(&utf8_to_ansi(c.utf8, out), &out);
        EXPECT_EQ(out, c.ansi) << c.what;
    }
    // What the views store ends at the zero byte.
    EXPECT_EQ(AnsiFromChars(utf8_to_ansi(std::string("a\0b", 3))), "a");
}

TEST(TextConv, Steps)
{
    std::u16string wide;
    EXPECT_EQ(utf8_to_wide("Жz", wide), u"\u0416z");
    EXPECT_EQ(utf8_to_wide("", wide), u"");
    // A long text needs no more UTF-16 units than bytes.
    const std::string longText(100000, 'x');
    EXPECT_EQ(utf8_to_wide(longText, wide).size(), longText.size());

    std::string ansi;
    EXPECT_EQ(wide_to_ansi(u"\u0416\u4E2D", ansi), "\xC6?");
    std::string untouched = "kept";
    EXPECT_EQ(wide_to_ansi(u"", untouched), "kept"); // empty input leaves the output as it was
}

} // namespace

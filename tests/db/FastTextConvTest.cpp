#include "db/FastTextConv.h"
#include "db/TextConv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

std::string Reference(const std::string& in)
{
    std::string out;
    return utf8_to_ansi(in, out);
}

std::string Encode(uint32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// Every test runs on each code path this processor has.
class FastTextConv : public ::testing::TestWithParam<TextConvSteps> {
protected:
    void SetUp() override
    {
        if (!UseTextConvSteps(GetParam())) GTEST_SKIP() << "this processor lacks these steps";
    }
    void TearDown() override { UseTextConvSteps(TextConvSteps::Best); }
};

// The reused buffer starts with stale text longer than any result here.
void ExpectSame(const std::string& in, const char* what)
{
    std::string out(200, '#');
    utf8_to_ansi_fast(in, out);
    ASSERT_EQ(out, Reference(in)) << what << ": input of " << in.size() << " bytes";
}

TEST_P(FastTextConv, TrickyInputs)
{
    const struct {
        const char* what;
        std::string utf8;
    } cases[] = {
        {"empty", ""},
        {"ascii shorter than a word", "abc"},
        {"ascii over several words", "D:\\Share\\Linux distributions\\debian-12.iso"},
        {"cyrillic", "Дубли в шаре: ёжик, Ё, №, €, „кавычки“ — тире…"},
        {"missing from 1251", "文件.txt ¤ ½ Ω"},
        {"four-byte character", "a\xF0\x9F\x98\x80" "b"},
        {"four-byte at the end, cut", "abcdefgh\xF0\x9F\x98"},
        {"invalid lead bytes", "ok\xFF\xFE\xC0\xC1\xF5(end"},
        {"lone continuation", "\x80\xBF" "abc"},
        {"two-byte cut at the end", "abcdefghij\xD0"},
        {"three-byte cut at the end", "abcdefghij\xE2\x84"},
        {"three-byte cut in the middle", "a\xE2\x84z and more text"},
        {"overlong two-byte", "\xC0\xAF\xC1\xBF"},
        {"overlong three-byte", "\xE0\x80\xAF\xE0\x9F\xBF"},
        {"encoded surrogates", "x\xED\xA0\x80\xED\xBF\xBFy"},
        {"last before surrogates", "\xED\x9F\xBF"},
        {"U+FFFD and U+FFFF", "\xEF\xBF\xBD\xEF\xBF\xBF"},
        {"zero bytes", std::string("a\0\xD0\xB1\0\0\0\0\0\0\0\0z", 13)},
        {"long mixed text", std::string(1000, 'x') + "Жж" + std::string(37, 'y') + "\xE2\x84\x96"},
    };
    for (const auto& c : cases) ExpectSame(c.utf8, c.what);
}

TEST_P(FastTextConv, EveryCodePointAndEveryBytePair)
{
    for (uint32_t cp = 0; cp < 0x10000; ++cp) {
        const std::string e = Encode(cp);
        ExpectSame(e, "code point alone");
        ExpectSame("abcdefgh" + e + "ijklmnop", "code point between words");
        ExpectSame(e.substr(0, e.size() - 1) + "z", "code point cut short");
        // At every place of the longest vector step, the far end of it included.
        const std::string before(cp % 72, 'x'), after(72, 'y');
        ExpectSame(before + e + after, "code point inside a long text");
        ExpectSame(before + e.substr(0, e.size() - 1) + after, "code point cut short inside a long text");
        // At every place of the step that ends a long text, and cut short by its end.
        const std::string start(40 + cp % 8, 'x'), end(cp % 34, 'y');
        ExpectSame(start + e + end, "code point near the end of a long text");
        ExpectSame(start + e.substr(0, e.size() - 1), "code point cut short by the end of a long text");
    }
    for (uint32_t cp = 0x10000; cp < 0x110000; cp += 0x3FF) ExpectSame("q" + Encode(cp) + "q", "outside the plane");
    for (uint32_t pair = 0; pair < 0x10000; ++pair) {
        const std::string p{static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
        ExpectSame(p, "byte pair alone");
        ExpectSame("x" + p + "\x80yz", "byte pair before a continuation");
    }
}

TEST_P(FastTextConv, RandomBytes)
{
    // Bytes that start, continue, end or break sequences, with plenty of ASCII.
    const unsigned char alphabet[] = {'a', ' ', 0, 0x7F, 0x80, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xD0, 0xD1, 0xDF,
                                      0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> length(0, 40), pick(0, sizeof alphabet - 1), ascii(0, 2);
    for (int run = 0; run < 20000; ++run) {
        std::string s;
        const int n = length(gen);
        for (int i = 0; i < n; ++i)
            s += ascii(gen) == 0 ? static_cast<char>('A' + i % 26) : static_cast<char>(alphabet[pick(gen)]);
        ExpectSame(s, "random bytes");
    }
}

TEST_P(FastTextConv, RandomText)
{
    // Mostly ASCII and Cyrillic as in the logs, with the other kinds of character and a
    // rare bad byte, so that every place in an eight-byte step meets every kind.
    const uint32_t samples[] = {'a', ' ', '\\', '0', 0, 0x7F, 0x401, 0x410, 0x42F, 0x430, 0x44F, 0x451,
                                0xA0, 0xA4, 0x80, 0x7FF, 0x800, 0x2116, 0x20AC, 0xFFFD, 0x1F600};
    std::mt19937 gen(77);
    std::uniform_int_distribution<int> length(0, 90), pick(0, sizeof samples / sizeof samples[0] - 1),
        kind(0, 99);
    for (int run = 0; run < 20000; ++run) {
        std::string s;
        const int n = length(gen);
        for (int i = 0; i < n; ++i) {
            const int k = kind(gen);
            if (k == 0) s += static_cast<char>(0x80 + run % 0x80); // a bad byte now and then
            else if (k < 45) s += static_cast<char>('A' + i % 26);
            else if (k < 90) s += Encode(0x410 + static_cast<uint32_t>(i * 7 % 64));
            else s += Encode(samples[pick(gen)]);
        }
        ExpectSame(s, "random text");
    }
}

TEST_P(FastTextConv, IntoABufferWithTheFirstZero)
{
    // Runs of ASCII, Cyrillic (sixteen-byte blocks and their edges) and zeros anywhere.
    const std::string pieces[] = {"a", "abcdefghijklmnop", std::string(1, '\0'), Encode(0x416), Encode(0x401),
                                  Encode(0x451), Encode(0x40E), Encode(0xAB), Encode(0x2116), "\xD0"};
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> length(0, 30), pick(0, sizeof pieces / sizeof pieces[0] - 1), kind(0, 9);
    for (int run = 0; run < 20000; ++run) {
        std::string s;
        const int n = length(gen);
        for (int i = 0; i < n; ++i) {
            const int k = kind(gen);
            s += k < 4 ? Encode(0x410 + static_cast<uint32_t>((run + i) % 64)) : k < 7 ? std::string("x") : pieces[pick(gen)];
        }
        const std::string expected = Reference(s);
        std::string out(s.size() + kConvertSlack, '#');
        size_t length = 0, zero = 0;
        if (!utf8_to_ansi_into(s, out.data(), length, zero)) continue; // left to the general conversion
        ASSERT_EQ(out.substr(0, length), expected) << run;
        ASSERT_EQ(zero, expected.find('\0')) << run;
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, FastTextConv,
                         ::testing::Values(TextConvSteps::Plain, TextConvSteps::Sse, TextConvSteps::Avx2,
                                           TextConvSteps::Avx512),
                         [](const ::testing::TestParamInfo<TextConvSteps>& info) {
                             switch (info.param) {
                             case TextConvSteps::Plain: return "Plain";
                             case TextConvSteps::Sse: return "Sse";
                             case TextConvSteps::Avx2: return "Avx2";
                             case TextConvSteps::Avx512: return "Avx512";
                             default: return "Best";
                             }
                         });

} // namespace

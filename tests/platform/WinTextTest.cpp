#include "platform/Cp1251.h"
#include "platform/WinText.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <thread>

namespace {

std::u16string ToWide(const std::string& utf8)
{
    std::u16string out(utf8.size() + 1, u'\0');
    SetLastError(ERROR_SUCCESS);
    const int r = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                      static_cast<int>(out.size()));
    EXPECT_NE(r, 0) << "error " << GetLastError();
    out.resize(r > 0 ? r : 0);
    return out;
}

std::string ToAnsi(const std::u16string& wide, BOOL* usedDefault = nullptr, const char* def = nullptr)
{
    std::string out(wide.size() * 2 + 1, '\0');
    const int r = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                                      static_cast<int>(out.size()), def, usedDefault);
    EXPECT_NE(r, 0) << "error " << GetLastError();
    out.resize(r > 0 ? r : 0);
    return out;
}

struct DecodeCase {
    const char* what;
    std::string utf8;
    std::u16string wide;
};

TEST(MultiByteToWideChar, DecodesAndReplacesBadSequencesWithoutFailing)
{
    const DecodeCase cases[] = {
        {"ascii", "abc", u"abc"},
        {"cyrillic", "\xD0\x96\xD1\x91", u"\u0416\u0451"},
        {"three bytes", "\xE4\xB8\xAD", u"\u4E2D"},
        {"outside the BMP as a pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"zero byte inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"stray continuation", "a\x80" "b", u"a\uFFFDb"},
        {"byte never used", "\xFF", u"\uFFFD"},
        {"truncated at the end", "a\xC3", u"a\uFFFD"},
        {"truncated three-byte is one replacement", "\xE2\x82z", u"\uFFFDz"},
        {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToWide(c.utf8), c.wide) << c.what;
        const int n = static_cast<int>(c.utf8.size());
        // The size query and an exactly sized buffer take the careful path: same answer.
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), n, nullptr, 0), static_cast<int>(c.wide.size()))
            << c.what;
        std::u16string exact(c.wide.size(), u'\0');
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), n, exact.data(), static_cast<int>(exact.size())),
                  static_cast<int>(c.wide.size()))
            << c.what;
        EXPECT_EQ(exact, c.wide) << c.what;
    }
    // ASCII runs longer than eight bytes, broken by other characters.
    EXPECT_EQ(ToWide("abcdefghijklmnopq\xD0\x96rstuvwxyz0123456789"), u"abcdefghijklmnopq\u0416rstuvwxyz0123456789");
}

TEST(MultiByteToWideChar, SizesErrorsAndTerminator)
{
    const char* text = "\xD0\x96z";
    // Size query with no output.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, nullptr, 0), 2);
    // -1 runs to the terminating zero and counts it.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), 3);

    WCHAR small[1];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, small, 1), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    WCHAR out[4];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 0, out, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, out, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // Asked to, it does reject bad input.
    constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, out, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(WideCharToMultiByte, EncodesCp1251AndSubstitutesTheRest)
{
    EXPECT_EQ(ToAnsi(u"Hello"), "Hello");
    EXPECT_EQ(ToAnsi(u"\u0416\u0451\u0401\u2116\u20AC"), "\xC6\xB8\xA8\xB9\x88");

    BOOL used = -1;
    EXPECT_EQ(ToAnsi(u"a\u4E2Db", &used), "a?b");
    EXPECT_EQ(used, 1);
    used = -1;
    EXPECT_EQ(ToAnsi(u"ab", &used), "ab");
    EXPECT_EQ(used, 0);
    EXPECT_EQ(ToAnsi(u"\u4E2D", nullptr, "#"), "#");
    // A surrogate pair is one character; a lone surrogate is a character too.
    EXPECT_EQ(ToAnsi(u"\xD83D\xDE00|\xD800|\xDC00"), "?|?|?");
    EXPECT_EQ(ToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));

    // The size query counts what the conversion writes, pairs and lone surrogates included.
    for (const std::u16string& w : {std::u16string(u"\xD83D\xDE00|\xD800|\xDC00"), std::u16string(u"\xD800\xD800\xDC00"),
                                   std::u16string(u"\xDC00\xD800"), std::u16string(u"\u0416\u2014\u00AB")}) {
        const int size = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
        EXPECT_EQ(size, static_cast<int>(ToAnsi(w).size()));
        std::string exact(static_cast<size_t>(size), '\0');
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), exact.data(), size, nullptr,
                                      nullptr),
                  size);
        EXPECT_EQ(exact, ToAnsi(w));
    }
}

// A character 1251 lacks becomes the 1251 letter its canonical decomposition begins with,
// else '?'; a best fit is no default character.
TEST(WideCharToMultiByte, BestFitWhereOneExists)
{
    const struct {
        const char* utf8;
        const char* ansi;
    } cases[] = {
        {"José", "Jose"},
        {"Ü", "U"},
        {"ÀÇÑøß", "ACN??"},              // ø and ß decompose to nothing
        {"ǘṩ", "us"},                    // decompositions of decompositions
        {"\u212A\u212B", "KA"},           // Kelvin and Angstrom signs
        {"Ѐѝӑ", "\xC5\xE8\xE0"},          // Cyrillic letters with marks become Е, и, а
        {"Ё", "\xA8"},                    // 1251 has it: no best fit asked for
        {"Ω;\u037E\u1FEF中", "?;???"},    // decompositions that begin with no letter, or none
        {"a😀\u0301", "a??"},             // outside the plane, and a mark alone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.ansi) << c.utf8;
        BOOL used = -1;
        const std::u16string w = ToWide(c.utf8);
        EXPECT_EQ(ToAnsi(w, &used), c.ansi) << c.utf8;
        EXPECT_EQ(used, std::string(c.ansi).find('?') != std::string::npos ? 1 : 0) << c.utf8;
    }
}

TEST(WideCharToMultiByte, SizesAndErrors)
{
    const std::u16string text = u"\u0416\u4E2Dz";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), 3, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), 3, nullptr, 0, nullptr, nullptr), 6);

    char small[2];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), 3, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    char out[8];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), 0, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // UTF-8 takes no default character.
    BOOL used;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), 3, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(LastError, IsPerThread)
{
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    DWORD seen = 12345;
    std::thread([&] { seen = GetLastError(); }).join();
    EXPECT_EQ(seen, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// Checks the whole table against the C library's own code page 1251 converter.
TEST(Cp1251Table, MatchesIconvBothWays)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98)
            continue; // unassigned in 1251
        char in = static_cast<char>(b);
        char out[4] = {};
        char* pin = &in;
        char* pout = out;
        size_t nin = 1, nout = sizeof out;
        ASSERT_NE(iconv(cd, &pin, &nin, &pout, &nout), static_cast<size_t>(-1)) << b;
        const char16_t expected = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                        (static_cast<unsigned char>(out[1]) << 8));

        WCHAR wide = 0;
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &in, 1, &wide, 1), 1);
        EXPECT_EQ(wide, expected) << "byte " << b;
        EXPECT_EQ(Cp1251ToUnicode(static_cast<unsigned char>(b)), expected) << "byte " << b;

        char back = 0;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, &wide, 1, &back, 1, nullptr, nullptr), 1);
        EXPECT_EQ(static_cast<unsigned char>(back), b);
    }
    iconv_close(cd);
}

} // namespace

#include "platform/Cp1251.h"
#include "platform/BestFit1251.h"
#include "platform/WinText.h"

#include <algorithm>
#include <array>

namespace {

// Upper half of code page 1251. 0x98 is unassigned; like Windows we pass it through as U+0098.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

struct Upper {
    std::array<unsigned char, 256> table{};
    Upper()
    {
        for (int c = 0; c < 256; ++c)
            table[c] = static_cast<unsigned char>(c);
        for (int c = 'a'; c <= 'z'; ++c)
            table[c] = static_cast<unsigned char>(c - 'a' + 'A');
        // Cyrillic: map through Unicode so that the irregular pairs (ё/Ё, ў/Ў, ґ/Ґ ...) follow.
        for (int c = 0x80; c < 256; ++c) {
            const char16_t u = kHigh[c - 0x80];
            char16_t up = u;
            if (u >= 0x0430 && u <= 0x044F)
                up = static_cast<char16_t>(u - 0x20);
            else if (u >= 0x0450 && u <= 0x045F)
                up = static_cast<char16_t>(u - 0x50);
            else if (u == 0x0491)
                up = 0x0490;
            if (up == u)
                continue;
            int b = UnicodeToCp1251(up);
            if (b >= 0)
                table[c] = static_cast<unsigned char>(b);
        }
    }
};

const Upper& UpperTable()
{
    static const Upper upper;
    return upper;
}

constexpr size_t kReverseSize = 0x2200; // U+0000..U+21FF covers every 1251 character

constexpr std::array<int16_t, kReverseSize> MakeReverse()
{
    std::array<int16_t, kReverseSize> low{};
    for (size_t u = 0; u < kReverseSize; ++u)
        low[u] = -1;
    for (int c = 0; c < 128; ++c)
        low[static_cast<size_t>(c)] = static_cast<int16_t>(c);
    for (int c = 0; c < 128; ++c)
        low[kHigh[static_cast<size_t>(c)]] = static_cast<int16_t>(c + 0x80);
    return low;
}

constexpr std::array<int16_t, kReverseSize> kReverse = MakeReverse();

} // namespace

char16_t Cp1251ToUnicode(unsigned char byte)
{
    return byte < 0x80 ? static_cast<char16_t>(byte) : kHigh[byte - 0x80];
}

int UnicodeToCp1251(char16_t unit)
{
    return unit < kReverseSize ? kReverse[unit] : -1;
}

int UnicodeToCp1251BestFit(char16_t unit)
{
    const int b = UnicodeToCp1251(unit);
    if (b >= 0)
        return b;
    const TBestFit* end = kBestFit1251 + kBestFit1251Count;
    const TBestFit* it =
        std::lower_bound(kBestFit1251, end, unit, [](const TBestFit& e, char16_t u) { return e.unit < u; });
    return it != end && it->unit == unit ? it->byte : -1;
}

std::string Cp1251ToUtf8(std::string_view ansi)
{
    std::string out;
    out.reserve(ansi.size() * 2);
    for (unsigned char b : ansi) {
        const char16_t u = Cp1251ToUnicode(b);
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

AnsiString Utf8ToCp1251(std::string_view utf8)
{
    if (utf8.empty())
        return AnsiString();
    const int n = static_cast<int>(utf8.size());
    std::u16string wide(static_cast<size_t>(n), u'\0');
    const int w = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), n);
    if (w <= 0)
        return AnsiString();
    AnsiString out(static_cast<size_t>(w), '\0');
    const int m = WideCharToMultiByte(CP_ACP, 0, wide.data(), w, out.data(), w, nullptr, nullptr);
    out.resize(m > 0 ? static_cast<size_t>(m) : 0);
    return out;
}

unsigned char AnsiUpperChar(unsigned char c)
{
    return UpperTable().table[c];
}

AnsiString AnsiUpperCase(std::string_view ansi)
{
    const auto& table = UpperTable().table;
    AnsiString out(ansi);
    for (char& ch : out)
        ch = static_cast<char>(table[static_cast<unsigned char>(ch)]);
    return out;
}

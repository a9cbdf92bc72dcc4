#include "db/FastTextConv.h"
#include "db/TextConv.h"
#include "platform/Cp1251.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// 1251 byte of every code point of the Basic Multilingual Plane; '?' where 1251 has none,
// as the wide-to-ANSI step writes. Surrogates never reach it.
const unsigned char* BmpTable()
{
    static const auto table = [] {
        auto t = std::make_unique<std::array<unsigned char, 0x10000>>();
        for (uint32_t u = 0; u < 0x10000; ++u) {
            const int b = UnicodeToCp1251(static_cast<char16_t>(u));
            (*t)[u] = b < 0 ? static_cast<unsigned char>('?') : static_cast<unsigned char>(b);
        }
        return t;
    }();
    return table->data();
}

bool Continuation(unsigned char b) { return (b & 0xC0) == 0x80; }


} // namespace

bool utf8_to_ansi_into(std::string_view in, char* out, size_t& length)
{
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    auto* d = reinterpret_cast<unsigned char*>(out);
    const unsigned char* table = BmpTable();
    size_t i = 0, k = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            // Plain ASCII sixteen, then eight bytes at a time; 1251 keeps every ASCII byte.
            uint64_t w[2];
            while (i + 16 <= n && (std::memcpy(w, s + i, 16), ((w[0] | w[1]) & 0x8080808080808080ull) == 0)) {
                std::memcpy(d + k, w, 16);
                i += 16;
                k += 16;
            }
            if (i + 8 <= n && (std::memcpy(w, s + i, 8), (w[0] & 0x8080808080808080ull) == 0)) {
                std::memcpy(d + k, w, 8);
                i += 8;
                k += 8;
                continue;
            }
            while (i < n && s[i] < 0x80) d[k++] = s[i++];
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && Continuation(s[i + 1])) {
            d[k++] = table[((b & 0x1F) << 6) | (s[i + 1] & 0x3F)];
            i += 2;
            continue;
        }
        if (b >= 0xE0 && b <= 0xEF && i + 2 < n) {
            const unsigned char b1 = s[i + 1], b2 = s[i + 2];
            const unsigned char lo = b == 0xE0 ? 0xA0 : 0x80;
            const unsigned char hi = b == 0xED ? 0x9F : 0xBF;
            if (b1 >= lo && b1 <= hi && Continuation(b2)) {
                d[k++] = table[((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F)];
                i += 3;
                continue;
            }
        }
        // Four-byte sequences and ill-formed input: the general conversion decides.
        return false;
    }
    length = k;
    return true;
}

void utf8_to_ansi_fast(std::string_view in, std::string& out)
{
    // Every character gives one byte and takes at least one.
    out.resize(in.size());
    size_t k = 0;
    if (utf8_to_ansi_into(in, out.data(), k)) {
        out.resize(k);
        return;
    }
    out.clear();
    utf8_to_ansi(std::string(in), out);
}

#include "db/FastTextConv.h"
#include "db/TextConv.h"
#include "platform/Cp1251.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VDX_TEXT_SIMD 1
#endif

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


constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kLow = 0x0101010101010101ull;

bool HasZero(uint64_t w) { return ((w - kLow) & ~w & kHigh) != 0; }

#ifdef VDX_TEXT_SIMD
// pshufb masks that gather the bytes whose bit is set in an 8-bit mask, in order.
const unsigned char (*GatherMasks())[16]
{
    static const auto masks = [] {
        auto m = std::make_unique<unsigned char[][16]>(256);
        for (unsigned bits = 0; bits < 256; ++bits) {
            int n = 0;
            for (int j = 0; j < 16; ++j) m[bits][j] = 0x80;
            for (int j = 0; j < 8; ++j)
                if (bits & (1u << j)) m[bits][n++] = static_cast<unsigned char>(j);
        }
        return m;
    }();
    return masks.get();
}

bool SimdAvailable()
{
    static const bool available = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return available;
}

// Sixteen bytes (s[16] must be readable) made only of ASCII and of the Cyrillic letters А-я,
// Ё, ё: converted in one step, taking 16 bytes or 15 when the last starts a letter. False
// when the block holds anything else; nothing is then taken.
__attribute__((target("ssse3,popcnt"))) inline bool CyrillicBlock(const unsigned char* s, unsigned char* d, size_t& taken,
                                                           size_t& given, size_t& zero)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
    const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
    if (high == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
        taken = given = 16;
        zero = zeros ? static_cast<size_t>(__builtin_ctz(zeros)) : std::string_view::npos;
        return true;
    }
    const unsigned cont = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)))));
    const unsigned lead = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xFE))), _mm_set1_epi8(char(0xD0)))));
    if ((lead | cont) != high) return false;
    unsigned len = 16, leads = lead;
    if (lead & 0x8000u) {
        len = 15;
        leads = lead & 0x7FFFu;
    }
    if (cont != ((leads << 1) & 0xFFFFu)) return false;
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 1));
    // Offset from U+0400 of the letter each lead starts.
    const __m128i idx = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi8(1)), 6),
                                     _mm_and_si128(next, _mm_set1_epi8(0x3F)));
    const __m128i t = _mm_sub_epi8(idx, _mm_set1_epi8(0x10));
    const __m128i linear = _mm_and_si128(_mm_cmpgt_epi8(t, _mm_set1_epi8(-1)), _mm_cmplt_epi8(t, _mm_set1_epi8(0x40)));
    const __m128i yoUpper = _mm_cmpeq_epi8(idx, _mm_set1_epi8(0x01));
    const __m128i yoLower = _mm_cmpeq_epi8(idx, _mm_set1_epi8(0x51));
    const unsigned known =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(linear, _mm_or_si128(yoUpper, yoLower))));
    if ((known & leads) != leads) return false;
    // А-я are C0-FF in 1251, Ё A8, ё B8.
    const __m128i letter = _mm_or_si128(_mm_and_si128(linear, _mm_add_epi8(idx, _mm_set1_epi8(char(0xB0)))),
                                        _mm_or_si128(_mm_and_si128(yoUpper, _mm_set1_epi8(char(0xA8))),
                                                     _mm_and_si128(yoLower, _mm_set1_epi8(char(0xB8)))));
    const __m128i isHigh = _mm_cmplt_epi8(v, _mm_setzero_si128());
    const __m128i out = _mm_or_si128(_mm_andnot_si128(isHigh, v), _mm_and_si128(isHigh, letter));
    const unsigned keep = ~cont & ((1u << len) - 1);
    const unsigned m0 = keep & 0xFFu, m1 = keep >> 8;
    const unsigned char(*masks)[16] = GatherMasks();
    const __m128i lo = _mm_shuffle_epi8(out, _mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[m0])));
    const __m128i hi = _mm_shuffle_epi8(
        out, _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[m1])), _mm_set1_epi8(8)));
    const unsigned n0 = static_cast<unsigned>(__builtin_popcount(m0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + n0), hi);
    taken = len;
    given = n0 + static_cast<unsigned>(__builtin_popcount(m1));
    const unsigned z = zeros & keep;
    zero = z ? static_cast<size_t>(__builtin_popcount(keep & ((1u << __builtin_ctz(z)) - 1)))
             : std::string_view::npos;
    return true;
}
#endif

} // namespace

namespace {

template <bool Simd>
__attribute__((always_inline)) inline bool Convert(std::string_view in, char* out, size_t& length, size_t& zero)
{
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    auto* d = reinterpret_cast<unsigned char*>(out);
    const unsigned char* table = BmpTable();
    const unsigned char* cyrillic = table + 0x400;   // U+0400 to U+047F
    size_t i = 0, k = 0;
    zero = std::string_view::npos;
    bool zeroSeen = false;   // only ASCII bytes can be zero
#ifdef VDX_TEXT_SIMD
    size_t simdFrom = 0;     // after a block it could not take, plain steps past it first
#endif
    while (i < n) {
#ifdef VDX_TEXT_SIMD
        if constexpr (Simd) {
            if (i >= simdFrom && i + 17 <= n) {
                size_t taken = 0, given = 0, z = 0;
                if (CyrillicBlock(s + i, d + k, taken, given, z)) {
                    if (!zeroSeen && z != std::string_view::npos) {
                        zeroSeen = true;
                        zero = k + z;
                    }
                    i += taken;
                    k += given;
                    continue;
                }
                simdFrom = i + 16;
            }
        }
#endif
        const unsigned char b = s[i];
        if (b < 0x80) {
            // Plain ASCII sixteen, then eight bytes at a time; 1251 keeps every ASCII byte.
            uint64_t w[2];
            while (i + 16 <= n && (std::memcpy(w, s + i, 16), ((w[0] | w[1]) & kHigh) == 0)) {
                std::memcpy(d + k, w, 16);
                if (!zeroSeen && (HasZero(w[0]) || HasZero(w[1]))) {
                    zeroSeen = true;
                    zero = k + static_cast<size_t>(static_cast<const unsigned char*>(std::memchr(w, 0, 16)) -
                                                   reinterpret_cast<const unsigned char*>(w));
                }
                i += 16;
                k += 16;
            }
            if (i + 8 <= n && (std::memcpy(w, s + i, 8), (w[0] & kHigh) == 0)) {
                std::memcpy(d + k, w, 8);
                if (!zeroSeen && HasZero(w[0])) {
                    zeroSeen = true;
                    zero = k + static_cast<size_t>(static_cast<const unsigned char*>(std::memchr(w, 0, 8)) -
                                                   reinterpret_cast<const unsigned char*>(w));
                }
                i += 8;
                k += 8;
                continue;
            }
            while (i < n && s[i] < 0x80) {
                if (s[i] == 0 && !zeroSeen) {
                    zeroSeen = true;
                    zero = k;
                }
                d[k++] = s[i++];
            }
            continue;
        }
        if ((b & 0xFE) == 0xD0) {
            // Cyrillic letters, leads D0 or D1 each with a continuation byte: four at a time.
            uint64_t w;
            while (i + 8 <= n && (std::memcpy(&w, s + i, 8), (w & 0xC0FEC0FEC0FEC0FEull) == 0x80D080D080D080D0ull)) {
                const uint64_t x = ((w & 0x0001000100010001ull) << 6) | ((w >> 8) & 0x003F003F003F003Full);
                d[k] = cyrillic[x & 0x7F];
                d[k + 1] = cyrillic[(x >> 16) & 0x7F];
                d[k + 2] = cyrillic[(x >> 32) & 0x7F];
                d[k + 3] = cyrillic[(x >> 48) & 0x7F];
                i += 8;
                k += 4;
            }
            if (i >= n) break;
        }
        const unsigned char c = s[i];
        if (c < 0x80) continue;
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && Continuation(s[i + 1])) {
            d[k++] = table[((c & 0x1F) << 6) | (s[i + 1] & 0x3F)];
            i += 2;
            continue;
        }
        if (c >= 0xE0 && c <= 0xEF && i + 2 < n) {
            const unsigned char b1 = s[i + 1], b2 = s[i + 2];
            const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
            const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
            if (b1 >= lo && b1 <= hi && Continuation(b2)) {
                d[k++] = table[((c & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F)];
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

#ifdef VDX_TEXT_SIMD
__attribute__((target("ssse3,popcnt"))) bool ConvertSimd(std::string_view in, char* out, size_t& length, size_t& zero)
{
    return Convert<true>(in, out, length, zero);
}
#endif

} // namespace

bool utf8_to_ansi_into(std::string_view in, char* out, size_t& length, size_t& zero)
{
#ifdef VDX_TEXT_SIMD
    if (SimdAvailable()) return ConvertSimd(in, out, length, zero);
#endif
    return Convert<false>(in, out, length, zero);
}

void utf8_to_ansi_fast(std::string_view in, std::string& out)
{
    // Every character gives one byte and takes at least one.
    out.resize(in.size());
    size_t k = 0, zero = 0;
    if (utf8_to_ansi_into(in, out.data(), k, zero)) {
        out.resize(k);
        return;
    }
    out.clear();
    utf8_to_ansi(std::string(in), out);
}

#include "db/FastTextConv.h"
#include "db/TextConv.h"
#include "platform/Cp1251.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VDX_TEXT_SIMD 1
#endif

namespace {

// 1251 byte of every code point of the Basic Multilingual Plane, or its best fit; '?' where
// neither is, as the wide-to-ANSI step writes. Surrogates never reach it.
const unsigned char* BmpTable()
{
    static const auto table = [] {
        auto t = std::make_unique<std::array<unsigned char, 0x10000>>();
        for (uint32_t u = 0; u < 0x10000; ++u) {
            const int b = UnicodeToCp1251BestFit(static_cast<char16_t>(u));
            (*t)[u] = b < 0 ? static_cast<unsigned char>('?') : static_cast<unsigned char>(b);
        }
        return t;
    }();
    return table->data();
}

// Made once at start, so that no conversion pays for asking whether they are made.
const unsigned char* const kBmp = BmpTable();

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

const unsigned char (*const kGather)[16] = GatherMasks();

bool SseAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init(); // may run before the constructors that set it up
        return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    }();
    return available;
}

bool Avx2Available()
{
    static const bool available = SseAvailable() && __builtin_cpu_supports("avx2");
    return available;
}

bool Avx512Available()
{
    static const bool available = Avx2Available() && __builtin_cpu_supports("bmi2") &&
                                  __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2");
    return available;
}

// pshufb masks that move a vector's bytes down by 0 to 15 places, zeros coming in.
const unsigned char (*ShiftDownMasks())[16]
{
    static const auto masks = [] {
        std::array<std::array<unsigned char, 16>, 16> m{};
        for (int k = 0; k < 16; ++k)
            for (int j = 0; j < 16; ++j) m[k][j] = j + k < 16 ? static_cast<unsigned char>(j + k) : 0x80;
        return m;
    }();
    return reinterpret_cast<const unsigned char(*)[16]>(masks.data());
}

const unsigned char (*const kShiftDown)[16] = ShiftDownMasks();

// The `rest` (1 to 15) bytes at s in a vector, zeros after them, read without touching
// a byte past the text.
__attribute__((target("ssse3,popcnt"))) inline __m128i LoadShort(const unsigned char* s, size_t rest)
{
    if (rest >= 8) {
        // Two overlapping eight-byte reads; the shared bytes are equal, so OR joins them.
        static const auto shifts = [] {
            std::array<std::array<unsigned char, 16>, 8> m{};
            for (int k = 0; k < 8; ++k)
                for (int j = 0; j < 16; ++j) m[k][j] = j >= k && j - k < 8 ? static_cast<unsigned char>(j - k) : 0x80;
            return m;
        }();
        const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
        const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + rest - 8));
        return _mm_or_si128(
            lo, _mm_shuffle_epi8(hi, _mm_loadu_si128(reinterpret_cast<const __m128i*>(shifts[rest - 8].data()))));
    }
    uint64_t w = 0;
    if (rest >= 4) {
        uint32_t first, last;
        std::memcpy(&first, s, 4);
        std::memcpy(&last, s + rest - 4, 4);
        w = first | (uint64_t(last) << (8 * (rest - 4)));
    } else {
        for (size_t j = 0; j < rest; ++j) w |= uint64_t(s[j]) << (8 * j);
    }
    return _mm_cvtsi64_si128(static_cast<long long>(w));
}

// The last `rest` (1 to 16) bytes of the n at s in a vector, zeros after them, read without
// touching a byte past the text: from the sixteen that end it, moved down, where the text
// is that long.
__attribute__((target("ssse3,popcnt"))) inline __m128i LoadLast(const unsigned char* s, size_t n, size_t rest)
{
    if (n >= 16)
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftDown[16 - rest])));
    return LoadShort(s + n - rest, rest);
}

// The characters of a step outside ASCII and А-я (bits of `special`, by input place), each
// looked up and written where it lands among the kept bytes. False for an encoded
// surrogate or an overlong three-byte form.
__attribute__((target("popcnt"))) inline bool RareCharacters(const unsigned char* s, unsigned char* d,
                                                          const unsigned char* table, uint64_t special,
                                                          uint64_t keep)
{
    for (uint64_t rest = special; rest; rest &= rest - 1) {
        const unsigned p = static_cast<unsigned>(__builtin_ctzll(rest));
        const unsigned c = s[p], b1 = s[p + 1];
        unsigned cp;
        if (c < 0xE0) {
            cp = ((c & 0x1F) << 6) | (b1 & 0x3F);
        } else {
            if ((c == 0xE0 && b1 < 0xA0) || (c == 0xED && b1 > 0x9F)) return false;
            cp = ((c & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (s[p + 2] & 0x3F);
        }
        d[__builtin_popcountll(keep & ((uint64_t(1) << p) - 1))] = table[cp];
    }
    return true;
}

// Output place of the first zero byte of a step (npos when none).
__attribute__((target("popcnt"))) inline size_t OutputPlace(uint64_t zeros, uint64_t keep)
{
    const uint64_t z = zeros & keep;
    return z ? static_cast<size_t>(__builtin_popcountll(keep & ((uint64_t(1) << __builtin_ctzll(z)) - 1)))
             : std::string_view::npos;
}

// One step over the text bytes in v: the first `avail` (1 to 16) of the text at s, with
// `next` holding the bytes from s + 1 (lane 15 of next is read only for a lead in lane 15,
// which the step leaves to the next one). Takes ASCII and every two- and three-byte
// sequence that ends within the step, stopping before one that runs past it; the rarer
// characters outside А-я are looked up one by one. Writes 16 bytes at d, `given` of them
// meant. False when the step meets anything else (four-byte or ill-formed sequences,
// overlong forms, surrogates); nothing is then taken. Last: the text ends within the step;
// otherwise s[16] is text too.
template <bool Last>
__attribute__((target("ssse3,popcnt"))) inline bool TextBlock(__m128i v, __m128i next, const unsigned char* s,
                                                         unsigned avail, unsigned char* d,
                                                         const unsigned char* table,
                                                         const unsigned char (*masks)[16], size_t& taken,
                                                         size_t& given, size_t& zero)
{
    const unsigned valid = (1u << avail) - 1;
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v)) & valid;
    const unsigned zeros =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()))) & valid;
    if (high == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
        taken = given = avail;
        zero = zeros ? static_cast<size_t>(__builtin_ctz(zeros)) : std::string_view::npos;
        return true;
    }
    const auto bytesWhere = [&](char mask, char value) {
        return static_cast<unsigned>(
                   _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(mask)), _mm_set1_epi8(value)))) &
               valid;
    };
    const unsigned cont = bytesWhere(char(0xC0), char(0x80));
    const unsigned lead2 = bytesWhere(char(0xE0), char(0xC0));
    const unsigned lead3 = bytesWhere(char(0xF0), char(0xE0));
    if ((cont | lead2 | lead3) != high) return false;
    if (bytesWhere(char(0xFE), char(0xC0)) & lead2) return false; // overlong C0, C1
    // A character that runs past the step is left to the next one. Inside the text its
    // end shows in s[16] and s[15] alone, which keeps the vector work off the path from
    // one step to the next.
    unsigned len;
    if constexpr (Last) {
        const unsigned cut = (lead2 & (valid ^ (valid >> 1))) | (lead3 & (valid ^ (valid >> 2)));
        len = static_cast<unsigned>(__builtin_ctz(cut | (1u << avail)));
    } else {
        const unsigned c16 = Continuation(s[16]), c15 = Continuation(s[15]);
        len = 16 - c16 - (c16 & c15);
    }
    if (len == 0) return false;
    const unsigned range = (1u << len) - 1;
    const unsigned leads2 = lead2 & range, leads3 = lead3 & range;
    if ((cont & range) != (((leads2 | leads3) << 1) | (leads3 << 2))) return false;

    // А-я (U+0410 to U+044F) are C0-FF in 1251: computed here, all else looked up below.
    const __m128i isD = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xFE))), _mm_set1_epi8(char(0xD0)));
    const __m128i idx = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi8(1)), 6),
                                     _mm_and_si128(next, _mm_set1_epi8(0x3F)));
    const __m128i t = _mm_sub_epi8(idx, _mm_set1_epi8(0x10));
    const __m128i linear = _mm_and_si128(
        isD, _mm_and_si128(_mm_cmpgt_epi8(t, _mm_set1_epi8(-1)), _mm_cmplt_epi8(t, _mm_set1_epi8(0x40))));
    const unsigned special = (leads2 & ~static_cast<unsigned>(_mm_movemask_epi8(linear))) | leads3;
    const __m128i isHigh = _mm_cmplt_epi8(v, _mm_setzero_si128());
    const __m128i out = _mm_or_si128(_mm_andnot_si128(isHigh, v),
                                     _mm_and_si128(linear, _mm_add_epi8(idx, _mm_set1_epi8(char(0xB0)))));
    const unsigned keep = ~cont & range;
    const unsigned m0 = keep & 0xFFu, m1 = keep >> 8;
    const __m128i lo = _mm_shuffle_epi8(out, _mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[m0])));
    const __m128i hi = _mm_shuffle_epi8(
        out, _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[m1])), _mm_set1_epi8(8)));
    const unsigned n0 = static_cast<unsigned>(__builtin_popcount(m0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + n0), hi);
    if (!RareCharacters(s, d, table, special, keep)) return false;
    taken = len;
    given = n0 + static_cast<unsigned>(__builtin_popcount(m1));
    zero = OutputPlace(zeros, keep);
    return true;
}

__attribute__((target("avx2"))) inline uint32_t Where(__m256i m)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

// Thirty-two bytes of text at s (s[32] is text too), as TextBlock does sixteen: ASCII
// and the two- and three-byte sequences that end within the step. Writes 32 bytes at d.
__attribute__((target("avx2,popcnt"))) inline bool TextBlock32(const unsigned char* s, unsigned char* d,
                                                          const unsigned char* table,
                                                          const unsigned char (*masks)[16], size_t& taken,
                                                          size_t& given, size_t& zero)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    const uint32_t high = static_cast<uint32_t>(_mm256_movemask_epi8(v));
    const uint32_t zeros = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
    if (high == 0) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
        taken = given = 32;
        zero = zeros ? static_cast<size_t>(__builtin_ctz(zeros)) : std::string_view::npos;
        return true;
    }
    // Signed bytes: continuations are below C0, three-byte leads above DF, longer above EF.
    const uint32_t cont = Where(_mm256_cmpgt_epi8(_mm256_set1_epi8(char(0xC0)), v));
    const uint32_t lead3 = Where(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(char(0xDF)))) & high;
    const uint32_t longer = Where(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(char(0xEF)))) & high;
    const uint32_t overlong = Where(_mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(1)), _mm256_set1_epi8(char(0xC1))));
    if (longer | overlong) return false;
    const uint32_t lead2 = high & ~cont & ~lead3;
    const unsigned c32 = Continuation(s[32]), c31 = Continuation(s[31]);
    const unsigned len = 32 - c32 - (c32 & c31);
    const uint32_t range = static_cast<uint32_t>((uint64_t(1) << len) - 1);
    const uint64_t leads2 = lead2 & range, leads3 = lead3 & range;
    if (uint64_t(cont & range) != (((leads2 | leads3) << 1) | (leads3 << 2))) return false;

    // А-я: D0 or D1 with an offset from U+0400 (idx) of 10-4F; idx + 70 is then below C0
    // as a signed byte, and idx + B0 is the 1251 letter.
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 1));
    const __m256i isD = _mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(1)), _mm256_set1_epi8(char(0xD1)));
    const __m256i idx = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(v, _mm256_set1_epi8(1)), 6),
                                        _mm256_and_si256(next, _mm256_set1_epi8(0x3F)));
    const __m256i u = _mm256_add_epi8(idx, _mm256_set1_epi8(0x70));
    const __m256i linear = _mm256_and_si256(isD, _mm256_cmpgt_epi8(_mm256_set1_epi8(char(0xC0)), u));
    const __m256i out =
        _mm256_blendv_epi8(v, _mm256_and_si256(linear, _mm256_add_epi8(u, _mm256_set1_epi8(0x40))), v);
    const uint32_t special = static_cast<uint32_t>((leads2 & ~uint64_t(Where(linear))) | leads3);
    const uint32_t keep = ~cont & range;
    const unsigned m0 = keep & 0xFF, m1 = (keep >> 8) & 0xFF, m2 = (keep >> 16) & 0xFF, m3 = keep >> 24;
    const auto gather = [&](unsigned m, uint64_t add) {
        uint64_t g;
        std::memcpy(&g, masks[m], 8);
        return static_cast<long long>(g + add);
    };
    // Within each half, the first eight bytes and the second eight gather on their own.
    constexpr uint64_t kEight = 0x0808080808080808ull;
    const __m256i picks = _mm256_set_epi64x(gather(m3, kEight), gather(m2, 0), gather(m1, kEight), gather(m0, 0));
    const __m256i g = _mm256_shuffle_epi8(out, picks);
    const __m128i lo = _mm256_castsi256_si128(g), hi = _mm256_extracti128_si256(g, 1);
    const unsigned n0 = static_cast<unsigned>(__builtin_popcount(m0));
    const unsigned n1 = n0 + static_cast<unsigned>(__builtin_popcount(m1));
    const unsigned n2 = n1 + static_cast<unsigned>(__builtin_popcount(m2));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + n0), _mm_unpackhi_epi64(lo, lo));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + n1), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + n2), _mm_unpackhi_epi64(hi, hi));
    if (!RareCharacters(s, d, table, special, keep)) return false;
    taken = len;
    given = n2 + static_cast<unsigned>(__builtin_popcount(m3));
    zero = OutputPlace(zeros, keep);
    return true;
}

#define VDX_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt")))

// The whole conversion in steps of sixty-four bytes: masked loads read the last step without
// touching a byte past the text, and one compress packs what each step keeps. A step takes
// ASCII and the two- and three-byte sequences that end within it; anything else (four-byte
// or ill-formed sequences, overlong forms, surrogates) leaves the text to the general
// conversion.
VDX_AVX512 bool ConvertAvx512(std::string_view in, char* out, size_t& length, size_t& zero)
{
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    auto* d = reinterpret_cast<unsigned char*>(out);
    const __m512i one = _mm512_set1_epi8(1), c0 = _mm512_set1_epi8(char(0xC0));
    size_t i = 0, k = 0;
    zero = std::string_view::npos;
    while (i < n) {
        const size_t rest = n - i;
        const bool last = rest <= 64;
        const uint64_t avail = last ? _bzhi_u64(~uint64_t(0), static_cast<unsigned>(rest)) : ~uint64_t(0);
        const __m512i v = _mm512_maskz_loadu_epi8(avail, s + i);
        const uint64_t high = _mm512_movepi8_mask(v);
        // Signed bytes: continuations are below C0, three-byte leads above DF, longer above EF.
        const uint64_t cont = _mm512_cmplt_epi8_mask(v, c0);
        const uint64_t lead3 = _mm512_cmpgt_epi8_mask(v, _mm512_set1_epi8(char(0xDF))) & high;
        const uint64_t longer = _mm512_cmpgt_epi8_mask(v, _mm512_set1_epi8(char(0xEF))) & high;
        const uint64_t overlong = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, one), _mm512_set1_epi8(char(0xC1)));
        if (longer | overlong) return false;
        const uint64_t lead2 = high & ~cont & ~lead3;
        // A character that runs past the step is left to the next one; past the text, it is
        // cut short, which the general conversion decides.
        unsigned len;
        if (last) {
            const uint64_t cut = (lead2 & (avail ^ (avail >> 1))) | (lead3 & (avail ^ (avail >> 2)));
            len = cut ? static_cast<unsigned>(__builtin_ctzll(cut)) : static_cast<unsigned>(rest);
        } else {
            const unsigned c64 = Continuation(s[i + 64]), c63 = Continuation(s[i + 63]);
            len = 64 - c64 - (c64 & c63);
        }
        if (len == 0) return false;
        const uint64_t range = _bzhi_u64(~uint64_t(0), len);
        const uint64_t leads2 = lead2 & range, leads3 = lead3 & range;
        // Leads whose continuations would lie past the sixty-four: s[64] did not continue them.
        if ((leads2 >> 63) | (leads3 >> 62)) return false;
        if ((cont & range) != (((leads2 | leads3) << 1) | (leads3 << 2))) return false;

        // А-я: D0 or D1 with an offset from U+0400 (idx) of 10-4F; idx + 70 is then below C0
        // as a signed byte, and idx + B0 is the 1251 letter.
        const __m512i next = _mm512_maskz_loadu_epi8(last ? avail >> 1 : ~uint64_t(0), s + i + 1);
        const uint64_t isD = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, one), _mm512_set1_epi8(char(0xD1)));
        const __m512i idx = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(v, one), 6),
                                            _mm512_and_si512(next, _mm512_set1_epi8(0x3F)));
        const __m512i u = _mm512_add_epi8(idx, _mm512_set1_epi8(0x70));
        const uint64_t linear = isD & _mm512_cmplt_epi8_mask(u, c0);
        const __m512i converted = _mm512_mask_add_epi8(v, linear, u, _mm512_set1_epi8(0x40));
        const uint64_t keep = ~cont & range;
        const unsigned given = static_cast<unsigned>(__builtin_popcountll(keep));
        _mm512_mask_storeu_epi8(d + k, _bzhi_u64(~uint64_t(0), given), _mm512_maskz_compress_epi8(keep, converted));
        const uint64_t special = (leads2 & ~linear) | leads3;
        if (special && !RareCharacters(s + i, d + k, kBmp, special, keep)) return false;
        if (zero == std::string_view::npos) {
            const uint64_t zeros = _mm512_mask_cmpeq_epi8_mask(range, v, _mm512_setzero_si512());
            if (zeros) zero = k + OutputPlace(zeros, keep);
        }
        i += len;
        k += given;
    }
    length = k;
    return true;
}
#endif

} // namespace

namespace {

// Level 0: plain steps; 1: sixteen-byte vector steps; 2: thirty-two-byte ones as well.
// ConvertAvx512 (level 3) has a loop of its own.
template <int Level>
__attribute__((always_inline)) inline bool Convert(std::string_view in, char* out, size_t& length, size_t& zero)
{
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    auto* d = reinterpret_cast<unsigned char*>(out);
    const unsigned char* table = kBmp;
    const unsigned char* cyrillic = table + 0x400;   // U+0400 to U+047F
    size_t i = 0, k = 0;
    zero = std::string_view::npos;
    bool zeroSeen = false;   // only ASCII bytes can be zero
#ifdef VDX_TEXT_SIMD
    size_t simdFrom = 0;     // after a block it could not take, plain steps past it first
    const unsigned char(*masks)[16] = nullptr;
    if constexpr (Level > 0) masks = kGather;
#endif
    while (i < n) {
#ifdef VDX_TEXT_SIMD
        if constexpr (Level > 0) {
            if (i >= simdFrom) {
                size_t taken = 0, given = 0, z = 0;
                bool took = false;
                const size_t rest = n - i;
                if constexpr (Level > 1) {
                    if (rest >= 33) took = TextBlock32(s + i, d + k, table, masks, taken, given, z);
                }
                // Sixteen bytes where thirty-two could not be taken at once, or are not left.
                if (!took && rest >= 17) {
                    took = TextBlock<false>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1)), s + i,
                                            16, d + k, table, masks, taken, given, z);
                } else if (!took) {
                    const __m128i v = LoadLast(s, n, rest);
                    took = TextBlock<true>(v, _mm_srli_si128(v, 1), s + i, static_cast<unsigned>(rest), d + k,
                                           table, masks, taken, given, z);
                }
                if (took) {
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

bool ConvertPlain(std::string_view in, char* out, size_t& length, size_t& zero)
{
    return Convert<0>(in, out, length, zero);
}

#ifdef VDX_TEXT_SIMD
__attribute__((target("ssse3,popcnt"))) bool ConvertSse(std::string_view in, char* out, size_t& length, size_t& zero)
{
    return Convert<1>(in, out, length, zero);
}

__attribute__((target("avx2,popcnt"))) bool ConvertAvx2(std::string_view in, char* out, size_t& length, size_t& zero)
{
    return Convert<2>(in, out, length, zero);
}
#endif

int BestLevel()
{
#ifdef VDX_TEXT_SIMD
    if (Avx512Available()) return 3;
    if (Avx2Available()) return 2;
    if (SseAvailable()) return 1;
#endif
    return 0;
}

int level = BestLevel();

} // namespace

bool UseTextConvSteps(TextConvSteps steps)
{
    const int want = steps == TextConvSteps::Best ? BestLevel() : static_cast<int>(steps);
    if (want > BestLevel()) return false;
    level = want;
    return true;
}

TextConverter CurrentTextConverter()
{
#ifdef VDX_TEXT_SIMD
    switch (level) {
    case 3: return ConvertAvx512;
    case 2: return ConvertAvx2;
    case 1: return ConvertSse;
    default: break;
    }
#endif
    return ConvertPlain;
}

bool utf8_to_ansi_into(std::string_view in, char* out, size_t& length, size_t& zero)
{
    return CurrentTextConverter()(in, out, length, zero);
}

void utf8_to_ansi_fast(std::string_view in, std::string& out)
{
    // Every character gives one byte and takes at least one.
    out.resize(in.size() + kConvertSlack);
    size_t k = 0, zero = 0;
    if (utf8_to_ansi_into(in, out.data(), k, zero)) {
        out.resize(k);
        return;
    }
    out.clear();
    utf8_to_ansi(std::string(in), out);
}

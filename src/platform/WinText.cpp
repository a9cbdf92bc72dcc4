#include "platform/WinText.h"
#include "platform/Cp1251.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
constexpr char16_t kReplacement = 0xFFFD;

int Fail(DWORD code)
{
    lastError = code;
    return 0;
}

// Collects output units, counting only while no buffer is given (size query).
template <typename T>
struct Sink {
    T* buffer;
    int capacity;
    int count = 0;
    bool overflow = false;
    void put(T unit)
    {
        if (buffer) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            buffer[count] = unit;
        }
        ++count;
    }
};

// Decodes one UTF-8 sequence at s[i]. Ill-formed input yields U+FFFD for each maximal
// subpart of a sequence, the way current Windows and the Unicode standard treat it.
// Returns the code point, sets len, and flags invalid input.
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t i, size_t& len, bool& invalid)
{
    invalid = false;
    const unsigned char b0 = s[i];
    len = 1;
    if (b0 < 0x80)
        return b0;
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        invalid = true;
        return kReplacement;
    }
    for (int k = 0; k < need; ++k) {
        const size_t j = i + 1 + static_cast<size_t>(k);
        if (j >= n) {
            invalid = true;
            return kReplacement;
        }
        const unsigned char b = s[j];
        if (b < lo || b > hi) {
            invalid = true;
            return kReplacement;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        len = j - i + 1;
    }
    return cp;
}

// 1251 bytes (or best fits) of U+0000..U+045F (ASCII, Latin-1, Cyrillic), -1 where neither is.
constexpr char16_t kLowEnd = 0x0460;

const int16_t* LowAnsiTable()
{
    static const auto table = [] {
        std::array<int16_t, kLowEnd> t{};
        for (char16_t u = 0; u < kLowEnd; ++u)
            t[u] = static_cast<int16_t>(UnicodeToCp1251BestFit(u));
        return t;
    }();
    return table.data();
}

// 1251 byte or best fit of a UTF-16 unit, or -1.
inline int AnsiByte(const int16_t* low, char16_t u)
{
    return u < kLowEnd ? low[u] : UnicodeToCp1251BestFit(u);
}

bool SupportedCodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_UTF8 || codePage == 1251;
}

} // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByteStr, int cbMultiByte,
                        WCHAR* wideCharStr, int cchWideChar)
{
    if (!SupportedCodePage(codePage) || multiByteStr == nullptr || cbMultiByte == 0 ||
        cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && wideCharStr == nullptr) ||
        (wideCharStr && static_cast<const void*>(wideCharStr) == static_cast<const void*>(multiByteStr)))
        return Fail(ERROR_INVALID_PARAMETER);

    // -1: the text runs to its terminating zero, which is converted too.
    size_t n = cbMultiByte == -1 ? std::char_traits<char>::length(multiByteStr) + 1
                                 : static_cast<size_t>(cbMultiByte);
    const auto* s = reinterpret_cast<const unsigned char*>(multiByteStr);
    Sink<WCHAR> out{cchWideChar == 0 ? nullptr : wideCharStr, cchWideChar};

    if (codePage == CP_UTF8 && wideCharStr && static_cast<size_t>(cchWideChar) >= n) {
        // Room for the worst case (a unit per byte): no bounds checks on the common path.
        int k = 0;
        for (size_t i = 0; i < n;) {
            const unsigned char b = s[i];
            if (b < 0x80) {
                // Runs of ASCII go eight bytes at a time.
                uint64_t chunk;
                if (i + 8 <= n && (std::memcpy(&chunk, s + i, 8), (chunk & 0x8080808080808080ull) == 0)) {
                    for (int j = 0; j < 8; ++j)
                        wideCharStr[k + j] = s[i + j];
                    k += 8;
                    i += 8;
                } else {
                    wideCharStr[k++] = b;
                    ++i;
                }
                continue;
            }
            if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
                wideCharStr[k++] = static_cast<WCHAR>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
                i += 2;
                continue;
            }
            size_t len;
            bool invalid;
            const char32_t cp = DecodeUtf8(s, n, i, len, invalid);
            if (invalid && (flags & MB_ERR_INVALID_CHARS))
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            if (cp >= 0x10000) {
                const char32_t v = cp - 0x10000;
                wideCharStr[k++] = static_cast<WCHAR>(0xD800 + (v >> 10));
                wideCharStr[k++] = static_cast<WCHAR>(0xDC00 + (v & 0x3FF));
            } else {
                wideCharStr[k++] = static_cast<WCHAR>(cp);
            }
            i += len;
        }
        return k;
    }

    if (codePage != CP_UTF8) {
        for (size_t i = 0; i < n && !out.overflow; ++i)
            out.put(Cp1251ToUnicode(s[i]));
    } else {
        for (size_t i = 0; i < n && !out.overflow;) {
            size_t len;
            bool invalid;
            const char32_t cp = DecodeUtf8(s, n, i, len, invalid);
            if (invalid && (flags & MB_ERR_INVALID_CHARS))
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            if (cp >= 0x10000) {
                const char32_t v = cp - 0x10000;
                out.put(static_cast<WCHAR>(0xD800 + (v >> 10)));
                out.put(static_cast<WCHAR>(0xDC00 + (v & 0x3FF)));
            } else {
                out.put(static_cast<WCHAR>(cp));
            }
            i += len;
        }
    }
    if (out.overflow)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return out.count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wideCharStr, int cchWideChar,
                        char* multiByteStr, int cbMultiByte, const char* defaultChar,
                        BOOL* usedDefaultChar)
{
    if (!SupportedCodePage(codePage) || wideCharStr == nullptr || cchWideChar == 0 ||
        cchWideChar < -1 || cbMultiByte < 0 || (cbMultiByte > 0 && multiByteStr == nullptr) ||
        (multiByteStr && static_cast<const void*>(multiByteStr) == static_cast<const void*>(wideCharStr)))
        return Fail(ERROR_INVALID_PARAMETER);
    // UTF-8 has no default character.
    if (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))
        return Fail(ERROR_INVALID_PARAMETER);

    size_t n = cchWideChar == -1 ? std::char_traits<char16_t>::length(wideCharStr) + 1
                                 : static_cast<size_t>(cchWideChar);
    Sink<char> out{cbMultiByte == 0 ? nullptr : multiByteStr, cbMultiByte};
    bool usedDefault = false;

    if (codePage != CP_UTF8 && !out.buffer && !usedDefaultChar) {
        // Size query: one byte per character, a surrogate pair being one character. A low
        // surrogate is never a high one, so counting high-then-low positions counts the pairs.
        size_t highs = 0;
        for (size_t i = 0; i < n; ++i)
            highs += static_cast<size_t>((wideCharStr[i] & 0xFC00) == 0xD800);
        if (highs == 0)
            return static_cast<int>(n);
        size_t pairs = 0;
        for (size_t i = 0; i + 1 < n; ++i)
            pairs += static_cast<size_t>((wideCharStr[i] & 0xFC00) == 0xD800) &
                     static_cast<size_t>((wideCharStr[i + 1] & 0xFC00) == 0xDC00);
        return static_cast<int>(n - pairs);
    }
    size_t i = 0;
    if (codePage != CP_UTF8 && out.buffer && static_cast<size_t>(cbMultiByte) >= n) {
        // Room for a byte per unit: the plain characters need no bounds checks.
        const int16_t* low = LowAnsiTable();
        for (; i < n; ++i) {
            const int b = AnsiByte(low, wideCharStr[i]);
            if (b < 0)
                break;
            multiByteStr[i] = static_cast<char>(b);
        }
        out.count = static_cast<int>(i);
    }
    for (; i < n && !out.overflow; ++i) {
        const char16_t u = wideCharStr[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool pair = high && i + 1 < n && wideCharStr[i + 1] >= 0xDC00 && wideCharStr[i + 1] <= 0xDFFF;
        const bool lone = (u >= 0xD800 && u <= 0xDFFF) && !pair;
        if (codePage == CP_UTF8) {
            if (lone && (flags & WC_ERR_INVALID_CHARS))
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            char32_t cp = lone ? kReplacement : u;
            if (pair) {
                cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (wideCharStr[i + 1] - 0xDC00);
                ++i;
            }
            if (cp < 0x80) {
                out.put(static_cast<char>(cp));
            } else if (cp < 0x800) {
                out.put(static_cast<char>(0xC0 | (cp >> 6)));
                out.put(static_cast<char>(0x80 | (cp & 0x3F)));
            } else if (cp < 0x10000) {
                out.put(static_cast<char>(0xE0 | (cp >> 12)));
                out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                out.put(static_cast<char>(0x80 | (cp & 0x3F)));
            } else {
                out.put(static_cast<char>(0xF0 | (cp >> 18)));
                out.put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
                out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                out.put(static_cast<char>(0x80 | (cp & 0x3F)));
            }
            continue;
        }
        const int b = (lone || pair) ? -1 : AnsiByte(LowAnsiTable(), u);
        if (b >= 0) {
            out.put(static_cast<char>(b));
        } else {
            // A character outside the code page (a surrogate pair counts as one).
            out.put(defaultChar ? *defaultChar : '?');
            usedDefault = true;
            if (pair)
                ++i;
        }
    }
    if (out.overflow)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (usedDefaultChar)
        *usedDefaultChar = usedDefault ? 1 : 0;
    return out.count;
}

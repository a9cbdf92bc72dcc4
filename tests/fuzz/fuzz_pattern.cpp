// Number patterns: any pattern and value give a bounded text without a crash, and the
// plain "0.00" pattern always shows two decimals.
#include "grid/GridEngine.h"
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < sizeof(double))
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const AnsiString pattern(reinterpret_cast<const char*>(data + sizeof value), size - sizeof value);
    const AnsiString text = FormatFloatPattern(pattern, value);
    // Thousands separators can double the 309 digits of the largest double.
    if (text.size() > pattern.size() * 4 + 1000)
        std::abort();
    if (std::isfinite(value) && std::fabs(value) < 1e15) {
        const AnsiString fixed = FormatFloatPattern("0.00", value);
        const auto dot = fixed.find_first_not_of("-0123456789");
        if (dot == AnsiString::npos || fixed.size() - dot != 3)
            std::abort();
    }
    return 0;
}

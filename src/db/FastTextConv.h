#pragma once
// The loads' conversion of database text to 1251: the same bytes as utf8_to_ansi, written
// straight from UTF-8 into a buffer the caller reuses, without the UTF-16 step.
#include <cstddef>
#include <string>
#include <string_view>

// out receives exactly what utf8_to_ansi(std::string(in), empty) would give; its old
// content is replaced.
void utf8_to_ansi_fast(std::string_view in, std::string& out);

// Bytes past the converted text that utf8_to_ansi_into may overwrite: it writes whole
// sixteen-byte steps.
constexpr size_t kConvertSlack = 16;

// The same conversion into out, which has room for in.size() + kConvertSlack bytes: length
// bytes (at most in.size()), the first zero byte among them at zero (npos when none). False
// (out's content then undefined) where only the general conversion can decide: four-byte
// sequences and ill-formed input.
bool utf8_to_ansi_into(std::string_view in, char* out, size_t& length, size_t& zero);

// utf8_to_ansi_into on the code path now in use, to call directly: a load takes it once
// rather than choosing the path for every text.
using TextConverter = bool (*)(std::string_view in, char* out, size_t& length, size_t& zero);
TextConverter CurrentTextConverter();

// The conversion's code paths, for tests: plain steps, sixteen-byte vector steps,
// thirty-two-byte ones, and sixty-four-byte ones; Best, the default, is the most this
// processor has. False, changing nothing, when the processor lacks the steps asked for.
enum class TextConvSteps { Plain, Sse, Avx2, Avx512, Best };
bool UseTextConvSteps(TextConvSteps steps);

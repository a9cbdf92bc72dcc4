#pragma once
// The loads' conversion of database text to 1251: the same bytes as utf8_to_ansi, written
// straight from UTF-8 into a buffer the caller reuses, without the UTF-16 step.
#include <string>
#include <string_view>

// out receives exactly what utf8_to_ansi(std::string(in), empty) would give; its old
// content is replaced.
void utf8_to_ansi_fast(std::string_view in, std::string& out);

// The same conversion into out, which has room for in.size() bytes: length bytes, the first
// zero byte among them at zero (npos when none). False (out's content then undefined) where
// only the general conversion can decide: four-byte sequences and ill-formed input.
bool utf8_to_ansi_into(std::string_view in, char* out, size_t& length, size_t& zero);

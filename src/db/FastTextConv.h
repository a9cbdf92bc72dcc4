#pragma once
// The loads' conversion of database text to 1251: the same bytes as utf8_to_ansi, written
// straight from UTF-8 into a buffer the caller reuses, without the UTF-16 step.
#include <string>
#include <string_view>

// out receives exactly what utf8_to_ansi(std::string(in), empty) would give; its old
// content is replaced.
void utf8_to_ansi_fast(std::string_view in, std::string& out);

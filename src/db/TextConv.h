#pragma once
// UTF-8 from the databases to ANSI text (code page 1251 here), through UTF-16.
// Nothing is reported for bad input: a failed conversion gives empty text.
#include <string>

std::u16string& utf8_to_wide(const std::string& in, std::u16string& out);
std::string& wide_to_ansi(const std::u16string& in, std::string& out);
std::string& utf8_to_ansi(const std::string& in, std::string& out);
std::string utf8_to_ansi(const std::string& in);

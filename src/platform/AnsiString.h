#pragma once
// Narrow text in the ANSI code page (1251 here). Like the class library's string it
// ends at its first zero byte: build one from raw bytes with AnsiFromChars.
#include <string>
#include <string_view>

using AnsiString = std::string;

inline AnsiString AnsiFromChars(std::string_view bytes)
{
    const auto zero = bytes.find('\0');
    return AnsiString(zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
}

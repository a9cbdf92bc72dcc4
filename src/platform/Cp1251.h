#pragma once
// Code page 1251 helpers that are not Windows calls: decoding for the screen, encoding
// of the program's own UTF-8 literals, and the locale's upper case.
#include "platform/AnsiString.h"
#include <string>
#include <string_view>

// UTF-16 code unit of a 1251 byte.
char16_t Cp1251ToUnicode(unsigned char byte);
// 1251 byte of a UTF-16 code unit, or -1 when 1251 lacks it.
int UnicodeToCp1251(char16_t unit);
// The same, or else the unit's best fit (the 1251 letter its canonical decomposition begins
// with: "é" gives "e"), or else -1. What the conversion to 1251 writes.
int UnicodeToCp1251BestFit(char16_t unit);
// 1251 text to UTF-8 (what the screen needs to paint record-table text).
std::string Cp1251ToUtf8(std::string_view ansi);
// UTF-8 text to 1251; characters missing from 1251 become their best fit or '?'.
AnsiString Utf8ToCp1251(std::string_view utf8);
// Shorthand for the program's own Russian texts, written in the source as UTF-8.
inline AnsiString A(std::string_view utf8) { return Utf8ToCp1251(utf8); }
// Upper case by the user's (Russian) locale: Latin and Cyrillic letters, Ё and ё included.
unsigned char AnsiUpperChar(unsigned char c);
AnsiString AnsiUpperCase(std::string_view ansi);

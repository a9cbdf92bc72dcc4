#pragma once
// Stand-ins for the Windows text conversion calls. CP_ACP is code page 1251 here.
// Behaviour follows Windows with flags 0: invalid UTF-8 never fails the call (each bad
// sequence becomes U+FFFD), a character missing from 1251 becomes its best fit where it
// has one (see Cp1251.h), else '?'.
#include <cstdint>

using WCHAR = char16_t;
using DWORD = unsigned long;
using UINT = unsigned int;
using BOOL = int;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByteStr, int cbMultiByte,
                        WCHAR* wideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wideCharStr, int cchWideChar,
                        char* multiByteStr, int cbMultiByte, const char* defaultChar,
                        BOOL* usedDefaultChar);
DWORD GetLastError();
void SetLastError(DWORD code);

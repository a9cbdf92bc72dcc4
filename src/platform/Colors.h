#pragma once
// Colours in the class library's form: 0x00BBGGRR, or a system colour (0x80000000 | index).
#include <cstdint>
#include <functional>

using TColor = int32_t;

constexpr TColor SysColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clScrollBar = SysColor(0);
constexpr TColor clWindow = SysColor(5);
constexpr TColor clWindowFrame = SysColor(6);
constexpr TColor clWindowText = SysColor(8);
constexpr TColor clHighlight = SysColor(13);
constexpr TColor clHighlightText = SysColor(14);
constexpr TColor clBtnFace = SysColor(15);
constexpr TColor clBtnShadow = SysColor(16);
constexpr TColor clGrayText = SysColor(17);
constexpr TColor clBtnText = SysColor(18);
constexpr TColor clBtnHighlight = SysColor(20);
constexpr TColor clInfoBk = SysColor(24);

inline bool IsSysColor(TColor c) { return (static_cast<uint32_t>(c) & 0x80000000u) != 0; }

// Resolves a colour to 0x00BBGGRR; clNone gives 0. System colours come from the resolver
// (the toolkit's palette once the application installs one), else from classic defaults.
uint32_t ColorToRGB(TColor color);
void SetSysColorResolver(std::function<uint32_t(int index)> resolver);

inline uint8_t RedOf(uint32_t rgb) { return rgb & 0xFF; }
inline uint8_t GreenOf(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
inline uint8_t BlueOf(uint32_t rgb) { return (rgb >> 16) & 0xFF; }

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/termdefs.h"

namespace tallyhost {

// Colour values as the file format stores them: 0x00BBGGRR, red in the low byte. System
// colours (clBtnFace ...) are 0xFF000000 plus the index of the system colour; they are
// resolved to a fixed RGB for display (ColorToRGB).

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);
inline constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
inline constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
inline constexpr TColor clHighlight = static_cast<TColor>(0xFF00000Du);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// Looks a colour name up (without regard to case): the sixteen basic colours, the toolkit's
// extra and system colours, clNone and clDefault.
bool IdentToColor(std::string_view name, TColor& color);
// The name of a colour value, when it has one.
bool ColorToIdent(TColor color, std::string& name);
// A colour name, or an integer (decimal, "$" hex, "0x" hex). Anything else throws
// ConvertError "'<text>' is not a valid integer value".
TColor StringToColor(std::string_view text);
// The name of the colour, or "$" and eight hex digits.
std::string ColorToString(TColor color);
// A plain 0x00BBGGRR value for display: system colours become their usual desktop RGB,
// clDefault the window text colour, clNone black.
TColor ColorToRGB(TColor color);
// Red, green and blue of ColorToRGB(color), each 0..255.
struct TRgb
{
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
};
TRgb ColorToRgbParts(TColor color);
// How far apart two colours are for reading text in one on the other: the ratio of their
// relative luminances (sRGB), from 1 (the same) to 21 (black on white).
double ContrastRatio(TRgb a, TRgb b);
// The sixteen colours the status-record editor offers, in its order (clBlack ... clWhite).
const std::vector<std::pair<std::string, TColor>>& PickerColors();

} // namespace tallyhost

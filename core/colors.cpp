#include "core/colors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "core/errors.h"
#include "core/profile.h"
#include "core/strtoint.h"

namespace tallyhost {

namespace {

struct NamedColor
{
    const char* name;
    TColor value;
};

constexpr TColor sys(unsigned index)
{
    return static_cast<TColor>(0xFF000000u | index);
}

// The toolkit's colour names. The first sixteen are the basic colours (also the picker's), in
// the picker's order; ColorToIdent returns the first name of a value.
constexpr std::array<NamedColor, 52> kColors{{
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", sys(0)},
    {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)},
    {"clInactiveCaption", sys(3)},
    {"clMenu", sys(4)},
    {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)},
    {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},
    {"clCaptionText", sys(9)},
    {"clActiveBorder", sys(10)},
    {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)},
    {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)},
    {"clBtnFace", sys(15)},
    {"clBtnShadow", sys(16)},
    {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},
    {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)},
    {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},
    {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},
    {"clHotLight", sys(26)},
    {"clGradientActiveCaption", sys(27)},
    {"clGradientInactiveCaption", sys(28)},
    {"clMenuHighlight", sys(29)},
    {"clMenuBar", sys(30)},
    {"clNone", clNone},
    {"clDefault", clDefault},
}};

constexpr std::uint32_t rgb(unsigned r, unsigned g, unsigned b)
{
    return r | (g << 8) | (b << 16);
}

// Usual desktop values of the system colours 0..30, as 0x00BBGGRR.
constexpr std::array<std::uint32_t, 31> kSystemRgb{{
    rgb(200, 200, 200), // scroll bar
    rgb(0, 0, 0),       // background
    rgb(153, 180, 209), // active caption
    rgb(191, 205, 219), // inactive caption
    rgb(240, 240, 240), // menu
    rgb(255, 255, 255), // window
    rgb(100, 100, 100), // window frame
    rgb(0, 0, 0),       // menu text
    rgb(0, 0, 0),       // window text
    rgb(0, 0, 0),       // caption text
    rgb(180, 180, 180), // active border
    rgb(244, 247, 252), // inactive border
    rgb(171, 171, 171), // app workspace
    rgb(0, 120, 215),   // highlight
    rgb(255, 255, 255), // highlight text
    rgb(240, 240, 240), // button face
    rgb(160, 160, 160), // button shadow
    rgb(109, 109, 109), // grey text
    rgb(0, 0, 0),       // button text
    rgb(0, 0, 0),       // inactive caption text
    rgb(255, 255, 255), // button highlight
    rgb(105, 105, 105), // 3D dark shadow
    rgb(227, 227, 227), // 3D light
    rgb(0, 0, 0),       // info text
    rgb(255, 255, 225), // info background
    rgb(0, 0, 0),       // (unused index)
    rgb(0, 102, 204),   // hot light
    rgb(185, 209, 234), // gradient active caption
    rgb(215, 228, 242), // gradient inactive caption
    rgb(51, 153, 255),  // menu highlight
    rgb(240, 240, 240), // menu bar
}};

} // namespace

bool IdentToColor(std::string_view name, TColor& color)
{
    for (const auto& c : kColors) {
        if (SameName(name, c.name)) {
            color = c.value;
            return true;
        }
    }
    return false;
}

bool ColorToIdent(TColor color, std::string& name)
{
    for (const auto& c : kColors) {
        if (c.value == color) {
            name = c.name;
            return true;
        }
    }
    return false;
}

TColor StringToColor(std::string_view text)
{
    TColor color = 0;
    if (IdentToColor(text, color))
        return color;
    return StrToInt(text);
}

std::string ColorToString(TColor color)
{
    std::string name;
    if (ColorToIdent(color, name))
        return name;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "$%08X", static_cast<unsigned>(color));
    return buffer;
}

TColor ColorToRGB(TColor color)
{
    const auto u = static_cast<std::uint32_t>(color);
    if (color == clDefault)
        return static_cast<TColor>(kSystemRgb[8]);
    if (color == clNone)
        return clBlack;
    if ((u & 0xFF000000u) == 0xFF000000u) {
        const std::uint32_t index = u & 0xFFu;
        return index < kSystemRgb.size() ? static_cast<TColor>(kSystemRgb[index]) : clBlack;
    }
    // Palette-relative forms (high byte 1 or 2) use the plain RGB in the low bytes.
    return static_cast<TColor>(u & 0x00FFFFFFu);
}

TRgb ColorToRgbParts(TColor color)
{
    const auto u = static_cast<std::uint32_t>(ColorToRGB(color));
    return TRgb{static_cast<std::uint8_t>(u & 0xFF), static_cast<std::uint8_t>((u >> 8) & 0xFF),
                static_cast<std::uint8_t>((u >> 16) & 0xFF)};
}

namespace {

double Luminance(TRgb c)
{
    auto channel = [](std::uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.Red) + 0.7152 * channel(c.Green) + 0.0722 * channel(c.Blue);
}

} // namespace

double ContrastRatio(TRgb a, TRgb b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

const std::vector<std::pair<std::string, TColor>>& PickerColors()
{
    static const std::vector<std::pair<std::string, TColor>> colors = [] {
        std::vector<std::pair<std::string, TColor>> v;
        for (std::size_t i = 0; i < 16; ++i)
            v.emplace_back(kColors[i].name, kColors[i].value);
        return v;
    }();
    return colors;
}

} // namespace tallyhost

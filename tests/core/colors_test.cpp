#include <gtest/gtest.h>

#include "core/colors.h"
#include "core/errors.h"

using namespace tallyhost;

TEST(Colors, NamesAndIntegersConvertBothWays)
{
    EXPECT_EQ(StringToColor("clRed"), 0x0000FF);
    EXPECT_EQ(StringToColor("CLMAROON"), 0x000080);
    EXPECT_EQ(StringToColor("clBtnFace"), static_cast<TColor>(0xFF00000F));
    EXPECT_EQ(StringToColor("clWindowText"), static_cast<TColor>(0xFF000008));
    EXPECT_EQ(StringToColor("$00FF8000"), 0xFF8000);
    EXPECT_EQ(StringToColor("0x0000FF"), 0x0000FF);
    EXPECT_EQ(StringToColor("255"), 255);
    EXPECT_EQ(StringToColor("-16777201"), static_cast<TColor>(0xFF00000F));

    for (const auto& [name, value] : PickerColors()) {
        EXPECT_EQ(StringToColor(name), value);
        EXPECT_EQ(ColorToString(value), name);
    }
    EXPECT_EQ(ColorToString(static_cast<TColor>(0xFF00000F)), "clBtnFace");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_EQ(StringToColor(ColorToString(0x123456)), 0x123456);
}

TEST(Colors, PickerOffersTheSixteenBasicColoursInOrder)
{
    const auto& colors = PickerColors();
    ASSERT_EQ(colors.size(), 16u);
    EXPECT_EQ(colors.front(), (std::pair<std::string, TColor>{"clBlack", 0x000000}));
    EXPECT_EQ(colors[1], (std::pair<std::string, TColor>{"clMaroon", 0x000080}));
    EXPECT_EQ(colors[12], (std::pair<std::string, TColor>{"clBlue", 0xFF0000}));
    EXPECT_EQ(colors.back(), (std::pair<std::string, TColor>{"clWhite", 0xFFFFFF}));
}

TEST(Colors, BadColourTextsFailWithTheConversionError)
{
    for (const char* bad : {"clRedd", "", "red", "$", "$1FFFFFFFF", "12 "}) {
        try {
            StringToColor(bad);
            FAIL() << "accepted '" << bad << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(Colors, SystemColoursResolveToDisplayRgb)
{
    EXPECT_EQ(ColorToRGB(clRed), clRed);
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xF0F0F0);
    EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFF);
    EXPECT_EQ(ColorToRGB(clWindowText), 0x000000);
    EXPECT_EQ(ColorToRGB(clHighlight), 0xD77800);              // RGB(0, 120, 215)
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0xFF0000FE)), 0); // unknown index
    const TRgb parts = ColorToRgbParts(clHighlight);
    EXPECT_EQ(parts.Red, 0);
    EXPECT_EQ(parts.Green, 120);
    EXPECT_EQ(parts.Blue, 215);
}

TEST(Colors, ContrastRatioRunsFromOneToTwentyOne)
{
    EXPECT_DOUBLE_EQ(ContrastRatio({0, 0, 0}, {0, 0, 0}), 1.0);
    EXPECT_NEAR(ContrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio({255, 255, 255}, {0, 0, 0}), 21.0, 1e-9);
    // Grey text on a light grey face: the faint look of a disabled field.
    EXPECT_LT(ContrastRatio({160, 160, 160}, {240, 240, 240}), 4.5);
}

#include "core/inputrules.h"

#include "core/termdefs.h"

#include <gtest/gtest.h>

using namespace tallyhost;

namespace {

// Types keys one after the other into a box of the given type, as the widget does: each key
// goes through FilterKey, then the whole text through TextAfterChange.
std::string Type(std::uint8_t fieldType, std::u32string_view keys, std::string text = {})
{
    for (const char32_t key : keys) {
        const char32_t accepted = FilterKey(fieldType, key, text);
        if (accepted == 0)
            continue;
        if (accepted == 0x08) {
            if (!text.empty())
                text.pop_back();
            continue;
        }
        text += static_cast<char>(accepted);
        text = TextAfterChange(fieldType, text);
    }
    return text;
}

} // namespace

TEST(InputRules, CurrencyTakesOneTypedSeparatorButPastedTextMayHoldSeveral)
{
    EXPECT_EQ(Type(ftdCurrency, U"12.5"), "12.5");
    EXPECT_EQ(Type(ftdCurrency, U"12.5,"), "12.5");
    EXPECT_EQ(Type(ftdCurrency, U"1,2.3"), "1,23");
    EXPECT_EQ(Type(ftdCurrency, U"1.\b,5"), "1,5"); // the separator typed again after deletion
    EXPECT_EQ(TextAfterChange(ftdCurrency, "1,2.3"), "1,2.3");
    EXPECT_EQ(TextAfterChange(ftdCurrency, "12a"), "");
}

TEST(InputRules, DigitTypesTakeDigitsOnly)
{
    for (const std::uint8_t type : {ftdNumerical, ftdDecimal}) {
        EXPECT_EQ(Type(type, U"1.2,3a-4"), "1234");
        EXPECT_EQ(TextAfterChange(type, "12.5"), "");
        EXPECT_EQ(TextAfterChange(type, "0123456789"), "0123456789");
    }
    EXPECT_EQ(Type(ftdBinary, U"10201"), "1001");
    EXPECT_EQ(TextAfterChange(ftdBinary, "0102"), "");
}

TEST(InputRules, HexadecimalAndBooleanKeysAreUpperCased)
{
    EXPECT_EQ(Type(ftdHexadecimal, U"af0g"), "AF0");
    EXPECT_EQ(TextAfterChange(ftdHexadecimal, "af"), "af"); // pasted text keeps its case
    EXPECT_EQ(TextAfterChange(ftdHexadecimal, "0x1F"), "");

    EXPECT_EQ(Type(ftdBool, U"s"), "S");
    EXPECT_EQ(Type(ftdBool, U"T"), "");
    EXPECT_EQ(TextAfterChange(ftdBool, "y"), "y");
    EXPECT_EQ(TextAfterChange(ftdBool, "x"), "");
    EXPECT_EQ(MaxLengthForType(ftdBool, 0), 1);
    EXPECT_EQ(MaxLengthForType(ftdHexadecimal, 1), 1); // not undone by a later type
    EXPECT_EQ(MaxLengthForType(ftdAlpha, 25), 25);
}

TEST(InputRules, AlphaTakesAsciiLettersOnly)
{
    EXPECT_EQ(Type(ftdAlpha, U"Ab 1c"), "Abc");
    EXPECT_EQ(TextAfterChange(ftdAlpha, "AB1"), "");
    EXPECT_EQ(TextAfterChange(ftdAlpha, "caf\xE9"), "");
}

TEST(InputRules, ControlKeysAlwaysPass)
{
    for (std::uint8_t type = 0; type <= 9; ++type) {
        EXPECT_EQ(FilterKey(type, 0x08, "12"), char32_t{0x08}) << int(type);
        EXPECT_EQ(FilterKey(type, U'\r', ""), U'\r') << int(type);
        EXPECT_EQ(FilterKey(type, 0x1B, ""), char32_t{0x1B}) << int(type);
    }
}

TEST(InputRules, EightBitCharacters)
{
    // AlphaNumeric (and the codes above 7) take any 8-bit character, nothing wider.
    EXPECT_EQ(FilterKey(ftdAlphaNumeric, 0xE9, ""), char32_t{0xE9});
    EXPECT_EQ(FilterKey(TextTypeTime, 0xE9, ""), char32_t{0xE9});
    EXPECT_EQ(FilterKey(ftdAlphaNumeric, 0x20AC, ""), char32_t{0}); // the euro sign
    EXPECT_EQ(TextAfterChange(ftdAlphaNumeric, "caf\xE9 x'0D'"), "caf\xE9 x'0D'");

    // Elsewhere such a key is dropped and leaves the text alone; such a pasted text is emptied.
    for (const std::uint8_t type :
         {ftdAlpha, ftdCurrency, ftdNumerical, ftdDecimal, ftdHexadecimal, ftdBinary, ftdBool}) {
        EXPECT_EQ(Type(type, U"\u00B9"), "") << int(type);
        EXPECT_EQ(TextAfterChange(type, "1\xB9"), "") << int(type);
    }
}

TEST(InputRules, RequiredBoxMayNotBeLeftEmpty)
{
    EXPECT_FALSE(MayLeaveBox(true, ""));
    EXPECT_TRUE(MayLeaveBox(true, "0"));
    EXPECT_TRUE(MayLeaveBox(false, ""));
}

// A value typed whole, as a headless driver gives it: what the box would hold, or why it
// would not take the value.
TEST(InputRules, TypingAWholeValueIntoABox)
{
    std::string text;
    EXPECT_EQ(TypeIntoBox(ftdBool, 0, "s", text), TTyping::Accepted);
    EXPECT_EQ(text, "S");
    EXPECT_EQ(TypeIntoBox(ftdBool, 0, "T", text), TTyping::KeyDropped);
    EXPECT_EQ(TypeIntoBox(ftdBool, 0, "SN", text), TTyping::TooLong);
    EXPECT_EQ(TypeIntoBox(ftdHexadecimal, 4, "1a2f", text), TTyping::Accepted);
    EXPECT_EQ(text, "1A2F");
    EXPECT_EQ(TypeIntoBox(ftdHexadecimal, 4, "1a2f0", text), TTyping::TooLong);
    EXPECT_EQ(TypeIntoBox(ftdCurrency, 0, "12,5", text), TTyping::Accepted);
    EXPECT_EQ(TypeIntoBox(ftdCurrency, 0, "1.2.3", text), TTyping::KeyDropped);
    EXPECT_EQ(TypeIntoBox(ftdNumerical, 0, "12\t3", text), TTyping::KeyDropped);
    EXPECT_EQ(TypeIntoBox(ftdAlphaNumeric, 0, "x'0D'\t", text), TTyping::Accepted);
    EXPECT_EQ(text, "x'0D'\t");

    // A default text set by program is cut to the length, then checked as a whole.
    EXPECT_EQ(InitialBoxText(ftdNumerical, 3, "12345"), "123");
    EXPECT_EQ(InitialBoxText(ftdNumerical, 0, "12a"), "");
    EXPECT_EQ(InitialBoxText(ftdBool, 0, "sN"), "s");
}

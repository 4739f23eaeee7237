#include "core/fieldconvert.h"

#include <gtest/gtest.h>

using tallyhost::AutoIncrementText;
using tallyhost::ExpandEscapes;

namespace {

std::string Expanded(std::string_view text)
{
    auto result = ExpandEscapes(text);
    EXPECT_TRUE(result.has_value()) << "refused: " << text;
    return result.value_or("<refused>");
}

} // namespace

TEST(ExpandEscapes, EscapesBecomeTheirBytes)
{
    EXPECT_EQ(Expanded("1x'0D0A'2"), std::string("1\x0D\x0A"
                                                 "2"));
    EXPECT_EQ(Expanded("X'ff'"), std::string("\xFF"));
    EXPECT_EQ(Expanded("x'1A2'"), std::string("\x01\xA2")); // odd count: leading zero
    EXPECT_EQ(Expanded("x'00'"), std::string(1, '\0'));     // NUL bytes survive
    EXPECT_EQ(Expanded("a x'' b"), "a  b");                 // no bytes at all
    EXPECT_EQ(Expanded("x'41'x'42'"), "AB");
}

TEST(ExpandEscapes, LookalikesStayAsTyped)
{
    EXPECT_EQ(Expanded("box'1'x"), std::string("bo\x01x"));
    EXPECT_EQ(Expanded("xx'41'"), "xx'41'");
    EXPECT_EQ(Expanded("max"), "max");
    EXPECT_EQ(Expanded("ab x'"), "ab x");  // trailing x' keeps the x only
    EXPECT_EQ(Expanded("ab x'12"), "ab "); // digits of an unclosed escape are dropped
    EXPECT_EQ(Expanded("it's"), "it's");
    EXPECT_EQ(Expanded(""), "");
}

TEST(ExpandEscapes, MalformedDigitsRefuseTheWholeValue)
{
    EXPECT_FALSE(ExpandEscapes("x'4G'").has_value());
    EXPECT_FALSE(ExpandEscapes("ok x'41' then x' 1'").has_value());
    EXPECT_FALSE(ExpandEscapes("x'+F'").has_value());

    std::string out = "untouched";
    EXPECT_FALSE(ExpandEscapes("x'zz'", out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(ExpandEscapes("A x'31'", out));
    EXPECT_EQ(out, "A 1");
}

TEST(AutoIncrementText, CounterHasAtLeastThreeDigits)
{
    EXPECT_EQ(AutoIncrementText("ABC", 7), "ABC007");
    EXPECT_EQ(AutoIncrementText("ABC", 12), "ABC012");
    EXPECT_EQ(AutoIncrementText("ABC", 123), "ABC123");
    EXPECT_EQ(AutoIncrementText("T", 1000), "T1000");
    EXPECT_EQ(AutoIncrementText("", 1), "001");
}

namespace {

using namespace tallyhost;

TCommandFieldDef Field(std::uint8_t textType, int minLength = 0, int decimals = 0,
                       std::uint8_t controlType = ctSimple)
{
    TCommandFieldDef field;
    field.TextType = textType;
    field.MinLength = minLength;
    field.DecimalDigits = decimals;
    field.ControlType = controlType;
    return field;
}

FieldInput Text(std::string text)
{
    return FieldInput{std::move(text), {}, {}};
}

std::string Bytes(const TCommandFieldDef& field, std::string text, int run = 0)
{
    return FieldFrameBytes(field, Text(std::move(text)), 0, run);
}

} // namespace

TEST(FieldFrameBytes, EachTextTypeReachesTheFrameAsItsBytes)
{
    EXPECT_EQ(Bytes(Field(ftdHexadecimal), "1A2"), std::string("\x01\xA2"));
    EXPECT_EQ(Bytes(Field(ftdHexadecimal), ""), "");
    EXPECT_EQ(Bytes(Field(ftdDecimal, 4), "255"), std::string("\x00\xFF", 2));
    EXPECT_EQ(Bytes(Field(ftdDecimal), "-1"), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(Bytes(Field(ftdDecimal, 2), ""), std::string(1, '\0'));
    EXPECT_EQ(Bytes(Field(ftdBinary, 2), "1010"), "\x0A");
    EXPECT_EQ(Bytes(Field(ftdBinary, 8), std::string(32, '1')), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(Bytes(Field(ftdCurrency, 10, 2), "12.5"), "0000001250");
    EXPECT_EQ(Bytes(Field(ftdCurrency, 6, 2), "1234,567"), "123456");
    EXPECT_EQ(Bytes(Field(ftdAlphaNumeric), "1x'0D0A'2"), "1\r\n2");
    EXPECT_EQ(Bytes(Field(ftdNumerical, 8), "12"), "12"); // as typed: no padding
    EXPECT_EQ(Bytes(Field(ftdBool), "S"), "S");
}

TEST(FieldFrameBytes, DateAndTimeControlsUseTheirPickersWhateverTheTextType)
{
    FieldInput input{"ignored", FrameDate{2026, 12, 7}, FrameTime{8, 5, 9}};
    EXPECT_EQ(FieldFrameBytes(Field(8, 0, 0, ctDate), input, 0), "071226");
    EXPECT_EQ(FieldFrameBytes(Field(ftdAlphaNumeric, 0, 0, ctDate), input, 7), "20261207");
    EXPECT_EQ(FieldFrameBytes(Field(ftdCurrency, 6, 2, ctTime), input, 0), "080509");
    // A date typed into a plain box is sent as typed.
    EXPECT_EQ(FieldFrameBytes(Field(8), input, 0), "ignored");
}

TEST(FieldFrameBytes, AutoIncrementOnlyWhenRepeatingAlphaNumericFields)
{
    auto field = Field(ftdAlphaNumeric);
    field.AutoIncrement = true;
    EXPECT_EQ(Bytes(field, "T"), "T");
    EXPECT_EQ(Bytes(field, "T", 1), "T001");
    EXPECT_EQ(Bytes(field, "T", 2), "T002");
    EXPECT_EQ(Bytes(field, "x'41'", 12), "A012");

    auto numeric = Field(ftdNumerical);
    numeric.AutoIncrement = true;
    EXPECT_EQ(Bytes(numeric, "5", 3), "5");
    EXPECT_EQ(Bytes(Field(ftdAlphaNumeric), "T", 3), "T");
}

TEST(FieldFrameBytes, ValuesTheirTypeCannotCarryAreRefused)
{
    const auto refused = [](const TCommandFieldDef& field, const std::string& text) {
        try {
            Bytes(field, text);
        } catch (const FieldValueError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refused(Field(ftdAlphaNumeric), "x'4G'"), BadUserDataMessage);
    EXPECT_EQ(refused(Field(ftdDecimal), "12a"), "'12a' is not a valid integer value");
    EXPECT_EQ(refused(Field(ftdDecimal), "99999999999"),
              "'99999999999' is not a valid integer value");
    EXPECT_EQ(refused(Field(ftdHexadecimal), "1'2"), "'1'2' is not a valid hexadecimal value");
    EXPECT_EQ(refused(Field(ftdHexadecimal), "0x1F"), "'0x1F' is not a valid hexadecimal value");
    EXPECT_EQ(refused(Field(ftdBinary), "102"), "'102' is not a valid binary value");
    EXPECT_EQ(refused(Field(ftdBinary), "1" + std::string(32, '0')),
              "'1" + std::string(32, '0') + "' does not fit in 32 bits");
    EXPECT_EQ(refused(Field(ftdCurrency, 6, 2), "1,2.3"), "'1,2.3' is not a valid amount");
    EXPECT_EQ(refused(Field(ftdCurrency, 6, 2), "-5"), "'-5' is not a valid amount");
    EXPECT_EQ(refused(Field(ftdCurrency, 6, 2), "12345"),
              "'12345' does not fit in 6 digits with 2 decimals");

    EXPECT_EQ(refused(Field(ftdDecimal, 2000000000), "1"),
              "'1' cannot be padded to 2000000000 digits");
    EXPECT_EQ(refused(Field(ftdCurrency, 2049, 2), "1"), "'1' cannot be padded to 2049 digits");

    // Leading zeros are not significant; width 0 has no limit.
    EXPECT_EQ(refused(Field(ftdCurrency, 6, 2), "00001234"), "accepted");
    EXPECT_EQ(refused(Field(ftdCurrency, 0, 2), "123456789012"), "accepted");
    EXPECT_EQ(refused(Field(ftdBinary), std::string(8, '0') + std::string(32, '1')), "accepted");
    // The errors are conversion errors, so callers catching those see them too.
    EXPECT_THROW(Bytes(Field(ftdDecimal), "x"), ConvertError);
}

TEST(Repeat, CountMustBeOneToNineHundredNinetyNine)
{
    EXPECT_EQ(RepeatCountFromAnswer("3"), 3);
    EXPECT_EQ(RepeatCountFromAnswer("999"), 999);
    EXPECT_FALSE(RepeatCountFromAnswer("1000"));
    EXPECT_FALSE(RepeatCountFromAnswer("0"));
    EXPECT_FALSE(RepeatCountFromAnswer("-2"));
    EXPECT_FALSE(RepeatCountFromAnswer(""));
    EXPECT_FALSE(RepeatCountFromAnswer("three"));
    EXPECT_FALSE(RepeatCountFromAnswer("99999999999"));
    EXPECT_EQ(RepeatProgressText(3, 10), "3/10");
}

TEST(BadUserDataText, NamesTheFieldByTheCaptionTheOperatorReads)
{
    EXPECT_EQ(tallyhost::BadUserDataText("&Amount"), "Bad user data input in control \"Amount\"");
    EXPECT_EQ(tallyhost::BadUserDataText("Tax && fee&"),
              "Bad user data input in control \"Tax & fee\"");
    EXPECT_EQ(tallyhost::BadUserDataText(""), "Bad user data input in control");
}

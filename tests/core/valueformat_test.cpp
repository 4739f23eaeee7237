#include "core/valueformat.h"

#include <gtest/gtest.h>

using namespace tallyhost;

TEST(CurrencyToFrame, PadsAndCutsToTheFieldWidth)
{
    EXPECT_EQ(CurrencyToFrame("12.5", 10, 2), "0000001250");
    EXPECT_EQ(CurrencyToFrame("7", 6, 2), "000700");
    EXPECT_EQ(CurrencyToFrame("1234,567", 6, 2), "123456");
    EXPECT_EQ(CurrencyToFrame("12,50", 0, 2), "1250");
    EXPECT_EQ(CurrencyToFrame("0.5", 5, 2), "00050");
    EXPECT_EQ(CurrencyToFrame("", 4, 1), "0000");
    EXPECT_EQ(CurrencyToFrame("1,5", 3, 3), "500"); // no room for integer digits
    EXPECT_EQ(CurrencyToFrame("9,123", 3, 3), "123");
    EXPECT_EQ(CurrencyToFrame("42", 4, 0), "0042");
    EXPECT_EQ(CurrencyToFrame("42.99", 4, 0), "0042");  // no decimals: fraction dropped
    EXPECT_EQ(CurrencyToFrame("42.99", 4, -2), "0042"); // negative decimals: none
    EXPECT_EQ(CurrencyToFrame("1,5", 2, 2000000000), "50");
}

// A comma is the decimal separator whenever the text has one, wherever a point stands: a
// grouped amount keeps its cents in the fraction instead of losing them to the first point.
TEST(CurrencyToFrame, CommaIsTheSeparatorEvenAfterAPoint)
{
    // The integer part "3.000" is no number and empties; the cents stay.
    EXPECT_EQ(CurrencyToFrame("3.000,50", 8, 2), "00000050");
    EXPECT_EQ(CurrencyToFrame("1.5,25", 0, 2), "1.525");
    EXPECT_EQ(CurrencyToFrame("0.1,99", 4, 2), "0099");
}

TEST(CurrencyToFrame, AmountsBeyondThirtyTwoBitsAreNotZeroed)
{
    EXPECT_EQ(CurrencyToFrame("3000000000", 12, 2), "300000000000");
    EXPECT_EQ(CurrencyToFrame("3000000000.5", 12, 2), "300000000050");
}

TEST(CurrencyToFrame, WidthCheckCountsSignificantIntegerDigits)
{
    EXPECT_TRUE(CurrencyFitsWidth("1234,567", 6, 2));
    EXPECT_TRUE(CurrencyFitsWidth("0001234.5", 6, 2));
    EXPECT_FALSE(CurrencyFitsWidth("12345", 6, 2));
    EXPECT_TRUE(CurrencyFitsWidth("0,5", 3, 3));
    EXPECT_FALSE(CurrencyFitsWidth("1,5", 3, 3));
    EXPECT_TRUE(CurrencyFitsWidth("123456789", 0, 2));
}

TEST(CurrencyToText, InsertsThePointOnlyWhenThereAreMoreCharactersThanDecimals)
{
    EXPECT_EQ(CurrencyToText("0000001250", 2), "00000012.50");
    EXPECT_EQ(CurrencyToText("50", 2), "50");
    EXPECT_EQ(CurrencyToText("5", 2), "5");
    EXPECT_EQ(CurrencyToText("1250", 0), "1250");
    EXPECT_EQ(CurrencyToText(" 1250 ", 2), "12.50");
    EXPECT_EQ(CurrencyToText("1250", -1), "1250");
}

TEST(NumberFrames, DecimalHexaAndBinaryBecomeHexEscapes)
{
    EXPECT_EQ(DecimalToFrame("255", 4), "x'00FF'");
    EXPECT_EQ(DecimalToFrame("-1", 0), "x'FFFFFFFF'");
    EXPECT_EQ(DecimalToFrame("0", 0), "x'0'");
    EXPECT_EQ(DecimalToFrame("abc", 2), "x'00'");
    EXPECT_EQ(DecimalToFrame("2147483647", 0), "x'7FFFFFFF'");
    EXPECT_EQ(DecimalToFrame("2147483648", 0), "x'0'"); // not a 32-bit integer

    EXPECT_EQ(HexaToFrame("1A2"), "x'1A2'");
    EXPECT_EQ(HexaToFrame(""), "x''");

    EXPECT_EQ(BinaryToFrame("1010", 2), "x'0A'");
    EXPECT_EQ(BinaryToFrame("1", 4), "x'0001'");
    EXPECT_EQ(BinaryToFrame("12", 0), "x'4'"); // 2 counts its value: 1*2 + 2
    EXPECT_EQ(BinaryToFrame("1a1", 0), "x'5'");
}

TEST(ParseInt32, AcceptsExactlyTheThirtyTwoBitRange)
{
    EXPECT_EQ(ParseInt32("-2147483648"), -2147483648LL);
    EXPECT_EQ(ParseInt32("  +12"), 12);
    EXPECT_FALSE(ParseInt32("2147483648"));
    EXPECT_FALSE(ParseInt32("99999999999999999999"));
    EXPECT_FALSE(ParseInt32(""));
    EXPECT_FALSE(ParseInt32("-"));
    EXPECT_FALSE(ParseInt32("12 "));
    EXPECT_FALSE(ParseInt32("0x1F"));
}

TEST(AnswerNumbers, BytesAreReadMostSignificantFirst)
{
    EXPECT_EQ(BytesToInt(""), 0);
    EXPECT_EQ(BytesToInt("\x01\x02"), 258);
    EXPECT_EQ(BytesToInt("\xFF\xFF\xFF\xFF"), -1);
    EXPECT_EQ(BytesToInt(std::string("\x00\x00\x00\x00\x01", 5)), 0);

    EXPECT_EQ(DecimalToText("\x01\x02"), "258");
    EXPECT_EQ(DecimalToText("\xFF\xFF\xFF\xFF"), "-1");
    EXPECT_EQ(DecimalToText(""), "0");

    EXPECT_EQ(HexaToText(std::string("\x00\x0F", 2)), "0F");
    EXPECT_EQ(HexaToText("\x01\x02"), "102");
    EXPECT_EQ(HexaToText("\x05"), "5");
    EXPECT_EQ(HexaToText(std::string("\x00\x00\x01", 3)), "001");
    EXPECT_EQ(HexaToText("\xDE\xAD\xBE\xEF"), "DEADBEEF");
    EXPECT_EQ(HexaToText(""), "0");

    EXPECT_EQ(BinaryToText("\x05"), "00000101");
    EXPECT_EQ(BinaryToText("\x80\x01"), "1000000000000001");
}

TEST(AnswerNumbers, ValuesLongerThanFourBytesAreShownInFull)
{
    const std::string five("\x01\x00\x00\x00\x00", 5); // 2^32
    EXPECT_EQ(DecimalToText(five), "4294967296");
    EXPECT_EQ(DecimalToText(std::string(5, '\0')), "0");
    EXPECT_EQ(DecimalToText(std::string(8, '\xFF')), "18446744073709551615");
    EXPECT_EQ(HexaToText(five), "100000000");
    EXPECT_EQ(BinaryToText(five), "0000000100000000000000000000000000000000");
}

TEST(DateFrames, FramePatternsOfEveryFormat)
{
    const FrameDate date{2026, 3, 9};
    const char* expected[] = {"090326", "09032026", "030926", "03092026",
                              "260903", "20260903", "260309", "20260309"};
    for (int code = 0; code < DateFormatCount; ++code)
        EXPECT_EQ(DateToFrame(code, date), expected[code]) << "format " << code;
    EXPECT_EQ(DateToFrame(8, date), "090326");
    EXPECT_EQ(DateToFrame(-1, date), "090326");
    EXPECT_EQ(DateToFrame(1, FrameDate{987, 1, 2}), "02010987");

    EXPECT_EQ(TimeToFrame(FrameTime{9, 5, 0}), "090500");
    EXPECT_EQ(TimeToFrame(FrameTime{23, 59, 59}), "235959");
}

TEST(DateToText, FrameDatesAreReadInTheInputFormatAndShownInTheOutputFormat)
{
    EXPECT_EQ(DateToText("311299", 0, 7, 2026), "1999/12/31");
    EXPECT_EQ(DateToText("311299", 0, 7, 2050), "2099/12/31");
    EXPECT_EQ(DateToText("20991231", 7, 0, 2026), "31/12/99");
    EXPECT_EQ(DateToText("123199", 2, 1, 2026), "31/12/1999");
    EXPECT_EQ(DateToText("993112", 4, 7, 2026), "1999/12/31"); // yy dd mm
    EXPECT_EQ(DateToText("19993112", 5, 3, 2026), "12/31/1999");
    EXPECT_EQ(DateToText("991231", 6, 4, 2026), "99/31/12");
    EXPECT_EQ(DateToText("010100", 0, 5, 2026), "2000/01/01");
    // Unknown codes: read as yymmdd, shown as dd/mm/yy.
    EXPECT_EQ(DateToText("991231", 9, 9, 2026), "31/12/99");
}

TEST(DateToText, TextsThatAreNotDatesComeBackUnchanged)
{
    EXPECT_EQ(DateToText("99999", 0, 7, 2026), "99999");
    EXPECT_EQ(DateToText("310299", 0, 7, 2026), "310299"); // no 31 February
    EXPECT_EQ(DateToText("290200", 0, 7, 2026), "2000/02/29");
    EXPECT_EQ(DateToText("290201", 0, 7, 2026), "290201");
    EXPECT_EQ(DateToText("", 0, 7, 2026), "");
    EXPECT_EQ(DateToText("ab12cd", 0, 7, 2026), "ab12cd");
}

TEST(DateToText, TextsWithSeparatorsAreReadInTheInputFormat)
{
    EXPECT_EQ(DateToText("31/12/99", 0, 7, 2026), "1999/12/31");
    EXPECT_EQ(DateToText("1999/12/31", 7, 0, 2026), "31/12/99");
    EXPECT_EQ(DateToText("31/12/1999", 0, 0, 2026), "31/12/99");
    EXPECT_EQ(DateToText("99/31/12", 4, 0, 2026), "31/12/99");
    EXPECT_EQ(DateToText("12/31/99", 0, 0, 2026), "12/31/99"); // month 31: not a date
    EXPECT_EQ(DateToText("31/12", 0, 7, 2026), "31/12");       // three numbers needed
}

TEST(DateToText, TwoDigitYearWindowStartsFiftyYearsBack)
{
    EXPECT_EQ(WindowTwoDigitYear(76, 2026), 1976);
    EXPECT_EQ(WindowTwoDigitYear(75, 2026), 2075);
    EXPECT_EQ(WindowTwoDigitYear(0, 2026), 2000);
    EXPECT_EQ(WindowTwoDigitYear(99, 2050), 2099);
    EXPECT_EQ(WindowTwoDigitYear(0, 2050), 2000);
    EXPECT_EQ(WindowTwoDigitYear(49, 2099), 2049);
    EXPECT_EQ(WindowTwoDigitYear(48, 2099), 2148);
}

TEST(TimeToText, SeparatorsAfterHoursAndMinutes)
{
    EXPECT_EQ(TimeToText("0930"), "09:30");
    EXPECT_EQ(TimeToText("093015"), "09:30:15");
    EXPECT_EQ(TimeToText("09:30"), "09:30");
    EXPECT_EQ(TimeToText("09301"), "09:30:1");
    EXPECT_EQ(TimeToText("9"), "9:");
    EXPECT_EQ(TimeToText(""), "");
}

TEST(CodeNames, NamesRoundTripAndUnknownsFallBack)
{
    for (int code = 0; code <= 9; ++code)
        EXPECT_EQ(TextTypeFromName(TextTypeName(code)), code);
    EXPECT_EQ(TextTypeName(5), "Hexa");
    EXPECT_EQ(TextTypeName(3), "Numeric");
    EXPECT_EQ(TextTypeName(10), "AlphaNumeric");
    EXPECT_EQ(TextTypeName(-1), "AlphaNumeric");
    EXPECT_EQ(TextTypeFromName(""), 9);
    EXPECT_EQ(TextTypeFromName("hexa"), 9); // case matters

    for (int code = 0; code <= 4; ++code)
        EXPECT_EQ(ControlTypeFromName(ControlTypeName(code)), code);
    EXPECT_EQ(ControlTypeName(2), "DropDownList");
    EXPECT_EQ(ControlTypeName(7), "Simple");
    EXPECT_EQ(ControlTypeFromName("Combo"), 4);

    EXPECT_EQ(ModeName(0), "Host");
    EXPECT_EQ(ModeName(1), "Fiscal");
    EXPECT_EQ(ModeName(5), "Fiscal");
    EXPECT_EQ(ModeFromName("Host"), 0);
    EXPECT_EQ(ModeFromName("host"), 1);

    EXPECT_EQ(YesNoName(1), "Yes");
    EXPECT_EQ(YesNoName(2), "No");
    EXPECT_EQ(YesNoFromName("Yes"), 1);
    EXPECT_EQ(YesNoFromName("YES"), 0);

    EXPECT_EQ(DateFramePattern(4), "yyddmm");
    EXPECT_EQ(DateDisplayPattern(5), "yyyy/dd/mm");
}

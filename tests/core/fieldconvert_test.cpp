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

#include <random>

#include <gtest/gtest.h>

#include "core/commatext.h"

using namespace tallyhost;
using Items = std::vector<std::string>;

TEST(CommaText, SplitFollowsTheListRules)
{
    EXPECT_EQ(SplitCommaText(""), Items{});
    EXPECT_EQ(SplitCommaText("  \t "), Items{});
    EXPECT_EQ(SplitCommaText("1,2,3"), (Items{"1", "2", "3"}));
    // A blank ends an unquoted item; what follows becomes the next item.
    EXPECT_EQ(SplitCommaText("0,Open Day,3"), (Items{"0", "Open", "Day", "3"}));
    EXPECT_EQ(SplitCommaText("0,\"Open Day\",3"), (Items{"0", "Open Day", "3"}));
    EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\",x"), (Items{"say \"hi\"", "x"}));
    EXPECT_EQ(SplitCommaText("\"unclosed, item"), (Items{"unclosed, item"}));
    EXPECT_EQ(SplitCommaText("\"ab\"cd,e"), (Items{"ab", "cd", "e"}));
    // Empty items between commas count; a comma at the very end adds none.
    EXPECT_EQ(SplitCommaText("a,,b,"), (Items{"a", "", "b"}));
    EXPECT_EQ(SplitCommaText(","), (Items{""}));
    EXPECT_EQ(SplitCommaText("\"\""), (Items{""}));
    EXPECT_EQ(SplitCommaText("  a ,  b  "), (Items{"a", "b"}));
    EXPECT_EQ(SplitCommaText("a\x01,\x1f"
                             "b"),
              (Items{"a", "b"}));
    EXPECT_EQ(SplitCommaText(std::string("a,b\0,c", 6)), (Items{"a", "b"}));
}

TEST(CommaText, JoinQuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(JoinCommaText({}), "");
    EXPECT_EQ(JoinCommaText({""}), "\"\"");
    EXPECT_EQ(JoinCommaText({"1", "2", "3"}), "1,2,3");
    EXPECT_EQ(JoinCommaText({"A", "B C"}), "A,\"B C\"");
    EXPECT_EQ(JoinCommaText({"a\"b", "c,d", "tab\there"}), "\"a\"\"b\",\"c,d\",\"tab\there\"");
    EXPECT_EQ(JoinCommaText({"", "x", ""}), ",x,\"\"");
}

TEST(CommaText, JoinThenSplitGivesTheItemsBack)
{
    std::mt19937 rng(42);
    const char alphabet[] = "ab \",\t'=;\x7f\xe9";
    std::uniform_int_distribution<int> count(0, 6);
    std::uniform_int_distribution<int> length(0, 5);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    for (int round = 0; round < 2000; ++round) {
        Items items(static_cast<std::size_t>(count(rng)));
        for (auto& item : items) {
            for (int i = length(rng); i > 0; --i)
                item += alphabet[pick(rng)];
        }
        EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items) << JoinCommaText(items);
    }
}

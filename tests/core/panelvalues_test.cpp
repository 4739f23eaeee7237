#include "core/panelvalues.h"

#include <gtest/gtest.h>

using namespace tallyhost;

namespace {

TCommandDefinition Definition(std::initializer_list<std::pair<int, int>> fields)
{
    TCommandDefinition d;
    for (const auto& [control, text] : fields) {
        d.Fields[d.FieldCount].ControlType = static_cast<std::uint8_t>(control);
        d.Fields[d.FieldCount].TextType = static_cast<std::uint8_t>(text);
        ++d.FieldCount;
    }
    return d;
}

FieldInput Text(std::string text)
{
    FieldInput in;
    in.Text = std::move(text);
    return in;
}

} // namespace

TEST(PanelValues, ValuesComeBackPerCommandWhileItsFieldsAreTheSame)
{
    const TCommandDefinition sale = Definition({{ctSimple, ftdAlphaNumeric}, {ctDate, 8}});
    const TCommandDefinition count = Definition({{ctSimple, ftdDecimal}});
    TPanelValues values;
    EXPECT_FALSE(values.Kept("GSale", sale));

    FieldInput date;
    date.Date = FrameDate{2026, 12, 7};
    values.Keep("GSale", sale, {Text("S"), date});
    values.Keep("GCount", count, {Text("12")});
    const auto kept = values.Kept("GSale", sale);
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ((*kept)[0].Text, "S");
    EXPECT_EQ((*kept)[1].Date.Year, 2026);
    EXPECT_EQ(values.Kept("GCount", count)->at(0).Text, "12");

    // Kept again: the newer values replace the older ones.
    values.Keep("GCount", count, {Text("13")});
    EXPECT_EQ(values.Kept("GCount", count)->at(0).Text, "13");

    // A definition that changed meanwhile (another field type, one more field) starts afresh.
    EXPECT_FALSE(values.Kept("GCount", Definition({{ctSimple, ftdHexadecimal}})));
    EXPECT_FALSE(values.Kept("GCount", Definition({{ctSimple, ftdDecimal}, {ctTime, 9}})));

    values.Reset("GSale");
    EXPECT_FALSE(values.Kept("GSale", sale));
    EXPECT_TRUE(values.Kept("GCount", count));
    values.Clear();
    EXPECT_FALSE(values.Kept("GCount", count));
}

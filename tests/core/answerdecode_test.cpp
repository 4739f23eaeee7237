#include "core/answerdecode.h"

#include <gtest/gtest.h>

using namespace tallyhost;

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;

TStatusTable Table(std::initializer_list<TStatusRecord> records)
{
    TStatusTable table;
    for (const auto& record : records) {
        table.Records[static_cast<std::size_t>(table.RecordCount++)] = record;
        table.PanelCount = std::max(table.PanelCount, record.Panel);
    }
    return table;
}

TAnswerFieldDef Answer(std::string caption, std::uint8_t type = ftdAlphaNumeric, int decimals = 0)
{
    return TAnswerFieldDef{std::move(caption), type, decimals};
}

} // namespace

TEST(DecodeStatusWord, LastMatchingRecordOfAPanelWins)
{
    const auto table = Table({{1, 0x0200, 0x0200, "A", kRed},
                              {1, 0x0400, 0x0400, "B", kBlue},
                              {2, 0x0001, 0x0001, "C", kRed}});
    const auto panels = DecodeStatusWord(0x0600, table);
    ASSERT_EQ(panels.size(), 2u);
    EXPECT_TRUE(panels[0].Matched);
    EXPECT_EQ(panels[0].Text, "B");
    EXPECT_EQ(panels[0].Color, kBlue);
    EXPECT_FALSE(panels[1].Matched);
    EXPECT_EQ(panels[1].Text, "");

    // Only the first record matches 0x0200: its text stays.
    EXPECT_EQ(DecodeStatusWord(0x0200, table)[0].Text, "A");
}

TEST(DecodeStatusWord, MaskAndResultRules)
{
    const auto table = Table({{1, 0x0000, 0x0000, "always", kRed},
                              {2, 0x00FF, 0x0100, "never", kRed}, // result outside the mask
                              {3, 0xFF11, 0x0011, "low", kRed},
                              {4, 0x8000, 0x8000, "top bit", kRed}});
    for (const std::uint16_t word : {0x0000, 0x0011, 0xFFFF, 0x8011}) {
        const auto panels = DecodeStatusWord(word, table);
        ASSERT_EQ(panels.size(), 4u);
        EXPECT_EQ(panels[0].Text, "always");
        EXPECT_FALSE(panels[1].Matched);
        EXPECT_EQ(panels[2].Matched, (word & 0xFF11) == 0x0011) << word;
        EXPECT_EQ(panels[3].Matched, (word & 0x8000) != 0) << word;
    }
}

TEST(DecodeStatusWord, PanelsWithoutRecordsStayEmptyAndStrayPanelNumbersAreSkipped)
{
    auto table = Table({{2, 0, 0, "two", kRed}, {5, 0, 0, "five", kRed}});
    auto panels = DecodeStatusWord(0, table);
    ASSERT_EQ(panels.size(), 5u);
    EXPECT_EQ(panels[1].Text, "two");
    EXPECT_EQ(panels[4].Text, "five");
    EXPECT_FALSE(panels[0].Matched || panels[2].Matched || panels[3].Matched);

    table.Records[2] = {0, 0, 0, "zero", kRed};
    table.Records[3] = {-3, 0, 0, "negative", kRed};
    table.Records[4] = {6, 0, 0, "beyond", kRed};
    table.RecordCount = 5;
    panels = DecodeStatusWord(0, table);
    ASSERT_EQ(panels.size(), 5u);
    for (const auto& panel : panels)
        EXPECT_TRUE(panel.Text.empty() || panel.Text == "two" || panel.Text == "five");

    // Absurd counts from a hand-written file neither allocate nor read out of bounds.
    table.PanelCount = 2000000000;
    table.RecordCount = 1000;
    EXPECT_EQ(DecodeStatusWord(0, table).size(), static_cast<std::size_t>(MaxStatusPanels));
    EXPECT_TRUE(DecodeStatusWord(0, TStatusTable{}).empty());
}

TEST(DecodeStatusWord, Captions)
{
    EXPECT_EQ(FiscalAnswerCaption(0x0600), "Fiscal answer = 0600");
    EXPECT_EQ(PrinterAnswerCaption(0xBEEF), "Printer answer = BEEF");
    EXPECT_EQ(StatusWordHex(0), "0000");
}

TEST(StatusPanelLayout, ColumnsAreCentredAndRowsRoundUp)
{
    auto layout = LayoutStatusPanels(600, 7); // 3 columns of 175 with 10-pixel gaps
    EXPECT_EQ(layout.Columns, 3);
    EXPECT_EQ(layout.FirstLeft, (600 - 545) / 2);
    EXPECT_EQ(layout.Rows, 3);
    EXPECT_EQ(layout.Height, 3 * 31 + 8);
    const auto seventh = StatusPanelPosition(layout, 6);
    EXPECT_EQ(seventh.Left, layout.FirstLeft);
    EXPECT_EQ(seventh.Top, 15 + 2 * 31);
    EXPECT_EQ(StatusPanelPosition(layout, 2).Left, layout.FirstLeft + 2 * 185);

    layout = LayoutStatusPanels(100, 2); // too narrow: still one column
    EXPECT_EQ(layout.Columns, 1);
    EXPECT_EQ(layout.Rows, 2);
    EXPECT_EQ(LayoutStatusPanels(600, 6).Rows, 2);
    EXPECT_EQ(LayoutStatusPanels(600, 0).Height, 0);
}

TEST(BuildAnswerEntries, ExtendedProtocolHidesReservedPlacesAndExplainsTheReturnCode)
{
    const std::vector<TAnswerFieldDef> fields{Answer("Total", ftdCurrency, 2),
                                              Answer("Flags", ftdHexadecimal)};
    AnswerDisplayOptions options;
    options.Protocol = 1;
    const auto entries = BuildAnswerEntries(
        options, fields, 2049, {"0000001250", std::string("\x00\x0F", 2), "extra"}, "Paper out");
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_FALSE(entries[0].Visible);
    EXPECT_FALSE(entries[2].Visible);
    EXPECT_EQ(entries[1].Label, "Return code");
    EXPECT_EQ(entries[1].Value, "2049");
    EXPECT_EQ(entries[1].Hint, "(0801) Paper out");
    EXPECT_EQ(entries[3].Label, "Total");
    EXPECT_EQ(entries[3].Value, "00000012.50");
    EXPECT_EQ(entries[4].Label, "Flags");
    EXPECT_EQ(entries[4].Value, "0F");
    EXPECT_EQ(entries[5].Label, "Field5");
    EXPECT_EQ(entries[5].Value, "extra");
    EXPECT_FALSE(entries[5].Named);
    EXPECT_TRUE(entries[3].Named);
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(entries[static_cast<std::size_t>(p)].Position, p);

    options.ExtReservedFields = true;
    const auto shown = BuildAnswerEntries(options, fields, 7, {}, "");
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[0].Visible);
    EXPECT_EQ(shown[0].Label, "Reserved");
    EXPECT_EQ(shown[0].Value, "");
    EXPECT_EQ(shown[1].Hint, "(0007) "); // no description: nothing after ") "
    EXPECT_EQ(shown[2].Label, "Reserved");
}

TEST(BuildAnswerEntries, CompatibilityProtocolNamesEveryPositionFromTheFirstField)
{
    const std::vector<TAnswerFieldDef> fields{Answer("A"), Answer("B")};
    const auto entries = BuildAnswerEntries(AnswerDisplayOptions{}, fields, 0, {"x", "y"}, "");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].Label, "A");
    EXPECT_EQ(entries[0].Value, "");
    EXPECT_EQ(entries[1].Label, "B");
    EXPECT_EQ(entries[1].Value, "0");
    EXPECT_EQ(entries[1].Hint, "");
    EXPECT_EQ(entries[2].Label, "Field2");
    EXPECT_EQ(entries[3].Label, "Field3");
    EXPECT_EQ(entries[3].Value, "x");
    EXPECT_FALSE(entries[3].Named);
    EXPECT_EQ(entries[4].Label, "Field4");
    for (const auto& entry : entries)
        EXPECT_TRUE(entry.Visible);
}

TEST(BuildAnswerEntries, NoCommandSentShowsTheLeadingEntriesOnly)
{
    AnswerDisplayOptions options;
    options.Protocol = 1;
    const auto entries = BuildAnswerEntries(options, TCommandDefinition{}, 0, {}, "");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].Label, "Return code");
    EXPECT_EQ(entries[1].Value, "0");
}

TEST(BuildAnswerEntries, EveryValueIsKeptBeyondSeventyEntries)
{
    TCommandDefinition definition;
    definition.AnswerCount = 500; // hand-written nonsense: only the 70 held fields count
    std::vector<std::string> extra(100, "v");
    AnswerDisplayOptions options;
    options.Protocol = 1;
    const auto entries = BuildAnswerEntries(options, definition, 0, extra, "");
    ASSERT_EQ(entries.size(), 103u);
    EXPECT_TRUE(entries[72].Named);  // answer field 69
    EXPECT_FALSE(entries[73].Named); // no 71st answer field
    EXPECT_EQ(entries[102].Label, "Field102");
    EXPECT_EQ(entries[102].Value, "v");
}

TEST(FormatAnswerValue, EachTypeIsShownInItsFormat)
{
    AnswerDisplayOptions options;
    options.InputDateFormat = 0;
    options.OutputDateFormat = 7;
    options.CurrentYear = 2026;
    EXPECT_EQ(FormatAnswerValue(Answer("", ftdDecimal), "\x01\x02", options), "258");
    EXPECT_EQ(FormatAnswerValue(Answer("", ftdBinary), "\x05", options), "00000101");
    EXPECT_EQ(FormatAnswerValue(Answer("", TextTypeDate), "311299", options), "1999/12/31");
    EXPECT_EQ(FormatAnswerValue(Answer("", TextTypeDate), "99999", options), "99999");
    EXPECT_EQ(FormatAnswerValue(Answer("", TextTypeTime), "093015", options), "09:30:15");
    EXPECT_EQ(FormatAnswerValue(Answer("", ftdNumerical), "0042", options), "0042");
    EXPECT_EQ(FormatAnswerValue(Answer("", 42), "raw", options), "raw");
}

TEST(AnswerGrid, ColumnsShareTheClientWidth)
{
    const auto layout = LayoutAnswerGrid(700); // 4 columns
    EXPECT_EQ(layout.Columns, 4);
    EXPECT_EQ(layout.ColumnWidth, (700 - 640 - 30) / 4 + 150);
    const auto fifth = AnswerCell(layout, 4, 300);
    EXPECT_EQ(fifth.Left, 20);
    EXPECT_EQ(fifth.LabelTop, 300 + 10 + 55);
    EXPECT_EQ(fifth.EditTop, fifth.LabelTop + 18);
    EXPECT_EQ(AnswerCell(layout, 1, 0).Left, 20 + layout.ColumnWidth + 10);
    EXPECT_EQ(LayoutAnswerGrid(50).Columns, 1);
}

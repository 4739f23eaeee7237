// The record dialogs' rules: which box is enabled, what it shows and takes, when OK is allowed.

#include "core/fieldrecord.h"

#include "core/fieldedit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tallyhost;

namespace {

struct BoxExpect
{
    bool Enabled;
    const char* Text;
};

// One row of the text-type rule: the state after choosing a text type and a control type.
struct RuleRow
{
    int TextType;
    int ControlType;
    bool ComboOn;
    bool DefaultOn;
    int DefaultLimit;
    BoxExpect Max;
    BoxExpect Min;
    BoxExpect Decimals;
    bool TextTypeOn;
    int ShownTextType;
};

constexpr int Simple = ctSimple, Drop = ctDropDown, List = ctDropDownList;

const RuleRow kRuleTable[] = {
    {ftdAlphaNumeric, Simple, false, true, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 0},
    {ftdAlpha, Drop, true, false, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 1},
    {ftdNumerical, List, true, false, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 3},
    {ftdCurrency, Simple, false, true, 0, {true, "0"}, {true, "0"}, {true, "0"}, true, 2},
    {ftdCurrency, Drop, true, false, 0, {true, "0"}, {true, "0"}, {true, "0"}, true, 2},
    {ftdDecimal, Simple, false, true, 0, {true, "0"}, {true, "0"}, {false, "0"}, true, 4},
    {ftdDecimal, List, true, false, 0, {true, "0"}, {true, "0"}, {false, "0"}, true, 4},
    {ftdHexadecimal, Simple, false, true, 0, {true, "0"}, {true, "0"}, {false, "0"}, true, 5},
    {ftdHexadecimal, Drop, true, false, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 5},
    {ftdBinary, Simple, false, true, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 6},
    {ftdBinary, List, true, false, 0, {true, "0"}, {false, "0"}, {false, "0"}, true, 6},
    {ftdBool, Simple, false, true, 1, {false, ""}, {false, "0"}, {false, "0"}, true, 7},
    {ftdBool, Drop, true, false, 1, {false, ""}, {false, "0"}, {false, "0"}, true, 7},
    {TextTypeDate, Simple, false, true, 10, {false, "10"}, {false, "0"}, {false, "0"}, true, 8},
    {TextTypeTime, Drop, true, false, 10, {false, "10"}, {false, "0"}, {false, "0"}, true, 9},
    // The Date and Time controls force their text type, whatever was chosen before.
    {ftdCurrency, ctDate, false, false, 0, {false, "10"}, {false, "0"}, {false, "0"}, false, 8},
    {TextTypeDate, ctTime, false, false, 0, {false, "10"}, {false, "0"}, {false, "0"}, false, 9},
};

void expectBox(const TCommandRecordModel& m, TCommandBox box, BoxExpect e, const std::string& row)
{
    EXPECT_EQ(m.Box(box).Enabled, e.Enabled) << row << " " << CommandBoxName(box);
    EXPECT_EQ(m.Box(box).Text, e.Text) << row << " " << CommandBoxName(box);
}

} // namespace

TEST(CommandRecordRules, TextTypeAndControlTypeRuleTable)
{
    for (const RuleRow& r : kRuleTable) {
        const std::string row =
            "type " + std::to_string(r.TextType) + " control " + std::to_string(r.ControlType);
        TCommandRecordModel m = TCommandRecordModel::ForAdd(true);
        // What the operator typed before choosing is discarded by the rule.
        m.SetControlType(ctDropDown);
        m.SetComboLines({"left", "over"});
        m.SetControlType(ctSimple);
        m.SetText(TCommandBox::DefaultText, "1");
        m.SetText(TCommandBox::MaxLength, "99");
        if (r.ControlType == ctDate || r.ControlType == ctTime)
            m.SetTextType(r.TextType);
        m.SetControlType(r.ControlType);
        if (r.ControlType != ctDate && r.ControlType != ctTime)
            m.SetTextType(r.TextType);

        EXPECT_EQ(m.ComboLinesEnabled(), r.ComboOn) << row;
        EXPECT_TRUE(m.ComboLines().empty()) << row;
        EXPECT_EQ(m.Box(TCommandBox::DefaultText).Enabled, r.DefaultOn) << row;
        EXPECT_EQ(m.Box(TCommandBox::DefaultText).Text, "") << row;
        EXPECT_EQ(m.Box(TCommandBox::DefaultText).MaxLength, r.DefaultLimit) << row;
        expectBox(m, TCommandBox::MaxLength, r.Max, row);
        expectBox(m, TCommandBox::MinLength, r.Min, row);
        expectBox(m, TCommandBox::DecimalDigits, r.Decimals, row);
        EXPECT_EQ(m.TextTypeEnabled(), r.TextTypeOn) << row;
        EXPECT_EQ(m.TextType(), r.ShownTextType) << row;
    }
}

TEST(CommandRecordRules, AddModeWaitsForACaptionAndEnabledNumbersMustNotBeEmpty)
{
    TCommandRecordModel m = TCommandRecordModel::ForAdd(false);
    EXPECT_EQ(m.WindowCaption(), "Add new field");
    EXPECT_FALSE(m.ModeEnabled());
    EXPECT_FALSE(m.NotesEnabled());
    EXPECT_FALSE(m.OkEnabled());
    EXPECT_EQ(m.OkRefusal().Box, "caption");
    m.SetText(TCommandBox::Caption, "Amount");
    EXPECT_TRUE(m.OkEnabled());
    m.SetText(TCommandBox::MaxLength, "");
    EXPECT_FALSE(m.OkEnabled());
    EXPECT_EQ(m.OkRefusal().Box, "max");
    // Boolean: max length disabled and empty, OK allowed.
    m.SetTextType(ftdBool);
    EXPECT_TRUE(m.OkEnabled());

    // Switching back from the Date control keeps the Date text type but unlocks it.
    m.SetControlType(ctDate);
    EXPECT_EQ(m.TextType(), TextTypeDate);
    m.SetControlType(ctSimple);
    EXPECT_TRUE(m.TextTypeEnabled());
    EXPECT_EQ(m.TextType(), TextTypeDate);
    EXPECT_EQ(m.Box(TCommandBox::DefaultText).MaxLength, DateTimeTextLimit);
}

TEST(CommandRecordRules, BoxesFilterAndLimitWhatTheyTake)
{
    TCommandRecordModel m = TCommandRecordModel::ForAdd(true);
    m.SetText(TCommandBox::Caption, std::string(40, 'x'));
    EXPECT_EQ(m.Box(TCommandBox::Caption).Text, std::string(35, 'x'));
    EXPECT_EQ(m.Refusal(TCommandBox::Caption, std::string(36, 'x')), "at most 35 characters");
    // The file would store a line break as a blank.
    EXPECT_FALSE(m.Refusal(TCommandBox::Hint, "two\nlines").empty());
    EXPECT_FALSE(LineBreakRefusal("a\rb").empty());
    EXPECT_TRUE(LineBreakRefusal("a b").empty());

    m.SetTextType(ftdBool);
    m.SetText(TCommandBox::DefaultText, "y");
    EXPECT_EQ(m.Box(TCommandBox::DefaultText).Text, "y");
    m.SetText(TCommandBox::DefaultText, "T");
    EXPECT_EQ(m.Box(TCommandBox::DefaultText).Text, "");
    EXPECT_FALSE(m.Refusal(TCommandBox::DefaultText, "T").empty());
    EXPECT_EQ(m.Refusal(TCommandBox::DefaultText, "YN"), "at most 1 character");
    // A disabled box takes only what it already shows.
    EXPECT_TRUE(m.Refusal(TCommandBox::MaxLength, "").empty());
    EXPECT_FALSE(m.Refusal(TCommandBox::MaxLength, "5").empty());
    m.SetText(TCommandBox::MaxLength, "5");
    EXPECT_EQ(m.Box(TCommandBox::MaxLength).Text, "");

    m.SetTextType(ftdCurrency);
    m.SetText(TCommandBox::DecimalDigits, "2a");
    EXPECT_EQ(m.Box(TCommandBox::DecimalDigits).Text, "");
    m.SetText(TCommandBox::DefaultText, "1,2.3");
    EXPECT_EQ(m.Box(TCommandBox::DefaultText).Text, "1,2.3");
}

namespace {

TCommandRow storedRow(const char* number, const char* textType, const char* controlType)
{
    return {number, "Fiscal", "Cap", "Hint", textType, "1A", controlType,
            "12",   "Yes",    "No",  "3",    "2",      "Yes"};
}

struct OpeningRow
{
    const char* TextType;
    const char* ControlType;
    const char* DefaultText;
    bool DefaultOn;
    BoxExpect Max;
    BoxExpect Min;
    BoxExpect Decimals;
    bool ComboOn;
};

// Stored: default "1A", max 12, min 3, decimals 2.
const OpeningRow kOpeningTable[] = {
    {"AlphaNumeric", "Simple", "1A", true, {true, "12"}, {false, "0"}, {false, "0"}, false},
    {"Alpha", "DropDown", "", false, {true, "12"}, {false, "0"}, {false, "0"}, true},
    {"Currency", "Simple", "", true, {true, "12"}, {true, "3"}, {true, "2"}, false},
    {"Numeric", "Simple", "", true, {true, "12"}, {false, "3"}, {false, "2"}, false},
    {"Decimal", "DropDownList", "", false, {true, "12"}, {true, "3"}, {false, "2"}, true},
    {"Hexa", "Simple", "1A", true, {true, "12"}, {true, "3"}, {false, "0"}, false},
    {"Hexa", "DropDownList", "", false, {true, "12"}, {true, "3"}, {false, "0"}, true},
    {"Binary", "Simple", "", true, {true, "12"}, {true, "3"}, {false, "0"}, false},
    {"Boolean", "Simple", "", true, {false, "0"}, {false, "0"}, {false, "0"}, false},
    {"Boolean", "DropDown", "", false, {false, ""}, {false, "0"}, {false, "0"}, true},
    {"Date", "Simple", "1A", true, {false, "10"}, {false, "0"}, {false, "0"}, false},
    {"Time", "Date", "", false, {false, "10"}, {false, "0"}, {false, "0"}, false},
    // A pair no rule makes: the boxes as the form declares them.
    {"Numeric", "Time", "", true, {true, "0"}, {true, "0"}, {true, "0"}, false},
};

} // namespace

TEST(CommandRecordRules, ModifyOpensWithStoredValuesByTheOpeningTable)
{
    for (const OpeningRow& r : kOpeningTable) {
        const std::string row = std::string(r.TextType) + "/" + r.ControlType;
        const TCommandRecordModel m = TCommandRecordModel::ForModify(
            storedRow("2", r.TextType, r.ControlType), {"a", "b"}, {});
        EXPECT_EQ(m.Box(TCommandBox::DefaultText).Text, r.DefaultText) << row;
        EXPECT_EQ(m.Box(TCommandBox::DefaultText).Enabled, r.DefaultOn) << row;
        expectBox(m, TCommandBox::MaxLength, r.Max, row);
        expectBox(m, TCommandBox::MinLength, r.Min, row);
        expectBox(m, TCommandBox::DecimalDigits, r.Decimals, row);
        EXPECT_EQ(m.ComboLinesEnabled(), r.ComboOn) << row;
        EXPECT_TRUE(m.OkEnabled()) << row;
    }
    // Field 2: mode shown but locked, as are the notes; the checks come from the cells.
    const TCommandRecordModel two =
        TCommandRecordModel::ForModify(storedRow("2", "Currency", "Simple"), {}, {"n"});
    EXPECT_EQ(two.WindowCaption(), "Edit field number 2");
    EXPECT_EQ(two.Mode(), cmFiscal);
    EXPECT_FALSE(two.ModeEnabled());
    EXPECT_FALSE(two.NotesEnabled());
    EXPECT_TRUE(two.Required() && !two.ReadOnly() && two.AutoIncrement());
    const TCommandRecordModel one =
        TCommandRecordModel::ForModify(storedRow("1", "Time", "Time"), {}, {"n"});
    EXPECT_TRUE(one.ModeEnabled());
    EXPECT_TRUE(one.NotesEnabled());
    EXPECT_EQ(one.TextType(), TextTypeTime);
    EXPECT_FALSE(one.TextTypeEnabled());

    // Opening and accepting changes nothing the grid shows.
    TCommandRecordModel currency =
        TCommandRecordModel::ForModify(storedRow("2", "Currency", "Simple"), {}, {});
    const TCommandRecord rec = currency.Record();
    EXPECT_EQ(rec.MaxLength, "12");
    EXPECT_EQ(rec.MinLength, "3");
    EXPECT_EQ(rec.DecimalDigits, "2");
    // Changing the type anew resets the lengths.
    currency.SetTextType(ftdDecimal);
    EXPECT_EQ(currency.Box(TCommandBox::MaxLength).Text, "0");
    EXPECT_EQ(currency.Box(TCommandBox::MinLength).Text, "0");
    EXPECT_FALSE(currency.Box(TCommandBox::DecimalDigits).Enabled);
}

TEST(AnswerRecordRules, DecimalsBelongToCurrencyOnly)
{
    TAnswerRecordModel add = TAnswerRecordModel::ForAdd();
    EXPECT_EQ(add.WindowCaption(), "Add new field");
    EXPECT_FALSE(add.Decimal().Enabled);
    EXPECT_EQ(add.Decimal().Text, "0");
    EXPECT_TRUE(add.OkEnabled());

    TAnswerRecordModel m = TAnswerRecordModel::ForModify({"3", "Total", "Currency", "2"});
    EXPECT_EQ(m.WindowCaption(), "Edit field number 3");
    EXPECT_TRUE(m.Decimal().Enabled);
    EXPECT_EQ(m.Decimal().Text, "2");
    m.SetTextType(ftdHexadecimal);
    EXPECT_FALSE(m.Decimal().Enabled);
    EXPECT_EQ(m.Decimal().Text, "0");
    m.SetTextType(ftdCurrency);
    EXPECT_TRUE(m.Decimal().Enabled);
    EXPECT_EQ(m.Decimal().Text, "0");
    m.SetDecimalText("1.5");
    EXPECT_EQ(m.Decimal().Text, "");
    EXPECT_FALSE(m.DecimalRefusal("1.5").empty());

    const TAnswerRecordModel other = TAnswerRecordModel::ForModify({"1", "N", "Numeric", "4"});
    EXPECT_FALSE(other.Decimal().Enabled);
    EXPECT_EQ(other.Decimal().Text, "0");
}

TEST(MemoLines, LinesOfAMultiLineBox)
{
    EXPECT_TRUE(MemoLines("").empty());
    EXPECT_EQ(MemoLines("\n"), (std::vector<std::string>{""}));
    EXPECT_EQ(MemoLines("a\r\nb\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(MemoLines("a\n\n"), (std::vector<std::string>{"a", ""}));
    for (const std::vector<std::string>& lines :
         {std::vector<std::string>{}, {""}, {"a", ""}, {"", "b"}, {"x y", "z"}})
        EXPECT_EQ(MemoLines(MemoText(lines)), lines);
}

// Numbers the file holds in 32-bit fields: a larger one would be read back as 0 ("no limit").
TEST(CommandRecordRules, NumberBoxesRefuseWhatTheFileCannotStore)
{
    struct Case
    {
        std::string Typed;
        bool Taken;
    };
    const Case cases[] = {{"2147483647", true},
                          {"2147483648", false},
                          {"99999999999", false},
                          {"0", true},
                          {"", true}};
    for (TCommandBox box :
         {TCommandBox::MaxLength, TCommandBox::MinLength, TCommandBox::DecimalDigits}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(CommandBoxName(box)) + " " + c.Typed);
            TCommandRecordModel m = TCommandRecordModel::ForAdd(true);
            m.SetTextType(ftdCurrency);
            m.SetText(box, "12");
            m.SetText(box, c.Typed);
            EXPECT_EQ(m.Box(box).Text, c.Taken ? c.Typed : "12");
            EXPECT_EQ(m.Refusal(box, c.Typed).empty(), c.Taken);
        }
    }
    TAnswerRecordModel answer = TAnswerRecordModel::ForAdd();
    answer.SetTextType(ftdCurrency);
    answer.SetDecimalText("3");
    answer.SetDecimalText("99999999999");
    EXPECT_EQ(answer.Decimal().Text, "3");
    EXPECT_NE(answer.DecimalRefusal("99999999999"), "");
}

// One rule for the dialog, the command-line tool and the check: the panel would cut a default
// text longer than the max length, so OK waits until the two agree, whichever came first.
TEST(CommandRecordRules, ADefaultTextLongerThanTheMaxLengthHoldsOkBack)
{
    struct Case
    {
        int TextType;
        int ControlType;
        const char* Default;
        const char* Max;
        bool Ok;
    };
    const Case cases[] = {
        {ftdNumerical, ctSimple, "6207612", "5", false},
        {ftdNumerical, ctSimple, "62076", "5", true},
        {ftdNumerical, ctSimple, "6207612", "0", true}, // 0: no limit
        {ftdAlphaNumeric, ctSimple, "abcdef", "6", true},
        {ftdAlphaNumeric, ctSimple, "abcdefg", "6", false},
        {ftdAlphaNumeric, ctDropDown, "", "1", true}, // no default text box
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Default) + " max " + c.Max);
        TCommandRecordModel m = TCommandRecordModel::ForAdd(true);
        m.SetText(TCommandBox::Caption, "C");
        m.SetTextType(c.TextType);
        m.SetControlType(c.ControlType);
        m.SetText(TCommandBox::DefaultText, c.Default);
        m.SetText(TCommandBox::MaxLength, c.Max);
        EXPECT_EQ(m.OkEnabled(), c.Ok);
        if (!c.Ok) {
            EXPECT_EQ(m.OkRefusal().Box, "default");
            EXPECT_EQ(m.OkRefusal().Reason,
                      std::string("the default text is longer than the max length ") + c.Max);
        }
        // The check reads the same rule for the stored field.
        EXPECT_EQ(ShownDefaultText(c.TextType, c.ControlType, NumberOf(c.Max), c.Default) ==
                      c.Default,
                  c.Ok);
    }
}

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/profile.h"
#include "core/strtoint.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "tests/core/test_files.h"

using namespace tallyhost;
using Items = std::vector<std::string>;

namespace {

TTerminalCache cacheOf(const std::string& text)
{
    TTerminalCache cache;
    cache.LoadFromBytes(text);
    return cache;
}

std::string field(const std::string& caption, int textType = 0, const std::string& maxLength = "25",
                  const std::string& mode = "0")
{
    return mode + ",\"" + caption + "\",\"Hint\"," + std::to_string(textType) + ",\"F0\",1," +
           maxLength + ",1,0,2,3,1";
}

std::string conversionError(const std::function<void()>& load)
{
    try {
        load();
    } catch (const ConvertError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(StrToInt, AcceptsDecimalAndHexLikeTheToolkit)
{
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("-12"), -12);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("  42"), 42);
    EXPECT_EQ(StrToInt("$FF11"), 0xFF11);
    EXPECT_EQ(StrToInt("0x0011"), 0x11);
    EXPECT_EQ(StrToInt("0XaB"), 0xAB);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad :
         {"", " ", "12 ", "1.5", "0x", "$", "2147483648", "$100000000", "abc", "--1"})
        EXPECT_EQ(conversionError([&] { StrToInt(bad); }),
                  std::string("'") + bad + "' is not a valid integer value");
    EXPECT_EQ(StrToIntDef("x", 9), 9);
}

TEST(LoadCommandFields, ParsesTwelveItemsAFieldAndIgnoresLeftovers)
{
    // 25 items: two fields, the 25th item is ignored.
    const auto cache = cacheOf("[DailyOpen]\r\nCommands=" + field("&Date", 8, "x", "1") + "," +
                               field("Amount", 2) + ",extra\r\n");
    TCommandDefinition def;
    LoadCommandFields(cache, "dailyopen", def);
    ASSERT_EQ(def.FieldCount, 2);
    EXPECT_EQ(def.Mode, cmFiscal);
    const auto& f = def.Fields[0];
    EXPECT_EQ(f.Caption, "&Date");
    EXPECT_EQ(f.Hint, "Hint");
    EXPECT_EQ(f.TextType, TextTypeDate);
    EXPECT_EQ(f.DefaultText, "F0");
    EXPECT_EQ(f.ControlType, ctDropDown);
    EXPECT_EQ(f.MaxLength, 0); // not a number: no limit
    EXPECT_TRUE(f.Required);
    EXPECT_FALSE(f.ReadOnly);
    EXPECT_EQ(f.MinLength, 2);
    EXPECT_EQ(f.DecimalDigits, 3);
    EXPECT_TRUE(f.AutoIncrement);
    EXPECT_EQ(def.Fields[1].TextType, ftdCurrency);
    EXPECT_EQ(def.Fields[1].MaxLength, 25);
    EXPECT_TRUE(def.Fields[2].Caption.empty());
}

TEST(LoadCommandFields, UnquotedCaptionWithBlankShiftsTheValues)
{
    const auto cache = cacheOf("[S]\r\nCommands=0,Open Day,\"Hint\",0,\"\",0,0,0,0,0,0,0\r\n"
                               "[Q]\r\nCommands=0,\"Open Day\",\"Hint\",0,\"\",0,0,0,0,0,0,0\r\n");
    TCommandDefinition def;
    // "Day" lands in the hint, "Hint" in the text type, which must be an integer.
    EXPECT_EQ(conversionError([&] { LoadCommandFields(cache, "S", def); }),
              "'Hint' is not a valid integer value");
    LoadCommandFields(cache, "Q", def);
    ASSERT_EQ(def.FieldCount, 1);
    EXPECT_EQ(def.Fields[0].Caption, "Open Day");
}

TEST(LoadCommandFields, StrictItemsFailAndLeaveTheDefinitionUntouched)
{
    TCommandDefinition def;
    LoadCommandFields(cacheOf("[Good]\r\nCommands=" + field("Kept") + "\r\n"), "Good", def);
    const std::string good = field("A");
    auto withItem = [&](int index, const std::string& text) {
        auto items = good;
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= items.size(); ++i) {
            if (i == items.size() || items[i] == ',') {
                parts.push_back(items.substr(start, i - start));
                start = i + 1;
            }
        }
        parts[static_cast<std::size_t>(index)] = text;
        std::string out;
        for (const auto& p : parts)
            out += (out.empty() ? "" : ",") + p;
        return cacheOf("[S]\r\nCommands=" + out + "\r\n");
    };
    for (const int strict : {0, 3, 5, 7, 8}) {
        const auto cache = withItem(strict, "no");
        EXPECT_EQ(conversionError([&] { LoadCommandFields(cache, "S", def); }),
                  "'no' is not a valid integer value")
            << "item " << strict;
    }
    for (const int lenient : {6, 9, 10, 11}) {
        TCommandDefinition other;
        EXPECT_NO_THROW(LoadCommandFields(withItem(lenient, "no"), "S", other))
            << "item " << lenient;
    }
    ASSERT_EQ(def.FieldCount, 1);
    EXPECT_EQ(def.Fields[0].Caption, "Kept");
}

TEST(LoadCommandFields, MissingKeyClearsAndMoreThanSeventyFieldsAreCut)
{
    std::string commands;
    for (int i = 0; i < 75; ++i)
        commands += (i ? "," : "") + field("F" + std::to_string(i), 0, "1", "1");
    commands += ",x,\"bad\",\"\",not a number";
    const auto cache = cacheOf("[Big]\r\nCommands=" + commands + "\r\n[Empty]\r\nCommands=\r\n");
    TCommandDefinition def;
    LoadCommandFields(cache, "Big", def);
    EXPECT_EQ(def.FieldCount, MaxFields);
    EXPECT_EQ(def.Fields[69].Caption, "F69");
    EXPECT_EQ(def.Mode, cmFiscal);
    // A command without fields is a host command; nothing of the previous one remains.
    LoadCommandFields(cache, "Empty", def);
    EXPECT_EQ(def.FieldCount, 0);
    EXPECT_EQ(def.Mode, cmHost);
    EXPECT_TRUE(def.Fields[0].Caption.empty());
    LoadCommandFields(cache, "Missing", def);
    EXPECT_EQ(def.FieldCount, 0);
}

TEST(LoadAnswerFields, ThreeItemsAField)
{
    std::string answers = "\"A\",0,0";
    for (int i = 1; i < 80; ++i)
        answers += ",\"A\",0,0";
    const auto cache = cacheOf(
        "[S]\r\nAnswers=\"Total\",2,2,\"Date\",8,x,\"Odd\"\r\n[Many]\r\nAnswers=" + answers +
        "\r\n[Bad]\r\nAnswers=\"T\",two,0\r\n");
    TCommandDefinition def;
    LoadAnswerFields(cache, "S", def);
    ASSERT_EQ(def.AnswerCount, 2);
    EXPECT_EQ(def.Answers[0].Caption, "Total");
    EXPECT_EQ(def.Answers[0].TextType, ftdCurrency);
    EXPECT_EQ(def.Answers[0].DecimalDigits, 2);
    EXPECT_EQ(def.Answers[1].TextType, TextTypeDate);
    EXPECT_EQ(def.Answers[1].DecimalDigits, 0);
    LoadAnswerFields(cache, "Many", def);
    EXPECT_EQ(def.AnswerCount, MaxFields);
    EXPECT_EQ(conversionError([&] { LoadAnswerFields(cache, "Bad", def); }),
              "'two' is not a valid integer value");
    EXPECT_EQ(def.AnswerCount, MaxFields);
}

TEST(LoadStatusRecords, ParsesHexMasksPanelsAndColours)
{
    const auto cache = cacheOf("[FiscalAnswer]\r\n"
                               "Record1=1,2,FF11,0011,\"Message1\",clRed\r\n"
                               "Record2=2,5,8000,8000,\"Paper out\",$00FF00\r\n"
                               "Record3=3,0,1,1,\"no panel\",clBlue\r\n"
                               "Record4=4,71,1,1,\"too far\",clBlue\r\n"
                               "[PrinterAnswer]\r\n");
    TStatusTable table;
    LoadStatusRecords(cache, "FiscalAnswer", table);
    ASSERT_EQ(table.RecordCount, 2);
    EXPECT_EQ(table.PanelCount, 5); // panels 1, 3 and 4 stay empty
    EXPECT_EQ(table.Records[0].Panel, 2);
    EXPECT_EQ(table.Records[0].Mask, 0xFF11);
    EXPECT_EQ(table.Records[0].Result, 0x0011);
    EXPECT_EQ(table.Records[0].Text, "Message1");
    EXPECT_EQ(table.Records[0].Color, 0x0000FF);
    EXPECT_EQ(table.Records[1].Color, 0x00FF00);
    LoadStatusRecords(cache, "PrinterAnswer", table);
    EXPECT_EQ(table.RecordCount, 0);
    EXPECT_EQ(table.PanelCount, 0);
}

TEST(LoadStatusRecords, BadRecordsFailAndLongSectionsAreCut)
{
    std::string many = "[S]\r\n";
    for (int i = 1; i <= 75; ++i)
        many += "Record" + std::to_string(i) + "=" + std::to_string(i) + ",1,1,1,\"t" +
                std::to_string(i) + "\",clRed\r\n";
    many += "Record76=76,x,1,1,\"\",clRed\r\n";
    TStatusTable table;
    LoadStatusRecords(cacheOf(many), "S", table);
    EXPECT_EQ(table.RecordCount, MaxFields);
    EXPECT_EQ(table.Records[69].Text, "t70");

    const auto bad = cacheOf("[Panel]\r\nRecord1=1,one,1,1,\"t\",clRed\r\n"
                             "[Mask]\r\nRecord1=1,1,XYZ,1,\"t\",clRed\r\n"
                             "[Colour]\r\nRecord1=1,1,1,1,\"t\",clRedish\r\n"
                             "[Short]\r\nRecord1=1,1\r\n");
    EXPECT_EQ(conversionError([&] { LoadStatusRecords(bad, "Panel", table); }),
              "'one' is not a valid integer value");
    EXPECT_EQ(conversionError([&] { LoadStatusRecords(bad, "Mask", table); }),
              "'0xXYZ' is not a valid integer value");
    EXPECT_EQ(conversionError([&] { LoadStatusRecords(bad, "Colour", table); }),
              "'clRedish' is not a valid integer value");
    EXPECT_EQ(conversionError([&] { LoadStatusRecords(bad, "Short", table); }),
              "'0x' is not a valid integer value");
    EXPECT_EQ(table.RecordCount, MaxFields); // untouched by the failed loads
}

TEST(LoadLists, ComboItemsNotesAndReturnCodes)
{
    const auto cache =
        cacheOf("[C]\r\nCL1=\"A,B C\"\r\nCL2=\"A,\"B C\"\"\r\nCL3=\r\nCL4=\"\"\"\"\r\n"
                "Notes=\"First line,\"second line\"\"\r\n"
                "[Return codes]\r\nRC0=OK\r\nRC12=Paper out\r\n");
    EXPECT_EQ(LoadComboItems(cache, "C", 1), (Items{"A", "B", "C"}));
    EXPECT_EQ(LoadComboItems(cache, "C", 2), (Items{"A", "B C"}));
    EXPECT_EQ(LoadComboItems(cache, "C", 3), Items{});
    EXPECT_EQ(LoadComboItems(cache, "C", 4), Items{""});
    EXPECT_EQ(LoadComboItems(cache, "C", 9), Items{});
    EXPECT_EQ(LoadNotes(cache, "C"), (Items{"First", "line", "second line"}));
    EXPECT_EQ(LoadNotes(cache, "Missing"), Items{});
    EXPECT_EQ(ReturnCodeText(cache, "12"), "Paper out");
    EXPECT_EQ(ReturnCodeText(cache, "13"), "");
}

TEST(SectionNames, ConcatenationAndReservedNames)
{
    EXPECT_EQ(CommandSectionName("AB", "C"), CommandSectionName("A", "BC"));
    EXPECT_EQ(CommandSectionName("Daily", "Open"), "DailyOpen");
    for (const char* reserved : {"General", "general", "Return code", "RETURN CODES",
                                 "FiscalAnswer", "printeranswer", "Groups"})
        EXPECT_FALSE(IsFreeSectionName(reserved)) << reserved;
    for (const char* free : {"Daily", "Group", "General1", "Gro ups", ""})
        EXPECT_TRUE(IsFreeSectionName(free)) << free;
}

TEST(CopyCommandSection, KeepsListsAndQuotesExactlyInOneWrite)
{
    tallyhost::testing::TempDir dir;
    const std::string path = dir.file("t.thf");
    const std::string longCaption(9000, 'c');
    const std::string commands = "0,\"" + longCaption + "\",\"H\",0,\"\",1,0,0,0,0,0,0";
    tallyhost::testing::writeBytes(path, "[DailyOpen]\r\nCommands=" + commands +
                                             "\r\n"
                                             "Answers=\"Total\",2,2\r\n"
                                             "CL1=\"A,\"B C\"\"\r\n"
                                             "Notes=\"n1,n2\"\r\n"
                                             "[WeeklyOpen]\r\nCL5=\"kept\"\r\nCL1=old\r\n");
    TExtIniFile ini(path);
    CopyCommandSection(ini, "DailyOpen", "WeeklyOpen");
    CopyCommandSection(ini, "DailyOpen", "MonthlyOpen");
    const auto cache = cacheOf(tallyhost::testing::readBytes(path));
    for (const char* copy : {"WeeklyOpen", "MonthlyOpen"}) {
        for (const char* key : {"Commands", "Answers", "CL1", "Notes"})
            EXPECT_EQ(cache.ReadString(copy, key), cache.ReadString("DailyOpen", key))
                << copy << " " << key;
    }
    EXPECT_EQ(cache.ReadString("WeeklyOpen", "CL5"), "\"kept\"");
    EXPECT_EQ(cache.ReadSection("WeeklyOpen"),
              (Items{"CL5", "CL1", "Commands", "Answers", "Notes"}));
    TCommandDefinition def;
    LoadCommandFields(cache, "MonthlyOpen", def);
    EXPECT_EQ(def.Fields[0].Caption, longCaption);
}

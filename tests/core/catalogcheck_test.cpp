#include <random>

#include <gtest/gtest.h>

#include "core/catalogcheck.h"
#include "core/colors.h"
#include "core/errors.h"
#include "core/fieldedit.h"
#include "core/profile.h"
#include "core/returncodeedit.h"
#include "core/statusedit.h"
#include "core/template.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "tests/core/test_files.h"

using namespace tallyhost;
using tallyhost::testing::readBytes;
using tallyhost::testing::TempDir;
using tallyhost::testing::writeBytes;

namespace {

constexpr auto E = TCheckSeverity::Error;
constexpr auto W = TCheckSeverity::Warning;

const std::string kGeneral =
    "[General]\r\nProtocol=1\r\nInputDateFormat=0\r\nOutputDateFormat=0\r\n";

// Lines joined with CR LF, so that a test reads like the file and its line numbers count.
std::string lines(std::initializer_list<std::string_view> list)
{
    std::string out;
    for (const auto l : list) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string describe(const std::vector<TCheckFinding>& findings)
{
    std::string out;
    for (const auto& f : findings)
        out += std::to_string(f.Line) + " [" + f.Section + "] " + f.Key + " " +
               std::string(SeverityName(f.Severity)) + ": " + f.Message + "\n";
    return out;
}

// The findings must be exactly these (line, section, key, severity, part of the message).
struct Expected
{
    int Line;
    std::string Section;
    std::string Key;
    TCheckSeverity Severity;
    std::string Text;
};

void expectFindings(const std::string& bytes, const std::vector<Expected>& expected)
{
    const auto found = CheckTerminalBytes(bytes);
    ASSERT_EQ(found.size(), expected.size()) << describe(found);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const auto& f = found[i];
        const auto& e = expected[i];
        EXPECT_EQ(f.Line, e.Line) << describe(found);
        EXPECT_EQ(f.Section, e.Section) << describe(found);
        EXPECT_EQ(f.Key, e.Key) << describe(found);
        EXPECT_EQ(f.Severity, e.Severity) << describe(found);
        EXPECT_NE(f.Message.find(e.Text), std::string::npos) << describe(found);
    }
}

} // namespace

TEST(CatalogueCheck, StructureOfSectionsAndKeys)
{
    expectFindings(lines({
                       "stray=before any section", // 1
                       "[General]",                // 2
                       "Protocol=1",               // 3
                       "InputDateFormat=0",        // 4
                       "[Groups]",                 // 5
                       "Daily=",                   // 6
                       "Weekly=",                  // 7
                       "daily=again",              // 8
                       "[broken",                  // 9
                       "just words",               // 10
                       "=no name",                 // 11
                       "[Daily]",                  // 12
                       "Open=",                    // 13
                       "Close=",                   // 14
                       "[DailyOpen]",              // 15
                       "Commands=",                // 16
                       "[General]",                // 17
                       "Protocol=0",               // 18
                       " [DailyX] ",               // 19
                   }),
                   {
                       {1, "", "stray", W, "before the first section"},
                       {2, "General", "OutputDateFormat", W, "missing: read as 0"},
                       {7, "Groups", "Weekly", W, "group without its section [Weekly]"},
                       {8, "Groups", "daily", W, "appears again (first at line 6)"},
                       {9, "Groups", "", W, "heading without \"]\""},
                       {10, "Groups", "", W, "without \"=\""},
                       {11, "Groups", "", W, "without a key name"},
                       {14, "Daily", "Close", W, "command without its section [DailyClose]"},
                       {17, "General", "", W, "appears again (first at line 2)"},
                       {19, "DailyX", "", W, "terminal window does not find this section"},
                   });
    expectFindings("; only a comment\r\n", {{0, "General", "", W, "no [General] section"}});
}

TEST(CatalogueCheck, SectionsThatCollide)
{
    expectFindings(kGeneral + lines({
                                  "[Groups]",   // 5
                                  "AB=",        // 6
                                  "A=",         // 7
                                  "General=",   // 8
                                  "ABC=",       // 9
                                  "[AB]",       // 10
                                  "C=",         // 11
                                  "[A]",        // 12
                                  "BC=",        // 13
                                  "[ABC]",      // 14
                                  "Commands=",  // 15
                                  "[Fiscal]",   // 16
                                  "[GeneralX]", // 17
                              }),
                   {
                       {8, "Groups", "General", E, "may not be called [General]"},
                       {9, "Groups", "ABC", E, "is also the section of command 'C' of group 'AB'"},
                       {13, "A", "BC", E, "is also the section of command 'C' of group 'AB'"},
                   });
    // A command whose section is a fixed one.
    expectFindings(kGeneral +
                       lines({"[Groups]", "Fiscal=", "[Fiscal]", "Answer=", "[FiscalAnswer]"}),
                   {{8, "Fiscal", "Answer", E, "is a fixed section"}});
}

TEST(CatalogueCheck, GeneralSettingsOutsideTheirTables)
{
    expectFindings(lines({"[General]", "Protocol=2", "InputDateFormat=x", "OutputDateFormat=8"}),
                   {
                       {2, "General", "Protocol", E, "2 is not 0 (compatibility) or 1"},
                       {3, "General", "InputDateFormat", W, "'x' is not a number: read as 0"},
                       {4, "General", "OutputDateFormat", E, "8 is not a date format 0 to 7"},
                   });
}

namespace {

// A catalogue with one command whose section holds `body` (from line 10 on).
std::string command(std::initializer_list<std::string_view> body)
{
    return kGeneral + lines({"[Groups]", "G=", "[G]", "C=", "[GC]"}) + lines(body);
}

// One command field of twelve values.
std::string field(std::string_view mode, std::string_view type, std::string_view text,
                  std::string_view control, std::string_view max, std::string_view min = "0",
                  std::string_view required = "0")
{
    return std::string(mode) + ",\"Cap\",\"Hint\"," + std::string(type) + ",\"" +
           std::string(text) + "\"," + std::string(control) + "," + std::string(max) + "," +
           std::string(required) + ",0," + std::string(min) + ",0,0";
}

} // namespace

TEST(CatalogueCheck, CommandFieldValuesAndCodes)
{
    const std::string commands = "Commands=" + field("3", "x", "", "0", "5") + "," +
                                 field("0", "12", "", "7", "abc") + "," +
                                 field("0", "3", "", "0", "4", "6", "y") + ",9";
    expectFindings(command({commands, "Answers=\"Total\",2,2,\"Bad\",z,0,\"Far\",10,q,\"x\""}),
                   {
                       {10, "GC", "Commands", E, "37 values, not a multiple of 12"},
                       {10, "GC", "Commands", E, "field 1: mode 3 is not 0 (Host) or 1"},
                       {10, "GC", "Commands", E, "field 1 text type: 'x' is not a valid integer"},
                       {10, "GC", "Commands", E, "field 2: text type 12 is not 0 to 9"},
                       {10, "GC", "Commands", E, "field 2: control type 7 is not 0 to 4"},
                       {10, "GC", "Commands", W, "field 2 max length: 'abc' is not a number"},
                       {10, "GC", "Commands", E, "field 3 required: 'y' is not a valid integer"},
                       {10, "GC", "Commands", W, "field 3: min length 6 is above max length 4"},
                       {11, "GC", "Answers", E, "10 values, not a multiple of 3"},
                       {11, "GC", "Answers", E, "answer field 2 text type: 'z' is not a valid"},
                       {11, "GC", "Answers", E, "answer field 3: text type 10 is not 0 to 9"},
                       {11, "GC", "Answers", W, "answer field 3 decimal digits: 'q'"},
                   });
}

TEST(CatalogueCheck, DefaultTextsTheInputBoxWouldRefuse)
{
    // The box cuts the default to the max length, then empties it when the filter refuses it.
    const std::string commands =
        "Commands=" + field("0", "3", "12a", "0", "0") + "," +
        field("0", "0", "too long", "0", "3") + "," + field("0", "7", "SN", "0", "0") + "," +
        field("0", "5", "1A2B", "0", "4") + "," + field("0", "8", "", "0", "10") + "," +
        field("0", "3", "12a", "0", "2") + "," + field("0", "8", "01012024", "0", "6");
    const std::string box = "the box shows ";
    expectFindings(
        command({commands}),
        {
            {10, "GC", "Commands", E, "field 1: default text '12a' is refused by the Numeric"},
            {10, "GC", "Commands", E,
             "field 2: default text 'too long' is longer than the max "
             "length 3 (" +
                 box + "'too')"},
            {10, "GC", "Commands", E,
             "field 3: default text 'SN' is longer than the max "
             "length 1 (" +
                 box + "'S')"},
            {10, "GC", "Commands", E,
             "field 6: default text '12a' is longer than the max "
             "length 2 (" +
                 box + "'12')"},
            {10, "GC", "Commands", E,
             "field 7: default text '01012024' is longer than the "
             "max length 6"},
        });
}

TEST(CatalogueCheck, ComboListsNotesAndFieldCount)
{
    const std::string commands = "Commands=" + field("0", "0", "", "2", "0") + "," +
                                 field("0", "0", "", "1", "0") + "," +
                                 field("0", "0", "", "0", "0");
    expectFindings(command({commands, "CL3=\"a,b\"", "CL7=\"x\"", "CL2=a,b", "Comands=oops"}),
                   {
                       {10, "GC", "Commands", E, "field 1 is a drop-down without items (CL1)"},
                       {11, "GC", "CL3", W, "which is no drop-down (control type Simple)"},
                       {12, "GC", "CL7", W, "field 7, which does not exist"},
                       {13, "GC", "CL2", E, "not between double quotes"},
                       {14, "GC", "Comands", W, "key not read by the program"},
                   });
    expectFindings(command({"Commands=", "Notes=\"\"Left over\"\""}),
                   {{11, "GC", "Notes", W, "notes on a command without fields"}});

    std::string many = "Commands=" + field("0", "0", "", "0", "0");
    for (int i = 1; i < 71; ++i)
        many += "," + field("0", "0", "", "0", "0");
    expectFindings(command({many}), {{10, "GC", "Commands", E, "71 fields"}});
    // Blanks around a key name: the window's reader does not find it.
    expectFindings(command({" Commands =" + field("0", "0", "", "0", "0")}),
                   {{10, "GC", "Commands", W, "blanks around the key name"}});
}

TEST(CatalogueCheck, StatusRecords)
{
    expectFindings(kGeneral + lines({
                                  "[FiscalAnswer]",                          // 5
                                  "Record1=1,1,FF11,0011,\"Good\",clRed",    // 6
                                  "Record2=2,0,0001,0001,\"Nowhere\",clRed", // 7
                                  "Record3=3,71,0001,0001,\"Far\",clRed",    // 8
                                  "Record4=4,x,0001,0001,\"T\",clRed",       // 9
                                  "Record5=5,1,XYZ,0001,\"T\",clRed",        // 10
                                  "Record6=6,1,0001,00G1,\"T\",clRed",       // 11
                                  "Record7=7,1,0001,0001,\"T\",clPink",      // 12
                                  "Record8=8,1,0001,0001,\"T\"",             // 13
                                  "Record9=9,1,0001,0003,\"T\",$000080FF",   // 14
                                  "[PrinterAnswer]",                         // 15
                                  "Record1=1,2,0001,0001,\"T\",clRed,extra", // 16
                              }),
                   {
                       {7, "FiscalAnswer", "Record2", E, "panel 0 is not 1 to 70"},
                       {8, "FiscalAnswer", "Record3", E, "panel 71 is not 1 to 70"},
                       {9, "FiscalAnswer", "Record4", E, "panel: 'x' is not a valid integer"},
                       {10, "FiscalAnswer", "Record5", E, "mask 'XYZ' is not hexadecimal"},
                       {11, "FiscalAnswer", "Record6", E, "result '00G1' is not hexadecimal"},
                       {12, "FiscalAnswer", "Record7", E, "unknown colour: 'clPink' is neither"},
                       {13, "FiscalAnswer", "Record8", E, "5 values: a record has 6"},
                       {14, "FiscalAnswer", "Record9", W, "bits outside the mask"},
                       {16, "PrinterAnswer", "Record1", W, "after the 6th are ignored"},
                   });
}

TEST(CatalogueCheck, ReturnCodes)
{
    expectFindings(kGeneral + lines({
                                  "[Return codes]",     // 5
                                  "RC7=Seven",          // 6
                                  "RCx=Letters",        // 7
                                  "Paper=No number",    // 8
                                  "RC007=Seven again",  // 9
                                  "rc12=Twelve",        // 10
                                  "RC012=Twelve again", // 11
                                  "RC70000=Too big",    // 12
                                  "RC0=Zero",           // 13
                              }),
                   {
                       {7, "Return codes", "RCx", E, "not RC followed by a number"},
                       {8, "Return codes", "Paper", E, "not RC followed by a number"},
                       {9, "Return codes", "RC007", E, "code 7 is defined twice (also at line 6)"},
                       {11, "Return codes", "RC012", E, "code 12 is defined twice"},
                       {12, "Return codes", "RC70000", W, "above 65535"},
                   });
    expectFindings(kGeneral + lines({"[Return codes]", "RC05=Five"}),
                   {{6, "Return codes", "RC05", W, "looks up RC5"}});
}

TEST(CatalogueCheck, DemoAndNewFilesAreClean)
{
    std::vector<TCheckFinding> findings;
    ASSERT_TRUE(CheckTerminalFile(TALLYHOST_SOURCE_DIR "/examples/demo.thf", findings));
    EXPECT_TRUE(findings.empty()) << describe(findings);
    EXPECT_TRUE(CheckTerminalBytes(DefaultTemplateText()).empty());

    // A catalogue built by the tree's edits.
    TempDir dir;
    const std::string path = dir.file("t.thf");
    writeBytes(path, std::string(DefaultTemplateText()));
    ASSERT_EQ(AddGroup(path, "Daily"), TEditResult::Done);
    ASSERT_EQ(AddCommand(path, "Daily", "Open"), TEditResult::Done);
    ASSERT_EQ(AddCommand(path, "Daily", "Close"), TEditResult::Done);
    ASSERT_TRUE(PasteCommand(path, "Daily", "Open again", "DailyOpen"));
    PasteGroupToRoot(path, "Daily");
    ASSERT_TRUE(CheckTerminalFile(path, findings));
    EXPECT_TRUE(findings.empty()) << describe(findings) << readBytes(path);
}

// The demo's lit records are read on the panels' face: each colour stands out from it at
// least as much as a mark must from its ground (3:1), none is the face itself.
TEST(CatalogueCheck, DemoRecordsCanBeSeenOnThePanels)
{
    TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(TALLYHOST_SOURCE_DIR "/examples/demo.thf"));
    int records = 0;
    for (const char* section : {"FiscalAnswer", "PrinterAnswer"}) {
        TStatusTable table;
        LoadStatusRecords(cache, section, table);
        for (int i = 0; i < table.RecordCount; ++i, ++records) {
            const TStatusRecord& r = table.Records[i];
            EXPECT_GE(ContrastRatio(ColorToRgbParts(r.Color), ColorToRgbParts(clBtnFace)), 3.0)
                << section << " " << r.Text;
        }
    }
    EXPECT_EQ(records, 28);
}

TEST(CatalogueCheck, UnreadableFiles)
{
    TempDir dir;
    std::vector<TCheckFinding> findings;
    EXPECT_FALSE(CheckTerminalFile(dir.file("missing.thf"), findings));
    EXPECT_FALSE(CheckTerminalFile(dir.path().string(), findings));
}

TEST(CatalogueCheck, CatalogueWrittenByTheEditorsIsClean)
{
    TempDir dir;
    const std::string path = dir.file("t.thf");
    writeBytes(path, std::string(DefaultTemplateText()));
    ASSERT_EQ(AddGroup(path, "Daily"), TEditResult::Done);
    ASSERT_EQ(AddCommand(path, "Daily", "Open"), TEditResult::Done);

    // Every text type with every control type the record dialog lets it have, filled in as
    // an operator would: a default text the type's filter takes, lengths, combo lines.
    const char* const samples[] = {"Abc 1", "Abc", "12.50", "123",    "45",
                                   "1F",    "101", "S",     "010124", "1200"};
    TFieldListEditor editor(path, "DailyOpen");
    for (int control = ctSimple; control <= ctTime; ++control) {
        for (int type = 0; type <= 9; ++type) {
            TCommandRecordModel m = editor.NewCommandRecord();
            m.SetTextType(type);
            m.SetControlType(control);
            if (m.TextType() != type)
                continue; // Date and Time controls force their own type
            m.SetText(TCommandBox::Caption, "Field");
            m.SetText(TCommandBox::Hint, "A hint, with a comma");
            m.SetText(TCommandBox::DefaultText, samples[type]);
            m.SetText(TCommandBox::MaxLength, "10");
            m.SetText(TCommandBox::MinLength, "2");
            m.SetText(TCommandBox::DecimalDigits, "2");
            if (m.ComboLinesEnabled())
                m.SetComboLines({"One", "Two items"});
            if (m.NotesEnabled())
                m.SetNoteLines({"A note", "Another, with \"quotes\""});
            m.SetRequired(type % 2 == 0);
            ASSERT_TRUE(m.OkEnabled()) << type << "/" << control;
            ASSERT_TRUE(editor.AddCommandField(m.Record()).Done());
        }
    }
    ASSERT_EQ(editor.CommandRows().size(), 32u);
    for (int type = 0; type <= 9; ++type) {
        TAnswerRecordModel a = editor.NewAnswerRecord();
        a.SetCaption("Value " + std::to_string(type));
        a.SetTextType(type);
        a.SetDecimalText("2");
        ASSERT_TRUE(editor.AddAnswerField(a.Record()).Done());
    }
    // Removing a drop-down field moves the combo lines of the later ones.
    ASSERT_TRUE(editor.RemoveCommandField(12).Done());
    ASSERT_TRUE(editor.RemoveAnswerField(1).Done());

    TExtIniFile ini(path);
    TStatusRecordList fiscal(ini, std::string(SectionFiscalAnswer));
    fiscal.Add({"1", "F", "1", "Fiscal day open", "clGreen"});
    fiscal.Add({"16", "FF00", "0100", "Memory, \"low\"", "$000080FF"});
    TStatusRecordList printer(ini, std::string(SectionPrinterAnswer));
    printer.Add({"2", "8", "8", "Paper out", "clRed"});
    TReturnCodeList codes(ini);
    ASSERT_EQ(codes.Add("007", "Seven"), TReturnCodeList::TResult::Done);
    ASSERT_EQ(codes.Add("65535", "Last"), TReturnCodeList::TResult::Done);
    ASSERT_EQ(codes.Add("0", "Done"), TReturnCodeList::TResult::Done);

    std::vector<TCheckFinding> findings;
    ASSERT_TRUE(CheckTerminalFile(path, findings));
    EXPECT_TRUE(findings.empty()) << describe(findings) << readBytes(path);
}

// The check reports a conversion error exactly when the terminal window's loaders would refuse
// the command (the check does not run them itself).
TEST(CatalogueCheck, ConversionErrorsAgreeWithTheWindowsLoaders)
{
    // Mostly numbers (decimal, hex, signed, quoted with a blank), now and then a text that
    // is none, so that both outcomes are common.
    const char* const numbers[] = {"0", "1", "7", "2", "$1F", "-2", "\" 3\"", "0x10"};
    const char* const texts[] = {"x", "", "0x", "1a"};
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> percent(0, 99);
    auto token = [&]() -> std::string {
        if (percent(rng) < 6)
            return texts[static_cast<std::size_t>(percent(rng)) % std::size(texts)];
        return numbers[static_cast<std::size_t>(percent(rng)) % std::size(numbers)];
    };
    std::uniform_int_distribution<int> fields(1, 3);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        std::string commands;
        for (int i = 0, n = fields(rng) * 12; i < n; ++i)
            commands += (i ? "," : "") + token();
        std::string answers;
        for (int i = 0, n = fields(rng) * 3; i < n; ++i)
            answers += (i ? "," : "") + token();
        const std::string bytes = command({"Commands=" + commands, "Answers=" + answers});

        TTerminalCache cache;
        cache.LoadFromBytes(bytes);
        TCommandDefinition definition;
        bool loaderRefuses = false;
        try {
            LoadCommandFields(cache, "GC", definition);
            LoadAnswerFields(cache, "GC", definition);
        } catch (const ConvertError&) {
            loaderRefuses = true;
        }
        bool checkRefuses = false;
        for (const auto& f : CheckTerminalBytes(bytes))
            checkRefuses =
                checkRefuses || f.Message.find("is not a valid integer value") != std::string::npos;
        EXPECT_EQ(checkRefuses, loaderRefuses) << bytes;
        refused += loaderRefuses;
    }
    // Both outcomes occurred.
    EXPECT_GT(refused, 20);
    EXPECT_LT(refused, 380);
}

// A heading with blanks inside its brackets is the profile layer's [GC] but not the window's:
// the definitions the window loads are those of the later [GC], and what it refuses there is
// an error, found at the line the window reads.
TEST(CatalogueCheck, LookAlikeSectionsAreCheckedWhereTheWindowReadsThem)
{
    expectFindings(command({}).substr(0, command({}).size() - std::string("[GC]\r\n").size()) +
                       lines({
                           "[ GC]",                                     // 9
                           "Commands=" + field("0", "0", "", "0", "5"), // 10
                           "[FiscalAnswer]",                            // 11
                           "Record1=1,1,0001,0001,\"On\",clRed",        // 12
                           "[GC]",                                      // 13
                           "Commands=" + field("z", "0", "", "0", "5"), // 14
                           "[ FiscalAnswer]",                           // 15
                           "Record1=1,1,0001,0002,\"On\",clRed",        // 16
                       }),
                   {
                       {9, "GC", "", W, "the terminal window does not find this section"},
                       {13, "GC", "", W, "the terminal window reads this one"},
                       {14, "GC", "Commands", E, "field 1 mode: 'z' is not a valid integer"},
                       {15, "FiscalAnswer", "", W, "its lines are ignored"},
                   });
}

TEST(CatalogueCheck, AnswerCaptionsThatAreEmptyOrUsedTwice)
{
    expectFindings(command({"Answers=\"Total\",0,0,\"\",0,0,\"Total\",0,0,\"Count\",3,0"}),
                   {
                       {10, "GC", "Answers", W, "answer field 1: field 3 has the caption"},
                       {10, "GC", "Answers", W, "answer field 2: the caption is empty"},
                       {10, "GC", "Answers", W, "answer field 3: field 1 has the caption"},
                   });
}

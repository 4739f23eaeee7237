#include "session/script.h"
#include "session/scriptcheck.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace tallyhost;

namespace {

TEST(ScriptParse, ReadsCasesStepsAndExpectations)
{
    const TScriptParse p = ParseScript(R"(# a comment
catalogue "../cat/demo.thf"

case "Open a receipt"
  send Sales "Open receipt" "Receipt type"=T Customer="Smith & ""Sons"""
  expect printer-status 0000
  expect fiscal-status mask 3000 = 1000
  expect lit "Fiscal receipt open"
  expect return-code 0
  expect field "Receipt number" = 00001234
  expect field Subtotal ~ ^12
  expect field Subtotal in 0.5..99.95
  expect outcome no-answer
  expect response-time < 500
  keep receipt "Receipt number"
case Items
  repeat 3 Sales "Sell item" Description=Tea
  wait 250ms
  send "Fiscal port" Status
  expect fiscal-answer contains ${receipt}
  expect fiscal-answer ~ "^0000 R"
)",
                                       "a/t.ths");
    ASSERT_TRUE(p.Refusals.empty()) << p.Refusals.front();
    const TScript& s = p.Script;
    EXPECT_EQ(s.Catalogue, "../cat/demo.thf");
    EXPECT_EQ(s.CatalogueLine, 2);
    EXPECT_EQ(CataloguePath(s), "cat/demo.thf");
    ASSERT_EQ(s.Cases.size(), 2u);
    EXPECT_EQ(s.Cases[0].Name, "Open a receipt");
    EXPECT_EQ(s.Cases[0].Line, 4);
    ASSERT_EQ(s.Cases[0].Steps.size(), 2u);
    const TScriptStep& send = s.Cases[0].Steps[0];
    EXPECT_EQ(send.Line, 5);
    EXPECT_EQ(send.Group, "Sales");
    EXPECT_EQ(send.Command, "Open receipt");
    EXPECT_EQ(send.Values,
              (std::vector<NamedValue>{{"Receipt type", "T"}, {"Customer", "Smith & \"Sons\""}}));
    ASSERT_EQ(send.Expectations.size(), 9u);
    const auto& ex = send.Expectations;
    EXPECT_EQ(ex[0].Kind, TExpectKind::PrinterStatus);
    EXPECT_EQ(ex[0].Mask, 0xFFFF);
    EXPECT_EQ(ExpectedText(ex[0]), "0000");
    EXPECT_EQ(ex[1].Kind, TExpectKind::FiscalStatus);
    EXPECT_EQ(ex[1].Mask, 0x3000);
    EXPECT_EQ(ex[1].Word, 0x1000);
    EXPECT_EQ(ExpectedText(ex[1]), "mask 3000 = 1000");
    EXPECT_EQ(ex[2].Text, "Fiscal receipt open");
    EXPECT_EQ(ex[3].ReturnCode, 0);
    EXPECT_EQ(ExpectationName(ex[4]), "field 'Receipt number'");
    EXPECT_EQ(ex[4].Text, "00001234");
    EXPECT_EQ(ex[5].Compare, TCompare::Regex);
    EXPECT_EQ(ex[6].Compare, TCompare::Range);
    EXPECT_EQ(ExpectedText(ex[6]), "0.5..99.95");
    EXPECT_EQ(ex[7].Outcome, TScriptOutcome::NoAnswer);
    EXPECT_TRUE(ex[8].Strict);
    EXPECT_EQ(ex[8].MaxMs, 500);
    EXPECT_EQ(s.Cases[0].Steps[1].Kind, TStepKind::Keep);
    EXPECT_EQ(s.Cases[0].Steps[1].Variable, "receipt");
    EXPECT_EQ(s.Cases[0].Steps[1].Field, "Receipt number");
    const auto& items = s.Cases[1].Steps;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].Repeat, 3);
    EXPECT_EQ(items[1].Kind, TStepKind::Wait);
    EXPECT_EQ(items[1].WaitMs, 250);
    EXPECT_EQ(items[2].Expectations[0].Compare, TCompare::Contains);
    EXPECT_EQ(items[2].Expectations[1].Text, "^0000 R");
}

struct Refusal
{
    const char* Script;
    const char* Expected; // the whole refusal
};

// Every refusal of the parser, each at its line. A valid head is prepended so that each row
// tests one line: the row's text starts at line 3.
constexpr const char* Head = "catalogue demo.thf\ncase A\n";

const Refusal Refusals[] = {
    {"send S C\nfrobnicate 1", "t.ths:4: unknown step 'frobnicate' (a line is: catalogue, case, "
                               "send, repeat, wait, expect or keep)"},
    {"send S \"C", "t.ths:3: a quote is never closed"},
    {"send S\n", "t.ths:3: a group and a command are needed: send GROUP COMMAND [NAME=VALUE ...]"},
    {"send S C Code", "t.ths:3: 'Code' is not NAME=VALUE"},
    {"send S C =x", "t.ths:3: '=x' is not NAME=VALUE"},
    {"send \"\" C", "t.ths:3: the group name is empty"},
    {"repeat 0 S C", "t.ths:3: repeat needs a count from 1 to 999: repeat N GROUP COMMAND ..."},
    {"repeat 1000 S C", "t.ths:3: repeat needs a count from 1 to 999: repeat N GROUP COMMAND ..."},
    {"repeat 2 S", "t.ths:3: a group and a command are needed: repeat N GROUP COMMAND "
                   "[NAME=VALUE ...]"},
    {"send S C\nwait soon", "t.ths:4: wait takes milliseconds, 0 to 3600000: wait 250"},
    {"send S C\nwait -1", "t.ths:4: wait takes milliseconds, 0 to 3600000: wait 250"},
    {"expect return-code 0\nsend S C", "t.ths:3: expect before any send in this case"},
    {"keep x F\nsend S C", "t.ths:3: keep before any send in this case"},
    {"send S C\nkeep 1x F", "t.ths:4: '1x' is not a variable name (a letter or _, then letters, "
                            "digits, _)"},
    {"send S C\nkeep x", "t.ths:4: keep takes a variable and an answer field: keep NAME FIELD"},
    {"send S C X=${nobody}", "t.ths:3: variable 'nobody' is not kept before this line"},
    {"send S C\nexpect field F = ${later}\nkeep later F",
     "t.ths:4: variable 'later' is not kept before this line"},
    {"send S C\nexpect", "t.ths:4: expect what? printer-status, fiscal-status, lit, "
                         "return-code, field, outcome, fiscal-answer or response-time"},
    {"send S C\nexpect colour red", "t.ths:4: unknown expectation 'colour' (printer-status, "
                                    "fiscal-status, lit, return-code, field, outcome, "
                                    "fiscal-answer, response-time)"},
    {"send S C\nexpect printer-status 12345",
     "t.ths:4: expect printer-status takes a word of 1 to 4 hexadecimal digits, or: mask MASK "
     "= WORD"},
    {"send S C\nexpect fiscal-status 00G0",
     "t.ths:4: expect fiscal-status takes a word of 1 to 4 hexadecimal digits, or: mask MASK "
     "= WORD"},
    {"send S C\nexpect fiscal-status mask 3000 1000",
     "t.ths:4: expect fiscal-status takes a word of 1 to 4 hexadecimal digits, or: mask MASK "
     "= WORD"},
    {"send S C\nexpect fiscal-status mask 3000 = 1001",
     "t.ths:4: expect fiscal-status: 1001 has bits outside the mask 3000, so it can never match"},
    {"send S C\nexpect lit", "t.ths:4: expect lit takes one status text: expect lit \"Paper out\""},
    {"send S C\nexpect return-code 65536",
     "t.ths:4: expect return-code takes a decimal code 0 to 65535"},
    {"send S C\nexpect return-code 0x10",
     "t.ths:4: expect return-code takes a decimal code 0 to 65535"},
    {"send S C\nexpect field F", "t.ths:4: expect field takes: FIELD = TEXT, FIELD ~ REGEX or "
                                 "FIELD in LOW..HIGH"},
    {"send S C\nexpect field F > 3", "t.ths:4: expect field takes: FIELD = TEXT, FIELD ~ REGEX "
                                     "or FIELD in LOW..HIGH"},
    {"send S C\nexpect field F ~ (",
     "t.ths:4: '(' is not a valid regular expression (missing closing parenthesis)"},
    {"send S C\nexpect field F in 3", "t.ths:4: expect field ... in takes a range of numbers: in "
                                      "1..5 or in 0.5..99.95"},
    {"send S C\nexpect field F in 5..1", "t.ths:4: expect field ... in 5..1: the range is empty"},
    {"send S C\nexpect outcome fine",
     "t.ths:4: expect outcome takes answered, nak, no-answer or write-error"},
    {"send S C\nexpect fiscal-answer has X",
     "t.ths:4: expect fiscal-answer takes: contains TEXT, or ~ REGEX"},
    {"send S C\nexpect response-time 500",
     "t.ths:4: expect response-time takes < MS or <= MS (1 to 3600000)"},
    {"send S C\nexpect response-time <= 0",
     "t.ths:4: expect response-time takes < MS or <= MS (1 to 3600000)"},
    {"send S C\ncatalogue other.thf", "t.ths:4: a second catalogue line (the first is line 1)"},
    {"send S C\ncase A\nsend S C", "t.ths:4: a second case named 'A'"},
    {"send S C\ncase", "t.ths:4: case takes one name (quote a name with blanks)"},
    {"send S C\ncase B\nwait 5", "t.ths:4: case 'B' sends nothing"},
    {"send S C\nwait 3600001", "t.ths:4: wait takes milliseconds, 0 to 3600000: wait 250"},
    {"send S C\nexpect response-time < 3600001",
     "t.ths:4: expect response-time takes < MS or <= MS (1 to 3600000)"},
    {"send S C\nexpect field F ~ \"($$\"",
     "t.ths:4: '($$' is not a valid regular expression (missing closing parenthesis)"},
    {"send S C T=Caf\u20AC", "t.ths:3: field 'T': 'Caf\u20AC' holds '\u20AC', which a frame "
                             "cannot carry (frames are Latin-1, one byte a character)"},
    {"send S C \"Gr\u00F6\u00DFe\"=Caf\u20AC",
     "t.ths:3: field 'Gr\u00F6\u00DFe': 'Caf\u20AC' holds '\u20AC', which a frame cannot carry "
     "(frames are Latin-1, one byte a character)"},
    {"send S C T=Caf\xE9", "t.ths:3: the line is not UTF-8 text (write scripts in UTF-8; \\xHH "
                           "in quotes gives any byte)"},
};

TEST(ScriptParse, TakesTheLimitsAndConvertsUtf8ToTheFramesLatin1)
{
    // A byte-order mark, the largest values each line takes, UTF-8 and escapes in quotes.
    const TScriptParse p = ParseScript("\xEF\xBB\xBF" + std::string(Head) +
                                           "repeat 999 S C T=Caf\u00E9 U=\"a\\x0Db\\x5Cx41\\x4\"\n"
                                           "expect return-code 65535\n"
                                           "expect response-time <= 3600000\n"
                                           "expect printer-status mask FFFF = FFFF\n"
                                           "wait 3600000\ncase \"Pr\u00FCfung \u20AC\"\nsend S C\n",
                                       "t.ths");
    ASSERT_EQ(p.Refusals, std::vector<std::string>{});
    const TScriptStep& send = p.Script.Cases[0].Steps[0];
    EXPECT_EQ(send.Repeat, 999);
    EXPECT_EQ(send.Values, (std::vector<NamedValue>{{"T", "Caf\xE9"}, {"U", "a\rb\\x41\\x4"}}));
    EXPECT_EQ(p.Script.Cases[1].Name, "Pr\u00FCfung \u20AC"); // names stay UTF-8
}

TEST(ScriptParse, RefusesEachBadLineWithItsLine)
{
    for (const Refusal& r : Refusals) {
        const TScriptParse p = ParseScript(std::string(Head) + r.Script, "t.ths");
        ASSERT_FALSE(p.Refusals.empty()) << r.Script;
        EXPECT_EQ(p.Refusals.front(), r.Expected) << r.Script;
    }
}

TEST(ScriptParse, RefusesScriptsWithoutCatalogueOrCases)
{
    const struct
    {
        const char* Script;
        std::vector<std::string> Expected;
    } rows[] = {
        {"case A\nsend S C\n", {"s.ths:1: the script names no catalogue (catalogue FILE.thf)"}},
        {"catalogue\ncase A\nsend S C\n",
         {"s.ths:1: catalogue takes one path: catalogue FILE.thf"}},
        {"# only\ncatalogue x.thf\n", {"s.ths:1: the script has no case"}},
        {"send S C\ncatalogue x.thf\n",
         {"s.ths:1: 'send' outside a case (begin one with: case NAME)"}},
        {"catalogue x.thf\ncase A\nsend S C\ncatalogue y.thf\n",
         {"s.ths:4: a second catalogue line (the first is line 1)"}},
        {"catalogue x.thf\ncase A\nsend S C\nwait x\ncase B\n",
         {"s.ths:4: wait takes milliseconds, 0 to 3600000: wait 250", "s.ths:5: case 'B' sends "
                                                                      "nothing"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseScript(row.Script, "s.ths").Refusals, row.Expected) << row.Script;
}

TEST(ScriptWords, SplitQuoteAndExpand)
{
    std::vector<TScriptWord> words;
    ASSERT_EQ(SplitScriptLine("  a \"b c\"=d \"\"\"\" x'41'", words), "");
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[1].Text, "b c=d");
    EXPECT_EQ(words[1].Equals, 3u);
    EXPECT_EQ(words[2].Text, "\"");
    EXPECT_EQ(words[3].Text, "x'41'");
    ASSERT_EQ(SplitScriptLine("\"a=b\"=c", words), "");
    EXPECT_EQ(words[0].Equals, 3u); // the quoted '=' is the name's

    for (const char* text : {"Tea", "Receipt type", "a\"b", "", "#x", "p=q"}) {
        ASSERT_EQ(SplitScriptLine("k " + QuoteScriptWord(text), words), "");
        ASSERT_EQ(words.size(), 2u) << text;
        EXPECT_EQ(words[1].Text, text);
    }
    // UTF-8 text stays UTF-8; a control byte (DEL too) is escaped, so the word is quoted.
    for (const std::string text : {"Kassen/Pr\u00FCfung.thf",
                                   "a\x7F"
                                   "b",
                                   "a\tb", "C:\\x41 \\x41", "\\x41"}) {
        ASSERT_EQ(SplitScriptLine("catalogue " + QuoteScriptText(text), words), "");
        ASSERT_EQ(words.size(), 2u) << text;
        EXPECT_EQ(words[1].Text, text);
    }

    const std::vector<TVariable> vars{
        {"r", "0012"}, {"r", "0013"}, {"t", "$"}, {"u", "1"}, {"u", "", false, "case 'B'"}};
    const struct
    {
        const char* Text;
        const char* Expanded;
        const char* Missing;
    } rows[] = {
        {"N${r}-${t}", "N0013-$", ""}, // the latest value kept counts
        {"$$ 5 $5 ${", "$ 5 $5 ${", ""},
        {"$${r}", "${r}", ""},
        {"a${gone}b", "", "gone"},
        {"${u}", "", "u"}, // the latest case to keep it failed before it did
    };
    for (const auto& row : rows) {
        std::string out;
        EXPECT_EQ(ExpandVariables(row.Text, vars, out), row.Missing) << row.Text;
        if (!*row.Missing) {
            EXPECT_EQ(out, row.Expanded) << row.Text;
        }
    }
    EXPECT_EQ(VariablesUsed("${a}$${b}${c"), std::vector<std::string>{"a"});
    EXPECT_EQ(MissingValueText("u", vars),
              "no value kept in 'u' (case 'B' failed before keeping it)");
}

// ---- against the demo catalogue -------------------------------------------------------------

TScript DemoScript(const std::string& body)
{
    TScriptParse p = ParseScript("catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\n" + body, "d.ths");
    EXPECT_TRUE(p.Refusals.empty()) << (p.Refusals.empty() ? "" : p.Refusals.front());
    return p.Script;
}

TEST(ScriptCheck, RefusesWhatTheCatalogueWouldRefuse)
{
    const struct
    {
        const char* Body;
        const char* Expected; // empty: nothing refused
    } rows[] = {
        {"case A\nsend Sales \"Open receipt\" \"Receipt type\"=A\nexpect field \"Receipt "
         "number\" = 1\nkeep r \"Receipt number\"\nsend sales \"sell item\" Quantity=2 "
         "Description=${r} \"Unit price\"=2.50",
         ""},
        {"case A\nsend Sales Refund", "d.ths:3: the file has no command 'Refund' in group 'Sales'"},
        {"case A\nsend Sale Refund", "d.ths:3: the file has no group 'Sale'"},
        {"case A\nsend Sales \"Sell item\" Quantity=$$1 \"Unit price\"=1",
         "d.ths:3: field 'Quantity': '$1' is not a valid Currency value"},
        {"case A\nsend Sales \"Open receipt\"\nkeep r \"Receipt number\"\nsend Sales \"Sell item\" "
         "\"Unit price\"=1 Description=${r}abcdefghijklmnopqrstu",
         "d.ths:5: field 'Description': the value is longer than its 20 characters"},
        {"case A\nsend Sales \"Open receipt\"\nkeep r \"Receipt number\"\nsend Sales \"Sell item\" "
         "\"Unit price\"=1 Description=${r}abcdefghijklmnopqrst", // 20: known at run time
         ""},
        {"case A\nsend Sales \"Open receipt\"\nkeep r \"Receipt number\"\nsend Sales \"Sell item\" "
         "\"Unit price\"=${r} Quantity=${r}x",
         "d.ths:5: field 'Quantity': 'x' is not a valid Currency value"},
        {"case A\nsend Sales \"Open receipt\" Colour=red",
         "d.ths:3: the command has no field 'Colour'"},
        {"case A\nsend Sales \"Open receipt\" \"Receipt type\"=X",
         "d.ths:3: field 'Receipt type': 'X' is not one of its items"},
        {"case A\nsend Sales \"Open receipt\" Code=@", "d.ths:3: field 'Code' is read only"},
        {"case A\nsend Sales \"Sell item\" Quantity=1x",
         "d.ths:3: field 'Quantity': '1x' is not a valid Currency value"},
        {"case A\nsend Sales \"Sell item\" Description=" /* 21 */ "abcdefghijklmnopqrstu",
         "d.ths:3: field 'Description': the value is longer than its 20 characters"},
        {"case A\nsend Sales \"Sell item\" Description=",
         "d.ths:3: field 'Description' is required"},
        {"case A\nsend Sales \"Sell item\" Description=Tea",
         "d.ths:3: field 'Unit price' is required"},
        {"case A\nsend Reports \"Fiscal memory by date\" From=2026-13-01",
         "d.ths:3: field 'From': '2026-13-01' is not a date (YYYY-MM-DD)"},
        {"case A\nsend Sales \"Sell item\" Description=x'4G' \"Unit price\"=1.00",
         "d.ths:3: Bad user data input in control: field 'Description': "},
        {"case A\nrepeat 2 \"Fiscal port\" Status",
         "d.ths:3: repeat is for host commands; this one goes to the fiscal port"},
        {"case A\nsend \"Fiscal port\" Status\nexpect printer-status 0",
         "d.ths:4: the printer status belongs to host answers; the command 'Status' of group "
         "'Fiscal port' goes to the fiscal port"},
        {"case A\nsend Status \"Status request\"\nexpect fiscal-answer contains 0",
         "d.ths:4: the fiscal answer belongs to fiscal-port commands; the command 'Status "
         "request' of group 'Status' goes to the host port"},
        {"case A\nsend Status \"Status request\"\nexpect field Model = x",
         "d.ths:4: the answer of command 'Status request' of group 'Status' has no field 'Model'"},
        {"case A\nsend Status \"Printer information\"\nkeep m Modell",
         "d.ths:4: the answer of command 'Printer information' of group 'Status' has no field "
         "'Modell'"},
        {"case A\nsend Status \"Status request\"\nexpect lit \"Paper gone\"",
         "d.ths:4: no status record of the catalogue has the text 'Paper gone'"},
    };
    for (const auto& row : rows) {
        const auto refusals = CheckScriptAgainstCatalogue(DemoScript(row.Body));
        if (!*row.Expected) {
            EXPECT_TRUE(refusals.empty()) << row.Body << "\n" << refusals.front();
            continue;
        }
        ASSERT_FALSE(refusals.empty()) << row.Body;
        EXPECT_EQ(refusals.front().substr(0, std::string(row.Expected).size()), row.Expected)
            << refusals.front();
    }
}

TEST(ScriptCheck, ReportsFormatAndCatalogueRefusalsInOnePassByLine)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("two.ths")).toStdString();
    std::ofstream(path) << "catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\ncase A\n"
                           "send Sales \"Sell item\" Quantity=1x \"Unit price\"=2y\nwait soon\n"
                           "send Sales Refund\n";
    const std::string at = path + ":";
    EXPECT_EQ(
        LoadCheckedScript(path).Refusals,
        (std::vector<std::string>{at + "3: field 'Quantity': '1x' is not a valid Currency value",
                                  at + "3: field 'Unit price': '2y' is not a valid Currency value",
                                  at + "4: wait takes milliseconds, 0 to 3600000: wait 250",
                                  at + "5: the file has no command 'Refund' in group 'Sales'"}));
}

TEST(ScriptCheck, JudgesNoLineAgainstTheSendBeforeARefusedOne)
{
    // The lines after a refused send belong to it: judging them against the host command
    // before it would refuse correct lines. Only the send line is refused.
    const struct
    {
        const char* Body;
        const char* Expected;
    } rows[] = {
        {"case A\nsend Status \"Status request\"\n"
         "send \"Fiscal port\" \"Print text\" Text=\"Caf\u20AC\"\n"
         "expect fiscal-answer contains OK\n",
         "4: field 'Text': 'Caf\u20AC' holds '\u20AC', which a frame cannot carry (frames are "
         "Latin-1, one byte a character)"},
        {"case A\nsend Status \"Status request\"\nrepeat 0 Status \"Printer information\"\n"
         "keep v Model\n",
         "4: repeat needs a count from 1 to 999: repeat N GROUP COMMAND ..."},
        {"case A\nsend Status \"Status request\"\nrepeat 0 Status \"Printer information\"\n"
         "expect field Model = 1\n",
         "4: repeat needs a count from 1 to 999: repeat N GROUP COMMAND ..."},
        // The variable the refused send's keep names is not refused again where it is used.
        {"case A\nsend Status \"Status request\"\nsend Status \"Printer information\" X\n"
         "keep v Model\nsend Sales \"Sell item\" Description=${v} \"Unit price\"=1\n",
         "4: 'X' is not NAME=VALUE"},
    };
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("r.ths")).toStdString();
    for (const auto& row : rows) {
        std::ofstream(path) << "catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\n" << row.Body;
        EXPECT_EQ(LoadCheckedScript(path).Refusals,
                  std::vector<std::string>{path + ":" + row.Expected})
            << row.Body;
    }
}

TEST(ScriptCheck, NamesAMissingCatalogueAtItsLine)
{
    // A path is UTF-8 as the file system names it, not a catalogue's Latin-1 text.
    for (const char* name : {"nowhere.thf", "Pr\u00FCfung.thf"}) {
        const TScriptParse p =
            ParseScript("# x\ncatalogue " + std::string(name) + "\ncase A\nsend S C\n",
                        "/tmp/no/such/dir/m.ths");
        ASSERT_TRUE(p.Refusals.empty());
        EXPECT_EQ(CheckScriptAgainstCatalogue(p.Script),
                  std::vector<std::string>{
                      "/tmp/no/such/dir/m.ths:2: cannot read the catalogue /tmp/no/such/dir/" +
                      std::string(name)});
    }
}

} // namespace

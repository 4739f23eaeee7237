// tallyhost-cli status and rc: the status-decode records and the return-code descriptions of a
// terminal file, headless.
//
//   tallyhost-cli status --file F (--fiscal|--printer) [--json]
//   tallyhost-cli status --file F (--fiscal|--printer) --add panel=P mask=M result=R text=T color=C
//   tallyhost-cli status --file F (--fiscal|--printer) --modify N [panel=..] [mask=..] ...
//   tallyhost-cli status --file F (--fiscal|--printer) --remove N
//   tallyhost-cli status --file F --test FISCAL PRINTER [--json]
//   tallyhost-cli rc --file F [--json]
//   tallyhost-cli rc --file F --add number=N text=T
//   tallyhost-cli rc --file F --modify CODE [number=N] [text=T]
//   tallyhost-cli rc --file F --remove CODE
//
// Changes go through the same lists as the editor dialogs (core/statusedit.h,
// core/returncodeedit.h), so a record or code is stored exactly as the dialog would store it;
// --test decodes with the same loader and decoder as the terminal window's answer display.
//
// Exit status: 0 done; 2 refused before anything was written (bad arguments, a duplicate code,
// a missing or malformed value, an unreadable status section); 1 the file could not be written.

#include "core/answerdecode.h"
#include "core/colors.h"
#include "core/errors.h"
#include "core/profile.h"
#include "core/returncodeedit.h"
#include "core/statusedit.h"
#include "core/strtoint.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace tallyhost;
using tallyhost::cli::JsonString;
using tallyhost::cli::Printable;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitWriteFailed = 1;
constexpr int ExitRefused = 2;

constexpr const char* StatusUsage =
    "usage: tallyhost-cli status --file F (--fiscal|--printer) [--json]\n"
    "       tallyhost-cli status --file F (--fiscal|--printer) --add panel=P mask=M result=R "
    "text=T color=NAME\n"
    "       tallyhost-cli status --file F (--fiscal|--printer) --modify N [panel=P] [mask=M]\n"
    "                            [result=R] [text=T] [color=NAME]\n"
    "       tallyhost-cli status --file F (--fiscal|--printer) --remove N\n"
    "       tallyhost-cli status --file F --test FISCAL PRINTER [--json]\n"
    "  N is the record's row (1 = first); P a panel 1..16; M and R 1 to 4 hexadecimal digits;\n"
    "  T at most 25 characters; NAME a colour name (clRed) or value. --test decodes two\n"
    "  hexadecimal status words as the answer display does.\n";

constexpr const char* RcUsage =
    "usage: tallyhost-cli rc --file F [--json]\n"
    "       tallyhost-cli rc --file F --add number=N text=T\n"
    "       tallyhost-cli rc --file F --modify CODE [number=N] [text=T]\n"
    "       tallyhost-cli rc --file F --remove CODE\n"
    "  N and CODE are return code numbers (0..99999, 1 to 5 digits).\n";

int Refuse(const std::string& message)
{
    std::fprintf(stderr, "tallyhost-cli: %s\n", message.c_str());
    return ExitRefused;
}

int WriteFailed(const std::string& message)
{
    std::fprintf(stderr, "tallyhost-cli: %s\n", message.c_str());
    return ExitWriteFailed;
}

enum class Action
{
    List,
    Add,
    Modify,
    Remove,
    Test
};

struct Arguments
{
    std::string File;
    bool Json = false;
    bool Help = false;
    Action Act = Action::List;
    std::string Target; // row of --modify/--remove (status), code (rc)
    std::optional<std::string> Section;
    std::vector<std::string> Operands;
    std::map<std::string, std::string> Values; // name=value operands
};

// Reads the arguments both subcommands share; `status` adds --fiscal, --printer and --test.
std::string ParseArguments(int argc, char** argv, bool status, Arguments& a)
{
    bool operandsOnly = false;
    bool actionGiven = false;
    auto setAction = [&](Action act) -> bool {
        if (actionGiven)
            return false;
        actionGiven = true;
        a.Act = act;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        switch (cli::ClassifyArgument(arg, operandsOnly)) {
        case cli::ArgumentKind::EndOfOptions:
            continue;
        case cli::ArgumentKind::Help:
            a.Help = true;
            continue;
        case cli::ArgumentKind::Json:
            a.Json = true;
            continue;
        case cli::ArgumentKind::Operand:
            a.Operands.emplace_back(arg);
            continue;
        case cli::ArgumentKind::Option:
            break;
        }
        std::string value;
        bool missing = false;
        if (cli::TakeOption(argc, argv, i, "--file", value, missing)) {
            if (missing || value.empty())
                return "--file needs a terminal file";
            a.File = value;
        } else if (status && (arg == "--fiscal" || arg == "--printer")) {
            const std::string section(arg == "--fiscal" ? SectionFiscalAnswer
                                                        : SectionPrinterAnswer);
            if (a.Section && *a.Section != section)
                return "give --fiscal or --printer, not both";
            a.Section = section;
        } else if (arg == "--add") {
            if (!setAction(Action::Add))
                return "give one of --add, --modify, --remove" +
                       std::string(status ? ", --test" : "");
        } else if (status && arg == "--test") {
            if (!setAction(Action::Test))
                return "give one of --add, --modify, --remove, --test";
        } else if (cli::TakeOption(argc, argv, i, "--modify", value, missing) ||
                   cli::TakeOption(argc, argv, i, "--remove", value, missing)) {
            const bool modify = arg.substr(0, 8) == "--modify";
            if (missing)
                return std::string(modify ? "--modify" : "--remove") +
                       (status ? " needs a record number" : " needs a return code");
            if (!setAction(modify ? Action::Modify : Action::Remove))
                return "give one of --add, --modify, --remove" +
                       std::string(status ? ", --test" : "");
            a.Target = value;
        } else {
            return "unknown option " + std::string(arg);
        }
    }
    if (a.Help)
        return {};
    if (a.File.empty())
        return "--file needs a terminal file";
    if (a.Act == Action::Test) {
        if (a.Section)
            return "--test decodes both words; leave out --fiscal and --printer";
        if (a.Operands.size() != 2)
            return "--test needs two hexadecimal status words: FISCAL PRINTER";
        return {};
    }
    if (status && !a.Section)
        return "give --fiscal or --printer";
    for (const std::string& operand : a.Operands) {
        const auto eq = operand.find('=');
        if (eq == std::string::npos || eq == 0 || (a.Act != Action::Add && a.Act != Action::Modify))
            return "unexpected argument '" + operand + "'";
        const std::string name = operand.substr(0, eq);
        if (a.Values.count(name))
            return name + "= is given twice";
        a.Values[name] = operand.substr(eq + 1);
    }
    return {};
}

std::optional<std::size_t> RowNumber(std::string_view text, std::size_t count)
{
    std::size_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 1 || value > count)
        return std::nullopt;
    return value - 1;
}

// ---- status ---------------------------------------------------------------------------------

std::string RecordJson(std::size_t number, const TStatusGridRow& row)
{
    return "{\"number\":" + std::to_string(number) + ",\"panel\":" + JsonString(row.Panel) +
           ",\"mask\":" + JsonString(row.Mask) + ",\"result\":" + JsonString(row.Result) +
           ",\"text\":" + JsonString(row.Text) + ",\"color\":" + JsonString(row.Color) + "}";
}

void PrintRecords(const TStatusRecordList& list, bool json)
{
    const auto& rows = list.Rows();
    if (json) {
        std::string out = "{\"records\":[";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out += (i ? "," : "") + RecordJson(i + 1, rows[i]);
        std::printf("%s]}\n", out.c_str());
        return;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TStatusGridRow& r = rows[i];
        std::printf("%zu panel=%s mask=%s result=%s color=%s text=%s\n", i + 1,
                    Printable(r.Panel).c_str(), Printable(r.Mask).c_str(),
                    Printable(r.Result).c_str(), Printable(r.Color).c_str(),
                    Printable(r.Text).c_str());
    }
}

// Checks the given values and puts them into `row`; the reason of a refusal, or empty.
std::string ApplyStatusValues(const std::map<std::string, std::string>& values, bool add,
                              TStatusGridRow& row)
{
    static constexpr const char* Names[] = {"panel", "mask", "result", "text", "color"};
    for (const auto& [name, value] : values) {
        bool known = false;
        for (const char* n : Names)
            known = known || name == n;
        if (!known)
            return "unknown value " + name + "= (panel, mask, result, text, color)";
    }
    for (const char* name : Names) {
        const auto it = values.find(name);
        if (it == values.end()) {
            if (add)
                return std::string("missing value ") + name + "=";
            continue;
        }
        const std::string& v = it->second;
        const std::string_view n = name;
        std::optional<std::string> problem;
        if (n == "panel") {
            problem = StatusPanelProblem(v);
            row.Panel = std::to_string(StrToIntDef(v, 0));
        } else if (n == "mask" || n == "result") {
            problem = StatusHexProblem(n, v);
            // Upper case, as the dialog's box turns typed letters.
            std::string upper = v;
            for (char& c : upper)
                c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
            (n == "mask" ? row.Mask : row.Result) = upper;
        } else if (n == "text") {
            problem = StatusTextProblem(v);
            row.Text = v;
        } else {
            problem = StatusColorProblem(v);
            row.Color = StatusColorText(v);
        }
        if (problem)
            return *problem;
    }
    return {};
}

std::optional<std::uint16_t> ParseStatusWord(std::string_view text)
{
    if (StatusHexProblem("word", text))
        return std::nullopt;
    return static_cast<std::uint16_t>(StrToInt("0x" + std::string(text)));
}

std::string PanelsJson(std::uint16_t word, const std::vector<StatusPanelText>& panels)
{
    std::string out = "{\"word\":" + JsonString(StatusWordHex(word)) + ",\"panels\":[";
    bool first = true;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        if (!panels[i].Matched)
            continue;
        out += (first ? "" : ",");
        out += "{\"panel\":" + std::to_string(i + 1) + ",\"text\":" + JsonString(panels[i].Text) +
               ",\"color\":" + JsonString(ColorToString(panels[i].Color)) + "}";
        first = false;
    }
    return out + "]}";
}

void PrintPanels(const std::string& caption, const std::vector<StatusPanelText>& panels)
{
    std::printf("%s\n", caption.c_str());
    for (std::size_t i = 0; i < panels.size(); ++i) {
        if (panels[i].Matched)
            std::printf("  %zu %s %s\n", i + 1, ColorToString(panels[i].Color).c_str(),
                        Printable(panels[i].Text).c_str());
    }
}

int RunTest(const Arguments& a)
{
    const auto fiscal = ParseStatusWord(a.Operands[0]);
    const auto printer = ParseStatusWord(a.Operands[1]);
    if (!fiscal || !printer)
        return Refuse("status words are 1 to 4 hexadecimal digits: '" +
                      std::string(fiscal ? a.Operands[1] : a.Operands[0]) + "'");
    TTerminalCache cache;
    if (!cache.LoadFromFile(a.File))
        return Refuse("cannot read " + a.File);
    TStatusTable fiscalTable;
    TStatusTable printerTable;
    try {
        LoadStatusRecords(cache, SectionFiscalAnswer, fiscalTable);
        LoadStatusRecords(cache, SectionPrinterAnswer, printerTable);
    } catch (const Error& e) {
        return Refuse(e.what());
    }
    const auto fiscalPanels = DecodeStatusWord(*fiscal, fiscalTable);
    const auto printerPanels = DecodeStatusWord(*printer, printerTable);
    if (a.Json) {
        std::printf("{\"fiscal\":%s,\"printer\":%s}\n", PanelsJson(*fiscal, fiscalPanels).c_str(),
                    PanelsJson(*printer, printerPanels).c_str());
    } else {
        PrintPanels(FiscalAnswerCaption(*fiscal), fiscalPanels);
        PrintPanels(PrinterAnswerCaption(*printer), printerPanels);
    }
    return ExitOk;
}

} // namespace

int RunStatus(int argc, char** argv)
{
    Arguments a;
    if (const std::string error = ParseArguments(argc, argv, true, a); !error.empty()) {
        std::fputs(StatusUsage, stderr);
        return Refuse(error);
    }
    if (a.Help) {
        std::fputs(StatusUsage, stdout);
        return ExitOk;
    }
    if (!std::filesystem::is_regular_file(a.File))
        return Refuse("no terminal file " + a.File);
    if (a.Act == Action::Test)
        return RunTest(a);

    TExtIniFile ini(a.File);
    TStatusRecordList list(ini, *a.Section);
    list.Load();
    try {
        switch (a.Act) {
        case Action::List:
        case Action::Test:
            PrintRecords(list, a.Json);
            return ExitOk;
        case Action::Add: {
            TStatusGridRow row;
            if (const std::string error = ApplyStatusValues(a.Values, true, row); !error.empty())
                return Refuse(error);
            list.Add(row);
            return ExitOk;
        }
        case Action::Modify:
        case Action::Remove: {
            const auto index = RowNumber(a.Target, list.Count());
            if (!index)
                return Refuse("no record " + a.Target + " in " + *a.Section + " (" +
                              std::to_string(list.Count()) + " records)");
            if (a.Act == Action::Remove) {
                list.Remove(*index);
                return ExitOk;
            }
            TStatusGridRow row = list.Rows()[*index];
            if (const std::string error = ApplyStatusValues(a.Values, false, row); !error.empty())
                return Refuse(error);
            list.Modify(*index, row);
            return ExitOk;
        }
        }
    } catch (const IniWriteError& e) {
        return WriteFailed(e.what());
    }
    return ExitOk;
}

int RunRc(int argc, char** argv)
{
    Arguments a;
    if (const std::string error = ParseArguments(argc, argv, false, a); !error.empty()) {
        std::fputs(RcUsage, stderr);
        return Refuse(error);
    }
    if (a.Help) {
        std::fputs(RcUsage, stdout);
        return ExitOk;
    }
    if (!std::filesystem::is_regular_file(a.File))
        return Refuse("no terminal file " + a.File);
    for (const auto& [name, value] : a.Values) {
        if (name != "number" && name != "text")
            return Refuse("unknown value " + name + "= (number, text)");
    }

    TExtIniFile ini(a.File);
    TReturnCodeList list(ini);
    list.Load();
    const auto number = a.Values.find("number");
    const auto text = a.Values.find("text");
    try {
        switch (a.Act) {
        case Action::List:
        case Action::Test: {
            const auto& rows = list.Rows();
            if (a.Json) {
                std::string out = "{\"codes\":[";
                for (std::size_t i = 0; i < rows.size(); ++i)
                    out += (i ? ",{\"number\":" : "{\"number\":") + rows[i].Number +
                           ",\"text\":" + JsonString(rows[i].Text) + "}";
                std::printf("%s]}\n", out.c_str());
            } else {
                for (const TReturnCodeRow& row : rows)
                    std::printf("%s %s\n", row.Number.c_str(), Printable(row.Text).c_str());
            }
            return ExitOk;
        }
        case Action::Add: {
            if (number == a.Values.end())
                return Refuse("missing value number=");
            if (text == a.Values.end())
                return Refuse("missing value text=");
            if (const auto problem = ReturnCodeTextProblem(text->second))
                return Refuse(*problem);
            switch (list.Add(number->second, text->second)) {
            case TReturnCodeList::TResult::Done:
                return ExitOk;
            case TReturnCodeList::TResult::Exists:
                return Refuse("The return codes already exits !!! (" + number->second + ")");
            case TReturnCodeList::TResult::BadNumber:
                return Refuse("a return code is 1 to 5 decimal digits, not '" + number->second +
                              "'");
            }
            return ExitOk;
        }
        case Action::Modify:
        case Action::Remove: {
            const auto code = NormalizeReturnCode(a.Target);
            const auto index = code ? list.Find(*code) : std::nullopt;
            if (!index)
                return Refuse("no return code " + a.Target);
            if (a.Act == Action::Remove) {
                list.Remove(*index);
                return ExitOk;
            }
            const TReturnCodeRow row = list.Rows()[*index];
            const std::string newNumber = number != a.Values.end() ? number->second : row.Number;
            const std::string newText = text != a.Values.end() ? text->second : row.Text;
            if (text != a.Values.end()) {
                if (const auto problem = ReturnCodeTextProblem(newText))
                    return Refuse(*problem);
            }
            switch (list.Modify(*index, newNumber, newText)) {
            case TReturnCodeList::TResult::Done:
                return ExitOk;
            case TReturnCodeList::TResult::Exists:
                return Refuse("The return codes already exits !!! (" + newNumber + ")");
            case TReturnCodeList::TResult::BadNumber:
                return Refuse("a return code is 1 to 5 decimal digits, not '" + newNumber + "'");
            }
            return ExitOk;
        }
        }
    } catch (const IniWriteError& e) {
        return WriteFailed(e.what());
    }
    return ExitOk;
}

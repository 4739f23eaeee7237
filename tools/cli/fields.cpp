// tallyhost-cli fields: the field list editor for scripts.
//
//   tallyhost-cli fields --file F --group G --command C [--answers] [--json]          list
//   tallyhost-cli fields --file F --group G --command C [--answers] --add NAME=VALUE...
//   tallyhost-cli fields --file F --group G --command C [--answers] --modify N NAME=VALUE...
//   tallyhost-cli fields --file F --group G --command C [--answers] --remove N
//   tallyhost-cli fields --file F --group G --command C [--answers] --move-up N | --move-down N
//
// --add and --modify fill the same record model the dialog shows, in the order an operator
// works: Add or Modify mode, then mode, type and control with their rules, then the other
// values; a value the dialog would not let the operator enter is refused. The change is then
// written by the same list editor as the dialog's, byte for byte.
//
// Exit status: 0 done; 2 refused before anything was written (the reason on stderr);
// 1 the file could not be written ("Unable to write to <path>").

#include "core/fieldedit.h"
#include "core/fieldrecord.h"
#include "core/profile.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "core/valueformat.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace tallyhost;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitWriteFailed = 1;
constexpr int ExitRefused = 2;

constexpr const char* FieldsUsage =
    "usage: tallyhost-cli fields --file F --group G --command C [--answers] [--json]\n"
    "           [--add NAME=VALUE... | --modify N NAME=VALUE... | --remove N |\n"
    "            --move-up N | --move-down N]\n"
    "  without --add, --modify, --remove or a move the fields are listed.\n"
    "  --move-up and --move-down swap field N with its neighbour (its combo lines move\n"
    "    with it)\n"
    "  --answers   edit the answer fields instead of the command fields\n"
    "  command field names: mode (Host, Fiscal; field 1 only), caption, hint,\n"
    "    type (AlphaNumeric, Alpha, Currency, Numeric, Decimal, Hexa, Binary, Boolean, Date,\n"
    "    Time), default, control (Simple, DropDown, DropDownList, Date, Time), max, min,\n"
    "    decimals, required, readonly, autoincrement (Yes, No), combo and notes (lines\n"
    "    separated by line feeds; notes on field 1 only)\n"
    "  answer field names: caption, type, decimals\n"
    "  A value is refused where the field dialog would not take it (a disabled box, a\n"
    "  character the box's type does not accept, an empty caption ...).\n"
    "exit status: 0 done, 2 refused (nothing written), 1 the file could not be written\n";

struct Options
{
    std::string File;
    std::optional<std::string> Group;
    std::optional<std::string> Command;
    bool Answers = false;
    bool Json = false;
    enum class Action
    {
        List,
        Add,
        Modify,
        Remove,
        MoveUp,
        MoveDown
    } Do = Action::List;
    int Number = 0;
    std::vector<std::pair<std::string, std::string>> Values;
};

int Refuse(const Options& o, const std::string& message)
{
    if (o.Json)
        std::printf("{\"error\":%s}\n", cli::JsonString(message).c_str());
    std::fprintf(stderr, "tallyhost-cli fields: %s\n", message.c_str());
    return ExitRefused;
}

std::optional<int> FieldNumber(std::string_view text)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    return NumberOf(text);
}

std::string ParseOptions(int argc, char** argv, Options& o)
{
    bool operandsOnly = false;
    int actions = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        switch (cli::ClassifyArgument(arg, operandsOnly)) {
        case cli::ArgumentKind::Operand: {
            const auto eq = arg.find('=');
            if (eq == std::string_view::npos || eq == 0)
                return "'" + std::string(arg) + "' is not NAME=VALUE";
            o.Values.emplace_back(std::string(arg.substr(0, eq)), std::string(arg.substr(eq + 1)));
            continue;
        }
        case cli::ArgumentKind::EndOfOptions:
        case cli::ArgumentKind::Help:
            continue;
        case cli::ArgumentKind::Json:
            o.Json = true;
            continue;
        case cli::ArgumentKind::Option:
            break;
        }
        std::string value;
        bool missing = false;
        if (arg == "--answers") {
            o.Answers = true;
        } else if (arg == "--add") {
            o.Do = Options::Action::Add;
            ++actions;
        } else if (cli::TakeOption(argc, argv, i, "--file", value, missing)) {
            if (missing || value.empty())
                return "--file needs a terminal file";
            o.File = value;
        } else if (cli::TakeOption(argc, argv, i, "--group", value, missing)) {
            if (missing)
                return "--group needs a group name";
            o.Group = value;
        } else if (cli::TakeOption(argc, argv, i, "--command", value, missing)) {
            if (missing)
                return "--command needs a command name";
            o.Command = value;
        } else if (cli::TakeOption(argc, argv, i, "--modify", value, missing) ||
                   cli::TakeOption(argc, argv, i, "--remove", value, missing)) {
            const bool modify = arg.substr(0, 8) == "--modify";
            const auto n = missing ? std::nullopt : FieldNumber(value);
            if (!n || *n < 1)
                return std::string(modify ? "--modify" : "--remove") + " needs a field number";
            o.Do = modify ? Options::Action::Modify : Options::Action::Remove;
            o.Number = *n;
            ++actions;
        } else if (cli::TakeOption(argc, argv, i, "--move-up", value, missing) ||
                   cli::TakeOption(argc, argv, i, "--move-down", value, missing)) {
            const bool up = arg.substr(0, 9) == "--move-up";
            const auto n = missing ? std::nullopt : FieldNumber(value);
            if (!n || *n < 1)
                return std::string(up ? "--move-up" : "--move-down") + " needs a field number";
            o.Do = up ? Options::Action::MoveUp : Options::Action::MoveDown;
            o.Number = *n;
            ++actions;
        } else {
            return "unknown option " + std::string(arg);
        }
    }
    if (o.File.empty())
        return "--file is required";
    if (!o.Group || !o.Command)
        return "--group and --command name the command";
    if (actions > 1)
        return "give one of --add, --modify, --remove, --move-up and --move-down";
    const bool takesValues = o.Do == Options::Action::Add || o.Do == Options::Action::Modify;
    if (!takesValues && !o.Values.empty())
        return "NAME=VALUE goes with --add or --modify";
    std::map<std::string, int> seen;
    for (const auto& [name, value] : o.Values)
        if (++seen[name] > 1)
            return name + ": given twice";
    return {};
}

std::optional<std::string> FindSection(const std::string& path, std::string_view group,
                                       std::string_view command)
{
    for (const TTreeGroup& g : ReadCommandTree(path)) {
        if (!SameName(g.Name, group))
            continue;
        for (const std::string& c : g.Commands)
            if (SameName(c, command))
                return CommandSectionName(g.Name, c);
    }
    return std::nullopt;
}

// ---- names and values ---------------------------------------------------------------------

std::optional<int> CodeOf(std::string_view value, const std::vector<std::string_view>& names)
{
    int code = 0;
    for (std::string_view n : names) {
        if (n == value)
            return code;
        ++code;
    }
    return std::nullopt;
}

std::string NameList(const std::vector<std::string_view>& names)
{
    std::string out;
    for (std::string_view n : names)
        out += (out.empty() ? "" : ", ") + std::string(n);
    return out;
}

const std::vector<std::string_view> ModeNames = {"Host", "Fiscal"};
const std::vector<std::string_view> TypeNames = {"AlphaNumeric", "Alpha", "Currency", "Numeric",
                                                 "Decimal",      "Hexa",  "Binary",   "Boolean",
                                                 "Date",         "Time"};
const std::vector<std::string_view> ControlNames = {"Simple", "DropDown", "DropDownList", "Date",
                                                    "Time"};
const std::vector<std::string_view> YesNoNames = {"No", "Yes"};

struct Refusal
{
    std::string Message;
    explicit operator bool() const { return !Message.empty(); }
};

Refusal Refused(std::string_view name, const std::string& why)
{
    return {std::string(name) + ": " + why};
}

const std::string* Take(std::map<std::string, std::string>& values, const std::string& name)
{
    auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
}

// Fills the command record model as the operator would fill the dialog.
Refusal FillCommandRecord(TCommandRecordModel& m,
                          const std::vector<std::pair<std::string, std::string>>& given)
{
    std::map<std::string, std::string> values(given.begin(), given.end());
    static const std::vector<std::string> known = {
        "mode", "caption",  "hint",     "type",     "default",       "control", "max",
        "min",  "decimals", "required", "readonly", "autoincrement", "combo",   "notes"};
    for (const auto& [name, value] : values)
        if (std::find(known.begin(), known.end(), name) == known.end())
            return Refused(name, "not a command field value (" +
                                     std::string("mode, caption, hint, type, default, control, "
                                                 "max, min, decimals, required, readonly, "
                                                 "autoincrement, combo, notes)"));

    if (const std::string* v = Take(values, "mode")) {
        const auto code = CodeOf(*v, ModeNames);
        if (!code)
            return Refused("mode", "one of " + NameList(ModeNames));
        if (!m.ModeEnabled() && *code != m.Mode())
            return Refused("mode", "only field 1 sets the mode (the command's mode is " +
                                       ModeName(m.Mode()) + ")");
        m.SetMode(*code);
    }
    std::optional<int> type;
    if (const std::string* v = Take(values, "type")) {
        type = CodeOf(*v, TypeNames);
        if (!type)
            return Refused("type", "one of " + NameList(TypeNames));
        if (!m.TextTypeEnabled() && *type != m.TextType())
            return Refused("type", "the " + ControlTypeName(m.ControlType()) +
                                       " control keeps the text type " +
                                       TextTypeName(m.TextType()));
        m.SetTextType(*type);
    }
    if (const std::string* v = Take(values, "control")) {
        const auto code = CodeOf(*v, ControlNames);
        if (!code)
            return Refused("control", "one of " + NameList(ControlNames));
        m.SetControlType(*code);
    }
    if (type && *type != m.TextType())
        return Refused("type", "the " + ControlTypeName(m.ControlType()) +
                                   " control sets the text type to " + TextTypeName(m.TextType()));

    for (TCommandBox box :
         {TCommandBox::Caption, TCommandBox::Hint, TCommandBox::DefaultText, TCommandBox::MaxLength,
          TCommandBox::MinLength, TCommandBox::DecimalDigits}) {
        const std::string name(CommandBoxName(box));
        if (const std::string* v = Take(values, name)) {
            if (const std::string why = m.Refusal(box, *v); !why.empty())
                return Refused(name, why);
            m.SetText(box, *v);
        }
    }
    for (const char* name : {"required", "readonly", "autoincrement"}) {
        if (const std::string* v = Take(values, name)) {
            const auto code = CodeOf(*v, YesNoNames);
            if (!code)
                return Refused(name, "Yes or No");
            if (std::string_view(name) == "required")
                m.SetRequired(*code == 1);
            else if (std::string_view(name) == "readonly")
                m.SetReadOnly(*code == 1);
            else
                m.SetAutoIncrement(*code == 1);
        }
    }
    if (const std::string* v = Take(values, "combo")) {
        const auto lines = MemoLines(*v);
        if (!m.ComboLinesEnabled() && lines != m.ComboLines())
            return Refused("combo", "combo box lines belong to DropDown and DropDownList fields");
        m.SetComboLines(lines);
    }
    if (const std::string* v = Take(values, "notes")) {
        const auto lines = MemoLines(*v);
        if (!m.NotesEnabled() && lines != m.NoteLines())
            return Refused("notes", "the notes are edited with field 1 only");
        m.SetNoteLines(lines);
    }
    if (const TRecordRefusal ok = m.OkRefusal(); ok.Refused())
        return Refused(ok.Box, ok.Reason);
    return {};
}

Refusal FillAnswerRecord(TAnswerRecordModel& m,
                         const std::vector<std::pair<std::string, std::string>>& given)
{
    std::map<std::string, std::string> values(given.begin(), given.end());
    for (const auto& [name, value] : values)
        if (name != "caption" && name != "type" && name != "decimals")
            return Refused(name, "not an answer field value (caption, type, decimals)");
    if (const std::string* v = Take(values, "type")) {
        const auto type = CodeOf(*v, TypeNames);
        if (!type)
            return Refused("type", "one of " + NameList(TypeNames));
        m.SetTextType(*type);
    }
    if (const std::string* v = Take(values, "caption")) {
        if (const std::string why = LineBreakRefusal(*v); !why.empty())
            return Refused("caption", why);
        m.SetCaption(*v);
    }
    if (const std::string* v = Take(values, "decimals")) {
        if (const std::string why = m.DecimalRefusal(*v); !why.empty())
            return Refused("decimals", why);
        m.SetDecimalText(*v);
    }
    return {};
}

// ---- listing --------------------------------------------------------------------------------

std::string JsonLines(const std::vector<std::string>& lines)
{
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i)
        out += (i ? "," : "") + cli::JsonString(lines[i]);
    return out + "]";
}

void PrintCommandFields(const TFieldListEditor& editor, bool json)
{
    const auto& rows = editor.CommandRows();
    if (json) {
        static constexpr std::pair<const char*, int> keys[] = {{"mode", ccMode},
                                                               {"caption", ccCaption},
                                                               {"hint", ccHint},
                                                               {"type", ccTextType},
                                                               {"default", ccDefaultText},
                                                               {"control", ccControlType},
                                                               {"max", ccMaxLength},
                                                               {"required", ccRequired},
                                                               {"readonly", ccReadOnly},
                                                               {"min", ccMinLength},
                                                               {"decimals", ccDecimalDigits},
                                                               {"autoincrement", ccAutoIncrement}};
        std::string out = "{\"fields\":[";
        for (std::size_t k = 0; k < rows.size(); ++k) {
            out += k ? ",{" : "{";
            out += "\"number\":" + std::to_string(k + 1);
            for (const auto& [key, column] : keys)
                out += std::string(",\"") + key + "\":" + cli::JsonString(rows[k][column]);
            out += ",\"combo\":" + JsonLines(editor.ComboLines(static_cast<int>(k) + 1));
            if (k == 0)
                out += ",\"notes\":" + JsonLines(editor.NoteLines());
            out += "}";
        }
        std::printf("%s]}\n", out.c_str());
        return;
    }
    for (std::size_t c = 0; c < CommandGridHeaders.size(); ++c)
        std::printf("%s%s", c ? "\t" : "", std::string(CommandGridHeaders[c]).c_str());
    std::printf("\n");
    for (std::size_t k = 0; k < rows.size(); ++k) {
        for (std::size_t c = 0; c < rows[k].size(); ++c)
            std::printf("%s%s", c ? "\t" : "", cli::Printable(rows[k][c]).c_str());
        std::printf("\n");
        const auto combo = editor.ComboLines(static_cast<int>(k) + 1);
        for (const std::string& line : combo)
            std::printf("  combo: %s\n", cli::Printable(line).c_str());
    }
    if (!rows.empty())
        for (const std::string& line : editor.NoteLines())
            std::printf("notes: %s\n", cli::Printable(line).c_str());
}

void PrintAnswerFields(const TFieldListEditor& editor, bool json)
{
    const auto& rows = editor.AnswerRows();
    if (json) {
        std::string out = "{\"fields\":[";
        for (std::size_t k = 0; k < rows.size(); ++k) {
            out += k ? ",{" : "{";
            out += "\"number\":" + std::to_string(k + 1);
            out += ",\"caption\":" + cli::JsonString(rows[k][acCaption]);
            out += ",\"type\":" + cli::JsonString(rows[k][acTextType]);
            out += ",\"decimals\":" + cli::JsonString(rows[k][acDecimalDigits]) + "}";
        }
        std::printf("%s]}\n", out.c_str());
        return;
    }
    for (std::size_t c = 0; c < AnswerGridHeaders.size(); ++c)
        std::printf("%s%s", c ? "\t" : "", std::string(AnswerGridHeaders[c]).c_str());
    std::printf("\n");
    for (const TAnswerRow& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            std::printf("%s%s", c ? "\t" : "", cli::Printable(row[c]).c_str());
        std::printf("\n");
    }
}

} // namespace

int RunFields(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h") {
            std::fputs(FieldsUsage, stdout);
            return ExitOk;
        }
    }
    if (const std::string error = ParseOptions(argc, argv, o); !error.empty()) {
        std::fputs(FieldsUsage, stderr);
        return Refuse(o, error);
    }
    if (!std::filesystem::is_regular_file(o.File))
        return Refuse(o, "no terminal file " + o.File);
    const auto section = FindSection(o.File, *o.Group, *o.Command);
    if (!section)
        return Refuse(o,
                      "the file has no command '" + *o.Command + "' in group '" + *o.Group + "'");

    TFieldListEditor editor(o.File, *section);
    const int count =
        static_cast<int>(o.Answers ? editor.AnswerRows().size() : editor.CommandRows().size());
    if (o.Do != Options::Action::List && o.Do != Options::Action::Add && o.Number > count)
        return Refuse(o, "there is no " + std::string(o.Answers ? "answer" : "command") +
                             " field " + std::to_string(o.Number) + " (the command has " +
                             std::to_string(count) + ")");

    TFieldEditResult result;
    switch (o.Do) {
    case Options::Action::List:
        if (o.Answers)
            PrintAnswerFields(editor, o.Json);
        else
            PrintCommandFields(editor, o.Json);
        return ExitOk;
    case Options::Action::Add:
    case Options::Action::Modify: {
        const bool add = o.Do == Options::Action::Add;
        if (o.Answers) {
            TAnswerRecordModel m = add ? editor.NewAnswerRecord() : editor.AnswerRecord(o.Number);
            if (const Refusal r = FillAnswerRecord(m, o.Values))
                return Refuse(o, r.Message);
            result = add ? editor.AddAnswerField(m.Record())
                         : editor.ModifyAnswerField(o.Number, m.Record());
        } else {
            TCommandRecordModel m =
                add ? editor.NewCommandRecord() : editor.CommandRecord(o.Number);
            if (const Refusal r = FillCommandRecord(m, o.Values))
                return Refuse(o, r.Message);
            result = add ? editor.AddCommandField(m.Record())
                         : editor.ModifyCommandField(o.Number, m.Record());
        }
        break;
    }
    case Options::Action::Remove:
        result =
            o.Answers ? editor.RemoveAnswerField(o.Number) : editor.RemoveCommandField(o.Number);
        break;
    case Options::Action::MoveUp:
    case Options::Action::MoveDown: {
        const int delta = o.Do == Options::Action::MoveUp ? -1 : 1;
        const int target = o.Number + delta;
        if (target < 1 || target > count)
            return Refuse(o, "field " + std::to_string(o.Number) + " is already the " +
                                 (delta < 0 ? "first" : "last"));
        result = o.Answers ? editor.MoveAnswerField(o.Number, delta)
                           : editor.MoveCommandField(o.Number, delta);
        break;
    }
    }

    switch (result.Outcome) {
    case TFieldEditOutcome::Done:
        break;
    case TFieldEditOutcome::FieldLimit:
        return Refuse(o, result.Message);
    case TFieldEditOutcome::WriteFailed:
        if (o.Json)
            std::printf("{\"error\":%s}\n", cli::JsonString(result.Message).c_str());
        std::fprintf(stderr, "tallyhost-cli fields: %s\n", result.Message.c_str());
        return ExitWriteFailed;
    }
    if (o.Json) {
        if (o.Answers)
            PrintAnswerFields(editor, true);
        else
            PrintCommandFields(editor, true);
    }
    return ExitOk;
}

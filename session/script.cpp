#include "session/script.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

namespace tallyhost {

namespace {

constexpr int MaxWaitMs = 3'600'000; // an hour: anything longer is a typing slip

// m_lastSend before the case's first send, and after a refused send line: the expect and keep
// lines that follow a refused one belong to it, not to the send before it, so they are judged
// on their own and attached to nothing.
constexpr int NoSend = -1;
constexpr int RefusedSend = -2;

// The byte of an escape \xHH at `at`, or -1 when there is none.
int EscapedByte(std::string_view text, std::size_t at)
{
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    if (at + 3 >= text.size() || text[at] != '\\' || text[at + 1] != 'x')
        return -1;
    const int high = hex(text[at + 2]);
    const int low = hex(text[at + 3]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The Latin-1 character `b` as UTF-8.
void AppendLatin1(std::string& out, unsigned char b)
{
    if (b < 0x80) {
        out += static_cast<char>(b);
        return;
    }
    out += static_cast<char>(0xC0 | (b >> 6));
    out += static_cast<char>(0x80 | (b & 0x3F));
}
constexpr int MaxResponseMs = 3'600'000;

std::optional<long long> ParseInteger(std::string_view text)
{
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> ParseDecimal(std::string_view text)
{
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// 1 to 4 hexadecimal digits, as the window shows status words.
std::optional<std::uint16_t> ParseWord(std::string_view text)
{
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string Hex4(std::uint16_t word)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = Digits[word & 0xF];
        word = static_cast<std::uint16_t>(word >> 4);
    }
    return out;
}

std::string NumberText(double value)
{
    char buffer[32];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, ptr) : std::string();
}

// A pattern is judged as it will be matched: $$ is already a '$' by then.
bool ValidRegex(const std::string& written, std::string& error)
{
    std::string pattern;
    ExpandVariables(written, {}, pattern);
    const QRegularExpression re(QString::fromStdString(pattern));
    if (re.isValid())
        return true;
    error = "'" + written + "' is not a valid regular expression (" +
            re.errorString().toStdString() + ")";
    return false;
}

// Judges the lines of one script, collecting refusals; keeps going after one so that a
// writer sees all of them at once, as a compiler shows them.
class TParser
{
public:
    explicit TParser(std::string_view fileName) : m_file(fileName) {}

    void Line(int number, std::string_view line)
    {
        m_line = number;
        if (QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).toUtf8() !=
            QByteArray(line.data(), static_cast<qsizetype>(line.size())))
            return Refuse("the line is not UTF-8 text (write scripts in UTF-8; \\xHH in quotes "
                          "gives any byte)");
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            return; // blank or comment
        std::vector<TScriptWord> words;
        if (const std::string error = SplitScriptLine(line, words); !error.empty())
            return Refuse(error);
        const std::string& keyword = words.front().Text;
        const std::vector<TScriptWord> args(words.begin() + 1, words.end());
        if (keyword == "catalogue" || keyword == "catalog")
            return Catalogue(args);
        if (keyword == "case")
            return Case(args);
        if (!m_case)
            return Refuse("'" + keyword + "' outside a case (begin one with: case NAME)");
        if (keyword == "send")
            return Send(args, 0);
        if (keyword == "repeat")
            return Repeat(args);
        if (keyword == "wait")
            return Wait(args);
        if (keyword == "expect")
            return Expect(args);
        if (keyword == "keep")
            return Keep(args);
        Refuse("unknown step '" + keyword +
               "' (a line is: catalogue, case, send, repeat, wait, expect or keep)");
    }

    TScriptParse Finish()
    {
        if (m_result.Script.Catalogue.empty() && m_result.Script.CatalogueLine == 0) {
            m_line = 1;
            Refuse("the script names no catalogue (catalogue FILE.thf)");
        }
        if (m_result.Script.Cases.empty() && m_refusals.empty()) {
            m_line = 1;
            Refuse("the script has no case");
        }
        EndCase();
        std::stable_sort(m_refusals.begin(), m_refusals.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, message] : m_refusals)
            m_result.Refusals.push_back(m_file + ":" + std::to_string(line) + ": " + message);
        return std::move(m_result);
    }

private:
    void Refuse(const std::string& message) { m_refusals.emplace_back(m_line, message); }

    // A word that meets the catalogue or the wire, as Latin-1; false (refused) when it holds
    // a character Latin-1 cannot.
    bool Latin1(std::string& text, const std::string& what)
    {
        std::string latin1;
        if (const std::string bad = ScriptTextToLatin1(text, latin1); !bad.empty()) {
            Refuse(what + ": '" + text + "' holds '" + bad +
                   "', which a frame cannot carry (frames are Latin-1, one byte a character)");
            return false;
        }
        text = std::move(latin1);
        return true;
    }

    // A word that is not NAME=VALUE in a place that takes one word.
    bool Plain(const TScriptWord& word, const char* what)
    {
        if (word.Text.empty()) {
            Refuse(std::string(what) + " is empty");
            return false;
        }
        return true;
    }

    void Catalogue(const std::vector<TScriptWord>& args)
    {
        if (m_result.Script.CatalogueLine != 0)
            return Refuse("a second catalogue line (the first is line " +
                          std::to_string(m_result.Script.CatalogueLine) + ")");
        if (!m_result.Script.Cases.empty())
            return Refuse("the catalogue line comes before the first case");
        m_result.Script.CatalogueLine = m_line;
        if (args.size() != 1 || args.front().Text.empty())
            return Refuse("catalogue takes one path: catalogue FILE.thf");
        m_result.Script.Catalogue = args.front().Text;
    }

    void Case(const std::vector<TScriptWord>& args)
    {
        EndCase();
        if (args.size() != 1 || args.front().Text.empty())
            return Refuse("case takes one name (quote a name with blanks)");
        const std::string& name = args.front().Text;
        if (!m_caseNames.insert(name).second)
            return Refuse("a second case named '" + name + "'");
        m_result.Script.Cases.push_back(TScriptCase{m_line, name, {}});
        m_case = &m_result.Script.Cases.back();
        m_caseRefusals = m_refusals.size();
        m_lastSend = NoSend;
    }

    void EndCase()
    {
        // A case whose send was refused already has its refusal; one is enough.
        if (m_case && m_refusals.size() == m_caseRefusals &&
            std::none_of(m_case->Steps.begin(), m_case->Steps.end(),
                         [](const TScriptStep& s) { return s.Kind == TStepKind::Send; }))
            m_refusals.emplace_back(m_case->Line, "case '" + m_case->Name + "' sends nothing");
        m_case = nullptr;
    }

    void UseVariables(std::string_view text)
    {
        for (const std::string& name : VariablesUsed(text)) {
            if (!m_kept.count(name))
                Refuse("variable '" + name + "' is not kept before this line");
        }
    }

    void Send(const std::vector<TScriptWord>& args, int repeat)
    {
        m_lastSend = RefusedSend; // until the line is taken
        const char* usage = repeat ? "repeat N GROUP COMMAND [NAME=VALUE ...]"
                                   : "send GROUP COMMAND [NAME=VALUE ...]";
        if (args.size() < 2 || args[0].Equals != std::string::npos ||
            args[1].Equals != std::string::npos)
            return Refuse(std::string("a group and a command are needed: ") + usage);
        if (!Plain(args[0], "the group name") || !Plain(args[1], "the command name"))
            return;
        TScriptStep step;
        step.Line = m_line;
        step.Kind = TStepKind::Send;
        step.Group = args[0].Text;
        step.Command = args[1].Text;
        step.Repeat = repeat;
        for (std::size_t i = 2; i < args.size(); ++i) {
            const TScriptWord& w = args[i];
            if (w.Equals == std::string::npos || w.Equals == 0)
                return Refuse("'" + w.Text + "' is not NAME=VALUE");
            step.Values.emplace_back(w.Text.substr(0, w.Equals), w.Text.substr(w.Equals + 1));
            UseVariables(step.Values.back().second);
        }
        bool latin1 =
            Latin1(step.Group, "the group name") && Latin1(step.Command, "the command name");
        for (auto& [name, value] : step.Values) {
            // The label quotes the name as written (UTF-8), before it becomes Latin-1.
            const std::string label = "field '" + name + "'";
            latin1 = latin1 && Latin1(name, "the field name") && Latin1(value, label);
        }
        if (!latin1)
            return;
        m_case->Steps.push_back(std::move(step));
        m_lastSend = static_cast<int>(m_case->Steps.size()) - 1;
    }

    void Repeat(const std::vector<TScriptWord>& args)
    {
        m_lastSend = RefusedSend; // until the line is taken
        const auto count = args.empty() ? std::nullopt : ParseInteger(args.front().Text);
        if (!count || *count < 1 || *count > MaxRepeatCount)
            return Refuse("repeat needs a count from 1 to 999: repeat N GROUP COMMAND ...");
        Send(std::vector<TScriptWord>(args.begin() + 1, args.end()), static_cast<int>(*count));
    }

    void Wait(const std::vector<TScriptWord>& args)
    {
        std::string text = args.size() == 1 ? args.front().Text : std::string();
        if (text.size() > 2 && text.ends_with("ms"))
            text.resize(text.size() - 2);
        const auto ms = ParseInteger(text);
        if (args.size() != 1 || !ms || *ms < 0 || *ms > MaxWaitMs)
            return Refuse("wait takes milliseconds, 0 to 3600000: wait 250");
        TScriptStep step;
        step.Line = m_line;
        step.Kind = TStepKind::Wait;
        step.WaitMs = static_cast<int>(*ms);
        m_case->Steps.push_back(std::move(step));
    }

    void Keep(const std::vector<TScriptWord>& args)
    {
        if (args.size() != 2)
            return Refuse("keep takes a variable and an answer field: keep NAME FIELD");
        if (!IsVariableName(args[0].Text))
            return Refuse("'" + args[0].Text +
                          "' is not a variable name (a letter or _, then letters, digits, _)");
        if (m_lastSend == NoSend)
            return Refuse("keep before any send in this case");
        if (!Plain(args[1], "the answer field"))
            return;
        TScriptStep step;
        step.Line = m_line;
        step.Kind = TStepKind::Keep;
        step.Variable = args[0].Text;
        step.Field = args[1].Text;
        if (!Latin1(step.Field, "the answer field"))
            return;
        m_kept.insert(step.Variable); // after a refused send too: its uses are not refused again
        if (m_lastSend != RefusedSend)
            m_case->Steps.push_back(std::move(step));
    }

    void Expect(const std::vector<TScriptWord>& args)
    {
        if (args.empty())
            return Refuse("expect what? printer-status, fiscal-status, lit, return-code, field, "
                          "outcome, fiscal-answer or response-time");
        if (m_lastSend == NoSend)
            return Refuse("expect before any send in this case");
        TExpectation e;
        e.Line = m_line;
        const std::string& what = args[0].Text;
        const std::vector<TScriptWord> rest(args.begin() + 1, args.end());
        std::string error;
        if (what == "printer-status" || what == "fiscal-status") {
            e.Kind =
                what == "printer-status" ? TExpectKind::PrinterStatus : TExpectKind::FiscalStatus;
            error = StatusWord(rest, e, what);
        } else if (what == "lit") {
            e.Kind = TExpectKind::Lit;
            if (rest.size() != 1 || rest[0].Text.empty())
                error = "expect lit takes one status text: expect lit \"Paper out\"";
            else
                e.Text = rest[0].Text;
        } else if (what == "return-code") {
            e.Kind = TExpectKind::ReturnCode;
            const auto rc = rest.size() == 1 ? ParseInteger(rest[0].Text) : std::nullopt;
            if (!rc || *rc < 0 || *rc > 0xFFFF)
                error = "expect return-code takes a decimal code 0 to 65535";
            else
                e.ReturnCode = static_cast<std::uint16_t>(*rc);
        } else if (what == "field") {
            e.Kind = TExpectKind::Field;
            error = FieldExpectation(rest, e);
        } else if (what == "outcome") {
            e.Kind = TExpectKind::Outcome;
            const auto o = rest.size() == 1 ? OutcomeFromName(rest[0].Text) : std::nullopt;
            if (!o)
                error = "expect outcome takes answered, nak, no-answer or write-error";
            else
                e.Outcome = *o;
        } else if (what == "fiscal-answer") {
            e.Kind = TExpectKind::FiscalAnswer;
            if (rest.size() != 2 || (rest[0].Text != "contains" && rest[0].Text != "~"))
                error = "expect fiscal-answer takes: contains TEXT, or ~ REGEX";
            else {
                e.Compare = rest[0].Text == "~" ? TCompare::Regex : TCompare::Contains;
                e.Text = rest[1].Text;
                if (e.Compare == TCompare::Regex && VariablesUsed(e.Text).empty())
                    ValidRegex(e.Text, error);
            }
        } else if (what == "response-time") {
            e.Kind = TExpectKind::ResponseTime;
            const auto ms = rest.size() == 2 ? ParseInteger(rest[1].Text) : std::nullopt;
            if (rest.size() != 2 || (rest[0].Text != "<" && rest[0].Text != "<=") || !ms ||
                *ms < 1 || *ms > MaxResponseMs)
                error = "expect response-time takes < MS or <= MS (1 to 3600000)";
            else {
                e.Strict = rest[0].Text == "<";
                e.MaxMs = static_cast<int>(*ms);
            }
        } else {
            error = "unknown expectation '" + what +
                    "' (printer-status, fiscal-status, lit, return-code, field, outcome, "
                    "fiscal-answer, response-time)";
        }
        if (!error.empty())
            return Refuse(error);
        UseVariables(e.Text);
        if (const std::string name = ExpectationName(e);
            !Latin1(e.Field, "the answer field") || !Latin1(e.Text, name))
            return;
        if (m_lastSend != RefusedSend)
            m_case->Steps[static_cast<std::size_t>(m_lastSend)].Expectations.push_back(
                std::move(e));
    }

    // WORD, or mask MASK = WORD.
    static std::string StatusWord(const std::vector<TScriptWord>& rest, TExpectation& e,
                                  const std::string& what)
    {
        const std::string usage = "expect " + what +
                                  " takes a word of 1 to 4 hexadecimal digits, "
                                  "or: mask MASK = WORD";
        if (rest.size() == 1) {
            const auto word = ParseWord(rest[0].Text);
            if (!word)
                return usage;
            e.Word = *word;
            e.Mask = 0xFFFF;
            return {};
        }
        // "mask 3000 = 1000", also written "mask 3000=1000" or "mask 3000 =1000".
        std::string joined;
        for (std::size_t i = 1; i < rest.size(); ++i)
            joined += rest[i].Text;
        const auto eq = joined.find('=');
        if (rest.size() < 2 || rest[0].Text != "mask" || eq == std::string::npos)
            return usage;
        const auto mask = ParseWord(joined.substr(0, eq));
        const auto word = ParseWord(joined.substr(eq + 1));
        if (!mask || !word)
            return usage;
        if ((*word & ~*mask) != 0)
            return "expect " + what + ": " + Hex4(*word) + " has bits outside the mask " +
                   Hex4(*mask) + ", so it can never match";
        e.Mask = *mask;
        e.Word = *word;
        return {};
    }

    // FIELD = TEXT, FIELD ~ REGEX, FIELD in LOW..HIGH.
    static std::string FieldExpectation(const std::vector<TScriptWord>& rest, TExpectation& e)
    {
        constexpr const char* usage =
            "expect field takes: FIELD = TEXT, FIELD ~ REGEX or FIELD in LOW..HIGH";
        std::vector<TScriptWord> words = rest;
        // "Change"=0.00 arrives as one word: split it at its first unquoted '='.
        if (words.size() == 1 && words[0].Equals != std::string::npos) {
            const TScriptWord w = words[0];
            words = {TScriptWord{w.Text.substr(0, w.Equals), std::string::npos},
                     TScriptWord{"=", 0},
                     TScriptWord{w.Text.substr(w.Equals + 1), std::string::npos}};
        }
        if (words.size() == 2 && words[1].Text.size() > 1 && words[1].Text.front() == '=' &&
            words[1].Equals == 0)
            words = {words[0], TScriptWord{"=", 0}, TScriptWord{words[1].Text.substr(1), {}}};
        if (words.size() != 3 || words[0].Text.empty())
            return usage;
        e.Field = words[0].Text;
        const std::string& op = words[1].Text;
        e.Text = words[2].Text;
        if (op == "=") {
            e.Compare = TCompare::Equal;
            return {};
        }
        if (op == "~") {
            e.Compare = TCompare::Regex;
            std::string error;
            if (VariablesUsed(e.Text).empty())
                ValidRegex(e.Text, error);
            return error;
        }
        if (op == "in") {
            e.Compare = TCompare::Range;
            const auto dots = e.Text.find("..");
            const auto low =
                dots == std::string::npos ? std::nullopt : ParseDecimal(e.Text.substr(0, dots));
            const auto high =
                dots == std::string::npos ? std::nullopt : ParseDecimal(e.Text.substr(dots + 2));
            if (!low || !high)
                return "expect field ... in takes a range of numbers: in 1..5 or in 0.5..99.95";
            if (*low > *high)
                return "expect field ... in " + e.Text + ": the range is empty";
            e.Low = *low;
            e.High = *high;
            e.Text.clear();
            return {};
        }
        return usage;
    }

    std::string m_file;
    int m_line = 0;
    TScriptParse m_result;
    TScriptCase* m_case = nullptr;
    int m_lastSend = NoSend; // index in m_case->Steps of the send that expectations judge, or
                             // RefusedSend
    std::set<std::string> m_caseNames;
    std::set<std::string> m_kept;
    std::vector<std::pair<int, std::string>> m_refusals;
    std::size_t m_caseRefusals = 0; // refusals before the current case began
};

} // namespace

std::string_view OutcomeName(TScriptOutcome outcome)
{
    switch (outcome) {
    case TScriptOutcome::Answered:
        return "answered";
    case TScriptOutcome::Nak:
        return "nak";
    case TScriptOutcome::NoAnswer:
        return "no-answer";
    case TScriptOutcome::WriteError:
        return "write-error";
    }
    return "answered";
}

std::optional<TScriptOutcome> OutcomeFromName(std::string_view name)
{
    for (const auto o : {TScriptOutcome::Answered, TScriptOutcome::Nak, TScriptOutcome::NoAnswer,
                         TScriptOutcome::WriteError}) {
        if (OutcomeName(o) == name)
            return o;
    }
    return std::nullopt;
}

std::string ExpectationName(const TExpectation& e)
{
    switch (e.Kind) {
    case TExpectKind::PrinterStatus:
        return "printer status";
    case TExpectKind::FiscalStatus:
        return "fiscal status";
    case TExpectKind::Lit:
        return "lit status text";
    case TExpectKind::ReturnCode:
        return "return code";
    case TExpectKind::Field:
        return "field '" + e.Field + "'";
    case TExpectKind::Outcome:
        return "outcome";
    case TExpectKind::FiscalAnswer:
        return "fiscal answer";
    case TExpectKind::ResponseTime:
        return "response time";
    }
    return {};
}

std::string ExpectedText(const TExpectation& e)
{
    switch (e.Kind) {
    case TExpectKind::PrinterStatus:
    case TExpectKind::FiscalStatus:
        return e.Mask == 0xFFFF ? Hex4(e.Word) : "mask " + Hex4(e.Mask) + " = " + Hex4(e.Word);
    case TExpectKind::Lit:
        return e.Text;
    case TExpectKind::ReturnCode:
        return std::to_string(e.ReturnCode);
    case TExpectKind::Outcome:
        return std::string(OutcomeName(e.Outcome));
    case TExpectKind::ResponseTime:
        return (e.Strict ? "< " : "<= ") + std::to_string(e.MaxMs) + " ms";
    case TExpectKind::Field:
    case TExpectKind::FiscalAnswer:
        switch (e.Compare) {
        case TCompare::Equal:
            return e.Text;
        case TCompare::Regex:
            return "~ " + e.Text;
        case TCompare::Contains:
            return "contains " + e.Text;
        case TCompare::Range:
            return NumberText(e.Low) + ".." + NumberText(e.High);
        }
    }
    return {};
}

std::string CataloguePath(const TScript& script)
{
    const std::filesystem::path catalogue(script.Catalogue);
    if (catalogue.is_absolute())
        return catalogue.string();
    return (std::filesystem::path(script.Path).parent_path() / catalogue)
        .lexically_normal()
        .string();
}

TScriptParse ParseScript(std::string_view text, std::string_view fileName)
{
    TParser parser(fileName);
    // Editors on some systems start UTF-8 files with a byte-order mark: it is no character.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1); // CR LF files read alike
        parser.Line(++number, line);
        start = end + 1;
    }
    TScriptParse result = parser.Finish();
    result.Script.Path = std::string(fileName);
    return result;
}

TScriptParse LoadScript(const std::string& path)
{
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        TScriptParse result;
        result.Script.Path = path;
        result.Refusals.push_back(path + ": cannot read");
        return result;
    }
    const QByteArray bytes = file.readAll();
    return ParseScript(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                       path);
}

bool IsVariableName(std::string_view name)
{
    auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (name.empty() || !letter(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

std::vector<std::string> VariablesUsed(std::string_view text)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 >= text.size())
            continue;
        if (text[i + 1] == '$') {
            ++i;
            continue;
        }
        if (text[i + 1] != '{')
            continue;
        const std::size_t close = text.find('}', i + 2);
        if (close == std::string_view::npos)
            break;
        names.emplace_back(text.substr(i + 2, close - i - 2));
        i = close;
    }
    return names;
}

std::string ExpandVariables(std::string_view text, const std::vector<TVariable>& variables,
                            std::string& expanded)
{
    expanded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '$') {
            expanded += '$';
            ++i;
            continue;
        }
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
            const std::size_t close = text.find('}', i + 2);
            if (close != std::string_view::npos) {
                const std::string_view name = text.substr(i + 2, close - i - 2);
                // The latest value kept under the name counts; a case that ended before its
                // keep line leaves none.
                const auto it = std::find_if(variables.rbegin(), variables.rend(),
                                             [&](const TVariable& v) { return v.Name == name; });
                if (it == variables.rend() || !it->Kept)
                    return std::string(name);
                expanded += it->Value;
                i = close;
                continue;
            }
        }
        expanded += text[i];
    }
    return {};
}

std::string SplitScriptLine(std::string_view line, std::vector<TScriptWord>& words)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        TScriptWord word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '"') {
                        if (i + 1 < line.size() && line[i + 1] == '"') {
                            word.Text += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    if (const int byte = EscapedByte(line, i); byte >= 0) {
                        AppendLatin1(word.Text, static_cast<unsigned char>(byte));
                        i += 4;
                        continue;
                    }
                    word.Text += line[i++];
                }
                if (!closed)
                    return "a quote is never closed";
            } else {
                if (line[i] == '=' && word.Equals == std::string::npos)
                    word.Equals = word.Text.size();
                word.Text += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return {};
}

namespace {

// A byte that a line-based text shows badly or not at all: C0 controls, DEL, C1 controls.
bool ControlByte(unsigned char b)
{
    return b < 0x20 || (b >= 0x7F && b < 0xA0);
}

// `text` as one script word: Latin-1 bytes written as UTF-8 (`latin1`), or UTF-8 kept as it is.
std::string Quoted(std::string_view text, bool latin1)
{
    // A byte written as \xHH; escapes are read only inside quotes, so a word holding one is
    // quoted. In UTF-8 text, bytes from 0x80 are parts of characters, not C1 controls.
    const auto control = [latin1](unsigned char b) {
        return latin1 ? ControlByte(b) : b < 0x20 || b == 0x7F;
    };
    bool bare = !text.empty() && text.front() != '#';
    for (const char c : text) {
        bare = bare && c != ' ' && c != '"' && c != '=' && !control(static_cast<unsigned char>(c));
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (control(b) || (!bare && b == '\\' && EscapedByte(text, i) >= 0)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        } else if (latin1) {
            AppendLatin1(out, b);
        } else {
            out += text[i];
        }
        if (b == '"')
            out += '"';
    }
    return bare ? out : "\"" + out + "\"";
}

} // namespace

std::string QuoteScriptWord(std::string_view latin1)
{
    return Quoted(latin1, true);
}

std::string QuoteScriptText(std::string_view utf8)
{
    return Quoted(utf8, false);
}

std::string ScriptTextToLatin1(std::string_view utf8, std::string& latin1)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0xFF) {
            const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            latin1.clear();
            return text.mid(i, n).toStdString();
        }
    }
    latin1 = text.toLatin1().toStdString();
    return {};
}

std::string Latin1ToUtf8(std::string_view latin1)
{
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size())).toStdString();
}

std::string MissingValueText(std::string_view name, const std::vector<TVariable>& variables)
{
    std::string text = "no value kept in '" + std::string(name) + "'";
    const auto it = std::find_if(variables.rbegin(), variables.rend(),
                                 [&](const TVariable& v) { return v.Name == name; });
    if (it != variables.rend() && !it->Kept)
        text += " (" + it->LostIn + " failed before keeping it)";
    return text;
}

std::string FixedPart(std::string_view text)
{
    std::string fixed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '$') {
            fixed += '$';
            ++i;
            continue;
        }
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
            const std::size_t close = text.find('}', i + 2);
            if (close != std::string_view::npos) {
                i = close;
                continue;
            }
        }
        fixed += text[i];
    }
    return fixed;
}

} // namespace tallyhost

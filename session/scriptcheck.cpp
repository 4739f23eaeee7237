#include "session/scriptcheck.h"

#include "core/errors.h"
#include "core/inputrules.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/valueformat.h"

#include <QString>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>

namespace tallyhost {

namespace {

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return QString::compare(QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size())),
                            QString::fromLatin1(b.data(), static_cast<qsizetype>(b.size())),
                            Qt::CaseInsensitive) == 0;
}

// Whether `name` is a label the answer list of `def` can show: an answer field's caption, the
// extended protocol's "Return code", or "Field<n>" for a value beyond the answer fields.
bool KnownAnswerLabel(const TCommandDefinition& def, std::string_view name)
{
    for (int i = 0; i < std::clamp(def.AnswerCount, 0, MaxFields); ++i) {
        if (SameTextNoCase(def.Answers[i].Caption, name))
            return true;
    }
    if (SameTextNoCase(name, "Return code"))
        return true;
    if (name.size() > 5 && SameTextNoCase(name.substr(0, 5), "Field"))
        return std::all_of(name.begin() + 5, name.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    return false;
}

// "command 'Conv' of group 'T'": a command as the operator sees it in the tree.
std::string CommandName(const TScriptStep& step)
{
    return "command '" + step.Command + "' of group '" + step.Group + "'";
}

bool HasStatusText(const TStatusTable& table, std::string_view text)
{
    for (int i = 0; i < std::clamp(table.RecordCount, 0, MaxFields); ++i) {
        if (table.Records[i].Text == text)
            return true;
    }
    return false;
}

class TChecker
{
public:
    explicit TChecker(const TScript& script) : m_script(script) {}

    std::vector<std::string> Run()
    {
        const std::string path = CataloguePath(m_script);
        if (!std::filesystem::is_regular_file(path) || !m_cache.LoadFromFile(path)) {
            RefuseText(m_script.CatalogueLine, "cannot read the catalogue " + path);
            return Finish();
        }
        m_tree.emplace(path);
        m_settings = ReadFileSettings(path);
        try {
            LoadStatusRecords(m_cache, SectionFiscalAnswer, m_fiscal);
            LoadStatusRecords(m_cache, SectionPrinterAnswer, m_printer);
        } catch (const Error& e) {
            Refuse(m_script.CatalogueLine,
                   std::string("the catalogue's status records are broken: ") + e.what());
        }
        for (const TScriptCase& c : m_script.Cases) {
            const ExchangeRequest* last = nullptr;
            ExchangeRequest command;
            std::string lastName;
            for (const TScriptStep& step : c.Steps) {
                if (step.Kind == TStepKind::Send) {
                    last = Send(step, command) ? &command : nullptr;
                    lastName = CommandName(step);
                } else if (step.Kind == TStepKind::Keep && last &&
                           last->Definition.Mode == cmHost &&
                           !KnownAnswerLabel(last->Definition, step.Field)) {
                    Refuse(step.Line,
                           "the answer of " + lastName + " has no field '" + step.Field + "'");
                } else if (step.Kind == TStepKind::Keep && last &&
                           last->Definition.Mode != cmHost) {
                    Refuse(step.Line, "keep takes a host answer's field; the " + lastName +
                                          " goes to the fiscal port");
                }
            }
        }
        return Finish();
    }

    const TScriptPorts& Ports() const { return m_ports; }

private:
    // Messages quote the catalogue's Latin-1 texts; refusals are UTF-8 like the script.
    void Refuse(int line, const std::string& message)
    {
        m_refusals.emplace_back(line, Latin1ToUtf8(message));
    }

    // A message that is UTF-8 already, such as one naming a file: converting it would encode
    // it twice.
    void RefuseText(int line, std::string utf8) { m_refusals.emplace_back(line, std::move(utf8)); }

    std::vector<std::string> Finish()
    {
        std::stable_sort(m_refusals.begin(), m_refusals.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> out;
        for (const auto& [line, message] : m_refusals)
            out.push_back(m_script.Path + ":" + std::to_string(line) + ": " + message);
        return out;
    }

    // Judges one send and its expectations; false when the command itself is refused.
    bool Send(const TScriptStep& step, ExchangeRequest& command)
    {
        const auto key = std::make_pair(step.Group, step.Command);
        auto it = m_commands.find(key);
        if (it == m_commands.end()) {
            ExchangeRequest loaded;
            std::string error =
                LoadNamedCommand(*m_tree, m_cache, step.Group, step.Command, loaded);
            it = m_commands.emplace(key, std::make_pair(std::move(error), std::move(loaded))).first;
        }
        command = it->second.second;
        if (const std::string& error = it->second.first; !error.empty()) {
            Refuse(step.Line, error);
            return false;
        }
        const TCommandDefinition& def = command.Definition;
        const std::string name = CommandName(step);
        if (def.FieldCount <= 0) {
            Refuse(step.Line, "the " + name + " has no fields: nothing to send");
            return false;
        }
        const bool host = def.Mode == cmHost;
        (host ? m_ports.Host : m_ports.Fiscal) = true;
        if (step.Repeat > 0 && !host)
            Refuse(step.Line, "repeat is for host commands; this one goes to the fiscal port");

        // A value with variables is known at run time only: its field, and the part written
        // out, are judged here; the runner types the whole value before sending.
        std::vector<NamedValue> known;
        bool deferred = false;
        for (const NamedValue& v : step.Values) {
            if (VariablesUsed(v.second).empty()) {
                std::string value;
                ExpandVariables(v.second, {}, value); // $$ is a '$'
                known.emplace_back(v.first, std::move(value));
                continue;
            }
            deferred = true;
            const int index = FindField(def, v.first);
            if (index < 0) {
                Refuse(step.Line, "the command has no field '" + v.first + "'");
                continue;
            }
            const TCommandFieldDef& field = def.Fields[index];
            const std::string caption = CaptionWithoutAccelerator(field.Caption);
            const std::string fixed = FixedPart(v.second);
            const int length = MaxLengthForType(field.TextType, field.MaxLength);
            if (field.ReadOnly)
                Refuse(step.Line, "field '" + caption + "' is read only");
            else if (field.ControlType == ctDate || field.ControlType == ctTime ||
                     field.ControlType == ctDropDownList)
                continue; // the whole value must be known to judge it
            else if (length > 0 && fixed.size() > static_cast<std::size_t>(length))
                Refuse(step.Line, "field '" + caption + "': the value is longer than its " +
                                      std::to_string(length) + " characters");
            else if (!TextAllowed(field.TextType, fixed))
                Refuse(step.Line, "field '" + caption + "': '" + fixed + "' is not a valid " +
                                      TextTypeName(field.TextType) + " value");
        }
        std::vector<std::string> refusals;
        if (deferred)
            FillNamedInputs(known, m_cache, command, &refusals);
        else
            refusals =
                JudgeSendValues(known, m_cache, m_settings.InputDateFormat, step.Repeat, command);
        for (const std::string& refusal : refusals)
            Refuse(step.Line, refusal);

        for (const TExpectation& e : step.Expectations)
            Expectation(e, command, name);
        return true;
    }

    void Expectation(const TExpectation& e, const ExchangeRequest& command, const std::string& name)
    {
        const bool host = command.Definition.Mode == cmHost;
        switch (e.Kind) {
        case TExpectKind::PrinterStatus:
        case TExpectKind::FiscalStatus:
        case TExpectKind::ReturnCode:
        case TExpectKind::Lit:
        case TExpectKind::Field:
            if (!host) {
                Refuse(e.Line, "the " + ExpectationName(e) + " belongs to host answers; the " +
                                   name + " goes to the fiscal port");
                return;
            }
            break;
        case TExpectKind::FiscalAnswer:
            if (host) {
                Refuse(e.Line, "the fiscal answer belongs to fiscal-port commands; the " + name +
                                   " goes to the host port");
                return;
            }
            break;
        case TExpectKind::Outcome:
        case TExpectKind::ResponseTime:
            break;
        }
        if (e.Kind == TExpectKind::Field && !KnownAnswerLabel(command.Definition, e.Field))
            Refuse(e.Line, "the answer of " + name + " has no field '" + e.Field + "'");
        if (e.Kind == TExpectKind::Lit && !HasStatusText(m_fiscal, e.Text) &&
            !HasStatusText(m_printer, e.Text))
            Refuse(e.Line, "no status record of the catalogue has the text '" + e.Text + "'");
    }

    const TScript& m_script;
    TTerminalCache m_cache;
    std::optional<TCommandTree> m_tree; // read once, with the cache
    FileSettings m_settings;
    TStatusTable m_fiscal;
    TStatusTable m_printer;
    std::vector<std::pair<int, std::string>> m_refusals;
    TScriptPorts m_ports;
    // Each command is looked up in the file once: the load's refusal and the definition.
    std::map<std::pair<std::string, std::string>, std::pair<std::string, ExchangeRequest>>
        m_commands;
};

} // namespace

std::vector<std::string> CheckScriptAgainstCatalogue(const TScript& script, TScriptPorts* ports)
{
    TChecker checker(script);
    auto refusals = checker.Run();
    if (ports) {
        ports->Host = ports->Host || checker.Ports().Host;
        ports->Fiscal = ports->Fiscal || checker.Ports().Fiscal;
    }
    return refusals;
}

std::vector<std::string> JudgeSendValues(const std::vector<NamedValue>& values,
                                         const TTerminalCache& cache, int inputDateFormat,
                                         int repeat, ExchangeRequest& request)
{
    std::vector<std::string> refusals;
    FillNamedInputs(values, cache, request, &refusals);
    if (!refusals.empty())
        return refusals;
    if (const int empty = EmptyRequiredField(request); empty >= 0) {
        refusals.push_back("field '" +
                           CaptionWithoutAccelerator(request.Definition.Fields[empty].Caption) +
                           "' is required");
        return refusals;
    }
    std::vector<std::string> fields;
    // A repeat's last run carries the largest autoincrement.
    FrameFields(request, inputDateFormat, repeat, fields, nullptr, &refusals);
    return refusals;
}

namespace {

// The line of a refusal "path:line: message" (0 for none), to merge two lists in line order.
int RefusalLine(const std::string& refusal, const std::string& path)
{
    if (refusal.compare(0, path.size() + 1, path + ":") != 0)
        return 0;
    int line = 0;
    for (std::size_t i = path.size() + 1;
         i < refusal.size() && refusal[i] >= '0' && refusal[i] <= '9'; ++i)
        line = line * 10 + (refusal[i] - '0');
    return line;
}

} // namespace

TScriptParse LoadCheckedScript(const std::string& path, TScriptPorts* ports)
{
    TScriptParse parse = LoadScript(path);
    // The lines the parser took are judged against the catalogue too, so that one report
    // holds every refusal; without a readable catalogue line there is nothing to judge with.
    if (parse.Script.Catalogue.empty() ||
        parse.Refusals == std::vector<std::string>{path + ": cannot read"})
        return parse;
    std::vector<std::string> checked = CheckScriptAgainstCatalogue(parse.Script, ports);
    parse.Refusals.insert(parse.Refusals.end(), std::make_move_iterator(checked.begin()),
                          std::make_move_iterator(checked.end()));
    std::stable_sort(parse.Refusals.begin(), parse.Refusals.end(),
                     [&](const std::string& a, const std::string& b) {
                         return RefusalLine(a, path) < RefusalLine(b, path);
                     });
    return parse;
}

} // namespace tallyhost

#include "session/scriptcheck.h"

#include "core/errors.h"
#include "core/termcache.h"
#include "core/termfile.h"

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
            Refuse(m_script.CatalogueLine, "cannot read the catalogue " + path);
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
            for (const TScriptStep& step : c.Steps) {
                if (step.Kind == TStepKind::Send) {
                    last = Send(step, command) ? &command : nullptr;
                } else if (step.Kind == TStepKind::Keep && last &&
                           last->Definition.Mode == cmHost &&
                           !KnownAnswerLabel(last->Definition, step.Field)) {
                    Refuse(step.Line,
                           "the answer of " + last->Section + " has no field '" + step.Field + "'");
                } else if (step.Kind == TStepKind::Keep && last &&
                           last->Definition.Mode != cmHost) {
                    Refuse(step.Line, "keep takes a host answer's field; " + last->Section +
                                          " goes to the fiscal port");
                }
            }
        }
        return Finish();
    }

    const TScriptPorts& Ports() const { return m_ports; }

private:
    void Refuse(int line, const std::string& message) { m_refusals.emplace_back(line, message); }

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
        if (def.FieldCount <= 0) {
            Refuse(step.Line, "the command " + command.Section + " has no fields: nothing to send");
            return false;
        }
        const bool host = def.Mode == cmHost;
        (host ? m_ports.Host : m_ports.Fiscal) = true;
        if (step.Repeat > 0 && !host)
            Refuse(step.Line, "repeat is for host commands; this one goes to the fiscal port");

        // Values with variables are known at run time only: their fields are judged here, the
        // typed text then.
        std::vector<NamedValue> known;
        bool deferred = false;
        for (const NamedValue& v : step.Values) {
            if (VariablesUsed(v.second).empty() && v.second.find("$$") == std::string::npos) {
                known.push_back(v);
                continue;
            }
            deferred = true;
            const int index = FindField(def, v.first);
            if (index < 0)
                Refuse(step.Line, "the command has no field '" + v.first + "'");
            else if (def.Fields[index].ReadOnly)
                Refuse(step.Line, "field '" + CaptionWithoutAccelerator(def.Fields[index].Caption) +
                                      "' is read only");
        }
        if (const std::string error = FillNamedInputs(known, m_cache, command); !error.empty()) {
            Refuse(step.Line, error);
        } else if (const int empty = EmptyRequiredField(command); empty >= 0 && !deferred) {
            Refuse(step.Line, "field '" + CaptionWithoutAccelerator(def.Fields[empty].Caption) +
                                  "' is required");
        } else if (!deferred) {
            std::vector<std::string> fields;
            if (const std::string refused =
                    FrameFields(command, m_settings.InputDateFormat, step.Repeat, fields);
                !refused.empty())
                Refuse(step.Line, refused);
        }

        for (const TExpectation& e : step.Expectations)
            Expectation(e, command);
        return true;
    }

    void Expectation(const TExpectation& e, const ExchangeRequest& command)
    {
        const bool host = command.Definition.Mode == cmHost;
        switch (e.Kind) {
        case TExpectKind::PrinterStatus:
        case TExpectKind::FiscalStatus:
        case TExpectKind::ReturnCode:
        case TExpectKind::Lit:
        case TExpectKind::Field:
            if (!host) {
                Refuse(e.Line, "the " + ExpectationName(e) + " belongs to host answers; " +
                                   command.Section + " goes to the fiscal port");
                return;
            }
            break;
        case TExpectKind::FiscalAnswer:
            if (host) {
                Refuse(e.Line, "the fiscal answer belongs to fiscal-port commands; " +
                                   command.Section + " goes to the host port");
                return;
            }
            break;
        case TExpectKind::Outcome:
        case TExpectKind::ResponseTime:
            break;
        }
        if (e.Kind == TExpectKind::Field && !KnownAnswerLabel(command.Definition, e.Field))
            Refuse(e.Line, "the answer of " + command.Section + " has no field '" + e.Field + "'");
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

TScriptParse LoadCheckedScript(const std::string& path, TScriptPorts* ports)
{
    TScriptParse parse = LoadScript(path);
    if (parse.Refusals.empty())
        parse.Refusals = CheckScriptAgainstCatalogue(parse.Script, ports);
    return parse;
}

} // namespace tallyhost

#include "session/scriptrunner.h"

#include "core/answerdecode.h"
#include "core/errors.h"
#include "core/logformat.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "session/commandvalues.h"
#include "session/script.h"
#include "session/scriptcheck.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tallyhost {

namespace {

QString Latin1(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return QString::compare(Latin1(a), Latin1(b), Qt::CaseInsensitive) == 0;
}

const AnswerEntry* FindAnswer(const ExchangeResult& r, std::string_view label)
{
    for (const AnswerEntry& e : r.AnswerFields) {
        if (e.Label == label)
            return &e;
    }
    for (const AnswerEntry& e : r.AnswerFields) {
        if (SameTextNoCase(e.Label, label))
            return &e;
    }
    // "Field<n>" also names the value at place n, so that a field without a caption (or
    // sharing one) can be named.
    if (label.size() > 5 && label.size() < 10 && SameTextNoCase(label.substr(0, 5), "Field") &&
        label.find_first_not_of("0123456789", 5) == std::string_view::npos) {
        const int place = std::atoi(std::string(label.substr(5)).c_str());
        for (const AnswerEntry& e : r.AnswerFields) {
            if (e.Position == place)
                return &e;
        }
    }
    return nullptr;
}

std::string LitTexts(const ExchangeResult& r)
{
    std::string out;
    for (const auto* panels : {&r.FiscalPanels, &r.PrinterPanels}) {
        for (const StatusPanelText& p : *panels) {
            if (p.Matched)
                out += (out.empty() ? "" : ", ") + p.Text;
        }
    }
    return out.empty() ? "nothing lit" : out;
}

// Whether `pattern` finds a match in `text`; an error text when it cannot tell: the pattern is
// not valid (it became so through a variable), or the matcher gave up at its limit, which is
// not the same as finding no match.
std::string Searches(const std::string& pattern, const std::string& text, bool* met)
{
    *met = false;
    const QRegularExpression re(Latin1(pattern), QRegularExpression::MultilineOption);
    if (!re.isValid())
        return "'" + pattern + "' is not a valid regular expression (" +
               re.errorString().toStdString() + ")";
    const QRegularExpressionMatch match = re.match(Latin1(text));
    if (!match.isValid())
        return "pattern too complex to match against this value";
    *met = match.hasMatch();
    return {};
}

// A shown number: currency and decimal values, with a comma taken as the decimal point.
std::optional<double> ShownNumber(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    text = text.substr(first, last - first + 1);
    if (!text.empty() && text.front() == '+')
        text.erase(0, 1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string Hex4(std::uint16_t word)
{
    return StatusWordHex(word);
}

std::string FiscalText(const ExchangeResult& r)
{
    std::string text;
    for (const FiscalAnswerFrame& f : r.FiscalFrames)
        text += (text.empty() ? "" : "\n") + f.Data;
    return text;
}

// An outcome as a failed case reports it: a port found closed says which, since the operator's
// fault text (none for a closed port) cannot.
std::string OutcomeReported(const ExchangeResult& r)
{
    std::string words = OutcomeWords(r);
    if (r.Outcome == ExchangeOutcome::PortClosed && !r.Refusal.empty())
        words += ", " + r.Refusal;
    return words;
}

// A step's share of the progress: a repeat advances once per run.
int StepUnits(const TScriptStep& step)
{
    return step.Kind == TStepKind::Send && step.Repeat > 0 ? step.Repeat : 1;
}

int CaseUnits(const TScriptCase& c)
{
    int units = 0;
    for (const TScriptStep& step : c.Steps)
        units += StepUnits(step);
    return units;
}

} // namespace

std::string OutcomeWords(const ExchangeResult& r)
{
    switch (r.Outcome) {
    case ExchangeOutcome::Answered:
    case ExchangeOutcome::Acknowledged:
        return std::string(OutcomeName(TScriptOutcome::Answered));
    case ExchangeOutcome::RefusedNak:
        return std::string(OutcomeName(TScriptOutcome::Nak));
    case ExchangeOutcome::NoAnswer:
        return std::string(OutcomeName(TScriptOutcome::NoAnswer));
    case ExchangeOutcome::WriteError:
    case ExchangeOutcome::PortClosed:
        return std::string(OutcomeName(TScriptOutcome::WriteError));
    case ExchangeOutcome::Cancelled:
        return "cancelled";
    case ExchangeOutcome::RefusedValue:
    case ExchangeOutcome::LinkRefused:
    case ExchangeOutcome::NothingToSend:
        break;
    }
    return "refused (" + r.Refusal + ")";
}

std::vector<std::string> WireLogLines(const ExchangeResult& r)
{
    std::vector<std::string> lines;
    lines.reserve(r.Wire.size());
    for (const WireFrame& w : r.Wire) {
        // As the log window writes them (so that its reader takes them back): what we write
        // by its port, what the printer sends as the printer's, its ACK and NAK by name.
        const std::string_view prefix = !w.Written ? kPrinterPrefix
                                        : w.Fiscal ? kFiscalPrefix
                                                   : kHostPrefix;
        if (!w.Written && (w.Bytes == "\x06" || w.Bytes == "\x15"))
            lines.push_back(std::string(prefix) + (w.Bytes == "\x06" ? "ACK" : "NACK"));
        else
            lines.push_back(std::string(prefix) + FrameHexText(w.Bytes));
    }
    return lines;
}

std::string JudgeExpectation(const TExpectation& e, const ExchangeResult& r,
                             const std::vector<TVariable>& variables, bool* met, bool* error)
{
    *met = false;
    bool ignored = false;
    bool& failed = error ? *error : ignored;
    failed = false;
    std::string expected;
    if (const std::string missing = ExpandVariables(e.Text, variables, expected);
        !missing.empty()) {
        failed = true;
        return MissingValueText(missing, variables);
    }
    // Everything but the outcome and the time judges an answer: without one there is nothing
    // to compare, and the outcome says why.
    const bool needsAnswer = e.Kind != TExpectKind::Outcome && e.Kind != TExpectKind::ResponseTime;
    if (needsAnswer && !r.Succeeded())
        return "no answer (" + OutcomeReported(r) + ")";
    switch (e.Kind) {
    case TExpectKind::PrinterStatus:
    case TExpectKind::FiscalStatus: {
        const std::uint16_t word =
            e.Kind == TExpectKind::PrinterStatus ? r.PrinterStatus : r.FiscalStatus;
        *met = (word & e.Mask) == e.Word;
        return Hex4(word);
    }
    case TExpectKind::Lit: {
        for (const auto* panels : {&r.FiscalPanels, &r.PrinterPanels}) {
            for (const StatusPanelText& p : *panels)
                *met = *met || (p.Matched && p.Text == expected);
        }
        return LitTexts(r);
    }
    case TExpectKind::ReturnCode:
        *met = r.ReturnCode == e.ReturnCode;
        return std::to_string(r.ReturnCode);
    case TExpectKind::Field: {
        const AnswerEntry* entry = FindAnswer(r, e.Field);
        if (!entry)
            return "no such field in the answer";
        switch (e.Compare) {
        case TCompare::Equal:
            *met = entry->Value == expected;
            break;
        case TCompare::Regex:
            if (std::string why = Searches(expected, entry->Value, met); !why.empty()) {
                failed = true;
                return why;
            }
            break;
        case TCompare::Range: {
            const auto n = ShownNumber(entry->Value);
            *met = n && *n >= e.Low && *n <= e.High;
            break;
        }
        case TCompare::Contains:
            *met = entry->Value.find(expected) != std::string::npos;
            break;
        }
        return entry->Value;
    }
    case TExpectKind::Outcome: {
        *met = OutcomeWords(r) == OutcomeName(e.Outcome);
        return OutcomeReported(r);
    }
    case TExpectKind::FiscalAnswer: {
        const std::string text = FiscalText(r);
        if (e.Compare != TCompare::Regex) {
            *met = text.find(expected) != std::string::npos;
        } else if (std::string why = Searches(expected, text, met); !why.empty()) {
            failed = true;
            return why;
        }
        return text.empty() ? "no frames (ACK)" : text;
    }
    case TExpectKind::ResponseTime:
        if (!r.ResponseMs)
            return "no response time";
        *met = e.Strict ? *r.ResponseMs < e.MaxMs : *r.ResponseMs <= e.MaxMs;
        return std::to_string(*r.ResponseMs) + " ms";
    }
    return {};
}

TScriptRunner::TScriptRunner(TExchangeEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine)
{
}

void TScriptRunner::StopBecause(const std::string& reason)
{
    if (!m_stopped)
        m_stopReason = reason.empty() ? std::string("the run was stopped") : reason;
    m_stopped = true;
    if (m_waitLoop)
        m_waitLoop->quit();
    if (m_engine.Busy())
        m_engine.Cancel(StateWord::Abort);
}

void TScriptRunner::Advance(int units)
{
    if (units <= 0)
        return;
    m_unitsDone = std::min(m_unitsTotal, m_unitsDone + units);
    emit Progressed(m_unitsDone, m_unitsTotal);
}

bool TScriptRunner::Wait(int ms)
{
    if (ms <= 0 || m_stopped)
        return !m_stopped;
    QEventLoop loop;
    m_waitLoop = &loop; // Stop ends a wait at once
    QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
    loop.exec();
    m_waitLoop = nullptr;
    return !m_stopped;
}

std::vector<TScriptResult> TScriptRunner::Run(const std::vector<std::string>& paths,
                                              const TRunOptions& options)
{
    std::vector<TScriptResult> results;
    for (const std::string& path : paths) {
        TScriptParse parse = LoadCheckedScript(path);
        if (!parse.Refusals.empty()) {
            TScriptResult refused;
            refused.Script = path;
            refused.Refusals = std::move(parse.Refusals);
            results.push_back(std::move(refused));
            continue;
        }
        results.push_back(RunScript(parse.Script, options));
    }
    return results;
}

TScriptResult TScriptRunner::RunScript(const TScript& script, const TRunOptions& options)
{
    TScriptResult result;
    result.Script = script.Path;
    QElapsedTimer clock;
    clock.start();

    const std::string path = CataloguePath(script);
    TTerminalCache cache;
    TStatusTable fiscal;
    TStatusTable printer;
    bool loaded = cache.LoadFromFile(path);
    try {
        if (loaded) {
            LoadStatusRecords(cache, SectionFiscalAnswer, fiscal);
            LoadStatusRecords(cache, SectionPrinterAnswer, printer);
        }
    } catch (const Error&) {
        loaded = false;
    }
    if (!loaded) {
        // It was read at the check: it went away or broke since. Nothing of the script runs,
        // and the report says why for the script and for each case.
        result.Error = "cannot read the catalogue " + path + " (line " +
                       std::to_string(script.CatalogueLine) + ")";
        // Each case is finished as in any other run, so that the window and the terminal
        // show it and why, and the progress of an earlier script is not left showing.
        emit Progressed(0, 0);
        const QString name = QFile::decodeName(script.Path.c_str());
        for (const TScriptCase& c : script.Cases) {
            result.Cases.push_back(Skipped(c, "not run: " + result.Error));
            emit CaseFinished(name, result.Cases.back());
        }
        return result;
    }
    const FileSettings fs = ReadFileSettings(path);
    ExchangeSettings settings = m_engine.Settings();
    settings.Protocol = fs.Protocol;
    settings.InputDateFormat = fs.InputDateFormat;
    settings.OutputDateFormat = fs.OutputDateFormat;
    m_engine.SetSettings(settings);
    m_engine.SetCatalogue(&cache);
    m_engine.SetStatusTables(fiscal, printer);
    m_cache = &cache;
    const TCommandTree tree(path);
    m_commands.clear();
    m_variables.clear();
    m_scriptPath = QString::fromStdString(script.Path);

    const int count = static_cast<int>(script.Cases.size());
    m_unitsDone = 0;
    m_unitsTotal = 0;
    for (const TScriptCase& c : script.Cases)
        m_unitsTotal += CaseUnits(c);
    emit Progressed(0, m_unitsTotal);
    for (int i = 0; i < count; ++i) {
        const TScriptCase& c = script.Cases[static_cast<std::size_t>(i)];
        const QString name = QFile::decodeName(script.Path.c_str());
        // Cases a failure leaves unrun are skipped (the run went as asked); cases the
        // operator's Stop cut off are stopped.
        const bool skipped = options.StopOnFailure && m_failed;
        if (skipped || m_stopped) {
            result.Cases.push_back(Skipped(c, skipped ? "an earlier case failed" : m_stopReason));
            if (!skipped)
                result.Cases.back().Status = TCaseStatus::Stopped;
            else
                Advance(CaseUnits(c));
            LoseKeeps(c, 0);
            emit CaseFinished(name, result.Cases.back());
            continue;
        }
        emit CaseStarted(name, QString::fromStdString(c.Name), i, count);
        const int before = m_unitsDone;
        result.Cases.push_back(RunCase(c, tree));
        // A case that ended early (a failure) is done all the same; a stopped one is not.
        if (result.Cases.back().Status != TCaseStatus::Stopped)
            Advance(before + CaseUnits(c) - m_unitsDone);
        m_failed = m_failed || result.Cases.back().Status == TCaseStatus::Failed;
        emit CaseFinished(name, result.Cases.back());
    }
    if (m_stopped)
        result.Error = m_stopReason;
    m_engine.SetCatalogue(nullptr);
    m_cache = nullptr;
    m_commands.clear();
    result.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return result;
}

TCaseResult TScriptRunner::Skipped(const TScriptCase& c, const std::string& reason)
{
    TCaseResult out;
    out.Name = c.Name;
    out.Line = c.Line;
    out.Status = TCaseStatus::Skipped;
    out.Reason = reason;
    return out;
}

void TScriptRunner::LoseKeeps(const TScriptCase& c, std::size_t from)
{
    // The name goes into a failure's text, which is Latin-1 like the answers it quotes.
    std::string name;
    if (ScriptTextToLatin1(c.Name, name).empty())
        name = "case '" + name + "'";
    else
        name = "the case at line " + std::to_string(c.Line);
    for (std::size_t i = from; i < c.Steps.size(); ++i) {
        if (c.Steps[i].Kind == TStepKind::Keep)
            m_variables.push_back(TVariable{c.Steps[i].Variable, {}, false, name});
    }
}

TCaseResult TScriptRunner::RunCase(const TScriptCase& c, const TCommandTree& tree)
{
    TCaseResult out;
    out.Name = c.Name;
    out.Line = c.Line;
    out.Status = TCaseStatus::Passed;
    QElapsedTimer clock;
    clock.start();
    const auto fail = [&](int line, std::string what, std::string expected, std::string actual,
                          bool error = false) {
        out.Status = TCaseStatus::Failed;
        out.Failure =
            TCaseFailure{line, std::move(what), std::move(expected), std::move(actual), error};
    };
    std::optional<ExchangeResult> last;
    std::size_t next = 0; // the step going on; the keeps from it on did not keep
    for (; next < c.Steps.size(); ++next) {
        const TScriptStep& step = c.Steps[next];
        if (m_stopped) {
            out.Status = TCaseStatus::Stopped;
            out.Reason = m_stopReason;
            break;
        }
        if (step.Kind == TStepKind::Wait) {
            // A case cut off in its last step, a wait, is stopped too, not passed.
            if (!Wait(step.WaitMs)) {
                out.Status = TCaseStatus::Stopped;
                out.Reason = m_stopReason;
                break;
            }
            Advance(1);
            continue;
        }
        if (step.Kind == TStepKind::Keep) {
            const AnswerEntry* entry = last ? FindAnswer(*last, step.Field) : nullptr;
            if (!entry) {
                fail(step.Line, "field '" + step.Field + "'", "a value to keep",
                     last && !last->Succeeded() ? "no answer (" + OutcomeReported(*last) + ")"
                                                : "no such field in the answer");
                break;
            }
            m_variables.push_back(TVariable{step.Variable, entry->Value, true, {}});
            Advance(1);
            continue;
        }

        // A send: its values with the variables known now, typed as the window's boxes take them.
        std::vector<NamedValue> values;
        std::string refusal;
        for (const NamedValue& v : step.Values) {
            std::string value;
            if (const std::string missing = ExpandVariables(v.second, m_variables, value);
                !missing.empty()) {
                refusal = MissingValueText(missing, m_variables);
                break;
            }
            values.emplace_back(v.first, value);
        }
        ExchangeRequest request;
        if (refusal.empty()) {
            // The catalogue does not change during a run: each command is looked up once.
            const auto key = std::make_pair(step.Group, step.Command);
            auto it = m_commands.find(key);
            if (it == m_commands.end()) {
                ExchangeRequest loaded;
                const std::string error =
                    LoadNamedCommand(tree, *m_cache, step.Group, step.Command, loaded);
                it = m_commands.emplace(key, std::make_pair(error, std::move(loaded))).first;
            }
            refusal = it->second.first;
            request = it->second.second;
        }
        if (refusal.empty()) {
            // Typed and converted as the check does, so a value known only now is refused in
            // the check's words, and before anything is sent.
            const std::vector<std::string> refusals = JudgeSendValues(
                values, *m_cache, m_engine.Settings().InputDateFormat, step.Repeat, request);
            if (!refusals.empty())
                refusal = refusals.front();
        }
        if (!refusal.empty()) {
            fail(step.Line, {}, {}, refusal, true);
            break;
        }
        // A repeat's runs advance the progress as they go out: run r handed over means the
        // r - 1 before it are done.
        int runsShown = 0;
        const QMetaObject::Connection runs =
            connect(&m_engine, &TExchangeEngine::HandedOver, this, [&](int run, int) {
                Advance(run - 1 - runsShown);
                runsShown = std::max(runsShown, run - 1);
            });
        const bool accepted =
            step.Repeat > 0 ? m_engine.Repeat(request, step.Repeat) : m_engine.Send(request);
        if (!accepted) {
            disconnect(runs);
            fail(step.Line, "send", "an idle engine", "busy");
            break;
        }
        last = m_engine.WaitForFinished();
        disconnect(runs);
        m_stepsSent += std::max(1, last->Run);
        out.Steps.push_back(TStepTime{step.Line, last->ResponseMs});
        emit StepFinished(m_scriptPath, c.Name, step.Line, *last);
        for (std::string& line : WireLogLines(*last))
            out.Log.push_back(std::move(line));
        if (m_stopped) {
            out.Status = TCaseStatus::Stopped;
            out.Reason = m_stopReason;
            break;
        }
        Advance(StepUnits(step) - runsShown);

        bool outcomeExpected = false;
        for (const TExpectation& e : step.Expectations)
            outcomeExpected = outcomeExpected || e.Kind == TExpectKind::Outcome;
        if (!outcomeExpected && !last->Succeeded()) {
            // An exchange that failed, unless the script expects it to, fails the case.
            const std::string fault = last->FaultText.empty() ? "" : " " + last->FaultText;
            fail(step.Line, "outcome", "answered", OutcomeReported(*last) + fault);
            break;
        }
        for (const TExpectation& e : step.Expectations) {
            bool met = false;
            bool error = false;
            std::string actual = JudgeExpectation(e, *last, m_variables, &met, &error);
            if (!met) {
                std::string expected;
                TExpectation shown = e;
                if (ExpandVariables(e.Text, m_variables, expected).empty())
                    shown.Text = expected;
                fail(e.Line, ExpectationName(e), ExpectedText(shown), std::move(actual), error);
                break;
            }
        }
        if (out.Status == TCaseStatus::Failed)
            break;
    }
    if (out.Status != TCaseStatus::Passed)
        LoseKeeps(c, next);
    out.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return out;
}

} // namespace tallyhost

#include "session/benchrun.h"

#include "core/profile.h"
#include "links/auxframe.h"
#include "links/devicetable.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/exchange.h"
#include "session/reporttext.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace tallyhost {

namespace {

// A host line speed as --baud takes it; an error text or empty.
std::string TakeBaud(std::string_view text, TBaudRate& rate)
{
    int value = 0;
    bool digits = !text.empty() && text.size() <= 6;
    for (const char c : text) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!digits || !BaudRateFromValue(value, rate))
        return "baud '" + std::string(text) +
               "' is not one of 1200, 2400, 4800, 9600, 19200 or 38400";
    return {};
}

double SecondsOf(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

bool IsBenchName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '+' ||
               c == '-';
    });
}

std::string ParseBenchOption(std::string_view text, TBench& bench)
{
    const std::string shown = "bench '" + std::string(text) + "'";
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return shown + " wants NAME=HOST_DEVICE[,FISCAL_DEVICE][@BAUD]";
    bench = TBench{};
    bench.Name = std::string(text.substr(0, equals));
    if (!IsBenchName(bench.Name))
        return shown + ": a name is letters, digits and . _ + -";
    std::string_view devices = text.substr(equals + 1);
    // A device path may hold '@' itself: only a last '@' followed by a speed is one.
    if (const auto at = devices.rfind('@'); at != std::string_view::npos) {
        const std::string_view speed = devices.substr(at + 1);
        const bool number = !speed.empty() && std::all_of(speed.begin(), speed.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (number || at + 1 == devices.size()) {
            if (std::string error = TakeBaud(speed, bench.Baud); !error.empty())
                return shown + ": " + error;
            devices = devices.substr(0, at);
        }
    }
    const auto comma = devices.find(',');
    bench.Host = std::string(devices.substr(0, comma));
    if (comma != std::string_view::npos) {
        bench.Fiscal = std::string(devices.substr(comma + 1));
        if (bench.Fiscal.empty())
            return shown + ": no fiscal device after ','";
    }
    if (bench.Host.empty() && bench.Fiscal.empty())
        return shown + " names no device";
    return {};
}

std::string LoadBenchesFile(const std::string& path, std::vector<TBench>& benches)
{
    // Read once: every bench comes from the file as it was at that moment.
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return path + ": cannot read";
    file.close();
    const IniDocument doc = IniDocument::Load(path);
    if (!doc.Readable())
        return path + ": cannot read";
    const std::vector<std::string> sections = doc.ReadSections();
    if (sections.empty())
        return path + ": no bench (a section per bench, with Host=, Fiscal= and Baud=)";
    for (const std::string& name : sections) {
        const std::string where = path + ": [" + name + "]";
        if (!IsBenchName(name))
            return where + ": a bench name is letters, digits and . _ + -";
        for (const std::string& key : doc.ReadSection(name)) {
            if (!SameName(key, "Host") && !SameName(key, "Fiscal") && !SameName(key, "Baud"))
                return where + ": unknown key '" + key + "' (Host, Fiscal, Baud)";
        }
        TBench bench;
        bench.Name = name;
        bench.Host = doc.ReadString(name, "Host", "");
        bench.Fiscal = doc.ReadString(name, "Fiscal", "");
        const std::string baud = doc.ReadString(name, "Baud", "");
        if (!baud.empty()) {
            if (std::string error = TakeBaud(baud, bench.Baud); !error.empty())
                return where + ": " + error;
        }
        if (bench.Host.empty() && bench.Fiscal.empty())
            return where + ": no device (Host= or Fiscal=)";
        benches.push_back(std::move(bench));
    }
    return {};
}

std::string CheckBenches(const std::vector<TBench>& benches)
{
    if (benches.empty())
        return "no bench";
    for (std::size_t i = 0; i < benches.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (benches[i].Name == benches[j].Name)
                return "bench '" + benches[i].Name + "' is given twice";
        }
    }
    return {};
}

TBenchRun::TBenchRun(std::vector<TBench> benches, std::vector<TScript> scripts,
                     TBenchRunOptions options)
    : m_benches(std::move(benches)), m_scripts(std::move(scripts)), m_options(options)
{
}

TBenchRun::~TBenchRun() = default;

std::vector<TBenchResult> TBenchRun::Run()
{
    m_results.assign(m_benches.size(), TBenchResult{});
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t i = 0; i < m_benches.size(); ++i) {
        threads.emplace_back(QThread::create([this, i] {
            RunBench(i);
            // Hands the bench's result over through the lock: QThread::wait orders it too, but
            // in Qt's own code, which the thread sanitizer cannot see.
            std::lock_guard guard(m_lock);
        }));
        threads.back()->setObjectName(QString::fromStdString("bench " + m_benches[i].Name));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    std::lock_guard guard(m_lock);
    return std::move(m_results);
}

void TBenchRun::Stop(const std::string& reason)
{
    std::lock_guard guard(m_lock);
    m_stopped = true;
    m_stopReason = reason;
    for (TScriptRunner* runner : m_runners) {
        // The runner lives in its bench's thread: it stops there, between two events.
        QMetaObject::invokeMethod(
            runner, [runner, reason] { runner->StopBecause(reason); }, Qt::QueuedConnection);
    }
}

bool TBenchRun::Stopped()
{
    std::lock_guard guard(m_lock);
    return m_stopped;
}

void TBenchRun::RunBench(std::size_t index)
{
    QElapsedTimer clock;
    clock.start();
    const TBench& bench = m_benches[index];
    TBenchResult& out = m_results[index];
    out.Bench = bench;

    // The links are made here, in the bench's thread: their notifications come to this
    // thread's event loop.
    TFPHostControl host;
    TFPAuxControl aux;
    std::string error;
    if (m_options.Ports.Host) {
        if (bench.Host.empty()) {
            error = "no host device given";
        } else {
            host.SetDevicePath(bench.Host);
            host.SetBaudRate(bench.Baud);
            if (!host.OpenPort())
                error = "cannot open the host port " + host.OpenedPath() + " (" +
                        ErrorTypeName(host.LastError()) + "): " + host.OpenErrorText();
        }
    }
    if (error.empty() && m_options.Ports.Fiscal) {
        if (bench.Fiscal.empty()) {
            error = "no fiscal device given";
        } else {
            aux.SetDevicePath(ResolveDeviceName(bench.Fiscal));
            aux.SetTimeOut(static_cast<std::int32_t>(m_options.FiscalTimeOut.count()));
            if (!aux.OpenPort())
                error = "cannot open the fiscal port " + bench.Fiscal + " (" +
                        FErrorTypeName(aux.LastError()) + "): " + aux.OpenErrorText();
        }
    }
    if (!error.empty()) {
        out.Error = error;
        for (const TScript& script : m_scripts) {
            TScriptResult r;
            r.Script = script.Path;
            r.Bench = bench.Name;
            r.BenchError = error;
            out.Scripts.push_back(std::move(r));
        }
        out.Seconds = SecondsOf(clock);
        return;
    }

    TExchangeEngine engine;
    engine.SetLinks(m_options.Ports.Host ? &host : nullptr,
                    m_options.Ports.Fiscal ? &aux : nullptr);
    TScriptRunner runner(engine);
    QObject::connect(&runner, &TScriptRunner::CaseFinished,
                     [this, &bench](const QString& script, const TCaseResult& c) {
                         std::lock_guard guard(m_lock);
                         if (m_onCase)
                             m_onCase(bench.Name, script.toStdString(), c);
                     });
    QObject::connect(&runner, &TScriptRunner::StepFinished,
                     [&out](const QString& script, const std::string& caseName, int line,
                            const ExchangeResult& r) {
                         out.Steps.push_back(TStepRecord{script.toStdString(), caseName, line,
                                                         StepValues(r), r.ResponseMs});
                     });
    {
        std::lock_guard guard(m_lock);
        m_runners.push_back(&runner);
        if (m_stopped)
            runner.StopBecause(m_stopReason);
    }
    for (const TScript& script : m_scripts) {
        TScriptResult r = runner.RunScript(script, m_options.Run);
        r.Bench = bench.Name;
        out.Scripts.push_back(std::move(r));
    }
    {
        std::lock_guard guard(m_lock);
        m_runners.erase(std::find(m_runners.begin(), m_runners.end(), &runner));
    }
    // Stops queued for the runner after it finished are dropped with it.
    out.StepsSent = runner.StepsSent();
    out.Seconds = SecondsOf(clock);
}

std::vector<TScriptResult> AllScripts(const std::vector<TBenchResult>& results)
{
    std::vector<TScriptResult> all;
    for (const TBenchResult& b : results)
        all.insert(all.end(), b.Scripts.begin(), b.Scripts.end());
    return all;
}

bool AnswersToCompare(const std::vector<TBenchResult>& results)
{
    return std::count_if(results.begin(), results.end(),
                         [](const TBenchResult& b) { return !b.Steps.empty(); }) >= 2;
}

std::vector<TBenchSteps> AllSteps(const std::vector<TBenchResult>& results)
{
    std::vector<TBenchSteps> all;
    for (const TBenchResult& b : results)
        all.push_back(TBenchSteps{b.Bench.Name, b.Steps});
    return all;
}

std::string BenchJsonReport(const std::vector<TBenchResult>& results,
                            const std::vector<TDifference>* differences)
{
    QJsonObject out =
        QJsonDocument::fromJson(QByteArray::fromStdString(JsonReport(AllScripts(results))))
            .object();
    QJsonArray benches;
    for (const TBenchResult& b : results) {
        QJsonObject o;
        o["name"] = NameText(b.Bench.Name);
        o["host"] = NameText(b.Bench.Host);
        o["fiscal"] = NameText(b.Bench.Fiscal);
        o["error"] = b.Error.empty() ? QJsonValue() : NameText(b.Error);
        o["time"] = std::round(b.Seconds * 1000) / 1000;
        o["steps"] = static_cast<double>(b.StepsSent);
        benches.append(o);
    }
    out["benches"] = benches;
    if (differences) {
        QJsonArray list;
        const std::vector<std::string> run = ScriptPaths(AllScripts(results));
        for (const TDifference& d : *differences) {
            QJsonObject values;
            QJsonObject times;
            QJsonArray missing; // benches whose answer had no such value
            for (std::size_t i = 0; i < results.size() && i < d.Values.size(); ++i) {
                const QString name = NameText(results[i].Bench.Name);
                values[name] = d.Values[i] ? QJsonValue(ReportText(*d.Values[i])) : QJsonValue();
                times[name] = d.ResponseMs[i] ? QJsonValue(*d.ResponseMs[i]) : QJsonValue();
                if (i < d.Missing.size() && d.Missing[i])
                    missing.append(name);
            }
            QJsonObject o;
            o["script"] = NameText(ReportScriptName(d.Script, run));
            o["case"] = NameText(d.Case);
            o["line"] = d.Line;
            o["value"] = ReportText(d.Name);
            o["values"] = values;
            o["missing"] = missing;
            o["responseMs"] = times;
            list.append(o);
        }
        out["differences"] = list;
    }
    return QJsonDocument(out).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace tallyhost

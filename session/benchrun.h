#pragma once

// One set of test scripts run on several benches (a printer on its own ports each) at the
// same time. A lab has a shelf of printers behind a dozen USB adapters; running the suite on
// one after the other takes as long as all of them together, and a slow one holds the rest.
//
// Each bench gets its own thread with its own event loop, its own links, engine and runner,
// and runs every script's cases in order. The links are made in the bench's thread, so their
// workers' notifications land in that thread's event queue and never wait for another bench.
// A bench whose ports cannot be opened ends at once with an error of its own; the others run.

#include "links/hosttypes.h"
#include "session/script.h"
#include "session/scriptcheck.h"
#include "session/scriptcompare.h"
#include "session/scriptreport.h"
#include "session/scriptrunner.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

struct TBench
{
    std::string Name;
    std::string Host;   // device path or COM1..COM4; empty: none given
    std::string Fiscal; // the same for the fiscal port
    TBaudRate Baud = br9600;
};

// A bench name: letters, digits and . _ + - (it names JUnit classes, files and columns).
bool IsBenchName(std::string_view name);

// "NAME=HOST_DEVICE[,FISCAL_DEVICE][@BAUD]" into `bench`; an error text, or empty when taken.
std::string ParseBenchOption(std::string_view text, TBench& bench);

// A benches file: an INI file with a section per bench (its name) and the keys Host, Fiscal
// and Baud. Appends the benches in file order; returns an error naming the file and section,
// or empty. Unknown keys are refused, so that a misspelt "Fiscl=" does not run without it.
std::string LoadBenchesFile(const std::string& path, std::vector<TBench>& benches);

// A name given twice, or no bench: an error text, else empty.
std::string CheckBenches(const std::vector<TBench>& benches);

// What one bench came to.
struct TBenchResult
{
    TBench Bench;
    std::string Error;                  // its ports did not open: nothing was sent on it
    std::vector<TScriptResult> Scripts; // each with Bench set (and BenchError on an error)
    std::vector<TStepRecord> Steps;     // every send and repeat, in the order they ran
    double Seconds = 0;
    long long StepsSent = 0;
};

struct TBenchRunOptions
{
    TRunOptions Run;    // StopOnFailure acts per bench
    TScriptPorts Ports; // the ports the scripts use
    std::chrono::milliseconds FiscalTimeOut{1000};
};

class TBenchRun
{
public:
    TBenchRun(std::vector<TBench> benches, std::vector<TScript> scripts, TBenchRunOptions options);
    ~TBenchRun();
    TBenchRun(const TBenchRun&) = delete;
    TBenchRun& operator=(const TBenchRun&) = delete;

    // Called from the bench threads as each case finishes, one call at a time.
    using CaseHandler = std::function<void(const std::string& bench, const std::string& script,
                                           const TCaseResult& result)>;
    void OnCaseFinished(CaseHandler handler) { m_onCase = std::move(handler); }

    // Runs every script on every bench at once and returns when all have finished, a result
    // per bench in the order given.
    std::vector<TBenchResult> Run();

    // Any thread: every bench cancels its exchange and stops what is left, for `reason` (the
    // cases' reason; empty: "the run was stopped").
    void Stop(const std::string& reason = {});
    bool Stopped();

private:
    void RunBench(std::size_t index);

    std::vector<TBench> m_benches;
    std::vector<TScript> m_scripts;
    TBenchRunOptions m_options;
    CaseHandler m_onCase;
    std::vector<TBenchResult> m_results;

    std::mutex m_lock;                     // guards the three below and serialises m_onCase
    std::vector<TScriptRunner*> m_runners; // of the benches running now
    bool m_stopped = false;
    std::string m_stopReason;
};

// The results of every bench as one list for the reports (a script per bench).
std::vector<TScriptResult> AllScripts(const std::vector<TBenchResult>& results);

// Whether two benches or more sent a step, so that their answers could be compared at all:
// without, "no difference" would be a verdict on steps that never ran.
bool AnswersToCompare(const std::vector<TBenchResult>& results);

// The steps of every bench, for CompareBenches.
std::vector<TBenchSteps> AllSteps(const std::vector<TBenchResult>& results);

// The JSON report of a run on benches: JsonReport's, with "benches" (name, host, fiscal,
// error, time) and, when `differences` is given, "differences" ([{"script", "case", "line",
// "value", "values": {bench: value|null}, "responseMs": {bench: ms|null}}]).
std::string BenchJsonReport(const std::vector<TBenchResult>& results,
                            const std::vector<TDifference>* differences);

} // namespace tallyhost

#pragma once

// What a run of test scripts came to, and the two reports made of it: JUnit XML for CI servers
// (Jenkins, GitLab and the like key a case by classname and name, and show the failure's text)
// and JSON for other programs. Pure functions: the runner fills the results, the reports are
// text.

#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

// The first expectation a case did not meet (a case stops there). Texts are Latin-1, as the
// printer's answers are.
struct TCaseFailure
{
    int Line = 0;            // of the expectation or the failed step
    std::string Expectation; // "printer status", "field 'Change'", or the step that failed
    std::string Expected;
    std::string Actual;
    // The step could not be judged or sent at all (a value refused at run time, no value kept,
    // a pattern that cannot be matched): Actual says why. JUnit reports it as an error.
    bool Error = false;
};

// "printer status expected 0000, got 0008 (line 12)"; for an error "field 'F': pattern too
// complex to match against this value (line 12)", or the reason alone when no expectation is
// named.
std::string FailureMessage(const TCaseFailure& failure);

enum class TCaseStatus
{
    Passed,
    Failed,
    Skipped, // not run: an earlier case failed under --stop-on-failure
    Stopped, // cut off by the runner's Stop: the case going on and every one after it
};

// The word every report writes for a status: "passed", "failed", "skipped", "stopped".
const char* CaseStatusName(TCaseStatus status);

// A send step of a case: its line and the response time of its answer (of the last run, for
// a repeat); none when no answer came.
struct TStepTime
{
    int Line = 0;
    std::optional<int> ResponseMs;
};

struct TCaseResult
{
    std::string Name;
    int Line = 0;
    TCaseStatus Status = TCaseStatus::Skipped;
    double Seconds = 0;
    std::optional<TCaseFailure> Failure;
    std::vector<std::string> Log;   // the case's wire log, one line each
    std::string Reason{};           // why a skipped or stopped case did not run (UTF-8)
    std::vector<TStepTime> Steps{}; // the send steps that went out, in order
};

struct TScriptResult
{
    std::string Script; // the path as given
    // The bench it ran on when several ran it at once (names the suite "BENCH/SCRIPT" and
    // the cases' class "BENCH.SCRIPT"); empty for a run on one printer.
    std::string Bench;
    // The bench could not run it (its ports did not open): nothing was sent.
    std::string BenchError;
    double Seconds = 0;
    std::vector<std::string> Refusals; // "file:line: message" (UTF-8): the script was not run
    std::vector<TCaseResult> Cases;
    // What ended the script's run early or kept it from running (a port that did not open, a
    // catalogue gone, an interruption), naming the cause (UTF-8); empty for a run to its end.
    std::string Error;
};

struct TRunTotals
{
    int Passed = 0;
    int Failed = 0; // errors included
    int Skipped = 0;
    int Stopped = 0;
    int Refused = 0; // scripts
    int Errors = 0;  // failed cases whose step could not be judged or sent
    int Broken = 0;  // scripts with a suite-level error, or that their bench could not run
};

TRunTotals Totals(const std::vector<TScriptResult>& results);

// The name a report gives a script: its path relative to the working folder, or its file name
// when it lies outside it (never an absolute path the run happened to be given). Among the
// other scripts of the run (`run`), a file name another script outside the folder shares is
// not enough: CI servers would merge their cases, so both keep their path relative to the
// folder ("../a/smoke.ths").
std::string ReportScriptName(const std::string& path, const std::vector<std::string>& run = {});

// The scripts of a run, for ReportScriptName.
std::vector<std::string> ScriptPaths(const std::vector<TScriptResult>& results);

// testsuites > testsuite per script > testcase per case (classname the script, name the case,
// time in seconds); a failure's message names the expectation, the expected and the actual
// value and its text repeats it; a step that could not be judged is an error; a skipped or
// stopped case is skipped (JUnit has no other word for it) with a message saying why; the
// case's wire log is its system-out. A refused script is one testcase with an error listing
// the refusals; a suite-level error is one more testcase "(run)" with an error naming the
// cause. A script its bench could not run is one testcase "bench unavailable" with an
// error saying why; on several benches a suite is named "BENCH/SCRIPT" and its cases' class
// "BENCH.SCRIPT".
std::string JUnitReport(const std::vector<TScriptResult>& results);

// {"passed": bool, "totals": {...}, "scripts": [{"script", ["bench", "benchError",] "time",
// "refusals", "error", "cases":
// [{"name", "line", "status", "time", "failure": {...} | null, "reason", "log": [...], "steps":
// [{"line", "responseMs": ms | null}]}]}]}
std::string JsonReport(const std::vector<TScriptResult>& results);

} // namespace tallyhost

#pragma once

// What a run of test scripts came to, and the two reports made of it: JUnit XML for CI servers
// (Jenkins, GitLab and the like key a case by classname and name, and show the failure's text)
// and JSON for other programs. Pure functions: the runner fills the results, the reports are
// text.

#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

// The first expectation a case did not meet (a case stops there).
struct TCaseFailure
{
    int Line = 0;            // of the expectation or the failed step
    std::string Expectation; // "printer status", "field 'Change'", or the step that failed
    std::string Expected;
    std::string Actual;
};

// "printer status expected 0000, got 0008 (line 12)".
std::string FailureMessage(const TCaseFailure& failure);

enum class TCaseStatus
{
    Passed,
    Failed,
    Skipped, // not run: an earlier case failed under --stop-on-failure
    Stopped, // cut off by the runner's Stop: the case going on and every one after it
};

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
    std::vector<std::string> Refusals; // "file:line: message": the script was not run
    std::vector<TCaseResult> Cases;
};

struct TRunTotals
{
    int Passed = 0;
    int Failed = 0;
    int Skipped = 0;
    int Stopped = 0;
    int Refused = 0; // scripts
    int Errors = 0;  // scripts a bench could not run
};

TRunTotals Totals(const std::vector<TScriptResult>& results);

// testsuites > testsuite per script > testcase per case (classname the script, name the case,
// time in seconds); a failure's message names the expectation, the expected and the actual
// value and its text repeats it; the case's wire log is its system-out. A stopped case is
// skipped (JUnit has no other word for it) with a message saying so. A refused script is one
// testcase with an error listing the refusals, and a script its bench could not run one
// testcase with an error saying why.
std::string JUnitReport(const std::vector<TScriptResult>& results);

// {"passed": bool, "totals": {...}, "scripts": [{"script", ["bench", "benchError",] "time",
// "refusals", "cases": [{"name", "line", "status", "time", "failure": {...} | null,
// "log": [...], "steps": [{"line", "responseMs": ms | null}]}]}]}
std::string JsonReport(const std::vector<TScriptResult>& results);

} // namespace tallyhost

#pragma once

// Runs test scripts through the exchange engine: each case's steps in order, each send judged
// by its expectations, the first unmet one failing the case. A send with no `expect outcome`
// must be answered. Cases share the script's variables, so a value kept in one case is used in
// the next; a case that fails leaves the rest of its steps unrun.
//
// The runner drives an engine that has its links already (open or not): it sets the engine's
// catalogue, status records and settings for each script. Runs are synchronous (the engine's
// WaitForFinished and the waits run the event loop), so a window stays responsive and may
// call Stop from a button.

#include "session/exchange.h"
#include "session/script.h"
#include "session/scriptreport.h"

#include <QObject>

class QEventLoop;

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tallyhost {

class TCommandTree;

struct TRunOptions
{
    bool StopOnFailure = false; // the remaining cases (of every script) are skipped
};

// What one send's result is judged against an expectation: `met`, and the actual value in the
// words of a failure ("0008", "no-answer"). `variables` expand ${name}. When the expectation
// cannot be judged at all (no value kept, a pattern invalid after expansion or too complex for
// the matcher) `error` is set and the text says why.
std::string JudgeExpectation(const TExpectation& e, const ExchangeResult& r,
                             const std::vector<TVariable>& variables, bool* met,
                             bool* error = nullptr);

// The outcome of an exchange in the script's words: answered, nak, no-answer, write-error, or
// for what never reached the printer "refused (...)" and "cancelled".
std::string OutcomeWords(const ExchangeResult& r);

// The exchange's frames as log lines, named by direction as the log window names them:
// "HOST --> 02 ...", "FISCAL-> 02 ...", "FP   --> 02 ...", "FP   --> ACK" or "NACK".
std::vector<std::string> WireLogLines(const ExchangeResult& r);

class TScriptRunner : public QObject
{
    Q_OBJECT
public:
    explicit TScriptRunner(TExchangeEngine& engine, QObject* parent = nullptr);

    // Parses, checks and runs each script in turn. A script refused by its parse or its
    // catalogue sends nothing and carries its refusals.
    std::vector<TScriptResult> Run(const std::vector<std::string>& paths,
                                   const TRunOptions& options = {});
    // Runs one parsed script (already checked) against its catalogue.
    TScriptResult RunScript(const TScript& script, const TRunOptions& options = {});

    // Ends the run: the exchange going on is cancelled; the case going on and the cases not run
    // yet are Stopped with `reason` ("interrupted by SIGINT"; empty: "the run was stopped"),
    // which also becomes the suite-level error of the script that was running.
    void StopBecause(const std::string& reason);
    void Stop() { StopBecause({}); }
    bool Stopped() const { return m_stopped; }
    // Sends handed to the engine so far (a repeat counts its runs).
    long long StepsSent() const { return m_stepsSent; }

signals:
    void CaseStarted(const QString& script, const QString& name, int index, int count);
    void CaseFinished(const QString& script, const tallyhost::TCaseResult& result);
    // A send or repeat of case `caseName` (the script's line `line`) has finished, before its
    // expectations are judged: what it came to, for comparing benches and charting times.
    void StepFinished(const QString& script, const std::string& caseName, int line,
                      const tallyhost::ExchangeResult& result);
    // The script's work done so far: a step is one unit, a repeat one per run. `total` is the
    // script's whole; a stopped run ends short of it.
    void Progressed(int done, int total);

private:
    TCaseResult RunCase(const TScriptCase& c, const TCommandTree& tree);
    static TCaseResult Skipped(const TScriptCase& c, const std::string& reason);
    // The keep lines of `c` from step `from` on did not run: their variables count as not kept.
    void LoseKeeps(const TScriptCase& c, std::size_t from);
    void Advance(int units);
    bool Wait(int ms);

    TExchangeEngine& m_engine;
    const TTerminalCache* m_cache = nullptr;
    // Commands of the running script's catalogue by group and command: the load's refusal
    // (empty when loaded) and the definition.
    std::map<std::pair<std::string, std::string>, std::pair<std::string, ExchangeRequest>>
        m_commands;
    std::vector<TVariable> m_variables;
    QString m_scriptPath;             // of the script running
    QEventLoop* m_waitLoop = nullptr; // the wait step going on
    bool m_stopped = false;
    std::string m_stopReason;
    bool m_failed = false;
    long long m_stepsSent = 0;
    int m_unitsDone = 0; // of the running script
    int m_unitsTotal = 0;
};

} // namespace tallyhost

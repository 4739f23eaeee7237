// tallyhost-cli run: test scripts (.ths) against a printer, with reports for CI.
//
//   tallyhost-cli run SCRIPT... [--device PATH] [--fiscal-device PATH] [--baud B]
//                     [--junit FILE] [--json] [--stop-on-failure]
//   tallyhost-cli run SCRIPT... --bench NAME=HOST[,FISCAL][@BAUD]... | --benches FILE
//                     [--compare] [--html FILE] [--junit FILE] [--json] [--stop-on-failure]
//
// Every script is parsed and checked against its catalogue before anything is sent; the ports
// the scripts need are opened, then the cases run in order through the exchange engine.
// Whatever ends the run (a refusal, a port that does not open, a catalogue gone, SIGINT or
// SIGTERM), the reports are written: a stale report never stands for this run.
// Exit status: 0 every case passed, 1 a case failed (or the run broke off after sending), 2 a
// script or its catalogue was refused or a port could not be opened (nothing sent), 128 + the
// signal's number (130 for SIGINT, 143 for SIGTERM) when interrupted.

#include "links/devicetable.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/exchange.h"
#include "session/script.h"
#include "session/scriptcheck.h"
#include "session/scriptreport.h"
#include "session/scriptrunner.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"
#include "tools/cli/runbenches.h"
#include "tools/cli/runtext.h"
#include "tools/cli/stopsignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tallyhost;
using namespace tallyhost::cli;

namespace {

constexpr int ExitPassed = 0;
constexpr int ExitFailed = 1;
constexpr int ExitRefused = 2;

constexpr std::int32_t DefaultFiscalTimeOutMs = 1000;

constexpr const char* RunUsage =
    "usage: tallyhost-cli run SCRIPT... [--device PATH] [--fiscal-device PATH] [--baud B]\n"
    "                         [--junit FILE] [--json] [--stop-on-failure]\n"
    "       tallyhost-cli run SCRIPT... --bench NAME=HOST[,FISCAL][@BAUD]... | --benches FILE\n"
    "                         [--compare] [--html FILE] [--junit FILE] [--json]\n"
    "                         [--stop-on-failure]\n"
    "\n"
    "Runs test scripts (.ths): each case's commands are sent and their answers judged by the\n"
    "case's expectations. Scripts are checked against their catalogues first; a refused\n"
    "script sends nothing.\n"
    "\n"
    "  --device PATH         host port (default COM1 through the device table)\n"
    "  --fiscal-device PATH  fiscal port (default COM2 through the device table)\n"
    "  --baud B              host port speed, 1200..38400 (default 9600)\n"
    "  --junit FILE          write a JUnit report (testsuite per script, testcase per case)\n"
    "  --json                print a JSON report instead of the text lines\n"
    "  --stop-on-failure     skip the remaining cases after the first failure (per bench)\n"
    "  --bench NAME=HOST[,FISCAL][@BAUD]\n"
    "                        a bench: a printer on its own ports (repeatable); every script\n"
    "                        runs on every bench at the same time\n"
    "  --benches FILE        the benches of an INI file: a section per bench with Host=,\n"
    "                        Fiscal= and Baud=\n"
    "  --compare             list every answer value that differs between benches\n"
    "  --html FILE           write a report page (summary, cases by benches, differences,\n"
    "                        response times)\n"
    "\n"
    "Scripts are UTF-8 text; what they send is converted to Latin-1 as the window does.\n"
    "The JUnit file and the JSON are written on every exit, interrupted runs included.\n"
    "\n"
    "exit status: 0 all cases passed (on every bench), 1 a case failed or a bench could not\n"
    "run, 2 a script was refused or a port did not open (nothing sent), 130 interrupted by\n"
    "SIGINT (Ctrl+C), 143 by SIGTERM\n";

int Refused(const std::string& message)
{
    std::fprintf(stderr, "tallyhost-cli run: %s\n", message.c_str());
    return ExitRefused;
}

// The reports of what ran, written on every way out of a run.
void WriteReports(const std::vector<TScriptResult>& results, const std::string& junit, bool json)
{
    if (!junit.empty() && !WriteReportFile(junit, JUnitReport(results)))
        std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", junit.c_str());
    if (json)
        std::fputs(JsonReport(results).c_str(), stdout);
}

// Scripts that did not run, each with the cause as its suite-level error and every case
// skipped with it.
std::vector<TScriptResult> NotRun(const std::vector<TScript>& scripts, const std::string& cause)
{
    std::vector<TScriptResult> results;
    for (const TScript& script : scripts) {
        TScriptResult result;
        result.Script = script.Path;
        result.Error = cause;
        for (const TScriptCase& c : script.Cases) {
            TCaseResult skipped;
            skipped.Name = c.Name;
            skipped.Line = c.Line;
            skipped.Reason = "not run: " + cause;
            result.Cases.push_back(std::move(skipped));
        }
        results.push_back(std::move(result));
    }
    return results;
}

} // namespace

int RunRun(int argc, char** argv)
{
    std::vector<std::string> scripts;
    std::string device;
    std::string fiscalDevice;
    std::string junit;
    TBaudRate baud = br9600;
    bool json = false;
    TRunOptions options;
    BenchArguments benches;
    bool devicesGiven = false;
    bool operandsOnly = false;
    // A bad argument ends the run before anything is judged, but only once --junit is known,
    // so that the file it names is replaced rather than left from an earlier run.
    std::string argError;
    const auto refuse = [&](const std::string& message) {
        if (argError.empty())
            argError = message;
    };
    for (int i = 1; i < argc; ++i) {
        std::string value;
        bool missing = false;
        std::string benchError;
        switch (ClassifyArgument(argv[i], operandsOnly)) {
        case ArgumentKind::Help:
            std::fputs(RunUsage, stdout);
            return ExitPassed;
        case ArgumentKind::Json:
            json = true;
            continue;
        case ArgumentKind::Operand:
            scripts.emplace_back(argv[i]);
            continue;
        case ArgumentKind::EndOfOptions:
            continue;
        case ArgumentKind::Option:
            break;
        }
        if (std::string_view(argv[i]) == "--stop-on-failure") {
            options.StopOnFailure = true;
        } else if (TakeBenchOption(argc, argv, i, benches, benchError)) {
            if (!benchError.empty())
                refuse(benchError);
        } else if (TakeOption(argc, argv, i, "--device", value, missing)) {
            devicesGiven = true;
            if (missing || value.empty())
                refuse("--device needs a path");
            else
                device = value;
        } else if (TakeOption(argc, argv, i, "--fiscal-device", value, missing)) {
            if (missing || value.empty())
                refuse("--fiscal-device needs a path");
            else
                fiscalDevice = value;
            devicesGiven = true;
        } else if (TakeOption(argc, argv, i, "--junit", value, missing)) {
            if (missing || value.empty())
                refuse("--junit needs a file");
            junit = value;
        } else if (TakeOption(argc, argv, i, "--baud", value, missing)) {
            int n = 0;
            try {
                n = missing ? 0 : std::stoi(value);
            } catch (const std::exception&) {
                n = 0;
            }
            if (!BaudRateFromValue(n, baud))
                refuse("--baud needs 1200, 2400, 4800, 9600, 19200 or 38400");
            devicesGiven = true;
        } else {
            refuse(std::string("unknown option '") + argv[i] + "'");
        }
    }
    if (argError.empty())
        argError = CheckBenchArguments(benches, devicesGiven);
    if (!argError.empty() || scripts.empty()) {
        if (!argError.empty())
            std::fprintf(stderr, "tallyhost-cli run: %s\n\n", argError.c_str());
        std::fputs(RunUsage, stderr);
        const std::string cause = argError.empty() ? "no script" : argError;
        std::vector<TScriptResult> results;
        for (const std::string& path : scripts) {
            TScriptResult result;
            result.Script = path;
            result.Error = "not run: " + cause;
            results.push_back(std::move(result));
        }
        if (!junit.empty())
            WriteReports(results, junit, false);
        WriteNotRunPage(benches, results, cause);
        return ExitRefused;
    }

    int qtArgc = 1;
    char qtName[] = "tallyhost-cli";
    char* qtArgv[] = {qtName, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    // From here on a signal ends the run with its reports, not the process without them.
    if (!CatchStopSignals())
        return Refused("cannot watch for SIGINT and SIGTERM");

    const auto finish = [&](const std::vector<TScriptResult>& results, long long sent) {
        WriteReports(results, junit, json);
        if (StopSignal())
            return ExitSignalBase + static_cast<int>(StopSignal());
        const TRunTotals t = Totals(results);
        if (t.Failed || ((t.Broken || t.Refused) && sent > 0))
            return ExitFailed;
        return t.Refused || t.Broken ? ExitRefused : ExitPassed;
    };

    // Everything is judged before anything is sent.
    std::vector<TScript> parsed;
    std::vector<TScriptResult> checked;
    bool refused = false;
    TScriptPorts ports;
    for (const std::string& path : scripts) {
        TScriptParse p = LoadCheckedScript(path, &ports);
        TScriptResult result;
        result.Script = path;
        if (!p.Refusals.empty()) {
            for (const std::string& r : p.Refusals)
                std::fprintf(stderr, "%s\n", r.c_str());
            result.Refusals = std::move(p.Refusals);
            refused = true;
        }
        checked.push_back(std::move(result));
        parsed.push_back(std::move(p.Script));
    }
    if (refused || StopSignal()) {
        // Nothing is sent; the scripts that were not refused say why they did not run.
        const std::string cause =
            StopSignal() ? SignalCause(StopSignal()) : std::string("a script was refused");
        const std::vector<TScriptResult> notRun = NotRun(parsed, cause);
        for (std::size_t i = 0; i < checked.size(); ++i) {
            if (checked[i].Refusals.empty())
                checked[i] = notRun[i];
        }
        if (StopSignal())
            std::fprintf(stderr, "tallyhost-cli run: %s\n", cause.c_str());
        WriteNotRunPage(benches, checked, cause);
        return finish(checked, 0);
    }
    if (benches.Used())
        return RunOnBenches(parsed, ports, benches, options, junit, json);

    TFPHostControl host;
    TFPAuxControl aux;
    std::string portError;
    if (ports.Host) {
        host.SetDevicePath(device.empty() ? std::string("COM1") : device);
        host.SetBaudRate(baud);
        if (!host.OpenPort())
            portError = "cannot open the host port " + host.OpenedPath() + " (" +
                        ErrorTypeName(host.LastError()) + "): " + host.OpenErrorText();
    }
    if (ports.Fiscal && portError.empty()) {
        const std::string name = fiscalDevice.empty() ? std::string("COM2") : fiscalDevice;
        aux.SetDevicePath(ResolveDeviceName(name));
        aux.SetTimeOut(DefaultFiscalTimeOutMs);
        if (!aux.OpenPort())
            portError = "cannot open the fiscal port " + name + " (" +
                        FErrorTypeName(aux.LastError()) + "): " + aux.OpenErrorText();
    }
    if (!portError.empty()) {
        std::fprintf(stderr, "tallyhost-cli run: %s\n", portError.c_str());
        return finish(NotRun(parsed, portError), 0);
    }

    TExchangeEngine engine;
    engine.SetLinks(ports.Host ? &host : nullptr, ports.Fiscal ? &aux : nullptr);
    TScriptRunner runner(engine);
    QSocketNotifier stopNotifier(StopSignalFd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        DrainStopSignals();
        runner.StopBecause(SignalCause(StopSignal()));
    });
    if (!json) {
        QObject::connect(&runner, &TScriptRunner::CaseFinished,
                         [](const QString&, const TCaseResult& c) {
                             std::printf("%s\n", CaseLine(c).c_str());
                             std::fflush(stdout);
                         });
    }
    if (StopSignal()) // came while the ports opened: nothing is sent
        runner.StopBecause(SignalCause(StopSignal()));
    std::vector<TScriptResult> results;
    for (const TScript& script : parsed) {
        results.push_back(runner.RunScript(script, options));
        if (!results.back().Error.empty() &&
            (results.size() == 1 || results[results.size() - 2].Error != results.back().Error))
            std::fprintf(stderr, "tallyhost-cli run: %s: %s\n", script.Path.c_str(),
                         results.back().Error.c_str());
    }
    if (!json) {
        std::printf("%s\n", Counts(Totals(results)).c_str());
    }
    return finish(results, runner.StepsSent());
}

// tallyhost-cli run: test scripts (.ths) against a printer, with reports for CI.
//
//   tallyhost-cli run SCRIPT... [--device PATH] [--fiscal-device PATH] [--baud B]
//                     [--junit FILE] [--json] [--stop-on-failure]
//   tallyhost-cli run SCRIPT... --bench NAME=HOST[,FISCAL][@BAUD]... | --benches FILE
//                     [--compare] [--html FILE] [--junit FILE] [--json] [--stop-on-failure]
//
// Every script is parsed and checked against its catalogue before anything is sent; the ports
// the scripts need are opened, then the cases run in order through the exchange engine.
// Exit status: 0 every case passed, 1 a case failed, 2 a script or its catalogue was refused or
// a port could not be opened (nothing sent).

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

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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
    "exit status: 0 all cases passed (on every bench), 1 a case failed or a bench could not\n"
    "run, 2 a script was refused (nothing sent)\n";

int Refused(const std::string& message)
{
    std::fprintf(stderr, "tallyhost-cli run: %s\n", message.c_str());
    return ExitRefused;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

int Report(const std::vector<TScriptResult>& results, const std::string& junit, bool json)
{
    if (!junit.empty() && !WriteFile(junit, JUnitReport(results)))
        std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", junit.c_str());
    if (json)
        std::fputs(JsonReport(results).c_str(), stdout);
    const TRunTotals t = Totals(results);
    if (t.Refused)
        return ExitRefused;
    return t.Failed ? ExitFailed : ExitPassed;
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
                return Refused(benchError);
        } else if (TakeOption(argc, argv, i, "--device", value, missing)) {
            devicesGiven = true;
            if (missing || value.empty())
                return Refused("--device needs a path");
            device = value;
        } else if (TakeOption(argc, argv, i, "--fiscal-device", value, missing)) {
            if (missing || value.empty())
                return Refused("--fiscal-device needs a path");
            fiscalDevice = value;
            devicesGiven = true;
        } else if (TakeOption(argc, argv, i, "--junit", value, missing)) {
            if (missing || value.empty())
                return Refused("--junit needs a file");
            junit = value;
        } else if (TakeOption(argc, argv, i, "--baud", value, missing)) {
            int n = 0;
            try {
                n = missing ? 0 : std::stoi(value);
            } catch (const std::exception&) {
                n = 0;
            }
            if (!BaudRateFromValue(n, baud))
                return Refused("--baud needs 1200, 2400, 4800, 9600, 19200 or 38400");
            devicesGiven = true;
        } else {
            std::fprintf(stderr, "tallyhost-cli run: unknown option '%s'\n\n", argv[i]);
            std::fputs(RunUsage, stderr);
            return ExitRefused;
        }
    }
    if (scripts.empty()) {
        std::fputs(RunUsage, stderr);
        return ExitRefused;
    }
    if (const std::string error = CheckBenchArguments(benches, devicesGiven); !error.empty())
        return Refused(error);

    // Everything is judged before anything is sent.
    std::vector<TScript> parsed;
    std::vector<TScriptResult> refused;
    TScriptPorts ports;
    for (const std::string& path : scripts) {
        TScriptParse p = LoadCheckedScript(path, &ports);
        if (!p.Refusals.empty()) {
            for (const std::string& r : p.Refusals)
                std::fprintf(stderr, "%s\n", r.c_str());
            TScriptResult result;
            result.Script = path;
            result.Refusals = std::move(p.Refusals);
            refused.push_back(std::move(result));
        }
        parsed.push_back(std::move(p.Script));
    }
    if (!refused.empty())
        return Report(refused, junit, json);

    int qtArgc = 1;
    char qtName[] = "tallyhost-cli";
    char* qtArgv[] = {qtName, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    if (benches.Used())
        return RunOnBenches(parsed, ports, benches, options, junit, json);

    TFPHostControl host;
    TFPAuxControl aux;
    if (ports.Host) {
        host.SetDevicePath(device.empty() ? std::string("COM1") : device);
        host.SetBaudRate(baud);
        if (!host.OpenPort())
            return Refused("cannot open the host port " + host.OpenedPath() + " (" +
                           ErrorTypeName(host.LastError()) + "): " + host.OpenErrorText());
    }
    if (ports.Fiscal) {
        const std::string name = fiscalDevice.empty() ? std::string("COM2") : fiscalDevice;
        aux.SetDevicePath(ResolveDeviceName(name));
        aux.SetTimeOut(DefaultFiscalTimeOutMs);
        if (!aux.OpenPort())
            return Refused("cannot open the fiscal port " + name + " (" +
                           FErrorTypeName(aux.LastError()) + "): " + aux.OpenErrorText());
    }

    TExchangeEngine engine;
    engine.SetLinks(ports.Host ? &host : nullptr, ports.Fiscal ? &aux : nullptr);
    TScriptRunner runner(engine);
    if (!json) {
        QObject::connect(
            &runner, &TScriptRunner::CaseFinished, [](const QString&, const TCaseResult& c) {
                const char* word = c.Status == TCaseStatus::Passed   ? "PASS"
                                   : c.Status == TCaseStatus::Failed ? "FAIL"
                                                                     : "SKIP";
                std::printf("%s %s (%.3f s)%s%s\n", word, Readable(c.Name).c_str(), c.Seconds,
                            c.Failure ? ": " : "",
                            c.Failure ? Readable(FailureMessage(*c.Failure)).c_str() : "");
                std::fflush(stdout);
            });
    }
    std::vector<TScriptResult> results;
    for (const TScript& script : parsed)
        results.push_back(runner.RunScript(script, options));
    if (!json) {
        const TRunTotals t = Totals(results);
        std::printf("%d passed, %d failed, %d skipped\n", t.Passed, t.Failed, t.Skipped);
    }
    return Report(results, junit, json);
}

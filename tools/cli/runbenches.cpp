#include "tools/cli/runbenches.h"

#include "session/htmlreport.h"
#include "session/scriptreport.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/runtext.h"
#include "tools/cli/stopsignals.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tallyhost::cli {

namespace {

constexpr int ExitPassed = 0;
constexpr int ExitFailed = 1;

// "[A]  " with the bench names padded to one width, so that the case columns line up.
std::string BenchColumn(const std::string& name, std::size_t width)
{
    std::string column = "[" + name + "]";
    column.resize(std::max(column.size(), width + 2), ' ');
    return column;
}

// SIGINT and SIGTERM during a run on benches: the main thread waits for the benches, so a
// thread beside them watches the signal pipe and stops them with the signal named, as a run on
// one printer is stopped. It ends when the run does.
class StopOnSignal
{
public:
    explicit StopOnSignal(TBenchRun& run)
    {
        if (::pipe2(m_done, O_CLOEXEC) != 0)
            return;
        m_watcher = std::thread([this, &run] {
            pollfd fds[2] = {{StopSignalFd(), POLLIN, 0}, {m_done[0], POLLIN, 0}};
            while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
            }
            if (fds[0].revents & POLLIN) {
                DrainStopSignals();
                run.Stop(SignalCause(StopSignal()));
            }
        });
    }
    ~StopOnSignal()
    {
        if (!m_watcher.joinable())
            return;
        const char done = 'd';
        [[maybe_unused]] const ssize_t n = ::write(m_done[1], &done, 1);
        m_watcher.join();
        ::close(m_done[0]);
        ::close(m_done[1]);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    int m_done[2] = {-1, -1};
    std::thread m_watcher;
};

} // namespace

bool TakeBenchOption(int argc, char** argv, int& index, BenchArguments& args, std::string& error)
{
    std::string value;
    bool missing = false;
    if (std::string_view(argv[index]) == "--compare") {
        args.Compare = true;
    } else if (TakeOption(argc, argv, index, "--bench", value, missing)) {
        TBench bench;
        error = missing ? "--bench needs NAME=HOST_DEVICE[,FISCAL_DEVICE][@BAUD]"
                        : ParseBenchOption(value, bench);
        if (error.empty())
            args.Benches.push_back(std::move(bench));
    } else if (TakeOption(argc, argv, index, "--benches", value, missing)) {
        error = missing || value.empty() ? "--benches needs a file"
                                         : LoadBenchesFile(value, args.Benches);
    } else if (TakeOption(argc, argv, index, "--html", value, missing)) {
        if (missing || value.empty())
            error = "--html needs a file";
        args.Html = value;
    } else {
        return false;
    }
    return true;
}

std::string CheckBenchArguments(const BenchArguments& args, bool devicesGiven)
{
    if (!args.Used())
        return {};
    if (args.Benches.empty())
        return std::string(args.Compare ? "--compare" : "--html") +
               " needs benches (--bench or --benches)";
    if (devicesGiven)
        return "--device, --fiscal-device and --baud are a bench's own with --bench and "
               "--benches";
    if (args.Compare && args.Benches.size() < 2)
        return "--compare needs two benches or more";
    return CheckBenches(args.Benches);
}

void WriteNotRunPage(const BenchArguments& args, const std::vector<TScriptResult>& scripts,
                     const std::string& cause)
{
    if (args.Html.empty())
        return;
    std::vector<TBenchResult> results;
    for (const TBench& bench : args.Benches) {
        TBenchResult result;
        result.Bench = bench;
        result.Error = cause;
        result.Scripts = scripts;
        results.push_back(std::move(result));
    }
    THtmlReportOptions html;
    html.Title = "Not run: " + cause;
    html.Compared = args.Compare;
    html.Generated = QDateTime::currentDateTimeUtc()
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"))
                         .toStdString();
    if (!WriteReportFile(args.Html, HtmlReport(results, {}, html)))
        std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", args.Html.c_str());
}

int RunOnBenches(const std::vector<TScript>& scripts, const TScriptPorts& ports,
                 const BenchArguments& args, const TRunOptions& options, const std::string& junit,
                 bool json)
{
    std::size_t width = 0;
    for (const TBench& b : args.Benches)
        width = std::max(width, b.Name.size());

    TBenchRunOptions runOptions;
    runOptions.Run = options;
    runOptions.Ports = ports;
    TBenchRun run(args.Benches, scripts, runOptions);
    if (!json) {
        // Lines come as the benches finish their cases, interleaved; each names its bench.
        run.OnCaseFinished(
            [width](const std::string& bench, const std::string&, const TCaseResult& c) {
                std::printf("%s %s\n", BenchColumn(bench, width).c_str(), CaseLine(c).c_str());
                std::fflush(stdout);
            });
    }
    const QDateTime started = QDateTime::currentDateTimeUtc();
    std::vector<TBenchResult> results;
    {
        StopOnSignal stopper(run);
        if (const int signal = StopSignal()) // came while the scripts were checked
            run.Stop(SignalCause(signal));
        results = run.Run();
    }
    const std::vector<TScriptResult> all = AllScripts(results);

    std::vector<TDifference> differences;
    if (args.Compare)
        differences = CompareBenches(AllSteps(results));
    std::vector<std::string> names;
    for (const TBenchResult& b : results)
        names.push_back(b.Bench.Name);

    for (const TBenchResult& b : results) {
        if (!b.Error.empty())
            std::fprintf(stderr, "tallyhost-cli run: bench %s could not run: %s\n",
                         b.Bench.Name.c_str(), Readable(b.Error).c_str());
        for (const TScriptResult& s : b.Scripts) // a script that broke off, and why
            if (b.Error.empty() && !s.Error.empty())
                std::fprintf(stderr, "tallyhost-cli run: bench %s: %s: %s\n", b.Bench.Name.c_str(),
                             Readable(s.Script).c_str(), Readable(s.Error).c_str());
    }
    if (!json) {
        for (const TBenchResult& b : results) {
            const TRunTotals t = Totals(b.Scripts);
            if (!b.Error.empty())
                std::printf("%s could not run: %s\n", BenchColumn(b.Bench.Name, width).c_str(),
                            Readable(b.Error).c_str());
            else
                std::printf("%s %s (%.3f s)\n", BenchColumn(b.Bench.Name, width).c_str(),
                            Counts(t).c_str(), b.Seconds);
        }
        if (args.Compare && !AnswersToCompare(results)) {
            std::printf("nothing compared: no step ran on more than one bench\n");
        } else if (args.Compare) {
            std::printf("%zu difference%s between benches\n", differences.size(),
                        differences.size() == 1 ? "" : "s");
            const bool withScript = scripts.size() > 1;
            for (const TDifference& d : differences)
                std::printf("  %s\n", Readable(DifferenceLine(d, names, withScript)).c_str());
        }
        std::printf("%s\n", Counts(Totals(all)).c_str());
    } else {
        std::fputs(BenchJsonReport(results, args.Compare ? &differences : nullptr).c_str(), stdout);
    }

    if (!junit.empty() && !WriteReportFile(junit, JUnitReport(all)))
        std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", junit.c_str());
    if (!args.Html.empty()) {
        THtmlReportOptions html;
        std::string names;
        std::vector<std::string> run;
        for (const TScript& script : scripts)
            run.push_back(script.Path);
        for (const std::string& path : run)
            names += (names.empty() ? "" : ", ") + ReportScriptName(path, run);
        html.Title = names + " on " + std::to_string(results.size()) + " benches";
        html.Generated = started.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")).toStdString();
        html.Compared = args.Compare;
        if (!WriteReportFile(args.Html, HtmlReport(results, differences, html)))
            std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", args.Html.c_str());
    }
    // A run stopped by a signal ends as the shell expects of one (130 for Ctrl+C), as a run on
    // one printer does.
    if (const int signal = StopSignal())
        return ExitSignalBase + signal;
    const TRunTotals t = Totals(all);
    return t.Failed || t.Broken || t.Refused || run.Stopped() ? ExitFailed : ExitPassed;
}

} // namespace tallyhost::cli

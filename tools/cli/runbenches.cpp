#include "tools/cli/runbenches.h"

#include "session/htmlreport.h"
#include "session/scriptreport.h"
#include "tools/cli/cliutil.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
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

bool WriteText(const std::string& path, const std::string& text)
{
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

const char* StatusWord(TCaseStatus status)
{
    switch (status) {
    case TCaseStatus::Passed:
        return "PASS";
    case TCaseStatus::Failed:
        return "FAIL";
    case TCaseStatus::Skipped:
        return "SKIP";
    case TCaseStatus::Stopped:
        return "STOP";
    }
    return "";
}

// "[A]  " with the bench names padded to one width, so that the case columns line up.
std::string BenchColumn(const std::string& name, std::size_t width)
{
    std::string column = "[" + name + "]";
    column.resize(std::max(column.size(), width + 2), ' ');
    return column;
}

// SIGINT and SIGTERM during a run on benches: the handler only writes a byte, a watcher
// thread stops the benches, and the run ends as a stopped one, its reports written with the
// cases not finished as skipped.
int g_stopPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stopSignal = 0; // the signal that stopped the run, 0 if none

extern "C" void OnBenchStopSignal(int number)
{
    g_stopSignal = number;
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = write(g_stopPipe[1], &byte, 1);
}

class StopOnSignal
{
public:
    explicit StopOnSignal(TBenchRun& run)
    {
        if (pipe2(g_stopPipe, O_CLOEXEC) != 0)
            return;
        struct sigaction action
        {
        };
        action.sa_handler = OnBenchStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
        m_watcher = std::thread([&run] {
            char byte = 0;
            pollfd fd{g_stopPipe[0], POLLIN, 0};
            while (poll(&fd, 1, -1) < 0 && errno == EINTR) {
            }
            if (read(g_stopPipe[0], &byte, 1) == 1 && byte == 's') {
                std::fputs("tallyhost-cli run: stopped\n", stderr);
                run.Stop();
            }
        });
    }
    ~StopOnSignal()
    {
        if (!m_watcher.joinable())
            return;
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        const char done = 'd'; // the run is over: the watcher ends, if no signal ended it
        [[maybe_unused]] const ssize_t n = write(g_stopPipe[1], &done, 1);
        m_watcher.join();
        close(g_stopPipe[0]);
        close(g_stopPipe[1]);
        g_stopPipe[0] = g_stopPipe[1] = -1;
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    std::thread m_watcher;
    struct sigaction m_oldInt
    {
    };
    struct sigaction m_oldTerm
    {
    };
};

// "5 passed, 1 failed, 0 skipped", and the cases a stop cut off when there are any.
std::string Counts(const TRunTotals& t)
{
    std::string text = std::to_string(t.Passed) + " passed, " + std::to_string(t.Failed) +
                       " failed, " + std::to_string(t.Skipped) + " skipped";
    if (t.Stopped)
        text += ", " + std::to_string(t.Stopped) + " stopped";
    return text;
}

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
    if (!WriteText(args.Html, HtmlReport(results, {}, html)))
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
                std::printf("%s %s %s (%.3f s)%s%s\n", BenchColumn(bench, width).c_str(),
                            StatusWord(c.Status), Readable(c.Name).c_str(), c.Seconds,
                            c.Failure ? ": " : "",
                            c.Failure ? Readable(FailureMessage(*c.Failure)).c_str() : "");
                std::fflush(stdout);
            });
    }
    const QDateTime started = QDateTime::currentDateTimeUtc();
    std::vector<TBenchResult> results;
    {
        StopOnSignal stopper(run);
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

    if (!junit.empty() && !WriteText(junit, JUnitReport(all)))
        std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", junit.c_str());
    if (!args.Html.empty()) {
        THtmlReportOptions html;
        std::string names;
        for (const TScript& script : scripts)
            names += (names.empty() ? "" : ", ") + script.Path;
        html.Title = names + " on " + std::to_string(results.size()) + " benches";
        html.Generated = started.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")).toStdString();
        html.Compared = args.Compare;
        if (!WriteText(args.Html, HtmlReport(results, differences, html)))
            std::fprintf(stderr, "tallyhost-cli run: cannot write %s\n", args.Html.c_str());
    }
    // A run stopped by a signal ends as the shell expects of one (130 for Ctrl+C), as a run on
    // one printer does.
    if (g_stopSignal)
        return 128 + static_cast<int>(g_stopSignal);
    const TRunTotals t = Totals(all);
    return t.Failed || t.Broken || t.Refused || run.Stopped() ? ExitFailed : ExitPassed;
}

} // namespace tallyhost::cli

#include "tools/cli/runbenches.h"

#include "session/htmlreport.h"
#include "session/scriptreport.h"
#include "tools/cli/cliutil.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <string_view>

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
    return status == TCaseStatus::Passed ? "PASS" : status == TCaseStatus::Failed ? "FAIL" : "SKIP";
}

// "[A]  " with the bench names padded to one width, so that the case columns line up.
std::string BenchColumn(const std::string& name, std::size_t width)
{
    std::string column = "[" + name + "]";
    column.resize(std::max(column.size(), width + 2), ' ');
    return column;
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
                        : ParseBenchSpec(value, bench);
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
    const std::vector<TBenchResult> results = run.Run();
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
                std::printf("%s %d passed, %d failed, %d skipped (%.3f s)\n",
                            BenchColumn(b.Bench.Name, width).c_str(), t.Passed, t.Failed, t.Skipped,
                            b.Seconds);
        }
        if (args.Compare) {
            std::printf("%zu difference%s between benches\n", differences.size(),
                        differences.size() == 1 ? "" : "s");
            const bool withScript = scripts.size() > 1;
            for (const TDifference& d : differences)
                std::printf("  %s\n", Readable(DifferenceLine(d, names, withScript)).c_str());
        }
        const TRunTotals t = Totals(all);
        std::printf("%d passed, %d failed, %d skipped\n", t.Passed, t.Failed, t.Skipped);
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
    const TRunTotals t = Totals(all);
    return t.Failed || t.Errors || t.Refused ? ExitFailed : ExitPassed;
}

} // namespace tallyhost::cli

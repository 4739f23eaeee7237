// Checking a test script against a large catalogue, as `tallyhost-cli check` and `run` do before
// anything is sent: 2,000 cases over 400 distinct commands of the 10,000-command catalogue of
// the terminal-file benchmarks. The catalogue is read once per check and each command looked
// up in it, so the check costs about a read of the file plus the cases, not a read per
// command. checks_per_s is whole checks (parse and judge) per second; the figure to watch is
// the time of one, which must stay well under a second.
//
// Run: build/bench/bench_script_check [--benchmark_...]

#include "bench/benchcatalogue.h"
#include "session/scriptcheck.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

using namespace tallyhost;
namespace fs = std::filesystem;

constexpr int kGroups = 500;
constexpr int kCases = 2000;
constexpr int kDistinct = 400;

void BM_ScriptCheck(benchmark::State& state)
{
    const fs::path dir =
        fs::temp_directory_path() / ("tallyhost-bench-check-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path catalogue = dir / "big.thf";
    std::ofstream(catalogue, std::ios::binary) << bench::makeCatalogue(kGroups);
    std::string text = "catalogue " + catalogue.string() + "\n";
    for (int i = 0; i < kCases; ++i) {
        // 400 commands, spread over the file: every 25th group, all its commands.
        const int command = i % kDistinct;
        const int group =
            (command / bench::CommandsPerGroup) * (kGroups * bench::CommandsPerGroup / kDistinct);
        text += "case \"Case " + std::to_string(i) + "\"\n  send " + bench::groupName(group) + " " +
                bench::commandName(command % bench::CommandsPerGroup) +
                " 2=AB 8=S\n  expect printer-status 0000\n"
                "  expect field Total in 0..100\n";
    }
    const fs::path script = dir / "big.ths";
    std::ofstream(script, std::ios::binary) << text;

    std::size_t refusals = 0;
    for (auto _ : state) {
        const TScriptParse checked = LoadCheckedScript(script.string());
        refusals = checked.Refusals.size();
        benchmark::DoNotOptimize(checked);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    if (refusals != 0)
        state.SkipWithError("the script was refused: the benchmark checks nothing");
    state.counters["cases"] = kCases;
    state.counters["commands"] = kDistinct;
    state.counters["checks_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ScriptCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();

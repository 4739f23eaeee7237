// One suite on several benches at once (tallyhost-cli run --bench ...), against one simulator
// process serving every printer (--count N).
//
//   BM_DemoOnBenches/N     the demo script on N printers that answer every command after
//                          200 ms: the wall time of N benches against one (the benches wait on
//                          their printers side by side, so 8 should take little longer than 1)
//   BM_InstantOnBenches/N  a script of status requests on N instant printers: steps per second
//                          of the whole run, and this process's CPU time per step
//
// Compare the figures of one run with each other (the machine is shared): the ratio of
// BM_DemoOnBenches/8 to /1, and steps_per_s of /16 and /4 to /1.
//
// Run: build/bench/bench_benches [--benchmark_...]

#include "benchscript.h"
#include "session/benchrun.h"
#include "session/scriptcheck.h"
#include "tests/links/simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using tallyhost::testing::SimProcess;

constexpr int kInstantCases = 400; // per bench

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<tallyhost::TBench> Benches(const SimProcess& sim, int count)
{
    std::vector<tallyhost::TBench> benches;
    for (int k = 1; k <= count; ++k) {
        // One printer's links are DIR/host and DIR/fiscal, several printers' DIR/K/host ...
        const std::string n = std::to_string(k);
        const std::string dir = count > 1 ? n + "/" : std::string();
        benches.push_back(tallyhost::TBench{"B" + n, sim.LinkPath((dir + "host").c_str()),
                                            sim.LinkPath((dir + "fiscal").c_str()),
                                            tallyhost::br9600});
    }
    return benches;
}

// Runs `path` on `count` printers of `sim` per iteration; counts steps, failures, CPU.
void RunOnBenches(benchmark::State& state, const SimProcess& sim, const std::string& path,
                  int count)
{
    tallyhost::TScriptPorts ports;
    tallyhost::TScriptParse parse = tallyhost::LoadCheckedScript(path, &ports);
    if (!parse.Refusals.empty()) {
        state.SkipWithError(parse.Refusals.front().c_str());
        return;
    }
    long long steps = 0;
    int failed = 0;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        tallyhost::TBenchRunOptions options;
        options.Ports = ports;
        tallyhost::TBenchRun run(Benches(sim, count), {parse.Script}, options);
        const double cpuBefore = CpuSeconds();
        QElapsedTimer clock;
        clock.start();
        const auto results = run.Run();
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        cpu += CpuSeconds() - cpuBefore;
        for (const auto& b : results) {
            steps += b.StepsSent;
            const auto t = tallyhost::Totals(b.Scripts);
            failed += t.Failed + t.Errors;
        }
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["failed_cases"] = failed;
    state.counters["steps_per_s"] = seconds > 0 ? static_cast<double>(steps) / seconds : 0;
    state.counters["cpu_us_per_step"] = steps > 0 ? cpu * 1e6 / static_cast<double>(steps) : 0;
}

void BM_DemoOnBenches(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    QFile demo(QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo-sim.ini"));
    if (!demo.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the demo scenario");
        return;
    }
    // Every answer of the demo scenario after 200 ms.
    QString scenario = QString::fromLatin1(demo.readAll());
    scenario.replace(QRegularExpression(QStringLiteral("(?m)^Delay=\\d+")),
                     QStringLiteral("Delay=200"));
    SimProcess sim(0, scenario.toLatin1(), {"--count", std::to_string(count)});
    if (!sim.Ok()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    RunOnBenches(state, sim, TALLYHOST_EXAMPLES_DIR "/demo.ths", count);
}

void BM_InstantOnBenches(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    SimProcess sim(0, "[Host]\nDelay=0\n[Fiscal]\nDelay=0\n", {"--count", std::to_string(count)});
    if (!sim.Ok()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.ths")).toStdString();
    if (!tallyhost::bench::writeStatusScript(path, kInstantCases)) {
        state.SkipWithError("cannot write the script");
        return;
    }
    RunOnBenches(state, sim, path, count);
}

BENCHMARK(BM_DemoOnBenches)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_InstantOnBenches)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

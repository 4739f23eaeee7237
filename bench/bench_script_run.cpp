// Test scripts on the instant simulator (no answer delay): how many script steps (commands
// sent and judged) the runner gets through per second, against what the host link alone does
// (about 8 000 exchanges a second). Each case sends a status request and asserts both status
// words and the return code; the run is parsed, checked against the catalogue and reported as
// tallyhost-cli run does it.
//
// Run: build/bench/bench_script_run [--benchmark_...]

#include "benchscript.h"
#include "session/exchange.h"
#include "session/script.h"
#include "session/scriptcheck.h"
#include "session/scriptreport.h"
#include "session/scriptrunner.h"
#include "tests/links/simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kCases = 2000;

void BM_ScriptRun(benchmark::State& state)
{
    tallyhost::testing::SimProcess sim(0, "[Host]\nDelay=0\n[Fiscal]\nDelay=0\n");
    if (!sim.Ok()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.ths")).toStdString();
    if (!tallyhost::bench::writeStatusScript(path, kCases)) {
        state.SkipWithError("cannot write the script");
        return;
    }

    tallyhost::TFPHostControl host;
    host.SetDevicePath(sim.HostPath());
    host.SetBaudRate(tallyhost::br9600);
    if (!host.OpenPort()) {
        state.SkipWithError("cannot open the host port");
        return;
    }
    tallyhost::TExchangeEngine engine;
    engine.SetLinks(&host, nullptr);

    long long steps = 0;
    int failed = 0;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        tallyhost::TScriptRunner runner(engine);
        const auto results = runner.Run({path});
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        steps += runner.StepsSent();
        failed += tallyhost::Totals(results).Failed + tallyhost::Totals(results).Refused;
        benchmark::DoNotOptimize(tallyhost::JUnitReport(results));
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["failed_cases"] = failed;
    state.counters["steps_per_s"] = seconds > 0 ? static_cast<double>(steps) / seconds : 0;
}

BENCHMARK(BM_ScriptRun)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

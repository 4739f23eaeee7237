// Host link figures, on a pseudo-terminal pair with the printer played by a second thread:
//  - BM_HostExchanges: complete exchanges (command frame, printer ACK and final frame in one
//    burst, host ACK, OnFinalAnswer handled on the component's thread, which sends the next
//    command from there). items_per_second is exchanges per second; median_us and p99_us are
//    the times from SendCommand to OnFinalAnswer, per_s_at_median the rate they stand for.
//  - BM_HostSilentWait: ten seconds against a printer that never answers (four commands, each
//    ending by the 2.5 s silence rule). cpu_percent is the process's CPU time (all threads,
//    user + system) over the wall time, in percent of one core; it must stay well under 1.
//  - BM_LostPortRetry: ten seconds of what the main window does for a port whose device was
//    pulled out: every second a check of the port and an attempt to open the vanished path.
//    cpu_percent must stay under 0.5.
//
// Run: build/bench/bench_hostlink [--benchmark_filter=Exchanges|SilentWait|LostPort]

#include "links/fphostcontrol.h"
#include "links/hostframe.h"
#include "tests/links/ptyprinter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace tallyhost;
using tallyhost::testing::PtyPrinter;

namespace {

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A printer that answers every command frame at once with ACK and its final frame (one write),
// and ignores the host's ACKs. Runs until stopped.
class EchoPrinter
{
public:
    explicit EchoPrinter(PtyPrinter& pty) : m_pty(pty)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~EchoPrinter()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void Run()
    {
        std::string pending;
        char buffer[4096];
        while (!m_stop) {
            pollfd fd{m_pty.Master(), POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_pty.Master(), buffer, sizeof buffer);
            if (n <= 0)
                continue;
            pending.append(buffer, static_cast<std::size_t>(n));
            // Command frames: STX, sequence, fields, ETX, four checksum characters (the
            // benchmark's commands carry no escapes).
            for (;;) {
                const auto stx = pending.find('\x02');
                if (stx == std::string::npos) {
                    pending.clear();
                    break;
                }
                const auto etx = pending.find('\x03', stx + 2);
                if (etx == std::string::npos || pending.size() < etx + 5) {
                    pending.erase(0, stx);
                    break;
                }
                const char sequence = pending[stx + 1];
                pending.erase(0, etx + 5);
                std::string answer = "\x02";
                answer += sequence;
                answer += "echo\x1C"
                          "0080\x1C"
                          "0600\x1C"
                          "extra\x03";
                answer = "\x06" + answer + hostframe::CheckSumText(answer);
                m_pty.Write(answer);
            }
        }
    }

    PtyPrinter& m_pty;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void BM_HostExchanges(benchmark::State& state)
{
    PtyPrinter pty;
    TFPHostControl link;
    link.SetDevicePath(pty.DevicePath());
    link.SetBaudRate(br38400);
    if (!pty.Ok() || !link.OpenPort()) {
        state.SkipWithError("cannot open a pseudo-terminal");
        return;
    }
    pty.CloseSlave();
    EchoPrinter printer(pty);

    using clock = std::chrono::steady_clock;
    std::vector<double> micros;
    micros.reserve(1 << 16);
    QEventLoop loop;
    clock::time_point sent;
    bool failed = false;
    auto send = [&] {
        link.AddDataField("*");
        link.AddDataField("BENCH");
        sent = clock::now();
        return link.SendCommand();
    };
    QObject::connect(&link, &TFPHostControl::OnFinalAnswer, [&](TFPHostControl* sender) {
        micros.push_back(std::chrono::duration<double, std::micro>(clock::now() - sent).count());
        if (sender->PrinterStatus() != 0x80 || sender->GetExtraField(1) != "extra")
            failed = true;
        loop.quit();
    });
    QObject::connect(&link, &TFPHostControl::OnError, [&](TFPHostControl*) {
        failed = true;
        loop.quit();
    });

    for (auto _ : state) {
        if (!send() || (loop.exec(), failed)) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    link.ClosePort();
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.SetItemsProcessed(static_cast<int64_t>(micros.size()));
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    // What one link does when it is not kept waiting for a core: on a shared, loaded machine
    // items_per_second mostly measures the scheduler.
    state.counters["per_s_at_median"] = 1e6 / micros[micros.size() / 2];
}
BENCHMARK(BM_HostExchanges)->UseRealTime()->MinTime(3.0)->Unit(benchmark::kMicrosecond);

void BM_HostSilentWait(benchmark::State& state)
{
    constexpr auto Wait = std::chrono::seconds(10);
    PtyPrinter pty;
    TFPHostControl link;
    link.SetDevicePath(pty.DevicePath());
    if (!pty.Ok() || !link.OpenPort()) {
        state.SkipWithError("cannot open a pseudo-terminal");
        return;
    }
    QEventLoop loop;
    int timeOuts = 0;
    const auto end = std::chrono::steady_clock::now() + Wait;
    // Each silent exchange ends after 2.5 s; the next one starts at once, until the time is up.
    QObject::connect(&link, &TFPHostControl::OnError, [&](TFPHostControl* sender) {
        if (sender->LastError() == EFP_E_ReadTimeOut)
            ++timeOuts;
        if (std::chrono::steady_clock::now() >= end || !link.SendCommand())
            loop.quit();
    });
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        link.SendCommand();
        loop.exec();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["wall_s"] = wall;
        state.counters["time_outs"] = timeOuts;
    }
    link.ClosePort();
}
BENCHMARK(BM_HostSilentWait)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LostPortRetry(benchmark::State& state)
{
    constexpr auto Wait = std::chrono::seconds(10);
    auto pty = std::make_unique<PtyPrinter>();
    const std::string name = "/tmp/tallyhost-bench-lost-" + std::to_string(::getpid());
    ::unlink(name.c_str());
    if (!pty->Ok() || ::symlink(pty->DevicePath().c_str(), name.c_str()) != 0) {
        state.SkipWithError("cannot set up the pseudo-terminal");
        return;
    }
    TFPHostControl link;
    link.SetDevicePath(name);
    if (!link.OpenPort()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    // The adapter is pulled out: its device hangs up and the name leads nowhere.
    ::unlink(name.c_str());
    pty.reset();
    int attempts = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1000);
    const auto end = std::chrono::steady_clock::now() + Wait;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        std::string reason;
        if (link.PortLost(&reason))
            link.ClosePort();
        else if (link.State() == EFP_S_Close && !link.OpenPort())
            ++attempts;
        if (std::chrono::steady_clock::now() >= end)
            loop.quit();
    });
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        tick.start();
        loop.exec();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["attempts"] = attempts;
    }
}
BENCHMARK(BM_LostPortRetry)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

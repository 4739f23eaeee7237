// Auxiliary link figures, on a pseudo-terminal pair:
//  - BM_AuxIdleWait: a command waiting for a silent printer with TimeOut 0 (no limit) for ten
//    seconds; counter cpu_percent is the process's CPU time (all threads, user + system) over
//    the wall time, in percent of one core. It must stay well under 1.
//  - BM_AuxAckExchanges: complete SendData -> ACK -> OnAck round trips against a printer
//    thread that acknowledges every frame at once; items_per_second is exchanges per second,
//    process_cpu_us_per_exchange the CPU time all threads spend on one exchange.

#include "links/auxframe.h"
#include "links/fpauxcontrol.h"
#include "tests/links/ptyprinter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

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

void BM_AuxIdleWait(benchmark::State& state)
{
    PtyPrinter printer;
    TFPAuxControl link;
    link.SetDevicePath(printer.DevicePath());
    link.SetTimeOut(0);
    if (!printer.Ok() || !link.OpenPort()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    bool errored = false;
    QObject::connect(&link, &TFPAuxControl::OnError, [&](TFPAuxControl*) { errored = true; });
    double cpuPercent = 0;
    for (auto _ : state) {
        if (!link.SendData("wait")) {
            state.SkipWithError("SendData refused");
            return;
        }
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = ProcessCpuSeconds();
        // The GUI thread sleeps in its event loop; the worker sleeps in poll().
        QEventLoop loop;
        QTimer::singleShot(10000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpuPercent = 100.0 * cpu / wall;
        if (link.State() != FEFP_S_Busy) {
            state.SkipWithError("the command ended while the printer was silent");
            return;
        }
        link.Purge();
        while (!errored)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        errored = false;
    }
    state.counters["cpu_percent"] = cpuPercent;
}
BENCHMARK(BM_AuxIdleWait)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Acknowledges every complete frame (STX ... ETX checksum) the moment it has been read.
class InstantPrinter
{
public:
    explicit InstantPrinter(int master) : m_master(master)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~InstantPrinter()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void Run()
    {
        bool inFrame = false, checksumNext = false;
        char buffer[4096];
        while (!m_stop) {
            pollfd fd{m_master, POLLIN, 0};
            // The time-out only lets the thread notice m_stop; traffic wakes it at once.
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                const auto byte = static_cast<std::uint8_t>(buffer[i]);
                if (checksumNext) {
                    checksumNext = false;
                    const char ack = static_cast<char>(auxframe::ACK);
                    [[maybe_unused]] ssize_t w = ::write(m_master, &ack, 1);
                } else if (inFrame && byte == auxframe::ETX) {
                    inFrame = false;
                    checksumNext = true;
                } else if (!inFrame && byte == auxframe::STX) {
                    inFrame = true;
                }
            }
        }
    }

    int m_master;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void BM_AuxAckExchanges(benchmark::State& state)
{
    PtyPrinter printer;
    TFPAuxControl link;
    link.SetDevicePath(printer.DevicePath());
    link.SetTimeOut(2000);
    if (!printer.Ok() || !link.OpenPort()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    InstantPrinter instant(printer.Master());
    bool done = false, failed = false;
    QObject::connect(&link, &TFPAuxControl::OnAck, [&](TFPAuxControl*) { done = true; });
    QObject::connect(&link, &TFPAuxControl::OnError, [&](TFPAuxControl*) { done = failed = true; });
    const std::string data = "0123456789";
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        done = false;
        if (!link.SendData(data)) {
            state.SkipWithError("SendData refused");
            return;
        }
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (failed) {
            state.SkipWithError(FErrorTypeName(link.LastError()));
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    // CPU of all threads (GUI, worker, printer) per exchange: on a shared machine the rate
    // above mostly measures scheduling delays, this one the work itself.
    state.counters["process_cpu_us_per_exchange"] =
        1e6 * (ProcessCpuSeconds() - cpu0) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AuxAckExchanges)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

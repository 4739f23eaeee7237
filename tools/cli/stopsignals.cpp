#include "tools/cli/stopsignals.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tallyhost::cli {

namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnStopSignal(int number)
{
    g_signal = number;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

bool CatchStopSignals()
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

int StopSignal()
{
    return g_signal;
}

int StopSignalFd()
{
    return g_signalPipe[0];
}

void DrainStopSignals()
{
    unsigned char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) {
    }
}

std::string SignalCause(int number)
{
    return std::string("interrupted by ") + (number == SIGTERM ? "SIGTERM" : "SIGINT");
}

} // namespace tallyhost::cli

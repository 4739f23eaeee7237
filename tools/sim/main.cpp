// tallyhost-sim: a fiscal printer on two pseudo-terminals, for trying Tallyhost and for
// tests without hardware, or on serial devices it is given (a bench with two adapters and a
// null-modem cable). Prints "host <path>" and "fiscal <path>" on start, then serves both
// ports until SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "core/errors.h"
#include "core/version.h"
#include "tools/sim/simulator.h"

namespace {

tallyhost::sim::Simulator* g_simulator = nullptr;

extern "C" void OnStopSignal(int)
{
    if (g_simulator)
        g_simulator->RequestStop();
}

void Usage(std::FILE* to)
{
    std::fputs("Usage: tallyhost-sim [--scenario FILE] [--link DIR] [--baud N] [--verbose]\n"
               "                    [--host-device PATH] [--fiscal-device PATH]\n"
               "\n"
               "Simulates a fiscal printer on two pseudo-terminals and prints their paths:\n"
               "  host <device>     the host port (framed command protocol)\n"
               "  fiscal <device>   the fiscal (DGI) port\n"
               "\n"
               "  --scenario FILE   answers, delays and faults per command (default: every\n"
               "                    command succeeds); see examples/demo-sim.ini\n"
               "  --link DIR        also create the symbolic links DIR/host and DIR/fiscal\n"
               "  --baud N          carry bytes at N baud (ten bits a byte) in both\n"
               "                    directions, like a real line; 0 = at once (default,\n"
               "                    or the scenario's [General] Baud); with --host-device,\n"
               "                    the host device's line speed (default 9600)\n"
               "  --host-device PATH    serve the host port on this serial device (raw 8N1,\n"
               "                    no flow control, DTR and RTS raised) instead of a\n"
               "                    pseudo-terminal\n"
               "  --fiscal-device PATH  the same for the fiscal port, always at 9600 baud\n"
               "  --verbose         log every command and the rule that answered it (stderr)\n"
               "  --version         show the version\n"
               "  --help            show this text\n"
               "\n"
               "A port that comes back after an \"unplug\" fault prints its line again.\n"
               "Runs until SIGINT or SIGTERM, then removes its links.\n",
               to);
}

} // namespace

int main(int argc, char** argv)
{
    std::string scenarioPath;
    std::string linkDir;
    std::string baudText;
    std::string hostDevice;
    std::string fiscalDevice;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tallyhost-sim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            into = argv[++i];
        };
        if (arg == "--scenario") {
            value(scenarioPath);
        } else if (arg.rfind("--scenario=", 0) == 0) {
            scenarioPath = arg.substr(11);
        } else if (arg == "--link") {
            value(linkDir);
        } else if (arg.rfind("--link=", 0) == 0) {
            linkDir = arg.substr(7);
        } else if (arg == "--baud") {
            value(baudText);
        } else if (arg.rfind("--baud=", 0) == 0) {
            baudText = arg.substr(7);
        } else if (arg == "--host-device") {
            value(hostDevice);
        } else if (arg.rfind("--host-device=", 0) == 0) {
            hostDevice = arg.substr(14);
        } else if (arg == "--fiscal-device") {
            value(fiscalDevice);
        } else if (arg.rfind("--fiscal-device=", 0) == 0) {
            fiscalDevice = arg.substr(16);
        } else if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--version") {
            std::printf("tallyhost-sim %s\n", tallyhost::VersionString("FileVersion").c_str());
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "tallyhost-sim: unknown argument '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    tallyhost::sim::Scenario scenario = tallyhost::sim::BuiltInScenario();
    if (!scenarioPath.empty()) {
        try {
            scenario = tallyhost::sim::LoadScenario(scenarioPath);
        } catch (const tallyhost::Error& e) {
            std::fprintf(stderr, "tallyhost-sim: %s\n", e.what());
            return 1;
        }
    }

    // On a device --baud is the host line's speed; a port left on a pseudo-terminal keeps the
    // scenario's pace.
    int hostDeviceBaud = 9600;
    if (!hostDevice.empty() && !baudText.empty()) {
        char* end = nullptr;
        const long baud = std::strtol(baudText.c_str(), &end, 10);
        if (end == baudText.c_str() || *end != '\0' ||
            (baud != 0 && !tallyhost::sim::IsDeviceBaud(static_cast<int>(baud)))) {
            std::fprintf(stderr,
                         "tallyhost-sim: --baud with --host-device wants a serial line speed "
                         "(300 to 115200), not '%s'\n",
                         baudText.c_str());
            return 2;
        }
        if (baud != 0)
            hostDeviceBaud = static_cast<int>(baud);
    } else if (!baudText.empty()) {
        char* end = nullptr;
        const long baud = std::strtol(baudText.c_str(), &end, 10);
        if (end == baudText.c_str() || *end != '\0' ||
            (baud != 0 && (baud < tallyhost::sim::MinBaud || baud > tallyhost::sim::MaxBaud))) {
            std::fprintf(stderr, "tallyhost-sim: --baud wants 0 or %d to %d, not '%s'\n",
                         tallyhost::sim::MinBaud, tallyhost::sim::MaxBaud, baudText.c_str());
            return 2;
        }
        scenario.Baud = static_cast<int>(baud);
    }

    tallyhost::sim::Logger log;
    if (verbose)
        log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };

    tallyhost::sim::Simulator simulator(std::move(scenario), log);
    simulator.UseDevices(hostDevice, fiscalDevice, hostDeviceBaud);
    std::string error;
    if (!simulator.Open(error)) {
        std::fprintf(stderr, "tallyhost-sim: %s\n", error.c_str());
        return 1;
    }

    g_simulator = &simulator;
    struct sigaction action
    {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!linkDir.empty() && !simulator.CreateLinks(linkDir, error)) {
        std::fprintf(stderr, "tallyhost-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("host %s\nfiscal %s\n", simulator.HostPath().c_str(),
                simulator.FiscalPath().c_str());
    std::fflush(stdout);
    simulator.OnReplug([](const std::string& name, const std::string& path) {
        std::printf("%s %s\n", name.c_str(), path.c_str());
        std::fflush(stdout);
    });

    simulator.Run();
    g_simulator = nullptr;
    simulator.RemoveLinks();
    return 0;
}

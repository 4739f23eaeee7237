// tallyhost-sim: a fiscal printer on two pseudo-terminals, for trying Tallyhost and for
// tests without hardware, or on serial devices it is given (a bench with two adapters and a
// null-modem cable). Prints "host <path>" and "fiscal <path>" on start, then serves both
// ports until SIGINT or SIGTERM.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/version.h"
#include "tools/sim/simulator.h"

namespace {

// The printers served; fixed before the signal handlers are installed.
std::vector<tallyhost::sim::Simulator*> g_simulators;

// Printers one process serves with --count: each is a simulator of its own on its own thread,
// so a slow or faulty one never holds another.
constexpr int MaxCount = 64;

extern "C" void OnStopSignal(int)
{
    for (tallyhost::sim::Simulator* simulator : g_simulators)
        simulator->RequestStop();
}

void Usage(std::FILE* to)
{
    std::fputs("Usage: tallyhost-sim [--scenario FILE] [--link DIR] [--baud N] [--verbose]\n"
               "                    [--host-device PATH] [--fiscal-device PATH]\n"
               "       tallyhost-sim --count N [--scenario FILE] [--scenario-for K FILE]...\n"
               "                    [--link DIR] [--baud N] [--verbose]\n"
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
               "  --count N         serve N printers (1 to 64), each on two pseudo-terminals;\n"
               "                    their lines start with the printer's number (\"2 host\n"
               "                    /dev/pts/7\"), their links are DIR/1/host, DIR/1/fiscal,\n"
               "                    DIR/2/host ...\n"
               "  --scenario-for K FILE  printer K answers by this scenario instead\n"
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
    std::string countText;
    std::map<int, std::string> scenarioFor; // printer number -> scenario file
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
        } else if (arg == "--scenario-for") {
            std::string number;
            std::string file;
            value(number);
            value(file);
            char* end = nullptr;
            const long k = std::strtol(number.c_str(), &end, 10);
            if (end == number.c_str() || *end != '\0' || k < 1 || k > MaxCount) {
                std::fprintf(stderr,
                             "tallyhost-sim: --scenario-for wants a printer number "
                             "(1 to %d), not '%s'\n",
                             MaxCount, number.c_str());
                return 2;
            }
            scenarioFor[static_cast<int>(k)] = file;
        } else if (arg == "--count") {
            value(countText);
        } else if (arg.rfind("--count=", 0) == 0) {
            countText = arg.substr(8);
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

    int count = 1;
    if (!countText.empty()) {
        char* end = nullptr;
        const long n = std::strtol(countText.c_str(), &end, 10);
        if (end == countText.c_str() || *end != '\0' || n < 1 || n > MaxCount) {
            std::fprintf(stderr, "tallyhost-sim: --count wants 1 to %d printers, not '%s'\n",
                         MaxCount, countText.c_str());
            return 2;
        }
        count = static_cast<int>(n);
    }
    // A serial device is one printer's: the many printers of --count live on pseudo-terminals.
    if (count > 1 && (!hostDevice.empty() || !fiscalDevice.empty())) {
        std::fprintf(stderr, "tallyhost-sim: --count serves pseudo-terminals only, not "
                             "--host-device or --fiscal-device\n");
        return 2;
    }
    if (!scenarioFor.empty() && scenarioFor.rbegin()->first > count) {
        std::fprintf(stderr, "tallyhost-sim: --scenario-for %d, but there are %d printers\n",
                     scenarioFor.rbegin()->first, count);
        return 2;
    }

    // Every printer's scenario, read and checked before any port is made.
    std::vector<tallyhost::sim::Scenario> scenarios;
    for (int k = 1; k <= count; ++k) {
        const auto own = scenarioFor.find(k);
        const std::string path = own != scenarioFor.end() ? own->second : scenarioPath;
        try {
            scenarios.push_back(path.empty() ? tallyhost::sim::BuiltInScenario()
                                             : tallyhost::sim::LoadScenario(path));
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
        for (tallyhost::sim::Scenario& scenario : scenarios)
            scenario.Baud = static_cast<int>(baud);
    }

    // With several printers each line and log line starts with the printer's number.
    const auto prefix = [count](int k) {
        return count > 1 ? std::to_string(k) + " " : std::string();
    };
    std::vector<std::unique_ptr<tallyhost::sim::Simulator>> simulators;
    for (int k = 1; k <= count; ++k) {
        tallyhost::sim::Logger log;
        if (verbose)
            log = [p = prefix(k)](const std::string& line) {
                std::fprintf(stderr, "%s%s\n", p.c_str(), line.c_str());
            };
        simulators.push_back(std::make_unique<tallyhost::sim::Simulator>(
            std::move(scenarios[static_cast<std::size_t>(k - 1)]), log));
        tallyhost::sim::Simulator& simulator = *simulators.back();
        simulator.UseDevices(hostDevice, fiscalDevice, hostDeviceBaud);
        std::string error;
        if (!simulator.Open(error)) {
            std::fprintf(stderr, "tallyhost-sim: %s%s\n", prefix(k).c_str(), error.c_str());
            return 1;
        }
    }

    for (const auto& simulator : simulators)
        g_simulators.push_back(simulator.get());
    struct sigaction action
    {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!linkDir.empty() && count > 1 && mkdir(linkDir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tallyhost-sim: cannot create %s: %s\n", linkDir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const auto linksOf = [&](int k) {
        return count > 1 ? linkDir + "/" + std::to_string(k) : linkDir;
    };
    for (int k = 1; k <= count; ++k) {
        std::string error;
        if (!linkDir.empty() &&
            !simulators[static_cast<std::size_t>(k - 1)]->CreateLinks(linksOf(k), error)) {
            std::fprintf(stderr, "tallyhost-sim: %s\n", error.c_str());
            return 1;
        }
    }
    for (int k = 1; k <= count; ++k) {
        tallyhost::sim::Simulator& simulator = *simulators[static_cast<std::size_t>(k - 1)];
        std::printf("%shost %s\n%sfiscal %s\n", prefix(k).c_str(), simulator.HostPath().c_str(),
                    prefix(k).c_str(), simulator.FiscalPath().c_str());
        simulator.OnReplug([p = prefix(k)](const std::string& name, const std::string& path) {
            std::printf("%s%s %s\n", p.c_str(), name.c_str(), path.c_str());
            std::fflush(stdout);
        });
    }
    std::fflush(stdout);

    // The first printer is served on this thread, the others each on one of their own.
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < simulators.size(); ++k)
        threads.emplace_back([&simulator = *simulators[k]] { simulator.Run(); });
    simulators.front()->Run();
    for (std::thread& thread : threads)
        thread.join();
    // The simulators go with this function: a late signal must not reach them.
    action.sa_handler = SIG_IGN;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    for (int k = 1; k <= count; ++k) {
        simulators[static_cast<std::size_t>(k - 1)]->RemoveLinks();
        if (count > 1 && !linkDir.empty())
            rmdir(linksOf(k).c_str()); // only when empty: nothing of anyone else's goes
    }
    return 0;
}

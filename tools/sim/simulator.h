#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "tools/sim/ptyport.h"
#include "tools/sim/scenario.h"
#include "tools/sim/session.h"

namespace tallyhost::sim {

// The printer simulator: a host port and a fiscal port on pseudo-terminals or on serial
// devices it is given, each answered by its session as the scenario says. A device that fails
// (an adapter pulled out) is closed and opened again every second until it is back. Run() is a
// single-threaded poll() loop that sleeps until a byte arrives, a port can take more output, a host
// connects or leaves, or the next timed step of a reply is due; it never spins.
class Simulator
{
public:
    explicit Simulator(Scenario scenario, Logger log = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Serve serial devices instead of pseudo-terminals (either may be empty: that port stays
    // a pseudo-terminal): the host port at `hostBaud`, the fiscal port at 9600. Before Open.
    void UseDevices(const std::string& hostDevice, const std::string& fiscalDevice, int hostBaud);

    // Creates both pseudo-terminals, or opens the devices.
    bool Open(std::string& error);
    const std::string& HostPath() const { return m_host.Path(); }
    const std::string& FiscalPath() const { return m_fiscal.Path(); }

    // Stable names for the ports: dir/host and dir/fiscal, symbolic links to the terminals.
    // An existing link of that name is replaced; any other file is left alone (error).
    bool CreateLinks(const std::string& dir, std::string& error);
    // Removes the links made by CreateLinks, if they still point at our terminals.
    void RemoveLinks();

    // Called when an unplugged port has come back, with its name ("host", "fiscal") and the
    // new terminal's path.
    void OnReplug(std::function<void(const std::string&, const std::string&)> handler)
    {
        m_onReplug = std::move(handler);
    }

    // Serves both ports until RequestStop().
    void Run();
    // Safe from any thread and from a signal handler.
    void RequestStop();

private:
    struct Port;
    void servePort(Port& port, short revents, short watchRevents, TimePoint now);
    void unplug(Port& port, Millis away, TimePoint now);
    void replug(Port& port);

    Scenario m_scenario;
    Logger m_log;
    PtyPort m_host;
    PtyPort m_fiscal;
    std::unique_ptr<PortSession> m_hostSession;
    std::unique_ptr<PortSession> m_fiscalSession;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::string m_linkDir;
    std::function<void(const std::string&, const std::string&)> m_onReplug;
};

} // namespace tallyhost::sim

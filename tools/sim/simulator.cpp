#include "tools/sim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhost::sim {

namespace {

// The fiscal port runs at a fixed speed.
constexpr int FiscalDeviceBaud = 9600;
// How often a failed device is tried again.
constexpr Millis DeviceRetry{1000};

} // namespace

static_assert(std::atomic<bool>::is_always_lock_free, "RequestStop() runs in signal handlers");

Simulator::Simulator(Scenario scenario, Logger log)
    : m_scenario(std::move(scenario)), m_log(std::move(log))
{
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

Simulator::~Simulator()
{
    RemoveLinks();
    for (int fd : m_wake)
        if (fd >= 0)
            close(fd);
}

void Simulator::UseDevices(const std::string& hostDevice, const std::string& fiscalDevice,
                           int hostBaud)
{
    if (!hostDevice.empty())
        m_host.UseDevice(hostDevice, hostBaud);
    if (!fiscalDevice.empty())
        m_fiscal.UseDevice(fiscalDevice, FiscalDeviceBaud);
}

bool Simulator::Open(std::string& error)
{
    if (m_wake[0] < 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    m_host.SetBaud(m_scenario.Baud);
    m_fiscal.SetBaud(m_scenario.Baud);
    if (!m_host.Open(error) || !m_fiscal.Open(error))
        return false;
    m_hostSession = std::make_unique<HostSession>(
        m_scenario, [this](std::string_view bytes) { m_host.Queue(bytes); }, m_log);
    m_fiscalSession = std::make_unique<FiscalSession>(
        m_scenario, [this](std::string_view bytes) { m_fiscal.Queue(bytes); }, m_log);
    return true;
}

namespace {

// Points dir/name at target, replacing an older link atomically (a host that resolves the
// name at any moment finds either the old or the new terminal, never nothing).
bool PlaceLink(const std::string& dir, const std::string& name, const std::string& target,
               std::string& error)
{
    const std::string path = dir + "/" + name;
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a symbolic link";
        return false;
    }
    const std::string temp = dir + "/." + name + "." + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void RemoveLinkTo(const std::string& path, const std::string& target)
{
    char buffer[4096];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target)
        unlink(path.c_str());
}

} // namespace

bool Simulator::CreateLinks(const std::string& dir, std::string& error)
{
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (!PlaceLink(dir, "host", m_host.Path(), error))
        return false;
    if (!PlaceLink(dir, "fiscal", m_fiscal.Path(), error)) {
        RemoveLinkTo(dir + "/host", m_host.Path());
        return false;
    }
    m_linkDir = dir;
    return true;
}

void Simulator::RemoveLinks()
{
    if (m_linkDir.empty())
        return;
    RemoveLinkTo(m_linkDir + "/host", m_host.Path());
    RemoveLinkTo(m_linkDir + "/fiscal", m_fiscal.Path());
    m_linkDir.clear();
}

void Simulator::RequestStop()
{
    m_stop.store(true);
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(m_wake[1], &byte, 1);
    }
}

struct Simulator::Port
{
    PtyPort& Pty;
    PortSession& Session;
    const char* Name;
    std::optional<TimePoint> Replug; // set while unplugged
};

void Simulator::unplug(Port& port, Millis away, TimePoint now)
{
    // Like a USB adapter pulled out: the host's descriptor hangs up, the name leads nowhere.
    if (!m_linkDir.empty())
        RemoveLinkTo(m_linkDir + "/" + port.Name, port.Pty.Path());
    port.Pty.Close();
    port.Replug = now + away;
}

void Simulator::replug(Port& port)
{
    port.Replug.reset();
    std::string error;
    if (!port.Pty.Open(error)) {
        if (m_log)
            m_log(std::string(port.Name) + ": " + error);
        // A device may take a while to come back; a pseudo-terminal that cannot be made
        // will not be made a second later either.
        if (port.Pty.IsDevice())
            port.Replug = Clock::now() + DeviceRetry;
        return;
    }
    port.Session.Reset();
    if (!m_linkDir.empty() && !PlaceLink(m_linkDir, port.Name, port.Pty.Path(), error) && m_log)
        m_log(error);
    if (m_log)
        m_log(std::string(port.Name) + ": back as " + port.Pty.Path());
    if (m_onReplug)
        m_onReplug(port.Name, port.Pty.Path());
}

void Simulator::servePort(Port& port, short revents, short watchRevents, TimePoint now)
{
    if (port.Pty.IsDevice() && (revents & (POLLERR | POLLHUP | POLLNVAL))) {
        // The adapter went away under us (a hung-up terminal also reads as readable, with
        // nothing to read): try it again every second.
        if (m_log)
            m_log(std::string(port.Name) + ": " + port.Pty.Path() + " failed; trying again");
        port.Session.Reset();
        unplug(port, DeviceRetry, now);
        return;
    }
    if (revents & POLLIN) {
        const std::string bytes = port.Pty.ReadAvailable(now);
        if (!bytes.empty())
            port.Session.OnBytes(bytes, now);
        const LineRequest request = port.Session.TakeLineRequest();
        if (request.Unplug) {
            unplug(port, *request.Unplug, now);
            return;
        }
        if (request.Stall.count() > 0)
            port.Pty.StallInput(now + request.Stall);
        if (request.DsrLow.count() > 0 && !port.Pty.HoldDtrLow(now + request.DsrLow) && m_log)
            m_log(std::string(port.Name) + ": dsr ignored: a pseudo-terminal has no modem lines");
    }
    if (watchRevents & POLLIN) {
        if (port.Pty.HandleWatchEvents()) {
            if (m_log)
                m_log(std::string(port.Name) + ": host closed the port");
            port.Session.Reset();
            port.Pty.DropPending();
        }
    }
}

void Simulator::Run()
{
    if (!m_hostSession || !m_fiscalSession)
        return;
    Port ports[2] = {{m_host, *m_hostSession, "host", {}},
                     {m_fiscal, *m_fiscalSession, "fiscal", {}}};

    while (!m_stop.load()) {
        // Timers first: they may queue output, which the poll below then waits to write.
        const TimePoint now = Clock::now();
        std::optional<TimePoint> next;
        auto sooner = [&next](std::optional<TimePoint> at) {
            if (at)
                next = next ? std::min(*next, *at) : *at;
        };
        for (Port& port : ports) {
            if (port.Replug && *port.Replug <= now)
                replug(port);
            sooner(port.Replug);
            if (port.Replug)
                continue;
            port.Session.OnTimer(now);
            sooner(port.Session.Deadline());
            port.Pty.RaiseDtrIfDue(now);
            sooner(port.Pty.DtrDeadline());
            port.Pty.Flush(now);
            sooner(port.Pty.PaceDeadline(now));
        }

        std::vector<pollfd> fds;
        fds.push_back({m_wake[0], POLLIN, 0});
        for (Port& port : ports) {
            // A paced line is polled only when it may move a byte; PaceDeadline wakes us
            // for the next one. An unplugged port's descriptors are -1, which poll() skips.
            const short events = static_cast<short>((port.Pty.WantsInput(now) ? POLLIN : 0) |
                                                    (port.Pty.WantsOutput(now) ? POLLOUT : 0));
            fds.push_back({port.Pty.MasterFd(), events, 0});
            fds.push_back({port.Pty.WatchFd(), POLLIN, 0});
        }

        int timeout = -1;
        if (next) {
            const TimePoint before = Clock::now();
            timeout = 0;
            if (*next > before) {
                const auto wait = std::chrono::ceil<Millis>(*next - before);
                timeout = static_cast<int>(std::min<Millis::rep>(wait.count(), 60'000));
            }
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        const TimePoint after = Clock::now();
        for (std::size_t i = 0; i < 2; ++i) {
            const pollfd& master = fds[1 + 2 * i];
            const pollfd& watch = fds[2 + 2 * i];
            servePort(ports[i], master.revents, watch.revents, after);
            if ((master.revents & POLLOUT) && !ports[i].Replug)
                ports[i].Pty.Flush(after);
        }
    }
}

} // namespace tallyhost::sim

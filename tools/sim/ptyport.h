#pragma once

#include <string>
#include <string_view>

namespace tallyhost::sim {

// One pseudo-terminal standing in for a printer port. The host opens the slave side (the
// path printed at start); the simulator reads and writes the master side.
//
// The simulator keeps a slave descriptor of its own open for the whole run. Without it the
// master reports a hang-up (and reads fail with EIO) whenever no host has the port open, and
// the terminal settings would be lost between connections. Holding it has one cost: the
// kernel keeps the terminal's exclusive-open flag set by a host (TIOCEXCL) after that host
// closes, and refuses the next host with EBUSY. So the slave's device node is watched with
// inotify: when the last host closes it, the flag is cleared, bytes nobody read are
// discarded and the caller resets its protocol state, ready for the next connection.
class PtyPort
{
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool Open(std::string& error);
    void Close();
    const std::string& Path() const { return m_path; }
    int MasterFd() const { return m_master; }
    // -1 when inotify is not available (then disconnects are not noticed; all else works).
    int WatchFd() const { return m_watch; }

    // What the host wrote since the last call (empty when nothing is waiting).
    std::string ReadAvailable();

    // Queues bytes for the host and writes as much as the terminal takes now.
    void Queue(std::string_view bytes);
    bool HasPendingOutput() const { return !m_out.empty(); }
    void Flush();

    // Reads the watch events. When the last host has closed the port, discards what the
    // terminal still holds for it, resets the line and returns true.
    bool HandleWatchEvents();
    // Forgets output still queued for a host that has gone.
    void DropPending();

    // Upper bound of queued output: a host that never reads must not make us grow forever.
    static constexpr std::size_t MaxQueued = 1 << 20;

private:
    void SetRawMode();

    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    int m_clients = 0;
    std::string m_path;
    std::string m_out;
};

} // namespace tallyhost::sim

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tallyhost::sim {

// Whether a serial device can be set to `baud` (the standard speeds 300 to 115200).
bool IsDeviceBaud(int baud);

// One printer port: a pseudo-terminal standing in for it, or a serial device the simulator is
// given (UseDevice), so that a bench with two adapters and a null-modem cable, or another
// program, meets the simulated printer on a real line.
//
// On a pseudo-terminal the host opens the slave side (the path printed at start); the
// simulator reads and writes the master side.
//
// The simulator keeps a slave descriptor of its own open for the whole run. Without it the
// master reports a hang-up (and reads fail with EIO) whenever no host has the port open, and
// the terminal settings would be lost between connections. Holding it has one cost: the
// kernel keeps the terminal's exclusive-open flag set by a host (TIOCEXCL) after that host
// closes, and refuses the next host with EBUSY. So the slave's device node is watched with
// inotify: when the last host closes it, the flag is cleared, bytes nobody read are
// discarded and the caller resets its protocol state, ready for the next connection.
//
// With a line speed set (SetBaud), bytes cross in both directions no faster than a real line
// carries them, ten bits a byte: what the host wrote stays in the terminal until its time has
// come, and queued output is written out at the same pace. The caller's poll loop asks
// WantsInput/WantsOutput before polling and sleeps until PaceDeadline otherwise.
class PtyPort
{
public:
    using Clock = std::chrono::steady_clock;

    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Serve the serial device `path` at `baud` (raw 8N1, no flow control, DTR and RTS raised)
    // instead of a pseudo-terminal: Open opens it, and opens it again after a Close. The line
    // itself keeps the pace, so SetBaud's pacing does not apply. Before Open.
    void UseDevice(std::string path, int baud);
    bool IsDevice() const { return !m_devicePath.empty(); }

    bool Open(std::string& error);
    void Close();
    const std::string& Path() const { return m_path; }
    int MasterFd() const { return m_master; }
    // -1 when inotify is not available (then disconnects are not noticed; all else works).
    int WatchFd() const { return m_watch; }

    // 0 (the default) moves bytes as fast as the terminal takes them.
    void SetBaud(int baud);
    int Baud() const { return m_baud; }
    // The printer stops taking the host's bytes until `until` (they wait in the terminal).
    void StallInput(Clock::time_point until)
    {
        m_stallUntil = until;
        m_in.Idle = true;
    }

    // The printer's DTR (the host's DSR through a null-modem cable) low until `until`, then up
    // again. False on a pseudo-terminal, which has no modem lines.
    bool HoldDtrLow(Clock::time_point until);
    // Raises DTR again once its time has come; when that is, while it is held.
    void RaiseDtrIfDue(Clock::time_point now);
    std::optional<Clock::time_point> DtrDeadline() const { return m_dtrLowUntil; }

    // Whether to poll for the host's bytes now, and for room for ours.
    bool WantsInput(Clock::time_point now) const;
    bool WantsOutput(Clock::time_point now) const;
    // When pacing or a stall next lets a byte through, if that is what the port waits for.
    std::optional<Clock::time_point> PaceDeadline(Clock::time_point now) const;

    // What the host wrote and has crossed the line by `now` (empty when nothing is waiting).
    std::string ReadAvailable(Clock::time_point now = Clock::now());

    // Queues bytes for the host and writes as much as the terminal (and the pace) takes now.
    void Queue(std::string_view bytes);
    bool HasPendingOutput() const { return !m_out.empty(); }
    void Flush(Clock::time_point now = Clock::now());

    // Reads the watch events. When the last host has closed the port, discards what the
    // terminal still holds for it, resets the line and returns true.
    bool HandleWatchEvents();
    // Forgets output still queued for a host that has gone.
    void DropPending();

    // Upper bound of queued output: a host that never reads must not make us grow forever.
    static constexpr std::size_t MaxQueued = 1 << 20;

private:
    // One direction of a paced line. A byte crosses in ByteTime; the clock of an idle line
    // starts when a byte is first seen, so the pace is never faster than the line (at worst
    // a byte time slower after a pause).
    struct Pace
    {
        std::chrono::nanoseconds ByteTime{0};
        Clock::time_point Free{}; // when the byte in transit (if any) has crossed
        bool Idle = true;
        bool Paced() const { return ByteTime.count() > 0; }
        void Start(Clock::time_point now);
        // Bytes that have crossed by `now`.
        std::size_t Allowed(Clock::time_point now) const;
        // `count` of `allowed` were taken; fewer means the sender had no more.
        void Took(std::size_t count, std::size_t allowed);
    };

    void SetRawMode();
    bool OpenDevice(std::string& error);

    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    int m_clients = 0;
    std::string m_path;
    std::string m_devicePath;
    int m_deviceBaud = 9600;
    std::string m_out;
    int m_baud = 0;
    Pace m_in;
    Pace m_outPace;
    Clock::time_point m_stallUntil{};
    std::optional<Clock::time_point> m_dtrLowUntil;
};

} // namespace tallyhost::sim

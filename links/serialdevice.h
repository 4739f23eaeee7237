#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tallyhost {

// Line speeds a serial link may run at. Anything else is refused by SerialDevice::Open.
inline constexpr int SupportedBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};

// How a link wants its line set up. The line is always raw 8N1 without software flow control
// and without an end-of-file character: every byte value is data.
struct SerialLineSettings
{
    int Baud = 9600;
    bool Dtr = true; // DTR raised while the port is open
    bool Rts = false;
    // Output held while the far end keeps DSR low. A line without it sends whatever DSR says:
    // a 3-wire cable, or a printer port that does not drive DSR, never raises it.
    bool DsrFlow = false;
};

// Why Open failed. NoSuchDevice is "the name leads nowhere" (a COM port the machine lacks, a
// vanished USB adapter, a path that is not a terminal); InUse is "it is there but we cannot
// have it" (another program holds it, permissions, the driver refuses).
enum class SerialOpenError : std::uint8_t
{
    None,
    NoSuchDevice,
    InUse
};

// Outcome of a wait-bearing I/O call.
enum class SerialIo : std::uint8_t
{
    Done,     // all bytes written / at least one byte read
    TimedOut, // the deadline passed first
    Woken,    // Wake() was called: the caller is being told to stop
    Failed,   // the device reported an error or hung up
};

// Wait without a deadline (an auxiliary link with a time-out of 0 waits for ever).
inline constexpr std::chrono::milliseconds WaitForever{-1};

// One serial device opened exclusively, in raw mode, for a link worker.
//
// Threading: Open, Close and SetModemLines belong to the owner (the component on the GUI
// thread) and must not run while a worker uses the device. Write, Send and Read are for the
// worker. Purge and Wake may be called from any thread at any time while the device
// is open: they are how the GUI thread aborts the worker's I/O, the way a purge aborts pending
// overlapped I/O elsewhere.
//
// Every wait goes through poll() on the device and on a wake-up eventfd, with a deadline that
// shrinks on each turn of the loop, so waits cost no CPU and end at once on Wake().
//
// The line's schedule, on a device with a wire (a UART, a USB adapter): the device keeps the
// time until which the line is busy with what has been written. Every write moves it to
// max(busy-until, now) plus the wire time of the bytes it handed over, so it counts from when
// bytes went in, not from the first write of a frame (output held back by DSR is not on the
// line), and it holds on adapters whose own buffer the driver's queue figure (TIOCOUTQ) does
// not count. Send returns when the schedule has passed.
//
// A pseudo-terminal has no wire: its bytes are with the far side as soon as the driver has
// taken them, and whoever serves it (the printer simulator, a test) reads them at its own
// pace, which the writer has no way to see. It keeps no schedule, and Send on it returns once
// the driver holds the whole frame. What the device is comes from its device number at Open,
// not from a setting.
//
// Output flow control on DSR, for a line set up with it (SerialLineSettings::DsrFlow): Linux
// has no termios mode for it, so the writer does it. On a device with modem lines the bytes
// go out in chunks of about 20 ms of wire time, each only once the line is within a chunk of
// its schedule's end and DSR is up; while the printer holds DSR low the writer waits, within
// the same deadline. Any other line (no flow control, or a device without modem lines such as
// a pseudo-terminal) gets everything in one write, as fast as the driver takes it.
class SerialDevice
{
public:
    SerialDevice();
    virtual ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `path` for reading and writing, exclusively (TIOCEXCL plus an flock that also
    // holds against root and against a second open in this process), sets the line up and
    // purges both directions. `errorText` (optional) receives the system's reason.
    SerialOpenError Open(const std::string& path, const SerialLineSettings& settings,
                         std::string* errorText = nullptr);
    // Drops the lock and closes the device. Safe when not open.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    int Handle() const { return m_fd; }

    // Whether the device has gone away (a USB adapter pulled out, the far end of a
    // pseudo-terminal closed: the driver reports a hang-up or an error), with the system's
    // reason. Cheap enough to ask every second: one poll() that does not wait. Any thread.
    bool IsLost(std::string* reason = nullptr);

    // Sets DTR and RTS. Pseudo-terminals and some adapters reject modem-line requests; that is
    // not an error for a link, so the result only says whether the driver took the request.
    bool SetModemLines(bool dtr, bool rts);

    // Hands all `count` bytes to the driver or gives up at the deadline. Where the line has
    // modem lines the printer's DSR holds the output (see the class comment). A write that
    // does not finish (time-out, wake-up, failure) discards what it left in the driver, so
    // the printer never receives the tail of a command reported as failed.
    SerialIo Write(const void* data, std::size_t count, std::chrono::milliseconds timeout);

    // Write, then wait until the bytes have left the port: the line's schedule has passed and
    // the driver's output queue is empty (USB adapters report an empty queue long before the
    // line is done, so the queue alone proves nothing); on a pseudo-terminal, at once. Bytes from
    // the printer do not end the wait: one may be noise on a frame that is still going out. They
    // stay in the driver for the caller's next Read. The whole call, wait included, is bounded
    // by `timeout`; a time-out discards the unsent output.
    SerialIo Send(const void* data, std::size_t count, std::chrono::milliseconds timeout);

    // The time `count` bytes take on the line at the speed the device was opened with.
    std::chrono::microseconds WireTime(std::size_t count) const;
    // When the line is done with everything written so far (see the class comment); a time in
    // the past when it is idle. Any thread.
    std::chrono::steady_clock::time_point LineBusyUntil() const;
    int Baud() const { return m_baud; }
    // Whether the device is a line with a wire time (see the class comment). Set by Open.
    bool HasWire() const { return m_hasWire; }

    // The moments a response time is measured between. SentAt: when the last byte of the last
    // successful Send left the port (on a line, the end of its schedule, however late the
    // caller learnt it; on a pseudo-terminal, when the driver took it). ArrivedAt: when the
    // first of the bytes the last successful Read returned arrived, also when they came while
    // Send was still waiting for the line. Worker only.
    std::chrono::steady_clock::time_point SentAt() const { return m_sentAt; }
    std::chrono::steady_clock::time_point ArrivedAt() const { return m_arrivedAt; }

    // Waits up to `timeout` until at least one byte is there, then takes everything that has
    // arrived, up to `capacity`, without waiting further. `received` is the byte count (0
    // unless Done). A capacity of 0 fails at once: the caller's buffer is full.
    SerialIo Read(void* buffer, std::size_t capacity, std::size_t& received,
                  std::chrono::milliseconds timeout);

    enum PurgeWhat : unsigned
    {
        PurgeInput = 1,
        PurgeOutput = 2,
        PurgeBoth = 3
    };
    // Discards what was received and not yet read and/or what was written and not yet sent
    // (on a pseudo-terminal: of a write still under way; a finished one is with the far side).
    void Purge(unsigned what = PurgeBoth);

    // Ends the current Write/Read at once, and makes every later one return Woken without
    // touching the line, until ClearWake().
    void Wake();
    void ClearWake();
    bool IsWoken() const;

    // The printer's DSR while output is held for it is polled at this interval (Linux offers
    // no wait for a modem-line change that can be woken).
    static constexpr std::chrono::milliseconds ModemPollInterval{10};

protected:
    // The line itself, one call each, so that a test can stand in for a UART with modem lines
    // (pseudo-terminals have none). LineWrite is write(2); LineQueuedOutput the bytes the
    // driver still holds (TIOCOUTQ), -1 where it cannot tell; LineModemStatus the TIOCM_ bits,
    // -1 on a device without modem lines; LineDiscardOutput drops the driver's unsent output.
    // LineDiscardOutput may run on any thread (Purge); the others run on the worker.
    virtual long LineWrite(const void* data, std::size_t count);
    virtual int LineQueuedOutput();
    virtual int LineModemStatus();
    virtual void LineDiscardOutput();
    // Whether the open device has a wire: anything but a pseudo-terminal. Asked once by Open.
    virtual bool LineHasWire();

private:
    enum class Ready : std::uint8_t
    {
        Yes,
        TimedOut,
        Woken,
        Failed
    };
    Ready WaitFor(short events, std::chrono::steady_clock::time_point deadline, bool unlimited);
    SerialIo WriteAll(const unsigned char* bytes, std::size_t count,
                      std::chrono::steady_clock::time_point deadline, bool unlimited);
    SerialIo WaitSent(std::chrono::steady_clock::time_point deadline, bool unlimited);
    static SerialIo FromReady(Ready ready);
    // Moves the line's schedule on by the wire time of `count` bytes handed to the driver now.
    void ScheduleOnLine(std::size_t count);
    // Drops the driver's unsent output; the schedule ends now with it.
    void DiscardOutput();
    // Marks a Write or Send under way for the time of the call.
    class WriteOpen
    {
    public:
        explicit WriteOpen(std::atomic<bool>& flag) : m_flag(flag) { m_flag.store(true); }
        ~WriteOpen() { m_flag.store(false); }
        WriteOpen(const WriteOpen&) = delete;
        WriteOpen& operator=(const WriteOpen&) = delete;

    private:
        std::atomic<bool>& m_flag;
    };

    int m_fd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_woken{false};
    std::atomic<int> m_failure{0}; // errno of the last I/O that failed on the device
    std::string m_path;
    int m_baud = 9600;
    bool m_dsrFlow = false;
    bool m_hasWire = true;
    std::atomic<bool> m_writing{false}; // a Write or Send is under way (Purge asks, any thread)
    // Worker-only: the response-time marks, and when the first input during Send's wait came.
    std::chrono::steady_clock::time_point m_sentAt{};
    std::chrono::steady_clock::time_point m_arrivedAt{};
    std::chrono::steady_clock::time_point m_inputNoticedAt{};
    bool m_inputNoticed = false;
    // steady_clock ticks: written by the worker's writes and by a purge on any thread.
    std::atomic<std::chrono::steady_clock::rep> m_busyUntil{0};
};

// speed_t constant for one of SupportedBauds; 0 for any other value.
unsigned SerialSpeedConstant(int baud);

} // namespace tallyhost

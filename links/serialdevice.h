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
// thread) and must not run while a worker uses the device. Write, Read and WaitReadable are
// for the worker. Purge and Wake may be called from any thread at any time while the device
// is open: they are how the GUI thread aborts the worker's I/O, the way a purge aborts pending
// overlapped I/O elsewhere.
//
// Every wait goes through poll() on the device and on a wake-up eventfd, with a deadline that
// shrinks on each turn of the loop, so waits cost no CPU and end at once on Wake().
class SerialDevice
{
public:
    SerialDevice();
    ~SerialDevice();
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

    // Sets DTR and RTS. Pseudo-terminals and some adapters reject modem-line requests; that is
    // not an error for a link, so the result only says whether the driver took the request.
    bool SetModemLines(bool dtr, bool rts);

    // Writes all `count` bytes or gives up at the deadline. A write that times out leaves its
    // unsent tail in the driver; Purge(Output) drops it.
    SerialIo Write(const void* data, std::size_t count, std::chrono::milliseconds timeout);

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
    // Discards what was received and not yet read and/or what was written and not yet sent.
    void Purge(unsigned what = PurgeBoth);

    // Ends the current Write/Read at once, and makes every later one return Woken without
    // touching the line, until ClearWake().
    void Wake();
    void ClearWake();
    bool IsWoken() const;

private:
    enum class Ready : std::uint8_t
    {
        Yes,
        TimedOut,
        Woken,
        Failed
    };
    Ready WaitFor(short events, std::chrono::steady_clock::time_point deadline, bool unlimited);

    int m_fd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_woken{false};
    std::string m_path;
};

// speed_t constant for one of SupportedBauds; 0 for any other value.
unsigned SerialSpeedConstant(int baud);

} // namespace tallyhost

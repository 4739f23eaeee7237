#include "links/serialdevice.h"

#include "links/deviceidentity.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace tallyhost {

namespace {

// Errors of open() that mean the name does not lead to a device at all.
bool IsNoSuchDevice(int error)
{
    return error == ENOENT || error == ENODEV || error == ENXIO || error == ENOTDIR ||
           error == ENAMETOOLONG || error == ELOOP;
}

void SetText(std::string* errorText, const std::string& what, int error)
{
    if (errorText)
        *errorText = what + ": " + std::strerror(error);
}

// Lines to drop first: a line that must be low is never raised on the way.
bool ApplyModemLines(int fd, bool dtr, bool rts)
{
    int set = 0;
    int clear = 0;
    (dtr ? set : clear) |= TIOCM_DTR;
    (rts ? set : clear) |= TIOCM_RTS;
    bool ok = true;
    if (clear && ::ioctl(fd, TIOCMBIC, &clear) != 0)
        ok = false;
    if (set && ::ioctl(fd, TIOCMBIS, &set) != 0)
        ok = false;
    return ok;
}

} // namespace

unsigned SerialSpeedConstant(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return 0;
    }
}

SerialDevice::SerialDevice()
{
    // Created once per device object; a failure here shows up as a failing Open.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SerialDevice::~SerialDevice()
{
    Close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

SerialOpenError SerialDevice::Open(const std::string& path, const SerialLineSettings& settings,
                                   std::string* errorText)
{
    Close();
    if (m_wakeFd < 0) {
        SetText(errorText, "eventfd", errno);
        return SerialOpenError::InUse;
    }
    const unsigned speed = SerialSpeedConstant(settings.Baud);
    if (path.empty() || speed == 0) {
        if (errorText)
            *errorText = path.empty() ? "no device path" : "unsupported line speed";
        return SerialOpenError::NoSuchDevice;
    }

    // O_NONBLOCK: neither open() nor any later read or write may block on carrier or on a
    // full queue; every wait is a poll() with a deadline instead. O_NOCTTY: a port is never
    // the program's controlling terminal.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        SetText(errorText, path, error);
        return IsNoSuchDevice(error) ? SerialOpenError::NoSuchDevice : SerialOpenError::InUse;
    }
    auto fail = [&](SerialOpenError result, const char* what, int error) {
        SetText(errorText, path + ": " + what, error);
        ::close(fd);
        return result;
    };

    // flock first: TIOCEXCL does not stop root, and the lock is what two programs (or two
    // links in this one) agree on. Nothing touches the line before it: a port another program
    // holds keeps its modem lines.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(SerialOpenError::InUse, "locked by another user", errno);
    // The kernel raised DTR and RTS inside open() (unless the port's stored speed is 0): put
    // them as the link wants them before anything else, so that a printer which reads RTS as
    // "data coming" sees the pulse for two system calls, not for the whole line setup.
    // Pseudo-terminals and some adapters refuse modem-line requests; that is no failure.
    ApplyModemLines(fd, settings.Dtr, settings.Rts);

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) // not a terminal: no serial device by that name
        return fail(SerialOpenError::NoSuchDevice, "not a serial device", errno);
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL)
        return fail(SerialOpenError::InUse, "exclusive mode", errno);

    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    // CLOCAL: the printers' cables rarely carry DCD; without it the line would hang up.
    // HUPCL: DTR drops when the port is closed, so the printer sees the host go away.
    tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_iflag |= IGNBRK;
    // With O_NONBLOCK, VMIN 1 makes a read return what is there at once, EAGAIN when nothing
    // is, and 0 only on a hang-up (VMIN 0 would return 0 for "nothing yet" too). Waiting is
    // poll()'s job.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail(SerialOpenError::InUse, "line settings", errno);

    m_fd = fd;
    m_path = path;
    m_baud = settings.Baud;
    m_dsrFlow = settings.DsrFlow;
    m_hasWire = LineHasWire();
    m_failure = 0;
    // Again: a speed change from 0 raises both lines on some drivers.
    SetModemLines(settings.Dtr, settings.Rts);
    ClearWake();
    Purge(PurgeBoth);
    m_busyUntil.store(std::chrono::steady_clock::now().time_since_epoch().count());
    return SerialOpenError::None;
}

void SerialDevice::Close()
{
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

bool SerialDevice::SetModemLines(bool dtr, bool rts)
{
    return m_fd >= 0 && ApplyModemLines(m_fd, dtr, rts);
}

SerialDevice::Ready
SerialDevice::WaitFor(short events, std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    using namespace std::chrono;
    for (;;) {
        int timeoutMs = -1;
        if (!unlimited) {
            // Round up so a wait never ends a little early and spins on a zero timeout.
            const auto left = duration_cast<microseconds>(deadline - steady_clock::now());
            timeoutMs = left.count() <= 0 ? 0 : static_cast<int>((left.count() + 999) / 1000);
        }
        pollfd fds[2] = {{m_fd, events, 0}, {m_wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Ready::Failed;
        }
        if (fds[1].revents & POLLIN)
            return Ready::Woken;
        if (fds[0].revents & events)
            return Ready::Yes;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return Ready::Failed;
        if (n == 0 && !unlimited && steady_clock::now() >= deadline)
            return Ready::TimedOut;
    }
}

SerialIo SerialDevice::FromReady(Ready ready)
{
    switch (ready) {
    case Ready::Yes:
        return SerialIo::Done;
    case Ready::TimedOut:
        return SerialIo::TimedOut;
    case Ready::Woken:
        return SerialIo::Woken;
    case Ready::Failed:
        break;
    }
    return SerialIo::Failed;
}

std::chrono::microseconds SerialDevice::WireTime(std::size_t count) const
{
    // Start bit, eight data bits, stop bit.
    const auto bits = static_cast<std::int64_t>(count) * 10;
    return std::chrono::microseconds(bits * 1'000'000 / (m_baud > 0 ? m_baud : 9600));
}

long SerialDevice::LineWrite(const void* data, std::size_t count)
{
    return static_cast<long>(::write(m_fd, data, count));
}

int SerialDevice::LineQueuedOutput()
{
    int queued = 0;
    return ::ioctl(m_fd, TIOCOUTQ, &queued) == 0 ? queued : -1;
}

int SerialDevice::LineModemStatus()
{
    int bits = 0;
    return ::ioctl(m_fd, TIOCMGET, &bits) == 0 ? bits : -1;
}

void SerialDevice::LineDiscardOutput()
{
    ::tcflush(m_fd, TCOFLUSH);
}

bool SerialDevice::LineHasWire()
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return true;
    return !IsPseudoTerminalMajor(major(st.st_rdev));
}

std::chrono::steady_clock::time_point SerialDevice::LineBusyUntil() const
{
    using Clock = std::chrono::steady_clock;
    return Clock::time_point(Clock::duration(m_busyUntil.load()));
}

void SerialDevice::ScheduleOnLine(std::size_t count)
{
    if (!m_hasWire)
        return;
    const auto now = std::chrono::steady_clock::now();
    const auto from = std::max(LineBusyUntil(), now);
    m_busyUntil.store((from + WireTime(count)).time_since_epoch().count());
}

void SerialDevice::DiscardOutput()
{
    LineDiscardOutput();
    // What an adapter had already taken from the driver cannot be recalled; it is a few
    // milliseconds of line at most once the output is held in chunks.
    m_busyUntil.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

SerialIo SerialDevice::WriteAll(const unsigned char* bytes, std::size_t count,
                                std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    using namespace std::chrono;
    // Asked once per write: a device either has modem lines or not. Only a line with flow
    // control goes out in chunks; any other takes the whole frame at once.
    const bool held = m_dsrFlow && LineModemStatus() >= 0;
    const std::size_t chunk =
        held ? std::max<std::size_t>(8, static_cast<std::size_t>(m_baud) / 500) : count;
    const auto chunkTime = WireTime(chunk);
    std::size_t done = 0;
    while (done < count) {
        if (held) {
            // Hold the next chunk while more than one is still on its way, by the line's
            // schedule (which counts what an adapter's own buffer holds) and by the driver's
            // figure (which counts a line that runs slower than its speed), so that a DSR drop
            // stops the output within a chunk or two; then wait for DSR itself.
            const auto now = steady_clock::now();
            auto until = std::max(now, LineBusyUntil() - chunkTime);
            if (const int queued = LineQueuedOutput(); queued >= static_cast<int>(chunk))
                until =
                    std::max(until, now + WireTime(static_cast<std::size_t>(queued) - chunk / 2));
            if (until == now) {
                if (const int status = LineModemStatus(); status >= 0 && !(status & TIOCM_DSR))
                    until = now + ModemPollInterval;
            }
            if (until > now) {
                if (!unlimited && now >= deadline)
                    return SerialIo::TimedOut;
                const Ready ready =
                    WaitFor(0, unlimited ? until : std::min(until, deadline), false);
                if (ready == Ready::Woken || ready == Ready::Failed)
                    return FromReady(ready);
                continue;
            }
        }
        const long n = LineWrite(bytes + done, std::min(chunk, count - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            ScheduleOnLine(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_failure = errno;
            return SerialIo::Failed;
        }
        const Ready ready = WaitFor(POLLOUT, deadline, unlimited);
        if (ready != Ready::Yes)
            return FromReady(ready);
    }
    return SerialIo::Done;
}

SerialIo SerialDevice::WaitSent(std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    using namespace std::chrono;
    auto lastQueued = steady_clock::now(); // the driver took the frame by now
    for (;;) {
        const int queued = LineQueuedOutput();
        const auto now = steady_clock::now();
        auto end = LineBusyUntil();
        // The driver still holding bytes past the schedule means a line slower than its
        // speed (flow control in the UART, a stalled printer): the bytes have not left.
        if (queued > 0) {
            end = std::max(end, now + WireTime(static_cast<std::size_t>(queued)));
            lastQueued = now;
        }
        if (now >= end) {
            // The last byte left when the schedule ended, not when this loop got round to
            // seeing it: the response time counts from there.
            m_sentAt = std::min(now, std::max(LineBusyUntil(), lastQueued));
            return SerialIo::Done;
        }
        if (!unlimited && now >= deadline)
            return SerialIo::TimedOut;
        // Sleep toward the end, in steps short enough to follow the driver's figure. Bytes
        // from the printer do not end the wait (a noise byte mid-frame is no answer); they
        // wait in the driver for the answer's first read, which learns here when they came.
        const auto until = std::min<steady_clock::time_point>(end, now + milliseconds{50});
        const short events = m_inputNoticed ? 0 : POLLIN;
        const Ready ready = WaitFor(events, unlimited ? until : std::min(until, deadline), false);
        if (ready == Ready::Yes && events) {
            m_inputNoticed = true;
            m_inputNoticedAt = steady_clock::now();
        }
        if (ready == Ready::Woken)
            return SerialIo::Woken;
        // A hang-up ends the wait too. The driver took the whole frame; the answer's first
        // read meets the hang-up and ends the exchange as a lost device, whatever the printer
        // managed to say before it went.
        if (ready == Ready::Failed) {
            m_sentAt = steady_clock::now();
            return SerialIo::Done;
        }
    }
}

SerialIo SerialDevice::Write(const void* data, std::size_t count, std::chrono::milliseconds timeout)
{
    if (m_fd < 0)
        return SerialIo::Failed;
    if (IsWoken()) // an aborted exchange writes nothing more
        return SerialIo::Woken;
    const bool unlimited = timeout.count() < 0;
    const auto deadline = std::chrono::steady_clock::now() + (unlimited ? timeout.zero() : timeout);
    const WriteOpen open(m_writing);
    const SerialIo result =
        WriteAll(static_cast<const unsigned char*>(data), count, deadline, unlimited);
    if (result != SerialIo::Done && result != SerialIo::Failed)
        DiscardOutput();
    return result;
}

SerialIo SerialDevice::Send(const void* data, std::size_t count, std::chrono::milliseconds timeout)
{
    if (m_fd < 0)
        return SerialIo::Failed;
    if (IsWoken())
        return SerialIo::Woken;
    const bool unlimited = timeout.count() < 0;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + (unlimited ? timeout.zero() : timeout);
    m_inputNoticed = false;
    const WriteOpen open(m_writing);
    SerialIo result = WriteAll(static_cast<const unsigned char*>(data), count, deadline, unlimited);
    if (result == SerialIo::Done)
        result = WaitSent(deadline, unlimited);
    if (result != SerialIo::Done && result != SerialIo::Failed)
        DiscardOutput();
    return result;
}

SerialIo SerialDevice::Read(void* buffer, std::size_t capacity, std::size_t& received,
                            std::chrono::milliseconds timeout)
{
    received = 0;
    if (m_fd < 0 || capacity == 0)
        return SerialIo::Failed;
    if (IsWoken())
        return SerialIo::Woken;
    const bool unlimited = timeout.count() < 0;
    const auto deadline = std::chrono::steady_clock::now() + (unlimited ? timeout.zero() : timeout);
    auto* bytes = static_cast<unsigned char*>(buffer);
    // Bytes already waiting came when Send's wait saw them, or else just now.
    auto arrived = m_inputNoticed ? m_inputNoticedAt : std::chrono::steady_clock::now();
    for (;;) {
        const ssize_t n = ::read(m_fd, bytes + received, capacity - received);
        if (n > 0) {
            if (received == 0) {
                m_arrivedAt = arrived;
                m_inputNoticed = false;
            }
            received += static_cast<std::size_t>(n);
            if (received == capacity)
                return SerialIo::Done;
            continue; // take whatever else has arrived meanwhile, without waiting
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (received > 0)
            return SerialIo::Done;
        // 0 bytes from a non-blocking terminal read after poll() said readable is a hang-up
        // (the other end of a pseudo-terminal closed, a USB adapter was pulled).
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            m_failure = n == 0 ? EIO : errno;
            return SerialIo::Failed;
        }
        switch (WaitFor(POLLIN, deadline, unlimited)) {
        case Ready::Yes:
            arrived = std::chrono::steady_clock::now();
            break;
        case Ready::TimedOut:
            return SerialIo::TimedOut;
        case Ready::Woken:
            return SerialIo::Woken;
        case Ready::Failed:
            return SerialIo::Failed;
        }
    }
}

bool SerialDevice::IsLost(std::string* reason)
{
    if (m_fd < 0)
        return false;
    pollfd fd{m_fd, 0, 0};
    if (::poll(&fd, 1, 0) < 0 || !(fd.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return false;
    if (reason) {
        int error = m_failure;
        // A write of nothing is a no-op on a live terminal and fails with the driver's reason
        // (EIO) on one that has hung up; it touches no data either way.
        if (error == 0 && ::write(m_fd, "", 0) < 0)
            error = errno;
        *reason = error ? std::strerror(error) : "hang-up";
    }
    return true;
}

void SerialDevice::Purge(unsigned what)
{
    if (m_fd < 0)
        return;
    if (what & PurgeInput)
        ::tcflush(m_fd, TCIFLUSH);
    // On a pseudo-terminal, the bytes of a finished write are the far side's already (they
    // were reported sent): only a write still going on loses its output.
    if ((what & PurgeOutput) && (m_hasWire || m_writing.load()))
        DiscardOutput();
}

void SerialDevice::Wake()
{
    // The flag first: a Write or Read that starts after this returns at once without a system
    // call; one already in poll() is woken by the eventfd.
    m_woken.store(true, std::memory_order_release);
    if (m_wakeFd < 0)
        return;
    const std::uint64_t one = 1;
    // Cannot fail short of counter overflow, which leaves it readable anyway.
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

bool SerialDevice::IsWoken() const
{
    return m_woken.load(std::memory_order_acquire);
}

void SerialDevice::ClearWake()
{
    m_woken.store(false, std::memory_order_release);
    if (m_wakeFd < 0)
        return;
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &value, sizeof value);
}

} // namespace tallyhost

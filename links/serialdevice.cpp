#include "links/serialdevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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
    // full queue; every wait is a poll() with a deadline instead.
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

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) // not a terminal: no serial device by that name
        return fail(SerialOpenError::NoSuchDevice, "not a serial device", errno);
    // flock first: TIOCEXCL does not stop root, and the lock is what two programs (or two
    // links in this one) agree on.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(SerialOpenError::InUse, "locked by another user", errno);
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
    m_failure = 0;
    SetModemLines(settings.Dtr, settings.Rts);
    ClearWake();
    Purge(PurgeBoth);
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
    if (m_fd < 0)
        return false;
    int set = 0;
    int clear = 0;
    (dtr ? set : clear) |= TIOCM_DTR;
    (rts ? set : clear) |= TIOCM_RTS;
    bool ok = true;
    if (set && ::ioctl(m_fd, TIOCMBIS, &set) != 0)
        ok = false;
    if (clear && ::ioctl(m_fd, TIOCMBIC, &clear) != 0)
        ok = false;
    return ok;
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

SerialIo SerialDevice::WriteAll(const unsigned char* bytes, std::size_t count,
                                std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    using namespace std::chrono;
    // Asked once per write: a device either has modem lines or not.
    const bool modemLines = LineModemStatus() >= 0;
    const std::size_t chunk =
        modemLines ? std::max<std::size_t>(8, static_cast<std::size_t>(m_baud) / 500) : count;
    const auto chunkTime = WireTime(chunk);
    const auto start = steady_clock::now();
    std::size_t done = 0;
    while (done < count) {
        if (modemLines) {
            // Hold the next chunk while the driver still has one on its way (where it cannot
            // tell, while the wire time of what went before has not passed), so that a DSR
            // drop stops the output within a chunk or two; then wait for DSR itself.
            const int queued = LineQueuedOutput();
            const auto now = steady_clock::now();
            auto until = now;
            if (queued >= static_cast<int>(chunk))
                until = now + WireTime(static_cast<std::size_t>(queued) - chunk / 2);
            else if (queued < 0 && start + WireTime(done) > now + chunkTime)
                until = start + WireTime(done) - chunkTime;
            else if (const int status = LineModemStatus(); status >= 0 && !(status & TIOCM_DSR))
                until = now + ModemPollInterval;
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

SerialIo SerialDevice::WaitSent(std::size_t count, std::chrono::steady_clock::time_point start,
                                std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    using namespace std::chrono;
    const auto wireEnd = start + WireTime(count);
    for (;;) {
        const int queued = LineQueuedOutput();
        const auto now = steady_clock::now();
        if (queued <= 0 && now >= wireEnd)
            return SerialIo::Done;
        if (!unlimited && now >= deadline)
            return SerialIo::TimedOut;
        if (queued <= 0) {
            // Nothing left in the driver, the wire time not yet over: wait for it, or for the
            // printer's first byte, which says it has the whole frame. (On a pseudo-terminal
            // with an instant peer this is where the answer is already waiting.)
            const Ready ready =
                WaitFor(POLLIN, unlimited ? wireEnd : std::min(wireEnd, deadline), false);
            if (ready == Ready::Yes)
                return SerialIo::Done;
            if (ready != Ready::TimedOut)
                return FromReady(ready);
            continue;
        }
        // Sleep about as long as the queue takes to leave, in steps short enough to notice
        // an early end.
        const auto step = std::clamp<microseconds>(WireTime(static_cast<std::size_t>(queued)),
                                                   milliseconds{1}, milliseconds{50});
        const Ready ready =
            WaitFor(0, unlimited ? now + step : std::min(now + step, deadline), false);
        if (ready == Ready::Woken || ready == Ready::Failed)
            return FromReady(ready);
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
    const SerialIo result =
        WriteAll(static_cast<const unsigned char*>(data), count, deadline, unlimited);
    if (result != SerialIo::Done && result != SerialIo::Failed)
        LineDiscardOutput();
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
    SerialIo result = WriteAll(static_cast<const unsigned char*>(data), count, deadline, unlimited);
    if (result == SerialIo::Done)
        result = WaitSent(count, start, deadline, unlimited);
    if (result != SerialIo::Done && result != SerialIo::Failed)
        LineDiscardOutput();
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
    for (;;) {
        const ssize_t n = ::read(m_fd, bytes + received, capacity - received);
        if (n > 0) {
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
    if ((what & PurgeBoth) == PurgeBoth) {
        ::tcflush(m_fd, TCIFLUSH);
        LineDiscardOutput();
    } else if (what & PurgeInput)
        ::tcflush(m_fd, TCIFLUSH);
    else if (what & PurgeOutput)
        LineDiscardOutput();
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

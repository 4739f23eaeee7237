#include "links/serialdevice.h"

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

SerialIo SerialDevice::Write(const void* data, std::size_t count, std::chrono::milliseconds timeout)
{
    if (m_fd < 0)
        return SerialIo::Failed;
    if (IsWoken()) // an aborted exchange writes nothing more
        return SerialIo::Woken;
    const bool unlimited = timeout.count() < 0;
    const auto deadline = std::chrono::steady_clock::now() + (unlimited ? timeout.zero() : timeout);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return SerialIo::Failed;
        switch (WaitFor(POLLOUT, deadline, unlimited)) {
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
    return SerialIo::Done;
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
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return SerialIo::Failed;
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

void SerialDevice::Purge(unsigned what)
{
    if (m_fd < 0)
        return;
    if ((what & PurgeBoth) == PurgeBoth)
        ::tcflush(m_fd, TCIOFLUSH);
    else if (what & PurgeInput)
        ::tcflush(m_fd, TCIFLUSH);
    else if (what & PurgeOutput)
        ::tcflush(m_fd, TCOFLUSH);
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

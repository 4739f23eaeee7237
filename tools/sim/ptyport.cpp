#include "tools/sim/ptyport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tallyhost::sim {

namespace {

void SetFlags(int fd, bool nonBlocking)
{
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    if (nonBlocking)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

speed_t SpeedConstant(int baud)
{
    switch (baud) {
    case 300:
        return B300;
    case 600:
        return B600;
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
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

} // namespace

bool IsDeviceBaud(int baud)
{
    return SpeedConstant(baud) != B0;
}

PtyPort::~PtyPort()
{
    Close();
}

void PtyPort::SetRawMode()
{
    // Raw 8-bit line: a host that does not configure the port itself (cat, a test) must see
    // the bytes unchanged, with no echo and no line editing.
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(m_slave, TCSANOW, &tio);
}

void PtyPort::UseDevice(std::string path, int baud)
{
    m_devicePath = std::move(path);
    m_deviceBaud = baud;
}

bool PtyPort::OpenDevice(std::string& error)
{
    const speed_t speed = SpeedConstant(m_deviceBaud);
    const int fd = open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + m_devicePath + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    // Exclusive, as a printer's port is: a second program on the same device would take
    // half of the host's bytes.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &tio) != 0 || speed == B0) {
        error =
            m_devicePath + ": " +
            (speed == B0 ? std::string("unsupported line speed")
                         : std::string("not a serial device we can have: ") + std::strerror(errno));
        close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = m_devicePath + ": line settings: " + std::strerror(errno);
        close(fd);
        return false;
    }
    // A printer keeps DTR up while it is on (a null-modem cable brings it to the host's DSR,
    // which holds the host's output while low) and RTS too. Pseudo-terminals refuse this.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    tcflush(fd, TCIOFLUSH);
    m_master = fd;
    m_path = m_devicePath;
    m_clients = 0;
    m_out.clear();
    m_stallUntil = {};
    SetBaud(0); // the line keeps its own pace
    return true;
}

bool PtyPort::Open(std::string& error)
{
    Close();
    if (IsDevice())
        return OpenDevice(error);
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        m_master = m_slave = -1;
        return false;
    }
    m_path = name;
    SetFlags(m_master, true);
    SetFlags(m_slave, true);

    SetRawMode();

    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 && inotify_add_watch(m_watch, m_path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(m_watch);
        m_watch = -1;
    }
    m_clients = 0;
    m_out.clear();
    m_stallUntil = {};
    SetBaud(m_baud);
    return true;
}

bool PtyPort::HoldDtrLow(Clock::time_point until)
{
    int lines = TIOCM_DTR;
    if (!IsDevice() || m_master < 0 || ioctl(m_master, TIOCMBIC, &lines) != 0)
        return false;
    m_dtrLowUntil = until;
    return true;
}

void PtyPort::RaiseDtrIfDue(Clock::time_point now)
{
    if (!m_dtrLowUntil || now < *m_dtrLowUntil)
        return;
    m_dtrLowUntil.reset();
    int lines = TIOCM_DTR;
    if (m_master >= 0)
        ioctl(m_master, TIOCMBIS, &lines);
}

void PtyPort::Close()
{
    m_dtrLowUntil.reset();
    for (int* fd : {&m_watch, &m_slave, &m_master}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_out.clear();
    m_clients = 0;
}

void PtyPort::Pace::Start(Clock::time_point now)
{
    if (Idle) {
        Idle = false;
        Free = now;
    }
}

std::size_t PtyPort::Pace::Allowed(Clock::time_point now) const
{
    if (!Paced())
        return SIZE_MAX;
    if (Idle || now < Free)
        return 0;
    return static_cast<std::size_t>((now - Free) / ByteTime);
}

void PtyPort::Pace::Took(std::size_t count, std::size_t allowed)
{
    if (!Paced())
        return;
    Free += ByteTime * static_cast<long>(count);
    if (count < allowed)
        Idle = true;
}

void PtyPort::SetBaud(int baud)
{
    m_baud = baud > 0 ? baud : 0;
    const std::chrono::nanoseconds byteTime{m_baud > 0 ? 10'000'000'000LL / m_baud : 0};
    m_in = Pace{byteTime, {}, true};
    m_outPace = Pace{byteTime, {}, true};
}

bool PtyPort::WantsInput(Clock::time_point now) const
{
    return now >= m_stallUntil && (m_in.Idle || m_in.Allowed(now) > 0);
}

bool PtyPort::WantsOutput(Clock::time_point now) const
{
    return !m_out.empty() && m_outPace.Allowed(now) > 0;
}

std::optional<PtyPort::Clock::time_point> PtyPort::PaceDeadline(Clock::time_point now) const
{
    std::optional<Clock::time_point> next;
    if (m_master < 0)
        return next;
    if (now < m_stallUntil)
        next = m_stallUntil;
    else if (!WantsInput(now))
        next = m_in.Free + m_in.ByteTime;
    if (!m_out.empty() && !WantsOutput(now)) {
        const auto out = m_outPace.Free + m_outPace.ByteTime;
        next = next ? std::min(*next, out) : out;
    }
    return next;
}

std::string PtyPort::ReadAvailable(Clock::time_point now)
{
    std::string bytes;
    if (m_master < 0 || now < m_stallUntil)
        return bytes;
    // Bytes found on a quiet line have only just begun to cross: the clock starts now.
    if (m_in.Paced() && m_in.Idle) {
        m_in.Start(now);
        return bytes;
    }
    const std::size_t allowed = m_in.Allowed(now);
    char buffer[4096];
    while (bytes.size() < allowed) {
        const std::size_t want = std::min(sizeof buffer, allowed - bytes.size());
        const ssize_t n = read(m_master, buffer, want);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO cannot happen while our slave is open
    }
    m_in.Took(bytes.size(), allowed);
    // Nothing more waiting: the line falls quiet after these bytes. (Bytes still waiting were
    // in transit all along, so a late wake-up may take them in one go.)
    int waiting = 0;
    if (m_in.Paced() && !m_in.Idle && ioctl(m_master, FIONREAD, &waiting) == 0 && waiting == 0)
        m_in.Idle = true;
    return bytes;
}

void PtyPort::Queue(std::string_view bytes)
{
    const std::size_t room = MaxQueued > m_out.size() ? MaxQueued - m_out.size() : 0;
    if (m_out.empty())
        m_outPace.Start(Clock::now());
    m_out.append(bytes.substr(0, room));
    Flush();
}

void PtyPort::Flush(Clock::time_point now)
{
    while (!m_out.empty() && m_master >= 0) {
        const std::size_t allowed = std::min(m_out.size(), m_outPace.Allowed(now));
        if (allowed == 0)
            break; // the line is busy; PaceDeadline says when it takes the next byte
        const ssize_t n = write(m_master, m_out.data(), allowed);
        if (n > 0) {
            m_out.erase(0, static_cast<std::size_t>(n));
            m_outPace.Took(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
            if (m_out.empty())
                m_outPace.Idle = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the terminal is full; poll() tells when it takes more
    }
}

bool PtyPort::HandleWatchEvents()
{
    if (m_watch < 0)
        return false;
    bool sawClose = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_watch, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW) {
                // Counts lost: assume the host went away; the worst case is a reset between
                // two commands of a host that is still there.
                m_clients = 0;
                sawClose = true;
            } else if (event->mask & IN_OPEN) {
                ++m_clients;
            } else if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (m_clients > 0)
                    --m_clients;
                sawClose = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    // Judged on the count after the whole batch: a host that closes and at once opens again
    // (a port reset) is still there, and its first command must not be thrown away.
    const bool lastClosed = sawClose && m_clients == 0;
    if (lastClosed && m_slave >= 0) {
        // What we wrote and the old host never read must not reach the next one (bytes from
        // the host side were all consumed before the close was handled). The next host gets
        // a raw line again whatever the last one (a terminal program) left. Clearing the
        // exclusive-use flag comes last: once a new host can open the port, all is clean.
        tcflush(m_slave, TCIFLUSH);
        SetRawMode();
        ioctl(m_slave, TIOCNXCL);
    }
    return lastClosed;
}

void PtyPort::DropPending()
{
    m_out.clear();
}

} // namespace tallyhost::sim

#include "tools/sim/ptyport.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
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

} // namespace

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

bool PtyPort::Open(std::string& error)
{
    Close();
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
    return true;
}

void PtyPort::Close()
{
    for (int* fd : {&m_watch, &m_slave, &m_master}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_out.clear();
    m_clients = 0;
}

std::string PtyPort::ReadAvailable()
{
    std::string bytes;
    if (m_master < 0)
        return bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO cannot happen while our slave is open
    }
    return bytes;
}

void PtyPort::Queue(std::string_view bytes)
{
    const std::size_t room = MaxQueued > m_out.size() ? MaxQueued - m_out.size() : 0;
    m_out.append(bytes.substr(0, room));
    Flush();
}

void PtyPort::Flush()
{
    while (!m_out.empty() && m_master >= 0) {
        const ssize_t n = write(m_master, m_out.data(), m_out.size());
        if (n > 0) {
            m_out.erase(0, static_cast<std::size_t>(n));
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

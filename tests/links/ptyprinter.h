#pragma once

// The far end of a pseudo-terminal pair, played by a test: the link opens the slave's path as
// its serial device, the test reads and writes the master as the printer would.

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tallyhost::testing {

class PtyPrinter
{
public:
    PtyPrinter()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        const char* name = ::ptsname(m_master);
        if (!name)
            return;
        m_path = name;
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // Keep one slave descriptor until the link has the device: reading a master whose
        // slave was never opened reports a hang-up.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (m_slave >= 0 && ::tcgetattr(m_slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slave, TCSANOW, &tio);
        }
    }
    ~PtyPrinter()
    {
        CloseSlave();
        CloseMaster();
    }
    PtyPrinter(const PtyPrinter&) = delete;
    PtyPrinter& operator=(const PtyPrinter&) = delete;

    bool Ok() const { return m_master >= 0 && !m_path.empty(); }
    const std::string& DevicePath() const { return m_path; }
    int Master() const { return m_master; }

    void CloseSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }
    // The printer goes away: the link's side hangs up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool Write(std::string_view bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd fd{m_master, POLLOUT, 0};
            if (::poll(&fd, 1, 2000) <= 0)
                return false;
        }
        return true;
    }

    // Reads until `count` bytes came or `timeout` passed; returns what came.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout)
    {
        using clock = std::chrono::steady_clock;
        const auto deadline = clock::now() + timeout;
        std::string got;
        while (got.size() < count) {
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{m_master, POLLIN, 0};
            const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
            if (ready <= 0)
                break;
            if (!(fd.revents & POLLIN)) // slave not open (yet or any more)
                break;
        }
        return got;
    }

    // Waits up to `timeout` for bytes and returns what has arrived by then (maybe nothing).
    std::string ReadSome(std::chrono::milliseconds timeout)
    {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0 || !(fd.revents & POLLIN))
            return {};
        std::string got;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            got.append(buffer, static_cast<std::size_t>(n));
        return got;
    }

    // Everything that arrives until nothing has come for `quiet`.
    std::string Drain(std::chrono::milliseconds quiet)
    {
        std::string all;
        for (;;) {
            std::string more = ReadSome(quiet);
            if (more.empty())
                return all;
            all += more;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

} // namespace tallyhost::testing

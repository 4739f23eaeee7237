// The bare limit of a host exchange on a pseudo-terminal, for the speed guard: a "host" thread
// writes a command frame to the slave side, waits for the whole answer and acknowledges it; a
// "printer" thread on the master side waits for the whole frame and writes its answer (ACK
// and a final frame) in one write. The same bytes cross as in an exchange of the host link,
// both sides wait in poll() and read what is there as the link does, and nothing else
// happens: no parsing, no events, no logging. The host link's exchange rate is judged
// against this rate measured in the same run, so a loaded machine moves both.
//
// The host side runs its exchanges two ways, taking turns: through an I/O thread that the
// calling thread hands each exchange to and waits for, the hand-over every link makes (its
// worker keeps the window responsive), and directly on the calling thread. The first is the
// reference the host link is judged against; the second is printed for comparison.
//
// Prints one line: "pingpong exchanges_per_s=N per_s_at_median=R direct_per_s=D exchanges=M":
// N the rate through the I/O thread, R the rate its median exchange time stands for (on a
// shared machine the mean carries the scheduler's long tail), D the direct rate.
// Usage: bench_pty_pingpong [SECONDS]   (default 3)

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The sizes of the host link benchmark's frames: a short command, ACK plus a final frame.
const std::string Command = "\x02\x20"
                            "ping\x1C"
                            "1\x03"
                            "0123";
const std::string Answer = "\x06\x02\x20"
                           "echo\x1C"
                           "0080\x1C"
                           "0600\x1C"
                           "extra\x03"
                           "4567";

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
    }
    return true;
}

// Reads until `count` bytes have come (more may come with them: they are dropped); false on a
// failure or after a second of silence.
bool ReadCount(int fd, std::size_t count)
{
    char buffer[256];
    std::size_t got = 0;
    while (got < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return false;
    }
    return true;
}

// The printer: waits for a whole command frame (the host's ACK of the last answer comes
// before it, and is taken with it), then answers.
void Printer(int fd, const std::atomic<bool>& stop)
{
    std::string pending;
    char buffer[256];
    while (!stop.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        pending.append(buffer, static_cast<std::size_t>(n));
        while (!pending.empty() && pending.front() == '\x06')
            pending.erase(0, 1);
        if (pending.size() < Command.size())
            continue;
        pending.erase(0, Command.size());
        if (!WriteAll(fd, Answer))
            return;
    }
}

void Raw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// One exchange as on the wire: command, ACK and final frame, the host's ACK.
bool Exchange(int fd)
{
    return WriteAll(fd, Command) && ReadCount(fd, Answer.size()) && WriteAll(fd, "\x06");
}

// Runs exchanges on an I/O thread of its own, each asked for and waited for by the calling
// thread: the hand-over there and back that a link's worker and the window make.
class IoThread
{
public:
    explicit IoThread(int fd) : m_fd(fd)
    {
        m_thread = std::thread([this] { Loop(); });
    }
    ~IoThread()
    {
        {
            std::lock_guard lock(m_lock);
            m_quit = true;
        }
        m_asked.notify_one();
        m_thread.join();
    }
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    bool Run()
    {
        std::unique_lock lock(m_lock);
        m_pending = true;
        m_asked.notify_one();
        m_answered.wait(lock, [this] { return !m_pending; });
        return m_ok;
    }

private:
    void Loop()
    {
        std::unique_lock lock(m_lock);
        for (;;) {
            m_asked.wait(lock, [this] { return m_pending || m_quit; });
            if (m_quit)
                return;
            lock.unlock();
            const bool ok = Exchange(m_fd);
            lock.lock();
            m_ok = ok;
            m_pending = false;
            m_answered.notify_one();
        }
    }

    const int m_fd;
    std::mutex m_lock;
    std::condition_variable m_asked;
    std::condition_variable m_answered;
    bool m_pending = false;
    bool m_quit = false;
    bool m_ok = true;
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("pseudo-terminal slave");
        return 1;
    }
    Raw(master);
    Raw(slave);

    std::atomic<bool> stop{false};
    std::thread printer([&] { Printer(master, stop); });
    int result = 0;
    {
        IoThread io(slave);
        // The two ways take turns in blocks of a hundred exchanges, so that a burst of load
        // on a shared machine falls on both alike.
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const auto end = start + std::chrono::duration<double>(seconds);
        long count[2] = {0, 0};
        Clock::duration spent[2] = {};
        std::vector<Clock::duration> times;
        times.reserve(200000);
        for (int block = 0; Clock::now() < end && result == 0; ++block) {
            const int way = block % 2; // 0: through the I/O thread, 1: directly
            for (int i = 0; i < 100; ++i) {
                const auto before = Clock::now();
                if (!(way == 0 ? io.Run() : Exchange(slave))) {
                    std::fprintf(stderr, "the exchange failed\n");
                    result = 1;
                    break;
                }
                const auto took = Clock::now() - before;
                spent[way] += took;
                ++count[way];
                if (way == 0)
                    times.push_back(took);
            }
        }
        if (result == 0 && !times.empty()) {
            auto rate = [&](int way) {
                const double s = std::chrono::duration<double>(spent[way]).count();
                return s > 0 ? static_cast<double>(count[way]) / s : 0.0;
            };
            const auto middle = times.begin() + static_cast<long>(times.size() / 2);
            std::nth_element(times.begin(), middle, times.end());
            const double median = std::chrono::duration<double>(*middle).count();
            std::printf("pingpong exchanges_per_s=%.0f per_s_at_median=%.0f direct_per_s=%.0f "
                        "exchanges=%ld\n",
                        rate(0), median > 0 ? 1 / median : 0.0, rate(1), count[0] + count[1]);
        }
    }
    stop = true;
    printer.join();
    ::close(slave);
    ::close(master);
    return result;
}

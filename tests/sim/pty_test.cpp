#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tools/sim/simulator.h"

namespace tallyhost::sim {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;

// The host's side of a port, as a plain program would use it.
class Client
{
public:
    explicit Client(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Client() { Close(); }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void Write(const std::string& bytes) const
    {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `count` bytes came or `timeout` passed.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = 2000ms) const
    {
        std::string bytes;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

private:
    int m_fd = -1;
};

// A simulator serving on its own thread for the length of a test.
class RunningSimulator
{
public:
    explicit RunningSimulator(Scenario scenario) : m_sim(std::move(scenario))
    {
        std::string error;
        m_open = m_sim.Open(error);
        EXPECT_TRUE(m_open) << error;
        if (m_open)
            m_thread = std::thread([this] { m_sim.Run(); });
    }
    ~RunningSimulator()
    {
        m_sim.RequestStop();
        if (m_thread.joinable())
            m_thread.join();
    }
    Simulator& operator*() { return m_sim; }
    Simulator* operator->() { return &m_sim; }

private:
    Simulator m_sim;
    bool m_open = false;
    std::thread m_thread;
};

// Compatible answer of the built-in scenario to command "*" with sequence 0x21.
const std::string CompatibleAnswer = "\x06\x02\x21*\x1C"
                                     "0000\x1C"
                                     "0000\x03"
                                     "0208"s;

TEST(SimulatorPty, CompatibleAndExtendedExchanges)
{
    RunningSimulator sim(BuiltInScenario());
    Client host(sim->HostPath());
    ASSERT_TRUE(host.IsOpen());
    host.Write("\x02\x21\x2A\x03\x30\x30\x35\x30"s); // "*" alone, sum 0x0050
    EXPECT_EQ(host.Read(CompatibleAnswer.size()), CompatibleAnswer);
    host.Write("\x06"s);

    host.Write("\x02\x90\x2A\x1C\x78\x1B\x1C\x79\x0A\x03\x30\x32\x30\x44"s);
    const std::string extended = "\x06\x02\x90\x00\x00\x1C\x00\x00\x1C\x1C\x00\x00\x1C\x03"s;
    const std::string expected = extended + HexWord(HostChecksum(extended.substr(1)));
    EXPECT_EQ(host.Read(expected.size()), expected);
    host.Write("\x15"s); // NAK: the frame comes once more
    EXPECT_EQ(host.Read(expected.size() - 1), expected.substr(1));
    host.Write("\x06"s);

    host.Write("\x02\x22*\x03"
               "FFFF"s);
    EXPECT_EQ(host.Read(1), "\x15");
    EXPECT_EQ(host.Read(1, 300ms), "") << "nothing after the NAK";
}

TEST(SimulatorPty, FiscalEnqAndMultiFrameAnswer)
{
    Scenario scenario = BuiltInScenario();
    FiscalRule rule;
    rule.Match = "T";
    rule.Frames = {"0005 one", "0000 two"};
    scenario.FiscalRules.push_back(rule);
    scenario.AckTimeout = 5000ms; // a slow test machine must not look like a missing ACK
    RunningSimulator sim(scenario);
    Client fiscal(sim->FiscalPath());
    ASSERT_TRUE(fiscal.IsOpen());
    fiscal.Write("\x05"s);
    EXPECT_EQ(fiscal.Read(1), "\x06");
    fiscal.Write(BuildFiscalFrame("T"));
    const std::string first = BuildFiscalFrame("0005 one");
    EXPECT_EQ(fiscal.Read(first.size()), first);
    EXPECT_EQ(fiscal.Read(1, 150ms), "") << "the next frame waits for the ACK";
    fiscal.Write("\x06"s);
    const std::string second = BuildFiscalFrame("0000 two");
    EXPECT_EQ(fiscal.Read(second.size()), second);
}

TEST(SimulatorPty, LineNoiseAndCutFramesThenAGoodCommand)
{
    RunningSimulator sim(BuiltInScenario());
    Client host(sim->HostPath());
    ASSERT_TRUE(host.IsOpen());
    std::string noise;
    for (int i = 0; i < 5000; ++i)
        noise += static_cast<char>((i * 37 + 11) & 0xFF);
    host.Write(noise);
    host.Write("\x02\x21\x2A\x1C"
               "cut"s);
    host.Read(100000, 200ms); // whatever the noise earned (NAKs, answers)
    host.Write("\x02\x21\x2A\x03\x30\x30\x35\x30"s);
    EXPECT_EQ(host.Read(CompatibleAnswer.size()), CompatibleAnswer);
}

TEST(SimulatorPty, HostsMayComeAndGoRepeatedly)
{
    RunningSimulator sim(BuiltInScenario());
    // The exclusive-use flag a host leaves behind is cleared once it has gone, as the last
    // step of the clean-up. Root opens in spite of the flag, so the flag itself is watched.
    const auto waitUntilReleased = [&] {
        int exclusive = 1;
        for (int i = 0; i < 100 && exclusive; ++i) {
            std::this_thread::sleep_for(20ms);
            Client probe(sim->HostPath());
            if (::ioctl(probe.Fd(), TIOCGEXCL, &exclusive) != 0)
                return false;
        }
        return exclusive == 0;
    };
    for (int round = 0; round < 6; ++round) {
        Client host(sim->HostPath());
        ASSERT_TRUE(host.IsOpen()) << "round " << round << ": " << std::strerror(errno);
        ASSERT_EQ(::ioctl(host.Fd(), TIOCEXCL), 0); // as a serial library does
        host.Write("\x02\x21\x2A\x03\x30\x30\x35\x30"s);
        if (round % 2 == 1) {
            // Gone before reading the answer: it must not reach the next host.
            EXPECT_EQ(host.Read(1), "\x06");
            std::this_thread::sleep_for(100ms);
        } else {
            EXPECT_EQ(host.Read(CompatibleAnswer.size()), CompatibleAnswer) << "round " << round;
            host.Write("\x06"s);
            // Leaves the line cooked and echoing, as a terminal program might.
            termios cooked{};
            ASSERT_EQ(::tcgetattr(host.Fd(), &cooked), 0);
            cooked.c_lflag |= ECHO | ICANON;
            ASSERT_EQ(::tcsetattr(host.Fd(), TCSANOW, &cooked), 0);
        }
        host.Close();
        ASSERT_TRUE(waitUntilReleased()) << "round " << round;
        Client next(sim->HostPath());
        termios line{};
        ASSERT_EQ(::tcgetattr(next.Fd(), &line), 0);
        EXPECT_EQ(line.c_lflag & (ECHO | ICANON), 0u) << "the next host gets a raw line";
        EXPECT_EQ(next.Read(1, 100ms), "") << "nothing left over from earlier hosts";
    }
}

// A paced line: the printer takes the command and gives its answer no faster than 1200 baud
// carries them (ten bits a byte, 8.3 ms each), and a stalled printer stops reading mid-frame.
TEST(SimulatorPty, PacedLineAndStall)
{
    Scenario scenario = BuiltInScenario();
    scenario.Baud = 1200;
    scenario.HostDefault.Delay = Millis{0};
    HostRule slow = scenario.HostDefault;
    slow.Name = "Slow";
    slow.Match = "S";
    slow.Faults = FaultStall;
    slow.Delay = Millis{300};
    scenario.HostRules.push_back(slow);
    RunningSimulator sim(scenario);
    Client host(sim->HostPath());
    ASSERT_TRUE(host.IsOpen());

    using Clock = std::chrono::steady_clock;
    const std::string command = "\x02\x21\x2A\x03\x30\x30\x35\x30"s;
    auto start = Clock::now();
    host.Write(command);
    EXPECT_EQ(host.Read(CompatibleAnswer.size(), 3000ms), CompatibleAnswer);
    const auto both = (command.size() + CompatibleAnswer.size()) * 25ms / 3; // 8.33 ms a byte
    EXPECT_GE(Clock::now() - start, both);
    host.Write("\x06"s);

    // "S" stalls once its first field is in: 300 ms more than the line alone needs.
    const std::string stalled = "\x02\x22S\x1C" + std::string(20, 'x') + "\x03"s;
    const std::string frame = stalled + HexWord(HostChecksum(stalled));
    start = Clock::now();
    host.Write(frame);
    EXPECT_EQ(host.Read(1, 3000ms), "\x06");
    EXPECT_GE(Clock::now() - start, frame.size() * 25ms / 3 + 300ms);
}

// The port vanishes like a pulled USB adapter and comes back under its link name.
TEST(SimulatorPty, UnplugClosesThePortAndANewOneAppearsUnderTheSameName)
{
    Scenario scenario = BuiltInScenario();
    HostRule pull = scenario.HostDefault;
    pull.Name = "Pull";
    pull.Match = "U";
    pull.Faults = FaultUnplug;
    pull.Delay = Millis{400};
    scenario.HostRules.push_back(pull);
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tallyhost-sim-unplug-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    Simulator simulator(scenario);
    std::string error;
    ASSERT_TRUE(simulator.Open(error)) << error;
    ASSERT_TRUE(simulator.CreateLinks(dir.string(), error)) << error;
    std::atomic<int> replugs{0};
    simulator.OnReplug([&](const std::string& name, const std::string&) {
        if (name == "host")
            ++replugs;
    });
    std::thread runner([&] { simulator.Run(); });

    {
        Client host((dir / "host").string());
        ASSERT_TRUE(host.IsOpen());
        host.Write("\x02\x21U\x03"s + HexWord(HostChecksum("\x02\x21U\x03"s)));
        pollfd p{host.Fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        EXPECT_TRUE(p.revents & POLLHUP) << "the host's device hangs up";
        char byte;
        EXPECT_LE(::read(host.Fd(), &byte, 1), 0);
        EXPECT_FALSE(std::filesystem::exists(dir / "host")) << "the name leads nowhere";
    }
    for (int i = 0; i < 100 && replugs == 0; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(replugs, 1);
    EXPECT_EQ(std::filesystem::read_symlink(dir / "host"), simulator.HostPath());
    {
        Client host((dir / "host").string());
        ASSERT_TRUE(host.IsOpen());
        host.Write("\x02\x21\x2A\x03\x30\x30\x35\x30"s);
        EXPECT_EQ(host.Read(CompatibleAnswer.size()), CompatibleAnswer);
    }
    simulator.RequestStop();
    runner.join();
    simulator.RemoveLinks();
    std::filesystem::remove_all(dir);
}

// The program as scripts start it: paths on stdout, links, clean exit on SIGTERM.
TEST(SimulatorProgram, PrintsPathsKeepsLinksAndCleansUp)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tallyhost-sim-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        const std::string scenario = std::string(TALLYHOST_SOURCE_DIR) + "/examples/demo-sim.ini";
        ::execl(TALLYHOST_SIM_EXE, "tallyhost-sim", "--link", dir.c_str(), "--scenario",
                scenario.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char c = 0;
    int lines = 0;
    while (lines < 2 && ::read(out[0], &c, 1) == 1) {
        text += c;
        lines += c == '\n';
    }
    ::close(out[0]);
    std::string host, fiscal;
    char hostBuf[128] = {}, fiscalBuf[128] = {};
    ASSERT_EQ(std::sscanf(text.c_str(), "host %127s\nfiscal %127s\n", hostBuf, fiscalBuf), 2)
        << text;
    host = hostBuf;
    fiscal = fiscalBuf;
    EXPECT_EQ(std::filesystem::read_symlink(dir / "host"), host);
    EXPECT_EQ(std::filesystem::read_symlink(dir / "fiscal"), fiscal);

    { // Through the link, with the demo scenario: "*" has the cash drawer open (0040).
        Client client((dir / "host").string());
        ASSERT_TRUE(client.IsOpen());
        client.Write("\x02\x21\x2A\x03\x30\x30\x35\x30"s);
        const std::string answer = "\x02\x21*\x1C"
                                   "0040\x1C"
                                   "0600\x03"s;
        const std::string expected = "\x06"s + answer + HexWord(HostChecksum(answer));
        EXPECT_EQ(client.Read(expected.size()), expected);
    }

    ASSERT_EQ(::kill(child, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "host")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "fiscal")));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tallyhost::sim

#include "links/linkworker.h"
#include "tests/links/ptyprinter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;
using tallyhost::testing::PtyPrinter;

namespace tallyhost {
namespace {

// The smallest link: write the frame, wait for one chunk, report which way it went.
class EchoWorker : public LinkWorker
{
public:
    using LinkWorker::LinkWorker;
    ~EchoWorker() override { Stop(); }
    std::atomic<int> Resets{0};

protected:
    void RunCommand(const std::string& frame) override
    {
        if (!WriteComm(frame.data(), frame.size(), 1000ms)) {
            NotifyStatus(1);
            return;
        }
        char buffer[64];
        std::size_t n = 0;
        const SerialIo io = Device().Read(buffer, sizeof buffer, n, 2500ms);
        if (io == SerialIo::Done)
            SetReadFrame(std::string_view(buffer, n));
        NotifyStatus(io == SerialIo::Done ? 2 : 3, static_cast<int>(io));
    }
    void ResetInternalState() override { ++Resets; }
};

struct Fixture
{
    PtyPrinter printer;
    SerialDevice device;
    PostBridge bridge;
    std::vector<LinkNotification> seen;

    Fixture()
    {
        bridge.SetHandler([this](const LinkNotification& n) { seen.push_back(n); });
    }
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 3000ms)
    {
        QDeadlineTimer deadline(timeout);
        while (seen.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return seen.size() >= count;
    }
};

TEST(LinkWorker, RunsEachCommandOnceAndAbortEndsABlockedWaitAtOnce)
{
    Fixture f;
    ASSERT_TRUE(f.printer.Ok());
    ASSERT_EQ(f.device.Open(f.printer.DevicePath(), {}), SerialOpenError::None);
    EchoWorker worker(f.device, f.bridge);
    ASSERT_TRUE(worker.Start());

    const auto first = worker.StartCommand("ping");
    worker.SignalStartCommand();
    EXPECT_EQ(f.printer.Read(4, 2000ms), "ping");
    f.printer.Write("pong");
    ASSERT_TRUE(f.WaitFor(1));
    EXPECT_EQ(f.seen[0].Code, 2);
    EXPECT_EQ(f.seen[0].Command, first);
    EXPECT_EQ(worker.GetReadFrame(), "pong");
    worker.SignalEndCommand();
    EXPECT_EQ(f.printer.Read(1, 100ms), "") << "the command is not sent twice";

    // Abort while the worker waits for the answer: it gives up long before its 2500 ms.
    const auto second = worker.StartCommand("slow");
    worker.SignalStartCommand();
    EXPECT_EQ(f.printer.Read(4, 2000ms), "slow");
    const auto start = std::chrono::steady_clock::now();
    worker.AbortSignaledEvents();
    ASSERT_TRUE(f.WaitFor(2));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(f.seen[1].Code, 3);
    EXPECT_EQ(f.seen[1].Param, static_cast<int>(SerialIo::Woken));
    EXPECT_EQ(f.seen[1].Command, second);

    // The wake-up does not leak into the next command.
    worker.StartCommand("next");
    worker.SignalStartCommand();
    EXPECT_EQ(f.printer.Read(4, 2000ms), "next");
    f.printer.Write("ok");
    ASSERT_TRUE(f.WaitFor(3));
    EXPECT_EQ(f.seen[2].Code, 2);

    // An abort with nothing pending costs one idle cycle and sends nothing.
    const int resets = worker.Resets;
    worker.AbortSignaledEvents();
    QDeadlineTimer deadline(2000ms);
    while (worker.Resets == resets && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(worker.Resets, resets + 1);
    EXPECT_EQ(f.printer.Read(1, 100ms), "");
    EXPECT_EQ(f.seen.size(), 3u);
}

TEST(LinkWorker, StopDuringAWaitReturnsPromptly)
{
    Fixture f;
    ASSERT_TRUE(f.printer.Ok());
    ASSERT_EQ(f.device.Open(f.printer.DevicePath(), {}), SerialOpenError::None);
    auto worker = std::make_unique<EchoWorker>(f.device, f.bridge);
    ASSERT_TRUE(worker->Start());
    worker->StartCommand("x");
    worker->SignalStartCommand();
    EXPECT_EQ(f.printer.Read(1, 2000ms), "x");
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

} // namespace
} // namespace tallyhost

// The writer's line discipline on a device with modem lines: a UART played by a fake over a
// pseudo-terminal (pseudo-terminals have no modem lines and report an empty queue at once, so
// only a stand-in shows DSR, a line that stops taking bytes, and a USB adapter whose own
// buffer the driver's queue figure does not count).

#include "links/commthread.h"
#include "links/fcommthread.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "links/hostframe.h"
#include "tests/links/ptyprinter.h"
#include "tests/links/simprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/ioctl.h>

using namespace std::chrono_literals;
using tallyhost::testing::PtyPrinter;
using tallyhost::testing::SimProcess;

namespace tallyhost {
namespace {

using Clock = std::chrono::steady_clock;

// The driver's output queue and the modem lines of a UART. Bytes the link writes wait in the
// queue and reach the pseudo-terminal (the printer) at the line speed, unless the printer has
// stopped taking them (Stalled). DSR is what the test sets. A USB adapter's own buffer
// (HiddenBuffer bytes) holds output that the driver's queue figure leaves out. A Plain one is
// the pseudo-terminal itself, as any link opens it.
class FakeUart final : public SerialDevice
{
public:
    explicit FakeUart(bool plain = false) : m_plain(plain) {}
    std::atomic<bool> Dsr{true};
    std::atomic<bool> Stalled{false};
    // Stall by itself once this many bytes have reached the printer (0: never).
    std::atomic<std::size_t> StallAfter{0};
    std::atomic<std::size_t> Delivered{0};
    std::atomic<std::size_t> HiddenBuffer{0};
    // The printer drops DSR once this many bytes have reached it (0: never).
    std::atomic<std::size_t> DropDsrAt{0};

    ~FakeUart() override
    {
        {
            std::lock_guard guard(m_lock);
            m_stop = true;
        }
        m_tick.notify_one();
        if (m_clock.joinable())
            m_clock.join();
        Close();
    }

    // The line moves bytes by itself from now on, whether or not the link looks at it (a
    // writer that waits on its own schedule asks the driver nothing). Once the device is open.
    void StartLine()
    {
        m_clock = std::thread([this] {
            std::unique_lock lock(m_lock);
            while (!m_stop) {
                Pump();
                m_tick.wait_for(lock, 1ms);
            }
        });
    }

protected:
    long LineWrite(const void* data, std::size_t count) override
    {
        if (m_plain)
            return SerialDevice::LineWrite(data, count);
        std::lock_guard guard(m_lock);
        Pump();
        m_queue.append(static_cast<const char*>(data), count);
        return static_cast<long>(count);
    }
    int LineQueuedOutput() override
    {
        if (m_plain)
            return SerialDevice::LineQueuedOutput();
        std::lock_guard guard(m_lock);
        Pump();
        const std::size_t hidden = HiddenBuffer;
        return m_queue.size() > hidden ? static_cast<int>(m_queue.size() - hidden) : 0;
    }
    int LineModemStatus() override
    {
        return m_plain ? SerialDevice::LineModemStatus() : TIOCM_DTR | (Dsr ? TIOCM_DSR : 0);
    }
    bool LineHasWire() override { return m_plain ? SerialDevice::LineHasWire() : true; }
    void LineDiscardOutput() override
    {
        std::lock_guard guard(m_lock);
        m_queue.clear();
    }

private:
    void Pump()
    {
        const auto now = Clock::now();
        if (m_queue.empty() || Stalled) {
            m_last = now;
            return;
        }
        const auto byteTime = WireTime(1);
        auto n = std::min(static_cast<std::size_t>((now - m_last) / byteTime), m_queue.size());
        if (const std::size_t limit = StallAfter; limit > 0 && Delivered + n >= limit) {
            n = limit - Delivered;
            Stalled = true;
        }
        if (const std::size_t at = DropDsrAt; at > 0 && Delivered + n >= at) {
            n = at - Delivered;
            Dsr = false;
            DropDsrAt = 0;
        }
        if (n == 0)
            return;
        SerialDevice::LineWrite(m_queue.data(), n);
        m_queue.erase(0, n);
        Delivered += n;
        // An emptied line starts its clock again with the next byte: no credit for idle time.
        m_last = m_queue.empty() ? now : m_last + byteTime * static_cast<long>(n);
    }

    const bool m_plain;
    std::mutex m_lock;
    std::condition_variable m_tick;
    bool m_stop = false;
    std::thread m_clock;
    std::string m_queue;
    Clock::time_point m_last = Clock::now();
};

struct Seen
{
    int Code;
    Clock::duration At; // since the command was handed over
    int Param;
    std::string Frame;
    std::int32_t ResponseMs;
};

struct Bench
{
    PtyPrinter printer;
    FakeUart uart;
    PostBridge bridge;
    std::vector<Seen> seen;
    Clock::time_point started;

    // A host port's line by default: DSR holds the output.
    explicit Bench(int baud, std::size_t hiddenBuffer = 0)
        : Bench(TFPHostControl::LineSettings(br9600), baud, hiddenBuffer)
    {
    }
    // `device`: the printer's end of the line, when it is not this bench's own pseudo-terminal
    // (a simulator's port).
    Bench(SerialLineSettings line, int baud, std::size_t hiddenBuffer, bool plain = false,
          const std::string& device = {})
        : uart(plain)
    {
        bridge.SetHandler([this](const LinkNotification& n) {
            seen.push_back({n.Code, Clock::now() - started, n.Param, n.Frame, n.ResponseMs});
        });
        EXPECT_TRUE(printer.Ok());
        line.Baud = baud;
        uart.HiddenBuffer = hiddenBuffer;
        EXPECT_EQ(uart.Open(device.empty() ? printer.DevicePath() : device, line),
                  SerialOpenError::None);
        uart.StartLine();
    }
    void Send(LinkWorker& worker, const std::string& frame)
    {
        started = Clock::now();
        worker.StartCommand(frame);
        worker.SignalStartCommand();
    }
    bool WaitCode(int code, std::chrono::milliseconds timeout)
    {
        QDeadlineTimer deadline(timeout);
        for (;;) {
            for (const Seen& s : seen)
                if (s.Code == code)
                    return true;
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
    // Reads what the printer gets while the notifications are handled as they come, so that
    // their times are the times they were posted (within a few milliseconds).
    std::string Read(std::size_t count, std::chrono::milliseconds timeout)
    {
        QDeadlineTimer deadline(timeout);
        std::string got;
        while (got.size() < count && !deadline.hasExpired()) {
            got += printer.ReadSome(2ms);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        return got;
    }
    const Seen* Find(int code) const
    {
        for (const Seen& s : seen)
            if (s.Code == code)
                return &s;
        return nullptr;
    }
};

std::string HostFrame(std::size_t fieldSize)
{
    return hostframe::BuildFrame(std::string(fieldSize, 'A') + '\x1C', 0x20);
}

TEST(UartLine, FrameWrittenOnlyOnceTheQueueHasLeftTheLine)
{
    Bench b(9600);
    TCommThread worker(b.uart, br9600, b.bridge);
    ASSERT_TRUE(worker.Start());
    const std::string frame = HostFrame(300); // about 320 ms on the wire
    b.Send(worker, frame);
    ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FrameWritten, 3000ms));
    EXPECT_GE(b.Find(TCommThread::FPN_FrameWritten)->At, b.uart.WireTime(frame.size()));
    EXPECT_EQ(b.printer.Read(frame.size(), 1000ms), frame);
    // No answer follows: the silence is counted from the end of the frame, so the failure
    // comes no sooner than the frame's time on the line and the silence after it. (Times are
    // taken when this thread handles a notification, which a loaded machine can delay: only
    // the handling of the last one is a bound on when the worker gave up.)
    ASSERT_TRUE(b.WaitCode(TCommThread::FPN_NoAnswer, 4000ms));
    EXPECT_GE(b.Find(TCommThread::FPN_NoAnswer)->At,
              b.uart.WireTime(frame.size()) + TCommThread::AnswerSilenceTimeOut - 20ms);
}

TEST(UartLine, PrinterThatStopsTakingBytesGetsNoMoreOfTheFrame)
{
    Bench b(9600);
    b.uart.StallAfter = 40;
    TCommThread worker(b.uart, br9600, b.bridge);
    ASSERT_TRUE(worker.Start());
    const std::string frame = HostFrame(100); // deadline 1500 ms + 107 x 10 ms
    b.Send(worker, frame);
    ASSERT_TRUE(b.WaitCode(TCommThread::FPN_WriteError, 4000ms));
    EXPECT_EQ(b.Find(TCommThread::FPN_FrameWritten), nullptr);
    EXPECT_GE(b.Find(TCommThread::FPN_WriteError)->At,
              TCommThread::WriteTimeOut(br9600, frame.size()) - 20ms);
    // The line comes back: what was held for the failed command is gone.
    b.uart.Stalled = false;
    b.uart.StallAfter = 0;
    EXPECT_EQ(b.printer.Drain(200ms), frame.substr(0, 40));
}

// Adapters whose driver counts every byte still to go, and USB adapters with a buffer of their
// own that the driver's figure leaves out.
constexpr std::size_t AdapterBuffers[] = {0, 640};

TEST(UartLine, DsrHoldsTheOutputWithinTheWriteDeadline)
{
    for (const std::size_t hidden : AdapterBuffers) {
        SCOPED_TRACE(hidden);
        Bench b(9600, hidden);
        TCommThread worker(b.uart, br9600, b.bridge);
        ASSERT_TRUE(worker.Start());
        const std::string frame = HostFrame(60);

        // Held while DSR is low, sent whole once it rises.
        b.uart.Dsr = false;
        b.Send(worker, frame);
        EXPECT_EQ(b.printer.ReadSome(300ms), "");
        b.uart.Dsr = true;
        EXPECT_EQ(b.printer.Read(frame.size(), 1000ms), frame);
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FrameWritten, 1000ms));
        EXPECT_GE(b.Find(TCommThread::FPN_FrameWritten)->At, 300ms);
        b.printer.Write("\x06" + hostframe::BuildFrame("0000\x1C"
                                                       "0000\x1C",
                                                       0x20));
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FinalAnswer, 2000ms));
        worker.SignalEndCommand();

        // DSR dropped in the middle of the frame and kept low past the deadline: the write
        // fails and the printer never gets the rest, not even when DSR comes back.
        b.seen.clear();
        b.printer.Drain(100ms); // the host's ACK
        const std::size_t atDrop = b.uart.Delivered + 20;
        b.uart.DropDsrAt = atDrop;
        b.Send(worker, HostFrame(150));
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_WriteError, 5000ms));
        const std::size_t before = b.uart.Delivered;
        // What was already on its way when DSR dropped, a chunk or two (19 bytes each).
        EXPECT_LT(before - atDrop, 60u);
        b.uart.Dsr = true;
        b.printer.Drain(200ms);
        EXPECT_EQ(b.uart.Delivered, before);
    }
}

TEST(UartLine, DsrCountsOnlyOnALineWithFlowControl)
{
    // The printer leaves DSR low (a 3-wire cable, a port that does not drive it). The host
    // port waits for it; the fiscal port has no flow control and sends at once.
    const struct
    {
        const char* Port;
        SerialLineSettings Line;
        bool Held;
    } cases[] = {
        {"host", TFPHostControl::LineSettings(br9600), true},
        {"fiscal", TFPAuxControl::LineSettings(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Port);
        Bench b(c.Line, 9600, 0);
        b.uart.Dsr = false;
        const std::atomic<std::int32_t> timeOut{0};
        TFCommThread worker(b.uart, b.bridge, timeOut);
        ASSERT_TRUE(worker.Start());
        std::string frame;
        ASSERT_TRUE(auxframe::BuildFrame("0123456789", frame));
        b.Send(worker, frame);
        if (c.Held) {
            EXPECT_EQ(b.printer.ReadSome(300ms), "");
            EXPECT_EQ(b.Find(FPN_FrameWritten), nullptr);
            continue;
        }
        EXPECT_EQ(b.printer.Read(frame.size(), 1000ms), frame);
        ASSERT_TRUE(b.WaitCode(FPN_FrameWritten, 1000ms));
        EXPECT_EQ(b.Find(FPN_WriteError), nullptr);
        b.printer.Write("\x06");
        EXPECT_TRUE(b.WaitCode(FPN_AckReceived, 1000ms));
    }
}

TEST(UartLine, FrameWrittenWhenTheHeldFrameHasLeftTheLine)
{
    // DSR holds a frame for a while; what counts is when its bytes left, not when the first
    // write was tried, and an adapter's own buffer must not make the frame look gone early.
    for (const std::size_t hidden : AdapterBuffers) {
        SCOPED_TRACE(hidden);
        Bench b(1200, hidden);
        TCommThread worker(b.uart, br1200, b.bridge);
        ASSERT_TRUE(worker.Start());
        const std::string frame = HostFrame(93); // 100 bytes, 833 ms at 1200 baud
        ASSERT_EQ(frame.size(), 100u);
        b.uart.Dsr = false;
        b.Send(worker, frame);
        EXPECT_EQ(b.printer.ReadSome(500ms), "");
        const auto released = Clock::now() - b.started;
        b.uart.Dsr = true;
        EXPECT_EQ(b.Read(frame.size(), 3000ms), frame);
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FrameWritten, 3000ms));
        EXPECT_GE(b.Find(TCommThread::FPN_FrameWritten)->At - released,
                  b.uart.WireTime(frame.size()) - 10ms);
    }
}

TEST(UartLine, NoiseFromThePrinterMidFrameDoesNotStartTheAnswerWait)
{
    // A 400-byte frame takes 3.3 s at 1200 baud. A noise byte 0.2 s into it says nothing about
    // the printer having the frame: the answer wait starts at the end of the line's schedule,
    // and the noise is still read and reported.
    Bench b(1200, 640);
    TCommThread worker(b.uart, br1200, b.bridge);
    ASSERT_TRUE(worker.Start());
    const std::string frame = HostFrame(393);
    ASSERT_EQ(frame.size(), 400u);
    b.Send(worker, frame);
    ASSERT_EQ(b.printer.Read(20, 2000ms).size(), 20u);
    ASSERT_TRUE(b.printer.Write("\x7F"));
    EXPECT_EQ(b.Read(frame.size() - 20, 6000ms).size(), frame.size() - 20);
    ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FrameWritten, 3000ms));
    EXPECT_GE(b.Find(TCommThread::FPN_FrameWritten)->At, b.uart.WireTime(frame.size()) - 10ms);
    EXPECT_EQ(b.Find(TCommThread::FPN_NoAnswer), nullptr);
    b.printer.Write("\x06" + hostframe::BuildFrame("0000\x1C"
                                                   "0000\x1C",
                                                   0x20));
    ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FinalAnswer, 3000ms));
    bool noiseReported = false;
    for (const Seen& s : b.seen)
        if (s.Code == TCommThread::FPN_WireEvent && s.Param == int(TWireKind::Noise))
            noiseReported = noiseReported || s.Frame == "\x7F";
    EXPECT_TRUE(noiseReported);
}

// A pseudo-terminal has no wire, so its frame counts as sent when the driver took it; a UART's
// when its wire time has passed. Either way the response time is the printer's: from the
// printer having the frame to the first byte of the final frame (not its ACK, not the end of
// the frame). The printer is the simulator, whose own time is what is measured: it answers
// 200 ms after the command, one byte every 80 ms, so an answer's last byte comes more than
// 1.2 s after its first.
TEST(UartLine, ResponseTimeRunsFromTheFrameLeavingToTheAnswersFirstByte)
{
    SimProcess sim(0, "[General]\r\nSplitGap=80\r\n[Host]\r\nDelay=200\r\nFault=split\r\n");
    ASSERT_TRUE(sim.Ok());
    for (const bool wire : {false, true}) {
        SCOPED_TRACE(wire ? "UART" : "pseudo-terminal");
        Bench b(TFPHostControl::LineSettings(br1200), 1200, 0, !wire, sim.HostPath());
        EXPECT_EQ(b.uart.HasWire(), wire);
        TCommThread worker(b.uart, br1200, b.bridge);
        ASSERT_TRUE(worker.Start());
        // A short first field, which the answer echoes, and 91 bytes more, 100 in all: 833 ms at
        // 1200 baud.
        const std::string frame =
            hostframe::BuildFrame("S\x1C" + std::string(91, 'A') + '\x1C', 0x20);
        ASSERT_EQ(frame.size(), 100u);
        b.Send(worker, frame);
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FrameWritten, 3000ms));
        const auto written = b.Find(TCommThread::FPN_FrameWritten)->At;
        if (wire)
            EXPECT_GE(written, b.uart.WireTime(frame.size()) - 10ms);
        else
            EXPECT_LT(written, b.uart.WireTime(frame.size()) / 2) << "wire time charged";
        ASSERT_TRUE(b.WaitCode(TCommThread::FPN_FinalAnswer, 5000ms));
        const std::int32_t ms = b.Find(TCommThread::FPN_FrameRead)->ResponseMs;
        // At least the printer's 200 ms, less on a pseudo-terminal what a loaded machine takes
        // to read the printer's ACK, which starts the time there; far below the 1.4 s after
        // which the answer's last byte came.
        EXPECT_GE(ms, 100);
        EXPECT_LT(ms, 800);
        worker.SignalEndCommand();
    }
}

// The simulator takes 200 ms before its lone ACK; for a command starting with N it first sends
// bytes that belong to no frame, and its ACK 20 ms after them: the time runs to the ACK.
TEST(UartLine, FiscalCommandAnsweredByAckAloneHasAResponseTime)
{
    SimProcess sim(0, "[Fiscal.Noise]\r\nMatch=N\r\nAckOnly=1\r\nDelay=200\r\nFault=garbage\r\n"
                      "[Fiscal.Ack]\r\nMatch=0\r\nAckOnly=1\r\nDelay=200\r\n");
    ASSERT_TRUE(sim.Ok());
    for (const bool wire : {false, true}) {
        for (const std::string data : {"0123456789", "N123456789"}) {
            SCOPED_TRACE(std::string(wire ? "UART " : "pseudo-terminal ") + data);
            Bench b(TFPAuxControl::LineSettings(), 9600, 0, !wire, sim.FiscalPath());
            const std::atomic<std::int32_t> timeOut{3000};
            TFCommThread worker(b.uart, b.bridge, timeOut);
            ASSERT_TRUE(worker.Start());
            std::string frame;
            ASSERT_TRUE(auxframe::BuildFrame(data, frame));
            b.Send(worker, frame);
            ASSERT_TRUE(b.WaitCode(FPN_AckReceived, 3000ms));
            // The frame counts as sent no later than the printer had it (on the UART, when its
            // 15 ms on the line were over, which the printer's reading may trail by a few).
            const int least = data[0] == 'N' ? 220 : 200;
            EXPECT_GE(b.Find(FPN_AckReceived)->ResponseMs, least - (wire ? 10 : 0));
            EXPECT_LT(b.Find(FPN_AckReceived)->ResponseMs, 1000);
        }
    }
}

TEST(UartLine, AbortDuringALongWriteLeavesThePrinterWithoutTheTail)
{
    Bench b(1200);
    const std::atomic<std::int32_t> timeOut{100};
    TFCommThread worker(b.uart, b.bridge, timeOut);
    ASSERT_TRUE(worker.Start());
    std::string frame;
    ASSERT_TRUE(auxframe::BuildFrame(std::string(200, 'F'), frame)); // 1.7 s at 1200 baud
    b.Send(worker, frame);
    std::string head = b.printer.Read(10, 1000ms);
    ASSERT_EQ(head.size(), 10u);
    b.uart.Purge(SerialDevice::PurgeBoth);
    worker.AbortSignaledEvents();
    ASSERT_TRUE(b.WaitCode(FPN_WriteError, 1000ms));
    head += b.printer.Drain(300ms);
    EXPECT_LT(head.size(), 20u);
    EXPECT_EQ(head, frame.substr(0, head.size()));
    EXPECT_EQ(b.Find(FPN_FrameWritten), nullptr);
}

} // namespace
} // namespace tallyhost

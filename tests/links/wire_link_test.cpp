// The host link's record of the wire on a real pseudo-terminal: bytes that come while no
// command is in progress (after a time-out, after Purge) are reported as late, in runs of at
// most a kilobyte, and a final answer carries its response time.

#include "links/fphostcontrol.h"
#include "links/wireevent.h"
#include "tests/links/hostlink_support.h"
#include "tests/links/ptyprinter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

using namespace tallyhost;
using namespace tallyhost::testing;
using namespace std::chrono_literals;

namespace {

struct WireLog
{
    std::vector<std::pair<int, std::string>> Events;
    explicit WireLog(TFPHostControl& link)
    {
        QObject::connect(&link, &TFPHostControl::OnWireEvent,
                         [this](auto*, int kind, const QByteArray& bytes) {
                             Events.emplace_back(kind, bytes.toStdString());
                         });
    }
    std::size_t LateBytes() const
    {
        std::size_t count = 0;
        for (const auto& [kind, bytes] : Events)
            if (kind == static_cast<int>(TWireKind::Late))
                count += bytes.size();
        return count;
    }
};

std::uint8_t Sequence(const std::string& frame)
{
    return frame.size() > 1 ? static_cast<std::uint8_t>(frame[1]) : 0;
}

} // namespace

TEST(WireLink, BytesWhileNoCommandRunsAreReportedAsLate)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);
    WireLog wire(link);

    // Nothing is in progress: what the printer says is late, and reported without a command.
    ASSERT_TRUE(printer.Write("\x06hello"));
    ASSERT_TRUE(RunUntil([&] { return wire.LateBytes() == 6; }, 2000ms));
    ASSERT_EQ(wire.Events.size(), 1u);
    EXPECT_EQ(wire.Events[0].first, static_cast<int>(TWireKind::Late));
    EXPECT_EQ(wire.Events[0].second, "\x06hello");
    EXPECT_TRUE(log.Lines.empty()) << "a late ACK is no acknowledgement: " << log.Joined();

    // A command is cancelled; its answer comes afterwards and is late too, byte for byte.
    ASSERT_TRUE(link.AddDataField("A"));
    ASSERT_TRUE(link.SendCommand());
    const std::string frame = ReadCommandFrame(printer, 2000ms);
    ASSERT_FALSE(frame.empty());
    link.Purge();
    ASSERT_TRUE(log.WaitEnds(1, 3000ms));
    const std::string answer = PrinterFrame(Sequence(frame), "late");
    ASSERT_TRUE(printer.Write(answer));
    ASSERT_TRUE(RunUntil([&] { return wire.LateBytes() == 6 + answer.size(); }, 2000ms));
    EXPECT_EQ(wire.Events.back().second, answer);
    EXPECT_EQ(link.State(), EFP_S_Idle);
    EXPECT_EQ(Hex(printer.ReadSome(200ms)), "") << "nothing answers a late frame";

    // A flood while idle: 3000 bytes in at most three reports, none over a kilobyte.
    wire.Events.clear();
    ASSERT_TRUE(printer.Write(std::string(3000, 'U')));
    ASSERT_TRUE(RunUntil([&] { return wire.LateBytes() == 3000; }, 3000ms));
    EXPECT_LE(wire.Events.size(), 3u);
    for (const auto& [kind, bytes] : wire.Events)
        EXPECT_LE(bytes.size(), kWireRunLimit);

    // The link still works, and the final answer carries the time since the frame went out.
    ASSERT_TRUE(link.AddDataField("B"));
    ASSERT_TRUE(link.SendCommand());
    const std::string second = ReadCommandFrame(printer, 2000ms);
    ASSERT_FALSE(second.empty());
    // A pseudo-terminal has no wire: the frame counts as gone out when it took it, and the
    // link says so then; the printer answers 200 ms after that, its ACK with the answer.
    ASSERT_TRUE(RunUntil(
        [&] {
            return std::find(log.Lines.begin(), log.Lines.end(), "write " + Hex(second)) !=
                   log.Lines.end();
        },
        2000ms));
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(printer.Write("\x06" + PrinterFrame(Sequence(second), "ok")));
    ASSERT_TRUE(log.WaitEnds(2, 3000ms));
    EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle");
    EXPECT_GE(link.LastResponseMs(), 100);
    EXPECT_LT(link.LastResponseMs(), 2000);
    ASSERT_TRUE(link.ClosePort());
}

// Both links against the simulator on a line with a real line's pace (tallyhost-sim --baud),
// where a long frame takes seconds to leave the port.

#ifdef TALLYHOST_SIM_PATH

#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "tests/links/hostlink_support.h"
#include "tests/links/simprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace tallyhost {
namespace {

using Clock = std::chrono::steady_clock;
using testing::EventLog;
using testing::RunUntil;
using testing::SimProcess;

// Ten bits a byte.
std::chrono::milliseconds WireTime(std::size_t bytes, int baud)
{
    return std::chrono::milliseconds(static_cast<long>(bytes) * 10'000 / baud);
}

TEST(PacedLine, LongHostCommandAt1200BaudIsAnsweredNotTimedOut)
{
    SimProcess sim(1200);
    ASSERT_TRUE(sim.Ok());
    TFPHostControl link;
    link.SetDevicePath(sim.HostPath());
    link.SetBaudRate(br1200);
    ASSERT_TRUE(link.OpenPort()) << link.OpenErrorText();
    EventLog log(link);

    ASSERT_TRUE(link.AddDataField("*"));
    ASSERT_TRUE(link.AddDataField(std::string(1000, 'A')));
    const auto sent = Clock::now();
    ASSERT_TRUE(link.SendCommand());
    const std::size_t frameSize = 1 + 1 + 1 + 1 + 1000 + 1 + 4; // STX seq * FS field ETX sum
    ASSERT_TRUE(log.WaitEnds(1, WireTime(frameSize, 1200) + 5s)) << log.Joined();
    EXPECT_EQ(link.LastError(), EFP_Success) << log.Joined();
    ASSERT_FALSE(log.Lines.empty());
    ASSERT_EQ(log.Lines.front().rfind("write 02", 0), 0u) << log.Joined();
    // A pseudo-terminal takes the frame at once; the simulator reads it at the line's pace,
    // so the answer wait, longer than its silence time-out, had to allow for that.
    EXPECT_LT(log.Times.front() - sent, WireTime(frameSize, 1200) / 2) << "charged wire time";
    EXPECT_GE(log.Times.back() - sent, WireTime(frameSize, 1200));
    // The printer answers at once once it has the frame: its time, not the line's.
    EXPECT_GE(link.LastResponseMs(), 0);
    EXPECT_LT(link.LastResponseMs(), 1000);
    EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle");
}

TEST(PacedLine, FiscalTextLongerThanItsAnswerTimeOutOnTheWire)
{
    SimProcess sim(9600);
    ASSERT_TRUE(sim.Ok());
    TFPAuxControl link;
    link.SetDevicePath(sim.FiscalPath());
    // The 254-byte frame alone takes 265 ms: counted from the start of the write, this time-out
    // would end before the printer had the frame; counted from its end, it leaves the
    // simulator a quarter of a second to answer on a loaded machine.
    link.SetTimeOut(250);
    ASSERT_TRUE(link.OpenPort()) << link.OpenErrorText();
    bool final = false, failed = false;
    QObject::connect(&link, &TFPAuxControl::OnAnswer,
                     [&](auto*, bool isFinal) { final = isFinal; });
    QObject::connect(&link, &TFPAuxControl::OnError, [&](auto*) { failed = true; });
    ASSERT_TRUE(link.SendData(std::string(250, 'D')));
    ASSERT_TRUE(RunUntil([&] { return final || failed; }, 3s));
    EXPECT_TRUE(final);
    EXPECT_EQ(link.LastError(), FEFP_Success);
    EXPECT_EQ(link.Answer(), "0000");
}

TEST(PacedLine, UnpluggedPortFailsTheCommandAndComesBackUnderItsName)
{
    SimProcess sim(9600, "[Host.Pull]\r\nMatch=U\r\nFault=unplug\r\nDelay=600\r\n");
    ASSERT_TRUE(sim.Ok());
    TFPHostControl link;
    link.SetDevicePath(sim.LinkPath("host"));
    link.SetBaudRate(br9600);
    ASSERT_TRUE(link.OpenPort()) << link.OpenErrorText();
    EventLog log(link);
    std::string reason;
    EXPECT_FALSE(link.PortLost(&reason));

    ASSERT_TRUE(link.AddDataField("U"));
    ASSERT_TRUE(link.SendCommand());
    ASSERT_TRUE(log.WaitEnds(1, 1500ms)) << "the hang-up ends the exchange, not the silence";
    EXPECT_EQ(link.LastError(), EFP_E_ReadTimeOut);
    EXPECT_TRUE(link.PortLost(&reason));
    EXPECT_FALSE(reason.empty());
    ASSERT_TRUE(link.ClosePort());
    EXPECT_FALSE(link.OpenPort());
    EXPECT_EQ(link.LastError(), EFP_E_InvalidCom);

    // The link name leads nowhere until the simulator's port is back.
    bool reopened = false;
    ASSERT_TRUE(RunUntil([&] { return reopened = reopened || link.OpenPort(); }, 3s))
        << link.OpenErrorText();
    EXPECT_FALSE(link.PortLost(&reason));
    ASSERT_TRUE(link.AddDataField("*"));
    ASSERT_TRUE(link.SendCommand());
    ASSERT_TRUE(log.WaitEnds(2, 3s));
    EXPECT_EQ(link.LastError(), EFP_Success) << log.Joined();
}

} // namespace
} // namespace tallyhost

#endif

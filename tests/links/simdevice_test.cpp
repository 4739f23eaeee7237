// The simulator serving serial devices it is given instead of pseudo-terminals of its own: a
// pseudo-terminal's device path stands in for a real port, and the test plays the host at the
// far end of the "cable" (the pseudo-terminal's master side).

#ifdef TALLYHOST_SIM_PATH

#include "links/auxframe.h"
#include "links/fphostcontrol.h"
#include "links/hostframe.h"
#include "tests/links/hostlink_support.h"
#include "tests/links/ptyprinter.h"
#include "tests/links/simprocess.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace tallyhost {
namespace {

using testing::PtyPrinter;
using testing::ReadCommandFrame;
using testing::SimProcess;

TEST(SimOnDevices, ServesTheDevicesItIsGivenAsAPrinterWould)
{
    PtyPrinter hostLine;
    PtyPrinter fiscalLine;
    ASSERT_TRUE(hostLine.Ok() && fiscalLine.Ok());
    SimProcess sim(0, {},
                   {"--host-device", hostLine.DevicePath(), "--fiscal-device",
                    fiscalLine.DevicePath()});
    ASSERT_TRUE(sim.Ok());
    EXPECT_EQ(sim.HostPath(), hostLine.DevicePath());
    EXPECT_EQ(sim.FiscalPath(), fiscalLine.DevicePath());
    // The stable names lead to the devices too.
    EXPECT_EQ(QFileInfo(QString::fromStdString(sim.LinkPath("host"))).symLinkTarget(),
              QString::fromStdString(hostLine.DevicePath()));

    // A host command: acknowledged, then answered under its sequence byte.
    const std::string command = hostframe::BuildFrame("*\x1C", 0x2A);
    ASSERT_TRUE(hostLine.Write(command));
    EXPECT_EQ(hostLine.Read(1, 3000ms), "\x06");
    const std::string answer = ReadCommandFrame(hostLine, 3000ms);
    ASSERT_GE(answer.size(), 7u) << testing::Hex(answer);
    EXPECT_EQ(answer[1], '\x2A');
    const std::string body = answer.substr(0, answer.size() - 4);
    EXPECT_EQ(answer.substr(answer.size() - 4), TFPHostControl::GetFrameCheckSum(body));
    ASSERT_TRUE(hostLine.Write("\x06"));

    // A fiscal text: one final answer frame.
    std::string frame;
    ASSERT_TRUE(auxframe::BuildFrame("12", frame));
    ASSERT_TRUE(fiscalLine.Write(frame));
    EXPECT_EQ(testing::Hex(fiscalLine.Read(7, 3000ms)), "02 30 30 30 30 03 3B");
}

TEST(SimOnDevices, ADeviceThatCannotBeOpenedIsReported)
{
    SimProcess sim(0, {}, {"--host-device", "/nonexistent/ttyUSB9"});
    EXPECT_FALSE(sim.Ok());
}

} // namespace
} // namespace tallyhost

#endif

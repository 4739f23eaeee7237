#include "links/devicetable.h"
#include "links/postbridge.h"
#include "links/serialdevice.h"
#include "tests/links/ptyprinter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tallyhost::testing::PtyPrinter;

namespace tallyhost {
namespace {

TEST(SerialDevice, OpenDistinguishesMissingFromBusyAndIsExclusive)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    SerialDevice first;
    std::string why;
    EXPECT_EQ(first.Open("/dev/tallyhost-no-such-port", {}, &why), SerialOpenError::NoSuchDevice);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(first.Open("/etc/hostname", {}, &why), SerialOpenError::NoSuchDevice)
        << "a file that is not a terminal is no serial device";
    EXPECT_FALSE(first.IsOpen());

    ASSERT_EQ(first.Open(printer.DevicePath(), {}), SerialOpenError::None);
    EXPECT_TRUE(first.IsOpen());
    SerialDevice second; // the lock holds within one process and for root alike
    EXPECT_EQ(second.Open(printer.DevicePath(), {}), SerialOpenError::InUse);
    first.Close();
    EXPECT_EQ(second.Open(printer.DevicePath(), {}), SerialOpenError::None)
        << "closing gives the port back";
    EXPECT_EQ(first.Open(printer.DevicePath(), {.Baud = 1234}), SerialOpenError::NoSuchDevice);
}

TEST(SerialDevice, BytesCrossRawInBothDirections)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    SerialDevice device;
    ASSERT_EQ(device.Open(printer.DevicePath(), {.Baud = 1200}), SerialOpenError::None);
    // Every byte value, line-discipline specials (CR, LF, ^C, ^D, ^S, ^Q, DEL) included.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    ASSERT_EQ(device.Write(all.data(), all.size(), 1000ms), SerialIo::Done);
    EXPECT_EQ(printer.Read(all.size(), 2000ms), all);

    ASSERT_TRUE(printer.Write(all));
    std::string got;
    char buffer[64];
    std::size_t n = 0;
    while (got.size() < all.size() &&
           device.Read(buffer, sizeof buffer, n, 1000ms) == SerialIo::Done)
        got.append(buffer, n);
    EXPECT_EQ(got, all);

    EXPECT_EQ(device.Read(buffer, 0, n, 10ms), SerialIo::Failed) << "a full buffer fails at once";
}

TEST(SerialDevice, PseudoTerminalHasNoWireAndKeepsWhatItWasSent)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    SerialDevice device;
    ASSERT_EQ(device.Open(printer.DevicePath(), {.Baud = 1200}), SerialOpenError::None);
    EXPECT_FALSE(device.HasWire());
    // Sent means the far side has it, unread as it may be: a purge (Cancel) does not take it
    // back, and the line keeps no schedule of it.
    // The printer has not read 4 KB yet, so the frame waits in the pseudo-terminal's own
    // buffer, where a flush of the output would drop it.
    const std::string unread(4096, 'U');
    ASSERT_EQ(device.Send(unread.data(), unread.size(), 5000ms), SerialIo::Done);
    const std::string frame(300, 'F'); // 2.5 s at 1200 baud on a wire
    ASSERT_EQ(device.Send(frame.data(), frame.size(), 5000ms), SerialIo::Done);
    EXPECT_LE(device.LineBusyUntil(), std::chrono::steady_clock::now());
    device.Purge(SerialDevice::PurgeBoth);
    EXPECT_EQ(printer.Read(unread.size() + frame.size(), 2000ms), unread + frame);
}

TEST(SerialDevice, ReadTimesOutWakesAndNoticesHangUp)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    SerialDevice device;
    ASSERT_EQ(device.Open(printer.DevicePath(), {}), SerialOpenError::None);
    char buffer[16];
    std::size_t n = 0;

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.Read(buffer, sizeof buffer, n, 150ms), SerialIo::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);

    // A wake-up from another thread ends a wait that has no deadline at all.
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        device.Wake();
    });
    EXPECT_EQ(device.Read(buffer, sizeof buffer, n, WaitForever), SerialIo::Woken);
    waker.join();
    EXPECT_EQ(device.Write("x", 1, 1000ms), SerialIo::Woken) << "the wake-up lasts until cleared";
    device.ClearWake();
    EXPECT_EQ(device.Read(buffer, sizeof buffer, n, 20ms), SerialIo::TimedOut);

    // Purge drops what was received and not read.
    ASSERT_TRUE(printer.Write("stale"));
    // A pseudo-terminal hands bytes over in the kernel's own time: purge once they have come
    // (one write arrives as one piece, so readable means all five are there).
    pollfd readable{device.Handle(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 5000), 1);
    int queued = 0;
    ASSERT_EQ(::ioctl(device.Handle(), FIONREAD, &queued), 0);
    ASSERT_EQ(queued, 5);
    device.Purge(SerialDevice::PurgeInput);
    EXPECT_EQ(device.Read(buffer, sizeof buffer, n, 50ms), SerialIo::TimedOut);

    // The printer's side goes away in the middle of a wait: the wait fails promptly.
    printer.CloseSlave();
    std::thread vanish([&] {
        std::this_thread::sleep_for(50ms);
        printer.CloseMaster();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.Read(buffer, sizeof buffer, n, 5000ms), SerialIo::Failed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    vanish.join();
    EXPECT_EQ(device.Write("x", 1, 1000ms), SerialIo::Failed);
}

TEST(DeviceTable, EnvironmentBeatsSettingBeatsDefault)
{
    ::unsetenv("TALLYHOST_COM2");
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS1");
    SetComDevicePath(1, "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyUSB0");
    ::setenv("TALLYHOST_COM2", "/tmp/sim/host", 1);
    EXPECT_EQ(ComDevicePath(1), "/tmp/sim/host");
    EXPECT_EQ(ResolveDeviceName("com2"), "/tmp/sim/host");
    ::unsetenv("TALLYHOST_COM2");
    SetComDevicePath(1, "");
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS1");

    // Unknown port values open COM1, as the links do; other names are paths.
    ::unsetenv("TALLYHOST_COM1");
    EXPECT_EQ(ComDevicePath(7), ComDevicePath(0));
    EXPECT_EQ(ComDevicePath(-1), "/dev/ttyS0");
    EXPECT_EQ(ResolveDeviceName("COM5"), "COM5");
    EXPECT_EQ(ResolveDeviceName("/dev/pts/3"), "/dev/pts/3");
}

TEST(PostBridge, DeliversOnItsOwnThreadInPostingOrder)
{
    PostBridge bridge;
    std::vector<int> codes;
    std::vector<std::thread::id> threads;
    bridge.SetHandler([&](const LinkNotification& n) {
        codes.push_back(n.Code * 1000 + static_cast<int>(n.Command));
        threads.push_back(std::this_thread::get_id());
    });
    std::thread poster([&] {
        for (int i = 0; i < 200; ++i)
            bridge.Post(i % 10, 0, static_cast<std::uint64_t>(i));
    });
    poster.join();
    bridge.Post(99, 0, 7);
    EXPECT_TRUE(codes.empty()) << "nothing runs before the event loop does";
    QCoreApplication::processEvents();
    ASSERT_EQ(codes.size(), 201u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(codes[static_cast<std::size_t>(i)], (i % 10) * 1000 + i);
    EXPECT_EQ(codes.back(), 99007);
    for (const auto& id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());

    bridge.Post(1);
    bridge.DropPending();
    QCoreApplication::processEvents();
    EXPECT_EQ(codes.size(), 201u);
}

} // namespace
} // namespace tallyhost

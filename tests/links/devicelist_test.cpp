// The device list of the Devices tab, read from a /dev and /sys laid out on disk the way the
// kernel and udev lay them out for a USB serial adapter.

#include "links/devicetable.h"
#include "tests/links/fakesysfs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace tallyhost {
namespace {

namespace fs = std::filesystem;

using testing::WriteText;

TEST(SerialPortList, StableNamesFirstWithTheirAdapterThenPlainDevicesInOrder)
{
    const fs::path root =
        fs::temp_directory_path() / ("tallyhost-devlist-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path dev = root / "dev";
    const fs::path sys = root / "sys";
    for (const char* name : {"ttyS0", "ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "tty0", "ttySx"})
        WriteText(dev / name, "");
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB0",
                       dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A9X1-if00-port0");
    // An adapter pulled out leaves a dangling name behind for a moment.
    fs::create_symlink("../../ttyUSB7", dev / "serial" / "by-id" / "usb-gone-if00-port0");

    // sysfs: the tty's device is the USB interface; the USB device above it has the strings.
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / "1-1";
    WriteText(usb / "idVendor", "0403");
    WriteText(usb / "manufacturer", "FTDI");
    WriteText(usb / "product", "FT232R USB UART");
    WriteText(usb / "serial", "A9X1  ");
    fs::create_directories(usb / "1-1:1.0" / "ttyUSB0");
    fs::create_directories(sys / "class" / "tty" / "ttyUSB0");
    fs::create_symlink(usb / "1-1:1.0", sys / "class" / "tty" / "ttyUSB0" / "device");

    const auto ports = ListSerialPorts(dev.string(), sys.string());
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[0].Path,
              (dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A9X1-if00-port0").string());
    EXPECT_EQ(ports[0].Device, (dev / "ttyUSB0").string());
    EXPECT_EQ(ports[0].Description, "FTDI, FT232R USB UART, A9X1 (ttyUSB0)");
    std::vector<std::string> plain;
    for (std::size_t i = 1; i < ports.size(); ++i)
        plain.push_back(fs::path(ports[i].Path).filename().string());
    EXPECT_EQ(plain, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
    EXPECT_EQ(ports[5].Description, "FTDI, FT232R USB UART, A9X1");
    EXPECT_EQ(ports[1].Description, "");

    // A machine without the by-id directory (no USB serial adapter ever seen) still lists.
    fs::remove_all(dev / "serial");
    EXPECT_EQ(ListSerialPorts(dev.string(), sys.string()).size(), 5u);
    fs::remove_all(root);
}

} // namespace
} // namespace tallyhost

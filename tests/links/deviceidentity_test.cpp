// Telling whether the device behind a port's name is the one that was opened there: read from
// a sysfs laid out the way the kernel lays it out for a USB serial adapter.

#include "links/deviceidentity.h"
#include "tests/links/fakesysfs.h"
#include "tests/links/ptyprinter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace tallyhost {
namespace {

namespace fs = std::filesystem;

using testing::WriteText;

TEST(DeviceIdentity, ReadFromTheDeviceNumberAndTheUsbDeviceAboveIt)
{
    const fs::path sys =
        fs::temp_directory_path() / ("tallyhost-identity-" + std::to_string(::getpid()));
    fs::remove_all(sys);
    // /dev/null (1:3) plays the adapter's tty: its number leads through dev/char to the tty,
    // under the USB interface, under the USB device that holds the strings.
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / "1-1" / "1-1.2";
    WriteText(usb / "idVendor", "0403");
    WriteText(usb / "idProduct", "6001");
    WriteText(usb / "serial", "A9X1");
    const fs::path tty = usb / "1-1.2:1.0" / "ttyUSB0" / "tty" / "ttyUSB0";
    fs::create_directories(tty);
    fs::create_directories(sys / "dev" / "char");
    fs::create_symlink(tty, sys / "dev" / "char" / "1:3");

    const TDeviceIdentity adapter = ReadDeviceIdentity("/dev/null", sys.string());
    EXPECT_TRUE(adapter.Known);
    EXPECT_FALSE(adapter.PseudoTerminal);
    EXPECT_EQ(adapter.Major, 1u);
    EXPECT_EQ(adapter.Minor, 3u);
    EXPECT_EQ(adapter.UsbVendorProduct, "0403:6001");
    EXPECT_EQ(adapter.UsbSerial, "A9X1");
    EXPECT_EQ(adapter.UsbPort, "1-1.2");
    EXPECT_EQ(adapter.Describe(), "USB 0403:6001 serial A9X1 at 1-1.2");

    // Without a sysfs entry: a plain device, known by its number.
    const TDeviceIdentity plain = ReadDeviceIdentity("/dev/zero", sys.string());
    EXPECT_TRUE(plain.Known);
    EXPECT_EQ(plain.UsbVendorProduct, "");
    EXPECT_EQ(plain.Describe(), "device 1:5");

    testing::PtyPrinter pty;
    ASSERT_TRUE(pty.Ok());
    EXPECT_TRUE(ReadDeviceIdentity(pty.DevicePath(), sys.string()).PseudoTerminal);

    // A name that leads nowhere, or to something that is no device.
    EXPECT_FALSE(ReadDeviceIdentity((sys / "nothing").string(), sys.string()).Known);
    EXPECT_FALSE(ReadDeviceIdentity((usb / "serial").string(), sys.string()).Known);
    EXPECT_FALSE(ReadDeviceIdentity("", sys.string()).Known);
    fs::remove_all(sys);
}

TEST(DeviceIdentity, PortsOfADualPortAdapterAreTwoDevices)
{
    const fs::path sys =
        fs::temp_directory_path() / ("tallyhost-dual-" + std::to_string(::getpid()));
    fs::remove_all(sys);
    // One FT2232 with one serial number, two interfaces, a tty under each; /dev/null (1:3)
    // and /dev/zero (1:5) play the two ttys.
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / "1-1" / "1-1.3";
    WriteText(usb / "idVendor", "0403");
    WriteText(usb / "idProduct", "6010");
    WriteText(usb / "serial", "FT1");
    fs::path ttys[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path interface = usb / ("1-1.3:1." + std::to_string(i));
        WriteText(interface / "bInterfaceNumber", "0" + std::to_string(i));
        const std::string name = "ttyUSB" + std::to_string(i);
        ttys[i] = interface / name / "tty" / name;
        fs::create_directories(ttys[i]);
    }
    const fs::path chars = sys / "dev" / "char";
    fs::create_directories(chars);
    auto point = [&](const char* number, const fs::path& tty) {
        fs::remove(chars / number);
        fs::create_symlink(tty, chars / number);
    };
    point("1:3", ttys[0]);
    point("1:5", ttys[1]);
    const TDeviceIdentity host = ReadDeviceIdentity("/dev/null", sys.string());
    const TDeviceIdentity fiscal = ReadDeviceIdentity("/dev/zero", sys.string());
    EXPECT_EQ(host.UsbInterface, "00");
    EXPECT_EQ(fiscal.UsbInterface, "01");
    EXPECT_EQ(fiscal.Describe(), "USB 0403:6010 serial FT1 at 1-1.3 interface 01");
    EXPECT_FALSE(SameDevice(host, fiscal));

    // Plugged back in and numbered the other way round: each name now leads to the other
    // port, which is not the one that was opened there.
    point("1:3", ttys[1]);
    point("1:5", ttys[0]);
    EXPECT_FALSE(SameDevice(host, ReadDeviceIdentity("/dev/null", sys.string())));
    EXPECT_TRUE(SameDevice(host, ReadDeviceIdentity("/dev/zero", sys.string())));
    fs::remove_all(sys);
}

TDeviceIdentity Usb(std::string serial, std::string port, std::uint32_t minor = 0,
                    std::string vendorProduct = "0403:6001", std::string interface = "00")
{
    TDeviceIdentity identity;
    identity.Known = true;
    identity.Major = 188;
    identity.Minor = minor;
    identity.UsbVendorProduct = std::move(vendorProduct);
    identity.UsbSerial = std::move(serial);
    identity.UsbPort = std::move(port);
    identity.UsbInterface = std::move(interface);
    return identity;
}

TDeviceIdentity Plain(std::uint32_t major, std::uint32_t minor, bool pty = false)
{
    TDeviceIdentity identity;
    identity.Known = true;
    identity.PseudoTerminal = pty;
    identity.Major = major;
    identity.Minor = minor;
    return identity;
}

TEST(DeviceIdentity, SameDeviceOnlyWhenItIsTheOneThatWasOpened)
{
    const struct
    {
        const char* Case;
        TDeviceIdentity Was;
        TDeviceIdentity Now;
        bool Same;
    } cases[] = {
        {"same adapter, another socket and number", Usb("A9X1", "1-1.2", 0),
         Usb("A9X1", "1-1.4", 1), true},
        {"adapters swapped: same number, other serial", Usb("A9X1", "1-1.2", 0),
         Usb("B7Q3", "1-1.4", 0), false},
        {"same serial, other maker", Usb("A9X1", "1-1.2"), Usb("A9X1", "1-1.2", 0, "067b:2303"),
         false},
        {"no serial numbers: same socket", Usb("", "1-1.2", 0), Usb("", "1-1.2", 1), true},
        {"no serial numbers: other socket", Usb("", "1-1.2", 0), Usb("", "1-1.3", 0), false},
        {"serial number only now", Usb("", "1-1.2"), Usb("A9X1", "1-1.2"), false},
        {"the other port of a dual-port adapter", Usb("FT1", "1-1.2", 0, "0403:6010", "00"),
         Usb("FT1", "1-1.2", 1, "0403:6010", "01"), false},
        {"a dual-port adapter's port, renumbered", Usb("FT1", "1-1.2", 1, "0403:6010", "01"),
         Usb("FT1", "1-1.4", 0, "0403:6010", "01"), true},
        {"no serial numbers: same socket, other port", Usb("", "1-1.2", 0, "10c4:ea70", "00"),
         Usb("", "1-1.2", 1, "10c4:ea70", "01"), false},
        {"USB adapter, then a built-in port", Usb("A9X1", "1-1.2"), Plain(4, 64), false},
        {"built-in port, same number", Plain(4, 64), Plain(4, 64), true},
        {"built-in port, other number", Plain(4, 64), Plain(4, 65), false},
        {"pseudo-terminal made anew", Plain(136, 3, true), Plain(136, 9, true), true},
        {"pseudo-terminal, then a device", Plain(136, 3, true), Plain(4, 64), false},
        {"nothing known of the old one", TDeviceIdentity{}, Plain(4, 64), true},
        {"nothing behind the name now", Plain(4, 64), TDeviceIdentity{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameDevice(c.Was, c.Now), c.Same) << c.Case;
}

} // namespace
} // namespace tallyhost

#pragma once

#include <cstdint>
#include <string>

namespace tallyhost {

// What a port's name led to when the port was opened, so that a port reopened by the same name
// after its device went away (a USB adapter pulled out) is reopened only when the same device
// is back. Names are not enough: two adapters plugged back in the other order swap
// /dev/ttyUSB0 and /dev/ttyUSB1, and a stable name can be re-pointed.
//
// The device number tells device nodes apart; for a USB adapter the USB device above it in
// sysfs adds its vendor and product, its serial number where it has one, and the socket it is
// plugged into (the USB port path), which is all that tells two adapters without a serial
// number apart. The ports of a dual-port adapter (FT2232, CP2105 and the like) share all of
// that: the USB interface each port is (bInterfaceNumber) tells them apart.
struct TDeviceIdentity
{
    bool Known = false;          // the name led to a character device
    bool PseudoTerminal = false; // a Unix 98 pseudo-terminal
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    std::string UsbVendorProduct; // "0403:6001"; empty when the device is not on USB
    std::string UsbSerial;        // empty when the adapter has none
    std::string UsbPort;          // "1-1.2": where it is plugged in
    std::string UsbInterface;     // "01": which of the device's ports; empty when unknown

    // For the operator: "USB 0403:6001 serial A9X1 at 1-1.2", "USB 0403:6010 serial FT1
    // at 1-1.2 interface 01", "device 4:64".
    std::string Describe() const;
};

// Whether a character device of this major number is the far end a program opens of a Unix 98
// pseudo-terminal.
bool IsPseudoTerminalMajor(std::uint32_t major);

// Reads the identity of the device `path` leads to now (symbolic links followed). Unknown when
// the name leads nowhere or not to a character device. The sysfs root is a parameter so that a
// test can lay out a tree of its own.
TDeviceIdentity ReadDeviceIdentity(const std::string& path, const std::string& sysRoot = "/sys");

// Whether `now` is the device that `was` described. A USB adapter is the same when its vendor,
// product and serial number are (or, without a serial number, when it is in the same socket),
// and the port is the same interface of it;
// any other device when its device number is. A pseudo-terminal is made anew by whoever serves
// it (a simulator started again, a test), with whatever number was free: any pseudo-terminal
// behind the name is the same port. Nothing known about `was` (a port never opened) accepts
// anything; nothing known about `now` accepts nothing.
bool SameDevice(const TDeviceIdentity& was, const TDeviceIdentity& now);

} // namespace tallyhost

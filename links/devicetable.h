#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// Where the ports COM1 to COM4 of the operator's settings lead on this machine.
//
// Each port index 0..3 resolves, first match wins, to:
//   1. the environment variable TALLYHOST_COM1..TALLYHOST_COM4 (a launcher or a test run
//      points a port at a simulator's pseudo-terminal for that run only);
//   2. the path the program set with SetComDevicePath (the "Devices" settings group);
//   3. the default /dev/ttyS0../dev/ttyS3.
// An index outside 0..3 is COM1, as the links treat an unknown port value.
//
// The table is process-wide and safe to use from any thread.
std::string ComDevicePath(int index);

// Sets (or, with an empty path, forgets) the program's path for port `index`; other indexes
// are ignored.
void SetComDevicePath(int index, std::string_view path);

// The default path of port `index` ("/dev/ttyS0" for COM1), whatever is configured.
std::string DefaultComDevicePath(int index);

// A name as an operator or a script gives it: "COM1".."COM4" (any case) go through the table,
// anything else is taken as a device path as it stands.
std::string ResolveDeviceName(std::string_view name);

// One serial device as the operator picks it.
struct SerialPortInfo
{
    std::string Path;        // what to open: a stable name or the device itself
    std::string Device;      // the device the path leads to ("/dev/ttyUSB0")
    std::string Description; // maker, product and serial number where the system knows them
};

// The serial devices of this machine: first the stable names under dev/serial/by-id, which
// follow a USB adapter to whatever socket it is plugged into (so COM1 stays the same
// adapter), each described from sysfs (manufacturer, product, serial of the USB device);
// then the plain devices ttyS*, ttyUSB* and ttyACM*, in numeric order. The roots are
// parameters so that a test can lay out a tree of its own.
std::vector<SerialPortInfo> ListSerialPorts(const std::string& devRoot = "/dev",
                                            const std::string& sysRoot = "/sys");

} // namespace tallyhost

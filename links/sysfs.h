#pragma once

// What the kernel tells of a serial device in sysfs, read the same way by the port list and by
// the identity kept of an open port.

#include <filesystem>
#include <string>

namespace tallyhost {

// The first line of a sysfs attribute, trailing blanks dropped; empty when it cannot be read.
std::string ReadSysText(const std::filesystem::path& file);

// The USB device above `dir` (a tty's directory, or its interface's): the first directory on
// the way up, below `sysRoot`, that has "idVendor", which the interface and the tty below it do
// not have. Empty when the device is not on USB.
std::filesystem::path UsbDeviceAbove(std::filesystem::path dir,
                                     const std::filesystem::path& sysRoot);

} // namespace tallyhost

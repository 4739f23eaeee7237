#include "links/deviceidentity.h"

#include "links/sysfs.h"

#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tallyhost {

namespace {

namespace fs = std::filesystem;

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
constexpr std::uint32_t PtySlaveMajorFirst = 136;
constexpr std::uint32_t PtySlaveMajorLast = 143;

// The USB device above the tty; its directory name is the USB port path.
void ReadUsb(const std::string& sysRoot, TDeviceIdentity& identity)
{
    std::error_code error;
    const fs::path link = fs::path(sysRoot) / "dev" / "char" /
                          (std::to_string(identity.Major) + ":" + std::to_string(identity.Minor));
    const fs::path tty = fs::canonical(link, error);
    if (error)
        return;
    const fs::path dir = UsbDeviceAbove(tty, sysRoot);
    if (dir.empty())
        return;
    identity.UsbVendorProduct =
        ReadSysText(dir / "idVendor") + ":" + ReadSysText(dir / "idProduct");
    identity.UsbSerial = ReadSysText(dir / "serial");
    identity.UsbPort = dir.filename().string();
    // The interface is the directory between the USB device and the tty that numbers it.
    for (fs::path up = tty; !up.empty() && up != dir && up != up.root_path();
         up = up.parent_path()) {
        if (std::string number = ReadSysText(up / "bInterfaceNumber"); !number.empty()) {
            identity.UsbInterface = std::move(number);
            break;
        }
    }
}

} // namespace

bool IsPseudoTerminalMajor(std::uint32_t major)
{
    return major >= PtySlaveMajorFirst && major <= PtySlaveMajorLast;
}

std::string TDeviceIdentity::Describe() const
{
    if (!Known)
        return "no device";
    if (!UsbVendorProduct.empty()) {
        std::string text = "USB " + UsbVendorProduct;
        text += UsbSerial.empty() ? " without serial number" : " serial " + UsbSerial;
        text += " at " + UsbPort;
        return UsbInterface.empty() ? text : text + " interface " + UsbInterface;
    }
    return std::string(PseudoTerminal ? "pseudo-terminal " : "device ") + std::to_string(Major) +
           ":" + std::to_string(Minor);
}

TDeviceIdentity ReadDeviceIdentity(const std::string& path, const std::string& sysRoot)
{
    TDeviceIdentity identity;
    struct stat st
    {
    };
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return identity;
    identity.Known = true;
    identity.Major = major(st.st_rdev);
    identity.Minor = minor(st.st_rdev);
    identity.PseudoTerminal = IsPseudoTerminalMajor(identity.Major);
    if (!identity.PseudoTerminal)
        ReadUsb(sysRoot, identity);
    return identity;
}

bool SameDevice(const TDeviceIdentity& was, const TDeviceIdentity& now)
{
    if (!was.Known)
        return true;
    if (!now.Known)
        return false;
    if (was.PseudoTerminal || now.PseudoTerminal)
        return was.PseudoTerminal && now.PseudoTerminal;
    if (!was.UsbVendorProduct.empty() || !now.UsbVendorProduct.empty()) {
        if (was.UsbVendorProduct != now.UsbVendorProduct || was.UsbInterface != now.UsbInterface)
            return false;
        if (!was.UsbSerial.empty() || !now.UsbSerial.empty())
            return was.UsbSerial == now.UsbSerial;
        return was.UsbPort == now.UsbPort;
    }
    return was.Major == now.Major && was.Minor == now.Minor;
}

} // namespace tallyhost

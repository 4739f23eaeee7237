#include "links/deviceidentity.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tallyhost {

namespace {

namespace fs = std::filesystem;

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
constexpr std::uint32_t PtySlaveMajorFirst = 136;
constexpr std::uint32_t PtySlaveMajorLast = 143;

std::string ReadSysText(const fs::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// The USB device above the tty: the first directory up from the tty's own that has idVendor
// (the interface and the tty below it do not). Its directory name is the USB port path.
void ReadUsb(const std::string& sysRoot, TDeviceIdentity& identity)
{
    std::error_code error;
    const fs::path link = fs::path(sysRoot) / "dev" / "char" /
                          (std::to_string(identity.Major) + ":" + std::to_string(identity.Minor));
    fs::path dir = fs::canonical(link, error);
    if (error)
        return;
    const fs::path root = fs::canonical(fs::path(sysRoot), error);
    for (int depth = 0; depth < 12 && !dir.empty() && dir != root && dir != dir.root_path();
         ++depth, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", error))
            continue;
        identity.UsbVendorProduct =
            ReadSysText(dir / "idVendor") + ":" + ReadSysText(dir / "idProduct");
        identity.UsbSerial = ReadSysText(dir / "serial");
        identity.UsbPort = dir.filename().string();
        return;
    }
}

} // namespace

std::string TDeviceIdentity::Describe() const
{
    if (!Known)
        return "no device";
    if (!UsbVendorProduct.empty()) {
        std::string text = "USB " + UsbVendorProduct;
        text += UsbSerial.empty() ? " without serial number" : " serial " + UsbSerial;
        return text + " at " + UsbPort;
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
    identity.PseudoTerminal =
        identity.Major >= PtySlaveMajorFirst && identity.Major <= PtySlaveMajorLast;
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
        if (was.UsbVendorProduct != now.UsbVendorProduct)
            return false;
        if (!was.UsbSerial.empty() || !now.UsbSerial.empty())
            return was.UsbSerial == now.UsbSerial;
        return was.UsbPort == now.UsbPort;
    }
    return was.Major == now.Major && was.Minor == now.Minor;
}

} // namespace tallyhost

#include "links/sysfs.h"

#include <cctype>
#include <fstream>
#include <system_error>

namespace tallyhost {

namespace fs = std::filesystem;

std::string ReadSysText(const fs::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

fs::path UsbDeviceAbove(fs::path dir, const fs::path& sysRoot)
{
    std::error_code error;
    fs::path root = fs::canonical(sysRoot, error);
    if (error)
        root = sysRoot;
    // A tty sits a few levels below its USB device (interface, port, tty class directory).
    for (int depth = 0; depth < 12 && !dir.empty() && dir != root && dir != dir.root_path();
         ++depth, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", error))
            return dir;
    }
    return {};
}

} // namespace tallyhost

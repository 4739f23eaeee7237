#include "links/devicetable.h"

#include "links/sysfs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace tallyhost {

namespace {

constexpr int PortCount = 4;

struct Table
{
    std::mutex lock;
    std::array<std::string, PortCount> paths; // set by the program; empty = not set
};

Table& TheTable()
{
    static Table table;
    return table;
}

int ClampIndex(int index)
{
    return index >= 0 && index < PortCount ? index : 0;
}

} // namespace

std::string DefaultComDevicePath(int index)
{
    return "/dev/ttyS" + std::to_string(ClampIndex(index));
}

std::string ComDevicePath(int index)
{
    index = ClampIndex(index);
    const std::string variable = "TALLYHOST_COM" + std::to_string(index + 1);
    if (const char* value = std::getenv(variable.c_str()); value && *value)
        return value;
    Table& table = TheTable();
    {
        std::lock_guard guard(table.lock);
        if (!table.paths[static_cast<std::size_t>(index)].empty())
            return table.paths[static_cast<std::size_t>(index)];
    }
    return DefaultComDevicePath(index);
}

void SetComDevicePath(int index, std::string_view path)
{
    if (index < 0 || index >= PortCount)
        return;
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    table.paths[static_cast<std::size_t>(index)] = std::string(path);
}

std::string ResolveDeviceName(std::string_view name)
{
    if (name.size() == 4 && (name[0] == 'C' || name[0] == 'c') &&
        (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
        name[3] >= '1' && name[3] < '1' + PortCount)
        return ComDevicePath(name[3] - '1');
    return std::string(name);
}

namespace {

namespace fs = std::filesystem;

// The USB device above a tty in sysfs holds "manufacturer", "product" and "serial".
std::string UsbDescription(const std::string& sysRoot, const std::string& ttyName)
{
    std::error_code error;
    const fs::path device =
        fs::canonical(fs::path(sysRoot) / "class" / "tty" / ttyName / "device", error);
    if (error)
        return {};
    const fs::path dir = UsbDeviceAbove(device, sysRoot);
    std::string text;
    for (const char* key : {"manufacturer", "product", "serial"}) {
        const std::string value = dir.empty() ? std::string() : ReadSysText(dir / key);
        if (value.empty())
            continue;
        if (!text.empty())
            text += ", ";
        text += value;
    }
    return text;
}

// "ttyUSB10" after "ttyUSB9": by stem, then by number.
bool DeviceNameLess(const std::string& a, const std::string& b)
{
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
            --i;
        const std::string digits = s.substr(i);
        return std::make_pair(s.substr(0, i),
                              digits.empty() ? -1L : std::stol(digits.substr(0, 9)));
    };
    return split(a) < split(b);
}

bool IsPlainSerialName(const std::string& name)
{
    for (const char* stem : {"ttyS", "ttyUSB", "ttyACM"}) {
        const std::string_view prefix(stem);
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return true;
    }
    return false;
}

} // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string& devRoot, const std::string& sysRoot)
{
    std::vector<SerialPortInfo> stable;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", error)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(entry.path(), linkError);
        if (linkError) // a name left behind by an adapter that is gone
            continue;
        const std::string ttyName = device.filename().string();
        std::string description = UsbDescription(sysRoot, ttyName);
        description += (description.empty() ? "" : " ") + std::string("(") + ttyName + ")";
        stable.push_back({entry.path().string(), device.string(), description});
    }
    std::sort(stable.begin(), stable.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.Path < b.Path; });

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(devRoot), error)) {
        const std::string name = entry.path().filename().string();
        if (IsPlainSerialName(name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), DeviceNameLess);
    for (const std::string& name : names) {
        const std::string path = (fs::path(devRoot) / name).string();
        stable.push_back({path, path, UsbDescription(sysRoot, name)});
    }
    return stable;
}

} // namespace tallyhost

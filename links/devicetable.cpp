#include "links/devicetable.h"

#include <array>
#include <cstdlib>
#include <mutex>

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

} // namespace tallyhost

#pragma once

// A /dev or /sys laid out on disk, for the tests that read what the kernel tells of a device.

#include <filesystem>
#include <fstream>
#include <string>

namespace tallyhost::testing {

// Writes a sysfs attribute (or an empty /dev entry), with the line end the kernel gives it.
inline void WriteText(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

} // namespace tallyhost::testing

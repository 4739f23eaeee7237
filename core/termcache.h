#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// The terminal window's memory copy of its terminal file. Unlike the profile layer it keeps
// every line as written: empty lines and lines beginning with ";" are skipped, a section line
// begins with "[" and ends with "]", a key is the text before the first "=" (compared without
// regard to case, NOT trimmed) and its value is everything after that "=", nothing stripped.
// Definitions (Commands, CL, Notes, status records, return codes) are read this way, so quoted
// values reach their parsers with their quotes.
//
// The whole file is read once; lookups go through hash indexes of the lower-cased names.
// Where a section or key appears twice, the first one is used.
class TTerminalCache
{
public:
    TTerminalCache();
    // Loads the file; a missing or unreadable file gives an empty cache.
    explicit TTerminalCache(const std::string& fileName);
    ~TTerminalCache();
    TTerminalCache(TTerminalCache&&) noexcept;
    TTerminalCache& operator=(TTerminalCache&&) noexcept;

    // Loads (or reloads) a file; false (and an empty cache) when it cannot be read.
    bool LoadFromFile(const std::string& fileName);
    // Reloads the file last loaded.
    bool Reload();
    void LoadFromBytes(std::string_view bytes);
    const std::string& FileName() const;

    bool SectionExists(std::string_view section) const;
    // The value, or nullptr when the section or key is missing.
    const std::string* Find(std::string_view section, std::string_view key) const;
    // The value, or defaultValue when missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // Key names of a section in file order, each once (as written, untrimmed).
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Section names in file order, each once.
    std::vector<std::string> ReadSections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tallyhost

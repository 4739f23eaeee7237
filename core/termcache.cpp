#include "core/termcache.h"

#include <fstream>
#include <iterator>
#include <unordered_map>

#include "core/profile.h"

// Lines end at CR LF, at LF or at a lone CR, as in the profile layer (CR LF files, LF files and
// a last line without line end all read alike). A UTF-8 byte order mark at the start is skipped. A
// line without
// "=" inside a section names no key: it is not listed and cannot be found. Lines before the first
// section are ignored.

namespace tallyhost {

struct TTerminalCache::Impl
{
    struct Entry
    {
        std::string key;
        std::string value;
    };
    struct Section
    {
        std::string name;
        std::vector<Entry> entries; // first occurrence of each key, in file order
        std::unordered_map<std::string, std::size_t> index; // folded key -> entry
    };
    std::string fileName;
    std::vector<Section> sections; // first occurrence of each name, in file order
    std::unordered_map<std::string, std::size_t> index; // folded name -> section

    void clear()
    {
        sections.clear();
        index.clear();
    }

    void parse(std::string_view bytes)
    {
        clear();
        Section* current = nullptr;
        // Keys of a repeated section are dropped: the first copy is the one that is read.
        bool currentIsDuplicate = false;
        std::size_t pos = 0;
        if (bytes.starts_with("\xEF\xBB\xBF"))
            pos = 3; // a UTF-8 byte order mark would hide the first section heading
        while (pos < bytes.size()) {
            auto end = FindLineEnd(bytes, pos);
            if (end == std::string_view::npos)
                end = bytes.size();
            const std::string_view line = bytes.substr(pos, end - pos);
            pos = end + 1;
            if (end < bytes.size() && bytes[end] == '\r' && pos < bytes.size() &&
                bytes[pos] == '\n')
                ++pos;
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
                const std::string_view name = line.substr(1, line.size() - 2);
                const auto [it, inserted] = index.emplace(FoldName(name), sections.size());
                currentIsDuplicate = !inserted;
                if (inserted) {
                    sections.push_back(Section{std::string(name), {}, {}});
                    current = &sections.back();
                } else {
                    current = nullptr;
                }
                continue;
            }
            if (!current || currentIsDuplicate)
                continue;
            const auto eq = line.find('=');
            if (eq == std::string_view::npos)
                continue;
            const std::string_view key = line.substr(0, eq);
            const auto [it, inserted] =
                current->index.emplace(FoldName(key), current->entries.size());
            if (inserted)
                current->entries.push_back(
                    Entry{std::string(key), std::string(line.substr(eq + 1))});
        }
    }

    const Section* find(std::string_view section) const
    {
        const auto it = index.find(FoldName(section));
        return it == index.end() ? nullptr : &sections[it->second];
    }
};

TTerminalCache::TTerminalCache() : m_impl(std::make_unique<Impl>()) {}

TTerminalCache::TTerminalCache(const std::string& fileName) : TTerminalCache()
{
    LoadFromFile(fileName);
}

TTerminalCache::~TTerminalCache() = default;
TTerminalCache::TTerminalCache(TTerminalCache&&) noexcept = default;
TTerminalCache& TTerminalCache::operator=(TTerminalCache&&) noexcept = default;

bool TTerminalCache::LoadFromFile(const std::string& fileName)
{
    m_impl->fileName = fileName;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        m_impl->clear();
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        m_impl->clear();
        return false;
    }
    m_impl->parse(bytes);
    return true;
}

bool TTerminalCache::Reload()
{
    const std::string name = m_impl->fileName;
    return LoadFromFile(name);
}

void TTerminalCache::LoadFromBytes(std::string_view bytes)
{
    m_impl->parse(bytes);
}

const std::string& TTerminalCache::FileName() const
{
    return m_impl->fileName;
}

bool TTerminalCache::SectionExists(std::string_view section) const
{
    return m_impl->find(section) != nullptr;
}

const std::string* TTerminalCache::Find(std::string_view section, std::string_view key) const
{
    const auto* s = m_impl->find(section);
    if (!s)
        return nullptr;
    const auto it = s->index.find(FoldName(key));
    return it == s->index.end() ? nullptr : &s->entries[it->second].value;
}

std::string TTerminalCache::ReadString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const
{
    const std::string* value = Find(section, key);
    return value ? *value : std::string(defaultValue);
}

std::vector<std::string> TTerminalCache::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const auto* s = m_impl->find(section)) {
        keys.reserve(s->entries.size());
        for (const auto& e : s->entries)
            keys.push_back(e.key);
    }
    return keys;
}

std::vector<std::string> TTerminalCache::ReadSections() const
{
    std::vector<std::string> names;
    names.reserve(m_impl->sections.size());
    for (const auto& s : m_impl->sections)
        names.push_back(s.name);
    return names;
}

} // namespace tallyhost

#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhost::testing {

// A fresh directory for one test, removed with its content afterwards.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tallyhost-core-XXXXXX").string();
        if (char* made = ::mkdtemp(pattern.data()))
            m_path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

// Counts the renames onto one file name: each atomic replacement of a file is exactly one
// rename of its temporary onto it, so one operation must show exactly one.
class FileReplacements
{
public:
    FileReplacements(const std::string& dir, std::string name) : m_name(std::move(name))
    {
        m_fd = ::inotify_init1(IN_NONBLOCK);
        // The kernel merges a queued event with an identical one right behind it; watching the
        // temporary's move as well keeps the replacements apart.
        ::inotify_add_watch(m_fd, dir.c_str(), IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~FileReplacements() { ::close(m_fd); }
    FileReplacements(const FileReplacements&) = delete;
    FileReplacements& operator=(const FileReplacements&) = delete;

    int Count()
    {
        int count = 0;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if ((e->mask & IN_MOVED_TO) && e->len > 0 && m_name == e->name)
                    ++count;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return count;
    }

private:
    int m_fd = -1;
    std::string m_name;
};

} // namespace tallyhost::testing

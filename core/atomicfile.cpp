#include "core/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"

// Saves leave a hidden temporary copy beside the file until the rename (see TempFileName).
// A writer killed before the rename leaves it behind; the next load or save of the file
// removes such copies when their writer is gone: its PID (in the name) no longer runs and
// no one holds the lock every writer keeps on its copy (a writer on another machine or in
// another PID namespace of a shared folder). Files of any other name are never touched.

namespace tallyhost {

namespace {

[[noreturn]] void refuse(const std::string& path)
{
    throw IniWriteError(path);
}

// The file a write to `path` really replaces: symbolic links are followed, so the operator's
// link keeps pointing at the (updated) file instead of being replaced by a plain copy.
std::string resolveTarget(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path p(path);
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        const auto st = fs::symlink_status(p, ec);
        if (ec || st.type() != fs::file_type::symlink)
            return p.string();
        fs::path target = fs::read_symlink(p, ec);
        if (ec)
            return p.string();
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The platform refuses to write a read-only file; so do we, even for a user (root) whom the
// file system would let through, since the operator marked the file read-only on purpose.
bool writable(const std::string& target)
{
    struct stat st
    {
    };
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        if ((st.st_mode & 0222) == 0)
            return false;
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    const std::string dir = directoryOf(target);
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool writeAll(int fd, std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// The temporary copy a save writes beside the file, in one place: "." + the file's name (its
// first 120 bytes, so that the name stays within the file system's limit however long the
// file's name is) + ".tmp" + the writer's PID + "_" + a counter + "_" + clock digits. Hidden,
// and named after its file, so that an operator who finds one knows where it came from.
struct TempFileName
{
    static std::string prefix(const std::string& target)
    {
        const auto slash = target.rfind('/');
        const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
        return "." + base.substr(0, 120) + ".tmp";
    }

    static std::string make(const std::string& target, pid_t pid, unsigned counter, long long clock)
    {
        return directoryOf(target) + "/" + prefix(target) + std::to_string(pid) + "_" +
               std::to_string(counter) + "_" + std::to_string(clock);
    }

    // The writer's PID when `entry` (a name in the file's directory) is one of the file's
    // temporary copies; 0 for any other name.
    static pid_t writerOf(std::string_view entry, std::string_view prefix)
    {
        if (!entry.starts_with(prefix))
            return 0;
        entry.remove_prefix(prefix.size());
        long long numbers[3] = {};
        for (int i = 0; i < 3; ++i) {
            std::size_t digits = 0;
            while (digits < entry.size() && digits < 18 && entry[digits] >= '0' &&
                   entry[digits] <= '9') {
                numbers[i] = numbers[i] * 10 + (entry[digits] - '0');
                ++digits;
            }
            if (digits == 0)
                return 0;
            entry.remove_prefix(digits);
            if (i < 2) {
                if (entry.empty() || entry.front() != '_')
                    return 0;
                entry.remove_prefix(1);
            }
        }
        if (!entry.empty() || numbers[0] <= 0 || numbers[0] > 0x7fffffff)
            return 0;
        return static_cast<pid_t>(numbers[0]);
    }
};

bool processRuns(pid_t pid)
{
    // EPERM: it runs under another user.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Removes one stale copy unless its writer still holds its lock.
bool removeIfUnlocked(int dirFd, const char* name)
{
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    bool removed = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd); // releases the lock
    return removed;
}

} // namespace

bool CanReplaceFile(const std::string& path)
{
    return writable(resolveTarget(path));
}

std::size_t RemoveStaleTempFiles(const std::string& path)
{
    const std::string target = resolveTarget(path);
    const std::string prefix = TempFileName::prefix(target);
    DIR* dir = ::opendir(directoryOf(target).c_str());
    if (!dir)
        return 0;
    const pid_t self = ::getpid();
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t writer = TempFileName::writerOf(entry->d_name, prefix);
        if (writer == 0 || writer == self || processRuns(writer))
            continue;
        if (removeIfUnlocked(::dirfd(dir), entry->d_name))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    const std::string target = resolveTarget(path);
    if (!writable(target))
        refuse(path);

    struct stat original
    {
    };
    const bool hadOriginal = ::stat(target.c_str(), &original) == 0;

    RemoveStaleTempFiles(target);

    const std::string dir = directoryOf(target);
    static std::atomic<unsigned> counter = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        temp = TempFileName::make(target, ::getpid(), ++counter, now % 1000000);
        // 0666 lets the umask decide a new file's permissions, like any other created file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        refuse(path);
    // Held until the copy is renamed or removed: it tells a cleaner that cannot see our PID
    // (another machine on a shared folder, another PID namespace) that the copy is in use.
    ::flock(fd, LOCK_EX | LOCK_NB);

    bool ok = true;
    if (hadOriginal) {
        ok = ::fchmod(fd, original.st_mode & 07777) == 0;
        // Keeping the owner only works for a privileged user; otherwise the file becomes ours,
        // as with any save.
        [[maybe_unused]] const int ignored = ::fchown(fd, original.st_uid, original.st_gid);
    }
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0)
        ok = false;
    if (!ok) {
        ::unlink(temp.c_str());
        refuse(path);
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace tallyhost

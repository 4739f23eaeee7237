#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallyhost {

// Replaces `path` with `bytes` atomically: a temporary file in the same directory, written,
// fsync'ed, given the original's permissions, then renamed over the original (through a
// symbolic link to its target). Refuses a file without write permission or whose directory
// cannot take the temporary file. Throws IniWriteError(path); the original stays untouched.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Removes the temporary copies that saves of `path` left behind when their writer died
// before the rename: only names of the save's own pattern for this file, only when the PID
// in the name no longer runs and no one holds the copy's lock. Loads and saves call it.
// Returns how many were removed; failures are silent (a read-only folder keeps them).
std::size_t RemoveStaleTempFiles(const std::string& path);

// False when WriteFileAtomically would refuse `path` for its permissions: a read-only or
// non-regular file, or a folder that cannot take the temporary copy.
bool CanReplaceFile(const std::string& path);

} // namespace tallyhost

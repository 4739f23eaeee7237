#pragma once

#include <stdexcept>
#include <string>

namespace tallyhost {

// Errors raised by the core's parsing and file writing. Each carries the exact text the
// operator is shown; only the GUI turns them into message boxes, the tools print them.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A text that had to be an integer (or a colour) and is not:
// "'<text>' is not a valid integer value". The load in progress stops there.
class ConvertError : public Error
{
public:
    using Error::Error;
    static ConvertError NotAnInteger(const std::string& text)
    {
        return ConvertError("'" + text + "' is not a valid integer value");
    }
};

// A profile-file write that the system refused: "Unable to write to <path>".
// The operation in progress ends there; nothing on disk is half-changed.
class IniWriteError : public Error
{
public:
    explicit IniWriteError(const std::string& path)
        : Error("Unable to write to " + path), m_path(path)
    {
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A key name the profile layer refuses to write because it could not be read back (it
// starts with ";", holds "=", or reads as a section heading): "'<name>' is not a valid key
// name". Nothing is written.
class IniKeyError : public Error
{
public:
    explicit IniKeyError(const std::string& name)
        : Error("'" + name + "' is not a valid key name"), m_name(name)
    {
    }
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};

} // namespace tallyhost

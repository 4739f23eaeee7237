#pragma once

// What the two raw link subcommands, host-send and aux-send, share: the frame of their
// command line (the device, --json, --help, the operands), the trace of the link's events
// printed as they happen, and the events' part of their JSON reports.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tallyhost::cli {

struct LinkSendOptions
{
    std::string Device;
    bool Json = false;
    std::vector<std::string> Operands;
};

// An option of one subcommand ("--baud"): Take gets its value and returns an empty text, or
// why the value is refused (printed after "tallyhost-cli <command>: "), with the usage when
// UsageOnError.
struct LinkOption
{
    const char* Name;
    std::function<std::string(const std::string& value)> Take;
    bool UsageOnError = true;
};

struct LinkCommandLine
{
    const char* Command; // "host-send"
    const char* Usage;
    std::vector<LinkOption> Options;
    // More operands than this are refused with `TooManyOperands` (0: no limit).
    std::size_t MaxOperands = 0;
    const char* TooManyOperands = "";
};

// Reads the arguments into `options`. Returns -1 to go on, else the exit status to end with
// (the usage printed for --help, 0; a refusal printed, 2). --device is required.
int ParseLinkSendOptions(int argc, char** argv, const LinkCommandLine& line,
                         LinkSendOptions& options);

// The link's events in order: without --json each is printed as it happens ("write" and
// "read" with their bytes in hexadecimal, the name padded to `nameWidth`); all are kept for
// the JSON report.
class LinkTrace
{
public:
    LinkTrace(bool json, int nameWidth) : m_json(json), m_nameWidth(nameWidth) {}

    void Note(const char* name, const std::string& bytes = {});
    // [{"event": "write", "hex": "02 41 03"}, {"event": "ack"}, ...]
    std::string EventsJson() const;

private:
    bool m_json;
    int m_nameWidth;
    std::vector<std::pair<std::string, std::string>> m_events; // name, bytes (write/read)
};

} // namespace tallyhost::cli

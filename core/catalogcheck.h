#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// The checks of `tallyhost-cli check`: everything in a terminal file that the program would
// refuse, show wrongly, or that cannot make sense, each reported at the line of the offending
// key. The checks read the file the way the program does (the profile layer for the tree and
// the editors, the cached reader for the definitions) and apply the same rules as the windows
// and editors (integer conversion, code tables, input filters, colours, comma text), so the
// check and the program cannot disagree.
//
// Severity: Error when the program refuses the value (a conversion error box), drops or
// misreads data, or an edit would corrupt another part of the file; Warning when the program
// works but the file looks unintended (an ignored line, a limit the editors would not allow).

enum class TCheckSeverity
{
    Error,
    Warning,
};

struct TCheckFinding
{
    int Line = 0; // 1-based; 0 when the finding is about something missing from the file
    std::string Section;
    std::string Key;
    TCheckSeverity Severity = TCheckSeverity::Error;
    std::string Message;

    bool operator==(const TCheckFinding&) const = default;
};

// "error" or "warning".
std::string_view SeverityName(TCheckSeverity severity);

// The findings for a terminal file's bytes, ordered by line.
std::vector<TCheckFinding> CheckTerminalBytes(std::string_view bytes);

// Reads and checks a file; false (and no findings) when it cannot be read: missing, a
// directory, no permission. Reading never changes anything on disk.
bool CheckTerminalFile(const std::string& path, std::vector<TCheckFinding>& findings);

} // namespace tallyhost

// tallyhost-cli check: reports what in a terminal file the program would refuse, show wrongly,
// or what cannot make sense, each finding at the line of the offending key.

#include <cstdio>
#include <string>
#include <vector>

#include "core/catalogcheck.h"
#include "session/script.h"
#include "session/scriptcheck.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"

using namespace tallyhost;
using namespace tallyhost::cli;

namespace {

constexpr int ExitClean = 0;
constexpr int ExitFindings = 1;
constexpr int ExitUnreadable = 2;

constexpr const char* CheckUsage =
    "usage: tallyhost-cli check FILE [--json]\n"
    "\n"
    "Checks a terminal file: structure (sections, keys, groups and commands), command and\n"
    "answer fields, status records and return codes. Each finding names its line, section and\n"
    "key, with a severity: error (the program refuses the value or misreads it) or warning (it\n"
    "works, but looks unintended).\n"
    "\n"
    "A test script (FILE.ths) is checked as 'tallyhost-cli run' checks it before sending: every\n"
    "line it does not understand, and the commands, fields, values and expectations its\n"
    "catalogue would refuse, each as FILE:LINE: error: message.\n"
    "\n"
    "  --json   print {\"findings\":[{\"line\":12,\"section\":...,\"key\":...,\n"
    "           \"severity\":\"error\",\"message\":...}]}\n"
    "\n"
    "exit status: 0 no findings, 1 findings, 2 the file cannot be read (or bad arguments)\n";

bool IsScript(const std::string& path)
{
    return path.size() > 4 && (path.compare(path.size() - 4, 4, ".ths") == 0 ||
                               path.compare(path.size() - 4, 4, ".THS") == 0);
}

// A script's refusals, "file:line: message", as findings of severity error.
int CheckScript(const std::string& path, bool json)
{
    const TScriptParse parse = LoadCheckedScript(path);
    if (parse.Refusals.size() == 1 && parse.Refusals.front() == path + ": cannot read") {
        std::fprintf(stderr, "tallyhost-cli check: cannot read %s\n", Readable(path).c_str());
        return ExitUnreadable;
    }
    const std::vector<std::string>& refusals = parse.Refusals;
    if (json) {
        std::string out = "{\"findings\":[";
        for (std::size_t i = 0; i < refusals.size(); ++i) {
            // "file:line: message": the line is the number after the file's name.
            const std::string& r = refusals[i];
            const std::size_t colon = r.find(':', path.size() + 1);
            const std::string line = r.substr(path.size() + 1, colon - path.size() - 1);
            out += i ? ",{" : "{";
            out += "\"line\":" + line;
            out += ",\"severity\":\"error\"";
            out += ",\"message\":" + JsonString(r.substr(colon + 2)) + "}";
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        for (const std::string& r : refusals) {
            const std::size_t colon = r.find(':', path.size() + 1);
            std::printf("%s: error: %s\n", Readable(r.substr(0, colon)).c_str(),
                        Readable(r.substr(colon + 2)).c_str());
        }
        if (!refusals.empty())
            std::printf("%zu finding%s\n", refusals.size(), refusals.size() == 1 ? "" : "s");
    }
    return refusals.empty() ? ExitClean : ExitFindings;
}

} // namespace

int RunCheck(int argc, char** argv)
{
    bool json = false;
    bool operandsOnly = false;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        switch (ClassifyArgument(argv[i], operandsOnly)) {
        case ArgumentKind::Help:
            std::fputs(CheckUsage, stdout);
            return ExitClean;
        case ArgumentKind::Json:
            json = true;
            break;
        case ArgumentKind::Operand:
            operands.emplace_back(argv[i]);
            break;
        case ArgumentKind::EndOfOptions:
            break;
        case ArgumentKind::Option:
            std::fprintf(stderr, "tallyhost-cli check: unknown option '%s'\n\n", argv[i]);
            std::fputs(CheckUsage, stderr);
            return ExitUnreadable;
        }
    }
    if (operands.size() != 1) {
        std::fputs(CheckUsage, stderr);
        return ExitUnreadable;
    }
    const std::string& path = operands.front();
    if (IsScript(path))
        return CheckScript(path, json);
    std::vector<TCheckFinding> findings;
    if (!CheckTerminalFile(path, findings)) {
        std::fprintf(stderr, "tallyhost-cli check: cannot read %s\n", Readable(path).c_str());
        return ExitUnreadable;
    }

    if (json) {
        std::string out = "{\"findings\":[";
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const TCheckFinding& f = findings[i];
            out += i ? ",{" : "{";
            out += "\"line\":" + std::to_string(f.Line);
            out += ",\"section\":" + JsonString(f.Section);
            out += ",\"key\":" + JsonString(f.Key);
            out += ",\"severity\":" + JsonString(SeverityName(f.Severity));
            out += ",\"message\":" + JsonString(f.Message) + "}";
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        // One line per finding, as compilers write them, so editors can jump to the line.
        for (const TCheckFinding& f : findings) {
            std::string where = f.Section.empty() ? std::string() : "[" + f.Section + "]";
            if (!f.Key.empty())
                where += (where.empty() ? "" : " ") + f.Key;
            std::printf("%s:%d: %s: %s%s%s\n", Readable(path).c_str(), f.Line,
                        std::string(SeverityName(f.Severity)).c_str(), Readable(where).c_str(),
                        where.empty() ? "" : ": ", Readable(f.Message).c_str());
        }
        if (!findings.empty())
            std::printf("%zu finding%s\n", findings.size(), findings.size() == 1 ? "" : "s");
    }
    return findings.empty() ? ExitClean : ExitFindings;
}

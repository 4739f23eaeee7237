#include "tools/cli/linksend.h"

#include "tools/cli/cliutil.h"

#include "core/logformat.h"

#include <cstdio>

namespace tallyhost::cli {

int ParseLinkSendOptions(int argc, char** argv, const LinkCommandLine& line,
                         LinkSendOptions& options)
{
    constexpr int Refused = 2;
    auto bad = [&](const std::string& why, bool usage = true) {
        std::fprintf(stderr, "tallyhost-cli %s: %s\n%s", line.Command, why.c_str(),
                     usage ? line.Usage : "");
        return Refused;
    };
    bool operandsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        switch (ClassifyArgument(arg, operandsOnly)) {
        case ArgumentKind::Operand:
            if (line.MaxOperands > 0 && options.Operands.size() == line.MaxOperands)
                return bad(line.TooManyOperands);
            options.Operands.push_back(arg);
            continue;
        case ArgumentKind::EndOfOptions:
            continue;
        case ArgumentKind::Help:
            std::fputs(line.Usage, stdout);
            return 0;
        case ArgumentKind::Json:
            options.Json = true;
            continue;
        case ArgumentKind::Option:
            break;
        }
        std::string value;
        bool missing = false;
        if (TakeOption(argc, argv, i, "--device", value, missing) && !missing) {
            options.Device = value;
            continue;
        }
        bool taken = false;
        for (const LinkOption& option : line.Options) {
            if (missing || !TakeOption(argc, argv, i, option.Name, value, missing) || missing)
                continue;
            if (const std::string why = option.Take(value); !why.empty())
                return bad(why, option.UsageOnError);
            taken = true;
            break;
        }
        if (!taken)
            return bad(std::string(missing ? "missing value for" : "unknown option") + " '" + arg +
                       "'");
    }
    if (options.Device.empty())
        return bad("--device is required");
    return -1;
}

void LinkTrace::Note(const char* name, const std::string& bytes)
{
    m_events.emplace_back(name, bytes);
    if (m_json)
        return;
    if (bytes.empty())
        std::printf("%s\n", name);
    else
        std::printf("%-*s %s\n", m_nameWidth, name, HexText(bytes).c_str());
    std::fflush(stdout);
}

std::string LinkTrace::EventsJson() const
{
    std::string json = "[";
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        const auto& [name, bytes] = m_events[i];
        json += i ? ", " : "";
        json += "{\"event\": " + JsonString(name);
        if (name == "write" || name == "read")
            json += ", \"hex\": " + JsonString(HexText(bytes));
        json += "}";
    }
    return json + "]";
}

} // namespace tallyhost::cli

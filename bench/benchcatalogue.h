#pragma once

// The large catalogue of the terminal-file and script benchmarks: `groups` groups of 20
// commands, each with eight command fields, four answer fields and a combo list (500 groups:
// 10,000 commands, about 5 MB).

#include "core/template.h"
#include "core/termfile.h"

#include <string>

namespace tallyhost::bench {

inline constexpr int CommandsPerGroup = 20;

inline std::string groupName(int g)
{
    return "Group" + std::to_string(g);
}

inline std::string commandName(int c)
{
    return "Command" + std::to_string(c);
}

inline std::string makeCatalogue(int groups)
{
    std::string text(DefaultTemplateText());
    // Groups are listed in [Groups], which the template leaves empty at the end of the file.
    text.resize(text.size() - 12); // drop the template's six trailing empty lines
    for (int g = 0; g < groups; ++g)
        text += groupName(g) + "=\r\n";
    text += "\r\n";
    for (int g = 0; g < groups; ++g) {
        text += "[" + groupName(g) + "]\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            text += commandName(c) + "=\r\n";
        text += "\r\n";
    }
    for (int g = 0; g < groups; ++g) {
        for (int c = 0; c < CommandsPerGroup; ++c) {
            text += "[" + CommandSectionName(groupName(g), commandName(c)) + "]\r\nCommands=";
            for (int f = 0; f < 8; ++f) {
                text += (f ? "," : "") + std::string("0,\"&Field ") + std::to_string(f) +
                        "\",\"Value of the field\"," + std::to_string(f % 8) + ",\"0\"," +
                        (f == 1 ? "1" : "0") + ",12,1,0,0,2,0";
            }
            text += "\r\nAnswers=\"Total\",2,2,\"Date\",8,0,\"Counter\",3,0,\"Status\",5,0\r\n";
            text += "CL2=\"First,Second,\"\"Third item\"\"\"\r\n\r\n";
        }
    }
    return text;
}

} // namespace tallyhost::bench

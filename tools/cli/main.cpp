#include "tools/cli/commands.h"

#include "core/version.h"

#include <cstdio>
#include <cstring>

namespace {

struct Subcommand
{
    const char* Name;
    int (*Run)(int argc, char** argv);
    const char* Summary;
};

// Keep in the order the help lists them.
constexpr Subcommand Subcommands[] = {
    {"host-send", RunHostSend, "send one command on the host port and print the exchange"},
    {"aux-send", RunAuxSend, "send one text on the fiscal (DGI) port and print its answers"},
    {"send", RunSend, "send a command of a terminal file and print its decoded answer"},
    {"show", RunShow, "list the commands of a terminal file or one command's definition"},
    {"fields", RunFields, "list, add, modify or remove the command or answer fields of a command"},
    {"status", RunStatus, "list, add, modify or remove status records; test two status words"},
    {"rc", RunRc, "list, add, modify or remove return code descriptions"},
    {"check", RunCheck, "report what in a terminal file or test script would be refused"},
    {"run", RunRun, "run test scripts against a printer; JUnit and JSON reports"},
    {"log", RunLog, "print a log file with every frame decoded"},
};

void PrintUsage(std::FILE* out)
{
    std::fprintf(out, "usage: tallyhost-cli <command> [options]\n\ncommands:\n");
    for (const auto& command : Subcommands)
        std::fprintf(out, "  %-12s %s\n", command.Name, command.Summary);
    std::fprintf(out, "\n'tallyhost-cli <command> --help' describes a command;\n"
                      "'tallyhost-cli --version' shows the version.\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintUsage(stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("tallyhost-cli %s\n", tallyhost::VersionString("FileVersion").c_str());
        return 0;
    }
    for (const auto& command : Subcommands) {
        if (!std::strcmp(argv[1], command.Name))
            return command.Run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "tallyhost-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}

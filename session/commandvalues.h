#pragma once

// A catalogue command and the values an operator gives it by name, headless: how
// `tallyhost-cli send NAME=VALUE` and test scripts find a command in a terminal file and which
// field a name means. The values are then typed into the fields by FillRequestInputs
// (session/request.h), so every headless driver has the same typing rules and refusals.

#include "session/request.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyhost {

class TTerminalCache;

// The three per-file settings that shape frames and answers.
struct FileSettings
{
    int Protocol = 0;
    int InputDateFormat = 0;
    int OutputDateFormat = 0;
};

FileSettings ReadFileSettings(const std::string& path);

// The command tree of a catalogue, read once (as the terminal window lists it), to look up
// many commands by name: a script's check and run look up every command they send, and a
// large catalogue costs tens of milliseconds to read.
class TCommandTree
{
public:
    explicit TCommandTree(const std::string& path);

    // The group and command as the file spells them, when the tree has them (names compare
    // without regard to case, as section names do; the first of equal names counts).
    std::optional<std::pair<std::string, std::string>> Find(std::string_view group,
                                                            std::string_view command) const;

private:
    std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> m_names;
};

// The same for one look-up in the file at `path`.
std::optional<std::pair<std::string, std::string>>
FindCommand(const std::string& path, std::string_view group, std::string_view command);

// Loads the definition of group/command into `request`; an error text when the catalogue has
// no such command or its definition is broken. `cache` holds the catalogue's definitions.
std::string LoadNamedCommand(const TCommandTree& tree, const TTerminalCache& cache,
                             std::string_view group, std::string_view command,
                             ExchangeRequest& request);
// The same, reading the tree of the file at `path` for this one command.
std::string LoadNamedCommand(const std::string& path, const TTerminalCache& cache,
                             std::string_view group, std::string_view command,
                             ExchangeRequest& request);

// A value given by name: NAME is the field's caption without "&" (exact first, then without
// regard to case) or its 1-based number.
using NamedValue = std::pair<std::string, std::string>;

// The index of the field NAME names, or -1.
int FindField(const TCommandDefinition& def, std::string_view name);

// Fills every input of a loaded request from the named values (the others show what the
// window shows at first); an error text naming the field when a name is unknown or a value
// would be refused (FillRequestInputs).
std::string FillNamedInputs(const std::vector<NamedValue>& values, const TTerminalCache& cache,
                            ExchangeRequest& request);

} // namespace tallyhost

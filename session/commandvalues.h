#pragma once

// A catalogue command and the values an operator gives it by name, headless: how
// `tallyhost-cli send NAME=VALUE` and test scripts find a command in a terminal file and which
// field a name means. The values are then typed into the fields by FillRequestInputs
// (session/request.h), so every headless driver has the same typing rules and refusals.

#include "session/request.h"

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

// The group and command as the file spells them, when its tree has them (names compare
// without regard to case, as section names do).
std::optional<std::pair<std::string, std::string>>
FindCommand(const std::string& path, std::string_view group, std::string_view command);

// Loads the definition of group/command into `request`; an error text when the file has no
// such command or its definition is broken.
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
// would be refused (FillRequestInputs). With `refusals`, every name and value is judged and
// each refusal appended, in field order after the unknown names.
std::string FillNamedInputs(const std::vector<NamedValue>& values, const TTerminalCache& cache,
                            ExchangeRequest& request, std::vector<std::string>* refusals = nullptr);

} // namespace tallyhost

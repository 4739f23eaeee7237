#pragma once

// A catalogue command and the values an operator gives it by name, headless: how
// `tallyhost-cli send NAME=VALUE` and test scripts find a command in a terminal file, take
// each value as the window's box would take it typed, and turn the inputs into the fields of
// the frame. One set of typing rules and refusals for every headless driver.

#include "core/fieldconvert.h"
#include "core/termdefs.h"

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

struct LoadedCommand
{
    std::string Section;
    TCommandDefinition Definition;
};

// Loads the command fields and answer fields of group/command; an error text when that fails.
std::string LoadCommand(const std::string& path, const TTerminalCache& cache,
                        std::string_view group, std::string_view command, LoadedCommand& out);

// A value given by name: NAME is the field's caption without "&" (exact first, then without
// regard to case) or its 1-based number.
using NamedValue = std::pair<std::string, std::string>;

// The index of the field NAME names, or -1.
int FindField(const TCommandDefinition& def, std::string_view name);

// The inputs of every command field: what the window shows at first, replaced by the named
// values, each taken as the window's box takes typed keys (dates YYYY-MM-DD or "today", times
// HH:MM[:SS] or "now"). An error text naming the field when a value would be refused: unknown
// field, read only, a key the box drops, too long, required and empty, not an item of a
// choice-only list, not a date or time.
std::string CollectInputs(const std::vector<NamedValue>& values, const TTerminalCache& cache,
                          const std::string& section, const TCommandDefinition& def,
                          std::vector<FieldInput>& inputs);

// Every field's bytes for run `run` (0 = a plain send, no autoincrement); an error text when
// one is refused.
std::string FrameFields(const TCommandDefinition& def, const std::vector<FieldInput>& inputs,
                        int inputDateFormat, int run, std::vector<std::string>& fields);

} // namespace tallyhost

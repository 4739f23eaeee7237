#pragma once

#include "core/fieldconvert.h"
#include "core/termdefs.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

// The values an operator typed into the command panels of the open file, kept per command
// section so that selecting another command and coming back finds them again. (The
// autoincrement of a Repeat numbers its runs from 1 each time; that is the engine's.)
//
// Nothing here is written to the file: the store lives while the file is open, and the window
// clears it when the file's definitions are read again. Kept values come back only while the
// command's fields still have the same control and text types, so a definition changed
// meanwhile (a paste over the command) starts from its defaults.
class TPanelValues
{
public:
    // Keeps `values` (one per field of `definition`, in field order) for `section`.
    void Keep(const std::string& section, const TCommandDefinition& definition,
              std::vector<FieldInput> values);
    // The values kept for `section` when they fit `definition`; nothing otherwise.
    std::optional<std::vector<FieldInput>> Kept(const std::string& section,
                                                const TCommandDefinition& definition) const;

    // Back to the defaults for one command: its values are forgotten.
    void Reset(const std::string& section);
    // Everything forgotten (the file's definitions were read again).
    void Clear() { m_entries.clear(); }

private:
    struct Entry
    {
        std::vector<std::pair<int, int>> Shape; // control type and text type per field
        std::optional<std::vector<FieldInput>> Values;
    };
    static std::vector<std::pair<int, int>> ShapeOf(const TCommandDefinition& definition);

    std::map<std::string, Entry> m_entries;
};

} // namespace tallyhost

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// The file side of the command tree: reading the groups and commands of a terminal file and
// every tree edit (add, rename, remove, copy). Each edit is one atomic replacement of the
// file, with exactly the content its sequence of profile writes gives, so an edit that fails
// halfway (a read-only file raises IniWriteError) leaves the file as it was.
//
// A group is a key of [Groups] and a section of its own listing its commands; a command's
// definitions live in the section named by the group name followed directly by the command
// name. Because nothing separates the two parts, a new name is refused whenever one of the
// sections it would write already holds other data (group "Fiscal" + command "Answer" would
// write into [FiscalAnswer]). Files that already share a section keep working: the check only
// guards new names.

inline constexpr const char* GroupsSection = "Groups";
// Longest name the tree accepts for a group or a command.
inline constexpr int MaxNodeNameLength = 25;

struct TTreeGroup
{
    std::string Name;
    std::vector<std::string> Commands;
};

// The groups in [Groups] order, each with its commands in the order of its section. A
// missing file gives no groups.
std::vector<TTreeGroup> ReadCommandTree(const std::string& path);

// Why a typed name cannot be stored as a key and a section name, or nullopt when it can.
// Such names would not read back as written ("a=b" reads as the key "a", a leading ";"
// makes the line a comment, "[" and "]" confuse section lines, control characters and
// surrounding blanks are lost or split lines). The caller trims surrounding blanks first.
std::optional<std::string> NameProblem(std::string_view name);

// Outcome of an edit that creates a name.
enum class TEditResult
{
    Done,
    Exists, // the name is taken, reserved, or one of its sections already holds other data
};

bool GroupExists(const std::string& path, const std::string& group);
bool CommandExists(const std::string& path, const std::string& group, const std::string& command);
// Whether `group` + `command` is free for a new command of that group: the group does not
// have it and its section holds no other data.
bool CommandSectionFree(const std::string& path, const std::string& group,
                        const std::string& command);

TEditResult AddGroup(const std::string& path, const std::string& group);
// Moves every command section to the new name, erases the old sections and re-adds the key at
// the end of [Groups] (so the group is listed last the next time the file is read).
TEditResult RenameGroup(const std::string& path, const std::string& oldName,
                        const std::string& newName);
void RemoveGroup(const std::string& path, const std::string& group);

// Adds the key and a command section with empty Commands and Answers.
TEditResult AddCommand(const std::string& path, const std::string& group,
                       const std::string& command);
TEditResult RenameCommand(const std::string& path, const std::string& group,
                          const std::string& oldName, const std::string& newName);
void RemoveCommand(const std::string& path, const std::string& group, const std::string& command);

// The commands of `group`, in the order of its section.
std::vector<std::string> GroupCommands(const std::string& path, const std::string& group);

// Copies group `source` under the first free name source1, source2 ... (a name whose
// sections all are free) with all its commands, and returns the new group.
TTreeGroup PasteGroupToRoot(const std::string& path, const std::string& source);

// Writes `command` into `group` and copies the section `sourceSection` onto the command's
// section (keys the source lacks stay as they are). Used for a pasted command, and for each
// command of a merged group. Returns false when `command` is new to the group and its section
// already holds other data; nothing is written then.
bool PasteCommand(const std::string& path, const std::string& group, const std::string& command,
                  const std::string& sourceSection);

// Paste and drop by tree levels (0 root, 1 group, 2 command) of target and source.
enum class TPasteAction
{
    None,
    GroupToRoot,          // PasteGroupToRoot(source)
    MergeGroup,           // every command of the source group into the target group
    CommandToGroup,       // PasteCommand(target, source)
    CommandToParentGroup, // PasteCommand(parent of target, source)
};
TPasteAction PasteActionFor(int targetLevel, int sourceLevel);

// Enabling of the tree's popup menu, computed when it opens. nullopt = left as it was.
struct TPopupMenuState
{
    bool Copy = false;
    bool Paste = false;
    bool ClearCopied = false;
    bool GroupMenu = false;
    std::optional<bool> GroupRename;
    std::optional<bool> GroupRemove;
    bool CommandMenu = false;
    std::optional<bool> CommandRename;
    std::optional<bool> CommandRemove;
    bool EditFields = false;
};
// `selectedLevel` -1 when nothing is selected; `copySourceLevel` -1 when there is no source.
TPopupMenuState PopupMenuStateFor(int selectedLevel, bool copied, int copySourceLevel);

} // namespace tallyhost

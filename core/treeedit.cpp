#include "core/treeedit.h"

#include "core/profile.h"
#include "core/termfile.h"

namespace tallyhost {

namespace {

// Whether a section of this name would meet data that is already there: a fixed section, an
// existing section, or a group (whose section may not exist yet while it has no commands).
bool SectionTaken(const TExtIniFile& ini, const std::string& name)
{
    return !IsFreeSectionName(name) || ini.SectionExists(name) ||
           ini.ValueExists(SectionGroups, name);
}

// A group name may be used when it is not listed, not reserved, its section is free and so
// is the section of each of the commands it will hold.
bool GroupNameFree(const TExtIniFile& ini, const std::string& group,
                   const std::vector<std::string>& commands)
{
    if (ini.ValueExists(SectionGroups, group) || SectionTaken(ini, group))
        return false;
    for (const std::string& c : commands) {
        if (SectionTaken(ini, CommandSectionName(group, c)))
            return false;
    }
    return true;
}

} // namespace

std::vector<TTreeGroup> ReadCommandTree(const std::string& path)
{
    TExtIniFile ini(path);
    std::vector<TTreeGroup> tree;
    // Every key is listed: a tree that silently drops groups or commands past a listing limit
    // would make them unreachable, although renames and removals still act on them.
    for (std::string& group : ini.ReadSectionAll(SectionGroups)) {
        TTreeGroup g;
        g.Commands = ini.ReadSectionAll(group);
        g.Name = std::move(group);
        tree.push_back(std::move(g));
    }
    return tree;
}

std::optional<std::string> NameProblem(std::string_view name)
{
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (name.empty())
        return "A name cannot be empty";
    if (name.front() == ' ' || name.back() == ' ')
        return "The name " + quoted + " cannot begin or end with a blank";
    if (name.front() == ';')
        return "The name " + quoted + " cannot begin with \";\"";
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            return "The name " + quoted + " cannot hold control characters";
        if (ch == '[' || ch == ']' || ch == '=')
            return "The name " + quoted + " cannot hold \"[\", \"]\" or \"=\"";
    }
    return std::nullopt;
}

bool GroupExists(const std::string& path, const std::string& group)
{
    return TExtIniFile(path).ValueExists(SectionGroups, group);
}

bool CommandExists(const std::string& path, const std::string& group, const std::string& command)
{
    return TExtIniFile(path).ValueExists(group, command);
}

bool CommandSectionFree(const std::string& path, const std::string& group,
                        const std::string& command)
{
    TExtIniFile ini(path);
    return !ini.ValueExists(group, command) &&
           !SectionTaken(ini, CommandSectionName(group, command));
}

std::vector<std::string> GroupCommands(const std::string& path, const std::string& group)
{
    return TExtIniFile(path).ReadSectionAll(group);
}

TEditResult AddGroup(const std::string& path, const std::string& group)
{
    TExtIniFile ini(path);
    if (!GroupNameFree(ini, group, {}))
        return TEditResult::Exists;
    ini.WriteString(SectionGroups, group, "");
    return TEditResult::Done;
}

TEditResult RenameGroup(const std::string& path, const std::string& oldName,
                        const std::string& newName)
{
    TExtIniFile ini(path);
    const std::vector<std::string> commands = ini.ReadSectionAll(oldName);
    if (!GroupNameFree(ini, newName, commands))
        return TEditResult::Exists;
    TIniTransaction tx(ini);
    for (const std::string& c : commands) {
        const std::string from = CommandSectionName(oldName, c);
        ini.WriteString(newName, c, "");
        CopyCommandSection(ini, from, CommandSectionName(newName, c));
        ini.EraseSection(from);
    }
    ini.EraseSection(oldName);
    ini.DeleteKey(SectionGroups, oldName);
    ini.WriteString(SectionGroups, newName, "");
    tx.Commit();
    return TEditResult::Done;
}

void RemoveGroup(const std::string& path, const std::string& group)
{
    TExtIniFile ini(path);
    const std::vector<std::string> commands = ini.ReadSectionAll(group);
    TIniTransaction tx(ini);
    for (const std::string& c : commands)
        ini.EraseSection(CommandSectionName(group, c));
    ini.EraseSection(group);
    ini.DeleteKey(SectionGroups, group);
    tx.Commit();
}

TEditResult AddCommand(const std::string& path, const std::string& group,
                       const std::string& command)
{
    TExtIniFile ini(path);
    const std::string section = CommandSectionName(group, command);
    if (ini.ValueExists(group, command) || SectionTaken(ini, section))
        return TEditResult::Exists;
    TIniTransaction tx(ini);
    ini.WriteString(group, command, "");
    ini.WriteString(section, KeyCommands, "");
    ini.WriteString(section, KeyAnswers, "");
    tx.Commit();
    return TEditResult::Done;
}

TEditResult RenameCommand(const std::string& path, const std::string& group,
                          const std::string& oldName, const std::string& newName)
{
    TExtIniFile ini(path);
    const std::string to = CommandSectionName(group, newName);
    if (ini.ValueExists(group, newName) || SectionTaken(ini, to))
        return TEditResult::Exists;
    const std::string from = CommandSectionName(group, oldName);
    TIniTransaction tx(ini);
    ini.WriteString(group, newName, "");
    CopyCommandSection(ini, from, to);
    ini.EraseSection(from);
    ini.DeleteKey(group, oldName);
    tx.Commit();
    return TEditResult::Done;
}

void RemoveCommand(const std::string& path, const std::string& group, const std::string& command)
{
    TExtIniFile ini(path);
    TIniTransaction tx(ini);
    ini.EraseSection(CommandSectionName(group, command));
    ini.DeleteKey(group, command);
    tx.Commit();
}

TTreeGroup PasteGroupToRoot(const std::string& path, const std::string& source)
{
    TExtIniFile ini(path);
    TTreeGroup copy;
    copy.Commands = ini.ReadSectionAll(source);
    for (unsigned n = 1;; ++n) {
        copy.Name = source + std::to_string(n);
        if (GroupNameFree(ini, copy.Name, copy.Commands))
            break;
    }
    TIniTransaction tx(ini);
    ini.WriteString(SectionGroups, copy.Name, "");
    for (const std::string& c : copy.Commands) {
        ini.WriteString(copy.Name, c, "");
        CopyCommandSection(ini, CommandSectionName(source, c), CommandSectionName(copy.Name, c));
    }
    tx.Commit();
    return copy;
}

bool PasteCommand(const std::string& path, const std::string& group, const std::string& command,
                  const std::string& sourceSection)
{
    TExtIniFile ini(path);
    const std::string section = CommandSectionName(group, command);
    if (!ini.ValueExists(group, command) && SectionTaken(ini, section))
        return false;
    TIniTransaction tx(ini);
    ini.WriteString(group, command, "");
    CopyCommandSection(ini, sourceSection, section);
    tx.Commit();
    return true;
}

TPasteAction PasteActionFor(int targetLevel, int sourceLevel)
{
    if (sourceLevel == 1 && targetLevel == 0)
        return TPasteAction::GroupToRoot;
    if (sourceLevel == 1 && targetLevel == 1)
        return TPasteAction::MergeGroup;
    if (sourceLevel == 2 && targetLevel == 1)
        return TPasteAction::CommandToGroup;
    if (sourceLevel == 2 && targetLevel == 2)
        return TPasteAction::CommandToParentGroup;
    return TPasteAction::None;
}

TPopupMenuState PopupMenuStateFor(int selectedLevel, bool copied, int copySourceLevel)
{
    TPopupMenuState s;
    switch (selectedLevel) {
    case 0: // root
        s.Paste = copied && copySourceLevel != 2;
        s.GroupMenu = true;
        s.GroupRename = false;
        s.GroupRemove = false;
        break;
    case 1: // group
        s.Copy = true;
        s.Paste = copied;
        s.GroupMenu = true;
        s.GroupRename = true;
        s.GroupRemove = true;
        s.CommandMenu = true;
        s.CommandRename = false;
        s.CommandRemove = false;
        break;
    case 2: // command
        s.Copy = true;
        s.Paste = copied;
        s.CommandMenu = true;
        s.CommandRename = true;
        s.CommandRemove = true;
        s.EditFields = true;
        break;
    default: // nothing selected: the copy is forgotten
        s.ClearCopied = true;
        s.GroupMenu = true;
        break;
    }
    return s;
}

} // namespace tallyhost

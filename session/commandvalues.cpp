#include "session/commandvalues.h"

#include "core/fieldconvert.h"
#include "core/profile.h"
#include "core/termfile.h"
#include "core/treeedit.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace tallyhost {

namespace {

// A name folded as a case-insensitive comparison folds it.
std::string FoldedName(std::string_view name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
        .toCaseFolded()
        .toStdString();
}

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return QString::compare(QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size())),
                            QString::fromLatin1(b.data(), static_cast<qsizetype>(b.size())),
                            Qt::CaseInsensitive) == 0;
}

std::optional<int> ParseNumber(std::string_view text)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

FileSettings ReadFileSettings(const std::string& path)
{
    const TExtIniFile ini(path);
    auto byte = [&](std::string_view key) {
        return static_cast<int>(static_cast<std::uint8_t>(ini.ReadInteger(SectionGeneral, key, 0)));
    };
    return {byte(KeyProtocol), byte(KeyInputDateFormat), byte(KeyOutputDateFormat)};
}

TCommandTree::TCommandTree(const std::string& path)
{
    for (const TTreeGroup& g : ReadCommandTree(path)) {
        const std::string folded = FoldedName(g.Name);
        for (const std::string& c : g.Commands)
            m_names.emplace(std::make_pair(folded, FoldedName(c)), std::make_pair(g.Name, c));
    }
}

std::optional<std::pair<std::string, std::string>>
TCommandTree::Find(std::string_view group, std::string_view command) const
{
    const auto it = m_names.find(std::make_pair(FoldedName(group), FoldedName(command)));
    if (it == m_names.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::pair<std::string, std::string>>
FindCommand(const std::string& path, std::string_view group, std::string_view command)
{
    return TCommandTree(path).Find(group, command);
}

std::string LoadNamedCommand(const std::string& path, const TTerminalCache& cache,
                             std::string_view group, std::string_view command,
                             ExchangeRequest& request)
{
    return LoadNamedCommand(TCommandTree(path), cache, group, command, request);
}

std::string LoadNamedCommand(const TCommandTree& tree, const TTerminalCache& cache,
                             std::string_view group, std::string_view command,
                             ExchangeRequest& request)
{
    const auto names = tree.Find(group, command);
    if (!names)
        return "the file has no command '" + std::string(command) + "' in group '" +
               std::string(group) + "'";
    return LoadExchangeRequest(cache, CommandSectionName(names->first, names->second), request);
}

int FindField(const TCommandDefinition& def, std::string_view name)
{
    const int count = std::clamp(def.FieldCount, 0, MaxFields);
    if (const auto n = ParseNumber(name); n && *n >= 1 && *n <= count)
        return *n - 1;
    for (int i = 0; i < count; ++i) {
        if (CaptionWithoutAccelerator(def.Fields[i].Caption) == name)
            return i;
    }
    for (int i = 0; i < count; ++i) {
        if (SameTextNoCase(CaptionWithoutAccelerator(def.Fields[i].Caption), name))
            return i;
    }
    return -1;
}

std::string FillNamedInputs(const std::vector<NamedValue>& values, const TTerminalCache& cache,
                            ExchangeRequest& request)
{
    const TCommandDefinition& def = request.Definition;
    std::vector<std::optional<std::string>> given(
        static_cast<std::size_t>(std::clamp(def.FieldCount, 0, MaxFields)));
    for (const auto& [name, value] : values) {
        const int index = FindField(def, name);
        if (index < 0)
            return "the command has no field '" + name + "'";
        given[static_cast<std::size_t>(index)] = value;
    }
    return FillRequestInputs(cache, request, given);
}

} // namespace tallyhost

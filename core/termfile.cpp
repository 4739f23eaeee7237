#include "core/termfile.h"

#include <algorithm>
#include <cstdint>

#include "core/colors.h"
#include "core/commatext.h"
#include "core/profile.h"
#include "core/strtoint.h"
#include "core/termcache.h"

namespace tallyhost {

namespace {

// Item i of a split list, empty when the list is shorter (a truncated hand-written record then
// fails with a conversion error instead of reading past the list).
const std::string& itemAt(const std::vector<std::string>& items, std::size_t i)
{
    static const std::string empty;
    return i < items.size() ? items[i] : empty;
}

std::uint8_t byteOf(std::int32_t value)
{
    // Codes are bytes in the records; larger numbers keep their low byte, as the records of
    // the file's original program did. Downstream code treats unknown codes as unknown.
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

// Strips the first and the last character, as the cached CL and Notes values are read.
std::string_view innerText(std::string_view value)
{
    if (value.size() <= 2)
        return {};
    return value.substr(1, value.size() - 2);
}

} // namespace

std::string CommandSectionName(std::string_view group, std::string_view command)
{
    std::string name;
    name.reserve(group.size() + command.size());
    name += group;
    name += command;
    return name;
}

bool IsFreeSectionName(std::string_view name)
{
    // "Return codes" is where the return-code texts live: a group of that name would have its
    // command list erased by the return code editor, so it is reserved along with the
    // template's singular "Return code". The profile functions trim names, so " Groups " would
    // land in [Groups] too.
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
    };
    while (!name.empty() && blank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && blank(name.back()))
        name.remove_suffix(1);
    for (const std::string_view reserved :
         {SectionGeneral, SectionReturnCodeTemplate, SectionReturnCodes, SectionFiscalAnswer,
          SectionPrinterAnswer, SectionGroups}) {
        if (SameName(name, reserved))
            return false;
    }
    return true;
}

void LoadCommandFields(const TTerminalCache& cache, std::string_view section,
                       TCommandDefinition& definition)
{
    const std::vector<std::string> items = SplitCommaText(cache.ReadString(section, KeyCommands));
    // Fields past the 70th of a hand-written list are ignored (not even converted).
    const int count =
        static_cast<int>(std::min<std::size_t>(items.size() / CommandValuesPerField, MaxFields));

    std::array<TCommandFieldDef, MaxFields> fields{};
    // A command without fields is a host command; the mode is never left from the previous one.
    std::uint8_t mode = cmHost;
    if (count > 0)
        mode = byteOf(StrToInt(items[0]));
    for (int i = 0; i < count; ++i) {
        const std::size_t b = static_cast<std::size_t>(i) * CommandValuesPerField;
        TCommandFieldDef& f = fields[static_cast<std::size_t>(i)];
        f.Caption = items[b + 1];
        f.Hint = items[b + 2];
        f.TextType = byteOf(StrToInt(items[b + 3]));
        f.DefaultText = items[b + 4];
        f.ControlType = byteOf(StrToInt(items[b + 5]));
        f.MaxLength = StrToIntDef(items[b + 6], 0);
        f.Required = StrToInt(items[b + 7]) != 0;
        f.ReadOnly = StrToInt(items[b + 8]) != 0;
        f.MinLength = StrToIntDef(items[b + 9], 0);
        f.DecimalDigits = StrToIntDef(items[b + 10], 0);
        f.AutoIncrement = StrToIntDef(items[b + 11], 0) != 0;
    }
    definition.Fields = std::move(fields);
    definition.FieldCount = count;
    definition.Mode = mode;
}

void LoadAnswerFields(const TTerminalCache& cache, std::string_view section,
                      TCommandDefinition& definition)
{
    const std::vector<std::string> items = SplitCommaText(cache.ReadString(section, KeyAnswers));
    const int count =
        static_cast<int>(std::min<std::size_t>(items.size() / AnswerValuesPerField, MaxFields));

    std::array<TAnswerFieldDef, MaxFields> answers{};
    for (int i = 0; i < count; ++i) {
        const std::size_t b = static_cast<std::size_t>(i) * AnswerValuesPerField;
        TAnswerFieldDef& a = answers[static_cast<std::size_t>(i)];
        a.Caption = items[b];
        a.TextType = byteOf(StrToInt(items[b + 1]));
        a.DecimalDigits = StrToIntDef(items[b + 2], 0);
    }
    definition.Answers = std::move(answers);
    definition.AnswerCount = count;
}

void LoadStatusRecords(const TTerminalCache& cache, std::string_view section, TStatusTable& table)
{
    TStatusTable loaded;
    for (const std::string& key : cache.ReadSection(section)) {
        // The table holds 70 records; later ones are ignored, unread.
        if (loaded.RecordCount >= MaxFields)
            break;
        const std::string* value = cache.Find(section, key);
        const std::vector<std::string> items = SplitCommaText(value ? *value : std::string());
        TStatusRecord record;
        record.Panel = StrToInt(itemAt(items, 1));
        record.Mask = StrToInt("0x" + itemAt(items, 2));
        record.Result = StrToInt("0x" + itemAt(items, 3));
        record.Text = itemAt(items, 4);
        record.Color = StringToColor(itemAt(items, 5));
        // A panel outside 1..MaxStatusPanels has nowhere to show its text.
        if (record.Panel < 1 || record.Panel > MaxStatusPanels)
            continue;
        loaded.PanelCount = std::max(loaded.PanelCount, record.Panel);
        loaded.Records[static_cast<std::size_t>(loaded.RecordCount++)] = std::move(record);
    }
    table = std::move(loaded);
}

std::vector<std::string> LoadComboItems(const TTerminalCache& cache, std::string_view section,
                                        int fieldNumber)
{
    const std::string* value =
        cache.Find(section, std::string(KeyComboListPrefix) + std::to_string(fieldNumber));
    return value ? SplitCommaText(innerText(*value)) : std::vector<std::string>{};
}

std::vector<std::string> LoadNotes(const TTerminalCache& cache, std::string_view section)
{
    const std::string* value = cache.Find(section, KeyNotes);
    return value ? SplitCommaText(innerText(*value)) : std::vector<std::string>{};
}

std::string ReturnCodeText(const TTerminalCache& cache, std::string_view codeText)
{
    return cache.ReadString(SectionReturnCodes,
                            std::string(KeyReturnCodePrefix) + std::string(codeText));
}

void CopyCommandSection(TExtIniFile& ini, std::string_view source, std::string_view destination)
{
    TIniTransaction batch(ini);
    for (const std::string& key : ini.ReadSectionAll(source)) {
        const std::string value = ini.ReadString(source, key, {}, NoProfileLimit);
        if (SameName(key, KeyCommands) || SameName(key, KeyAnswers))
            ini.WriteString(destination, key, value);
        else
            ini.WriteString(destination, key, "\"" + value + "\"");
    }
    batch.Commit();
}

} // namespace tallyhost

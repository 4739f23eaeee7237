#include "session/commandvalues.h"

#include "core/errors.h"
#include "core/inputrules.h"
#include "core/profile.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "core/valueformat.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace tallyhost {

namespace {

QString Latin1(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return QString::compare(Latin1(a), Latin1(b), Qt::CaseInsensitive) == 0;
}

std::optional<int> ParseNumber(std::string_view text)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// What the window's input shows before the operator types: the default text as the box takes
// it (cut to its length, emptied when its type does not allow it), replaced by the first item
// of a list that has items. A choice-only list without items shows nothing.
std::string InitialText(const std::vector<std::string>& items, const TCommandFieldDef& field)
{
    if (field.ControlType == ctDropDown || field.ControlType == ctDropDownList) {
        if (!items.empty())
            return items.front();
        if (field.ControlType == ctDropDownList)
            return {};
    }
    return InitialBoxText(field.TextType, field.MaxLength, field.DefaultText);
}

// A value given for a text field, checked by the rules of the window's box: what the box
// would hold, or the reason it would not take the value.
std::string TypedValue(const TCommandFieldDef& field, const std::vector<std::string>& items,
                       const std::string& caption, const std::string& value, std::string& text)
{
    if (field.ControlType == ctDropDownList && !items.empty()) {
        // A choice-only list takes nothing but its items.
        if (std::find(items.begin(), items.end(), value) == items.end())
            return "field '" + caption + "': '" + value + "' is not one of its items";
        text = value;
        return {};
    }
    switch (TypeIntoBox(field.TextType, field.MaxLength, value, text)) {
    case TTyping::KeyDropped:
        return "field '" + caption + "': '" + value + "' is not a valid " +
               TextTypeName(field.TextType) + " value";
    case TTyping::TooLong:
        return "field '" + caption + "': the value is longer than its " +
               std::to_string(MaxLengthForType(field.TextType, field.MaxLength)) + " characters";
    case TTyping::Accepted:
        break;
    }
    // A required box cannot be left empty.
    if (!MayLeaveBox(field.Required, text))
        return "field '" + caption + "' is required";
    return {};
}

std::optional<FrameDate> ParseDate(const std::string& text)
{
    if (text.empty() || SameTextNoCase(text, "today")) {
        const QDate d = QDate::currentDate();
        return FrameDate{d.year(), d.month(), d.day()};
    }
    const QDate d = QDate::fromString(QString::fromStdString(text), Qt::ISODate);
    if (!d.isValid())
        return std::nullopt;
    return FrameDate{d.year(), d.month(), d.day()};
}

std::optional<FrameTime> ParseTime(const std::string& text)
{
    QTime t;
    if (text.empty() || SameTextNoCase(text, "now")) {
        t = QTime::currentTime();
    } else {
        t = QTime::fromString(QString::fromStdString(text), QStringLiteral("HH:mm:ss"));
        if (!t.isValid())
            t = QTime::fromString(QString::fromStdString(text), QStringLiteral("HH:mm"));
    }
    if (!t.isValid())
        return std::nullopt;
    return FrameTime{t.hour(), t.minute(), t.second()};
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

std::optional<std::pair<std::string, std::string>>
FindCommand(const std::string& path, std::string_view group, std::string_view command)
{
    for (const TTreeGroup& g : ReadCommandTree(path)) {
        if (!SameTextNoCase(g.Name, group))
            continue;
        for (const std::string& c : g.Commands) {
            if (SameTextNoCase(c, command))
                return std::make_pair(g.Name, c);
        }
    }
    return std::nullopt;
}

std::string LoadCommand(const std::string& path, const TTerminalCache& cache,
                        std::string_view group, std::string_view command, LoadedCommand& out)
{
    const auto names = FindCommand(path, group, command);
    if (!names)
        return "the file has no command '" + std::string(command) + "' in group '" +
               std::string(group) + "'";
    out.Section = CommandSectionName(names->first, names->second);
    try {
        LoadCommandFields(cache, out.Section, out.Definition);
        LoadAnswerFields(cache, out.Section, out.Definition);
    } catch (const Error& e) {
        return "the definition of " + out.Section + " is broken: " + e.what();
    }
    return {};
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

std::string CollectInputs(const std::vector<NamedValue>& values, const TTerminalCache& cache,
                          const std::string& section, const TCommandDefinition& def,
                          std::vector<FieldInput>& inputs)
{
    const int count = std::clamp(def.FieldCount, 0, MaxFields);
    inputs.assign(static_cast<std::size_t>(count), FieldInput{});
    std::vector<std::optional<std::string>> given(static_cast<std::size_t>(count));

    for (const auto& [name, value] : values) {
        const int index = FindField(def, name);
        if (index < 0)
            return "the command has no field '" + name + "'";
        given[static_cast<std::size_t>(index)] = value;
    }

    for (int i = 0; i < count; ++i) {
        const TCommandFieldDef& field = def.Fields[i];
        FieldInput& input = inputs[static_cast<std::size_t>(i)];
        const auto& value = given[static_cast<std::size_t>(i)];
        const std::string caption = CaptionWithoutAccelerator(field.Caption);
        // The window shows a read-only field disabled: nobody can change what it sends.
        if (value && field.ReadOnly)
            return "field '" + caption + "' is read only";
        if (field.ControlType == ctDate) {
            const auto d = ParseDate(value.value_or(std::string()));
            if (!d)
                return "field '" + caption + "': '" + *value + "' is not a date (YYYY-MM-DD)";
            input.Date = *d;
        } else if (field.ControlType == ctTime) {
            const auto t = ParseTime(value.value_or(std::string()));
            if (!t)
                return "field '" + caption + "': '" + *value + "' is not a time (HH:MM[:SS])";
            input.Time = *t;
        } else {
            const auto items = LoadComboItems(cache, section, i + 1);
            if (!value) {
                input.Text = InitialText(items, field);
            } else if (std::string refused = TypedValue(field, items, caption, *value, input.Text);
                       !refused.empty()) {
                return refused;
            }
        }
    }
    return {};
}

std::string FrameFields(const TCommandDefinition& def, const std::vector<FieldInput>& inputs,
                        int inputDateFormat, int run, std::vector<std::string>& fields)
{
    fields.clear();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        try {
            fields.push_back(FieldFrameBytes(def.Fields[i], inputs[i], inputDateFormat, run));
        } catch (const FieldValueError& e) {
            return std::string(BadUserDataMessage) + ": field '" +
                   CaptionWithoutAccelerator(def.Fields[i].Caption) + "': " + e.what();
        }
    }
    return {};
}

} // namespace tallyhost

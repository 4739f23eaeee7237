#include "session/request.h"

#include "core/errors.h"
#include "core/inputrules.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/valueformat.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <algorithm>

namespace tallyhost {

namespace {

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return QString::compare(QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size())),
                            QString::fromLatin1(b.data(), static_cast<qsizetype>(b.size())),
                            Qt::CaseInsensitive) == 0;
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

// A value given for a text field, checked by the rules of the window's box: what the box
// would hold, or the reason it would not take the value.
std::string TypedValue(const TCommandFieldDef& field, const std::vector<std::string>& items,
                       const std::string& caption, const std::string& value, std::string& text)
{
    if (field.ControlType == ctDropDownList && !items.empty()) {
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
    if (!MayLeaveBox(field.Required, text))
        return "field '" + caption + "' is required";
    return {};
}

} // namespace

std::string LoadExchangeRequest(const TTerminalCache& cache, const std::string& section,
                                ExchangeRequest& request)
{
    request = ExchangeRequest{};
    request.Section = section;
    try {
        LoadCommandFields(cache, section, request.Definition);
        LoadAnswerFields(cache, section, request.Definition);
    } catch (const Error& e) {
        return "the definition of " + section + " is broken: " + e.what();
    }
    return {};
}

std::string InitialFieldText(const std::vector<std::string>& items, const TCommandFieldDef& field)
{
    if (field.ControlType == ctDropDown || field.ControlType == ctDropDownList) {
        if (!items.empty())
            return items.front();
        if (field.ControlType == ctDropDownList)
            return {};
    }
    return InitialBoxText(field.TextType, field.MaxLength, field.DefaultText);
}

std::string FillRequestInputs(const TTerminalCache& cache, ExchangeRequest& request,
                              const std::vector<std::optional<std::string>>& given,
                              std::vector<std::string>* refusals)
{
    std::string first;
    // The first refusal is the answer; with `refusals` every field is judged and each kept.
    const auto refuse = [&](std::string why) {
        if (first.empty())
            first = why;
        if (refusals)
            refusals->push_back(std::move(why));
        return refusals == nullptr;
    };
    const TCommandDefinition& def = request.Definition;
    const int count = std::clamp(def.FieldCount, 0, MaxFields);
    request.Inputs.assign(static_cast<std::size_t>(count), FieldInput{});
    request.UnreadableField = -1;
    for (int i = 0; i < count; ++i) {
        const TCommandFieldDef& field = def.Fields[i];
        FieldInput& input = request.Inputs[static_cast<std::size_t>(i)];
        const std::optional<std::string> value = static_cast<std::size_t>(i) < given.size()
                                                     ? given[static_cast<std::size_t>(i)]
                                                     : std::nullopt;
        const std::string caption = CaptionWithoutAccelerator(field.Caption);
        // The window shows a read-only field disabled: nobody can change what it sends.
        if (value && field.ReadOnly) {
            if (refuse("field '" + caption + "' is read only"))
                return first;
            continue;
        }
        if (field.ControlType == ctDate) {
            const auto d = ParseDate(value.value_or(std::string()));
            if (d)
                input.Date = *d;
            else if (refuse("field '" + caption + "': '" + *value + "' is not a date (YYYY-MM-DD)"))
                return first;
        } else if (field.ControlType == ctTime) {
            const auto t = ParseTime(value.value_or(std::string()));
            if (t)
                input.Time = *t;
            else if (refuse("field '" + caption + "': '" + *value + "' is not a time (HH:MM[:SS])"))
                return first;
        } else {
            const auto items = LoadComboItems(cache, request.Section, i + 1);
            const std::string initial = InitialFieldText(items, field);
            // What the box shows before anyone types is sent as it stands (a lower-case
            // default of a Boolean box, a list's first item the filter would not let in), so a
            // recorded value that nobody typed is taken back the same.
            if (!value || *value == initial) {
                input.Text = initial;
            } else if (std::string refused = TypedValue(field, items, caption, *value, input.Text);
                       !refused.empty() && refuse(std::move(refused))) {
                return first;
            }
        }
    }
    return first;
}

} // namespace tallyhost

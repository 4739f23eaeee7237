#include "core/fieldedit.h"

#include <filesystem>
#include <limits>
#include <utility>

#include "core/commatext.h"
#include "core/errors.h"
#include "core/termfile.h"
#include "core/valueformat.h"

namespace tallyhost {

namespace {

std::string yesNo(bool on)
{
    return YesNoName(on ? 1 : 0);
}

} // namespace

int NumberOf(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return 0;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<int>(value);
}

std::string NormalizeNumber(std::string_view text)
{
    return std::to_string(NumberOf(text));
}

std::vector<TCommandRow> CommandRowsFromValue(std::string_view value)
{
    const std::vector<std::string> v = SplitCommaText(value);
    const std::size_t n = v.size() / CommandValuesPerField;
    std::vector<TCommandRow> rows(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string* f = &v[k * CommandValuesPerField];
        TCommandRow& row = rows[k];
        row[ccNumber] = std::to_string(k + 1);
        row[ccMode] = ModeName(NumberOf(f[0]));
        row[ccCaption] = f[1];
        row[ccHint] = f[2];
        row[ccTextType] = TextTypeName(NumberOf(f[3]));
        row[ccDefaultText] = f[4];
        row[ccControlType] = ControlTypeName(NumberOf(f[5]));
        row[ccMaxLength] = NormalizeNumber(f[6]);
        row[ccRequired] = YesNoName(NumberOf(f[7]));
        row[ccReadOnly] = YesNoName(NumberOf(f[8]));
        row[ccMinLength] = NormalizeNumber(f[9]);
        row[ccDecimalDigits] = NormalizeNumber(f[10]);
        row[ccAutoIncrement] = YesNoName(NumberOf(f[11]));
    }
    return rows;
}

std::string CommandsValue(const std::vector<TCommandRow>& rows)
{
    std::string out;
    for (const TCommandRow& row : rows) {
        out += std::to_string(ModeFromName(row[ccMode])) + ',';
        out += QuotedText(row[ccCaption]) + ',';
        out += QuotedText(row[ccHint]) + ',';
        out += std::to_string(TextTypeFromName(row[ccTextType])) + ',';
        out += QuotedText(row[ccDefaultText]) + ',';
        out += std::to_string(ControlTypeFromName(row[ccControlType])) + ',';
        out += row[ccMaxLength] + ',';
        out += std::to_string(YesNoFromName(row[ccRequired])) + ',';
        out += std::to_string(YesNoFromName(row[ccReadOnly])) + ',';
        out += row[ccMinLength] + ',';
        out += row[ccDecimalDigits] + ',';
        out += std::to_string(YesNoFromName(row[ccAutoIncrement])) + ',';
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

std::vector<TAnswerRow> AnswerRowsFromValue(std::string_view value)
{
    const std::vector<std::string> v = SplitCommaText(value);
    const std::size_t n = v.size() / AnswerValuesPerField;
    std::vector<TAnswerRow> rows(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string* f = &v[k * AnswerValuesPerField];
        rows[k] = {std::to_string(k + 1), f[0], TextTypeName(NumberOf(f[1])),
                   NormalizeNumber(f[2])};
    }
    return rows;
}

std::string AnswersValue(const std::vector<TAnswerRow>& rows)
{
    std::string out;
    for (const TAnswerRow& row : rows) {
        const int textType = TextTypeFromName(row[acTextType]);
        out += QuotedText(row[acCaption]) + ',';
        out += std::to_string(textType) + ',';
        out += (textType == ftdCurrency ? row[acDecimalDigits] : std::string("0")) + ',';
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

TCommandRow CommandRowFromRecord(int number, const TCommandRecord& r)
{
    TCommandRow row;
    row[ccNumber] = std::to_string(number);
    row[ccMode] = ModeName(r.Mode);
    row[ccCaption] = r.Caption;
    row[ccHint] = r.Hint;
    row[ccTextType] = TextTypeName(r.TextType);
    row[ccDefaultText] = r.DefaultText;
    row[ccControlType] = ControlTypeName(r.ControlType);
    row[ccMaxLength] = NormalizeNumber(r.MaxLength);
    row[ccRequired] = yesNo(r.Required);
    row[ccReadOnly] = yesNo(r.ReadOnly);
    row[ccMinLength] = NormalizeNumber(r.MinLength);
    row[ccDecimalDigits] = NormalizeNumber(r.DecimalDigits);
    row[ccAutoIncrement] = yesNo(r.AutoIncrement);
    return row;
}

TAnswerRow AnswerRowFromRecord(int number, const TAnswerRecord& r)
{
    return {std::to_string(number), r.Caption, TextTypeName(r.TextType),
            r.TextType == ftdCurrency ? NormalizeNumber(r.DecimalDigits) : std::string("0")};
}

std::string QuotedText(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string QuotedLines(const std::vector<std::string>& lines)
{
    return "\"" + JoinCommaText(lines) + "\"";
}

std::string ComboListKey(int number)
{
    return std::string(KeyComboListPrefix) + std::to_string(number);
}

// ---- TFieldListEditor -------------------------------------------------------------------

TFieldListEditor::TFieldListEditor(std::string fileName, std::string section)
    : m_ini(std::move(fileName)), m_section(std::move(section))
{
    LoadCommandGrid();
    LoadAnswerGrid();
}

std::string TFieldListEditor::WindowCaption() const
{
    return std::string(EditCaptionPrefix) + ' ' + m_section + ' ' + std::string(EditCaptionSuffix);
}

// The lists are read whole: a 70-field list can be longer than the profile reader's 8191
// characters, and cutting it would drop fields at the next save.
void TFieldListEditor::LoadCommandGrid()
{
    m_commands = CommandRowsFromValue(m_ini.ReadString(m_section, KeyCommands, "", NoProfileLimit));
}

void TFieldListEditor::LoadAnswerGrid()
{
    m_answers = AnswerRowsFromValue(m_ini.ReadString(m_section, KeyAnswers, "", NoProfileLimit));
}

std::vector<std::string> TFieldListEditor::ComboLines(int number) const
{
    return SplitCommaText(m_ini.ReadString(m_section, ComboListKey(number), "", NoProfileLimit));
}

std::vector<std::string> TFieldListEditor::NoteLines() const
{
    return SplitCommaText(m_ini.ReadString(m_section, KeyNotes, "", NoProfileLimit));
}

TCommandRecordModel TFieldListEditor::NewCommandRecord() const
{
    TCommandRecordModel record = TCommandRecordModel::ForAdd(!HasCommandFields());
    if (HasCommandFields())
        record.SetMode(ModeFromName(m_commands.front()[ccMode]));
    return record;
}

TCommandRecordModel TFieldListEditor::CommandRecord(int number) const
{
    const TCommandRow& row = m_commands.at(static_cast<std::size_t>(number - 1));
    return TCommandRecordModel::ForModify(row, ComboLines(number),
                                          number == 1 ? NoteLines() : std::vector<std::string>{});
}

TAnswerRecordModel TFieldListEditor::NewAnswerRecord() const
{
    return TAnswerRecordModel::ForAdd();
}

TAnswerRecordModel TFieldListEditor::AnswerRecord(int number) const
{
    return TAnswerRecordModel::ForModify(m_answers.at(static_cast<std::size_t>(number - 1)));
}

std::string TFieldListEditor::RemoveQuestionText(int number)
{
    return std::string(RemoveFieldQuestion) + ' ' + std::to_string(number);
}

template <typename Writes> TFieldEditResult TFieldListEditor::Commit(Writes writes)
{
    try {
        // The editor changes a file that exists; writing would otherwise create a new file that
        // holds nothing but this command.
        if (!std::filesystem::is_regular_file(m_ini.FileName()))
            throw IniWriteError(m_ini.FileName());
        TIniTransaction transaction(m_ini);
        writes();
        transaction.Commit();
    } catch (const IniWriteError& e) {
        // Show what the disk holds, never a change it lacks.
        LoadCommandGrid();
        LoadAnswerGrid();
        return {TFieldEditOutcome::WriteFailed, e.what()};
    }
    return {};
}

TFieldEditResult TFieldListEditor::AddCommandField(const TCommandRecord& record)
{
    if (static_cast<int>(m_commands.size()) >= MaxFields)
        return {TFieldEditOutcome::FieldLimit, std::string(FieldLimitText)};
    std::vector<TCommandRow> rows = m_commands;
    const int number = static_cast<int>(rows.size()) + 1;
    rows.push_back(CommandRowFromRecord(number, record));
    TFieldEditResult result = Commit([&] {
        if (!record.ComboLines.empty())
            m_ini.WriteString(m_section, ComboListKey(number), QuotedLines(record.ComboLines));
        if (number == 1 && !record.NoteLines.empty())
            m_ini.WriteString(m_section, KeyNotes, QuotedLines(record.NoteLines));
        m_ini.WriteString(m_section, KeyCommands, CommandsValue(rows));
    });
    if (result.Done())
        m_commands = std::move(rows);
    return result;
}

TFieldEditResult TFieldListEditor::ModifyCommandField(int number, const TCommandRecord& record)
{
    if (number < 1 || number > static_cast<int>(m_commands.size()))
        return {};
    std::vector<TCommandRow> rows = m_commands;
    rows[static_cast<std::size_t>(number - 1)] = CommandRowFromRecord(number, record);
    TFieldEditResult result = Commit([&] {
        if (!record.ComboLines.empty())
            m_ini.WriteString(m_section, ComboListKey(number), QuotedLines(record.ComboLines));
        else
            m_ini.DeleteKey(m_section, ComboListKey(number));
        if (number == 1)
            m_ini.WriteString(m_section, KeyNotes, QuotedLines(record.NoteLines));
        m_ini.WriteString(m_section, KeyCommands, CommandsValue(rows));
    });
    if (result.Done())
        m_commands = std::move(rows);
    return result;
}

TFieldEditResult TFieldListEditor::RemoveCommandField(int number)
{
    const int count = static_cast<int>(m_commands.size());
    if (number < 1 || number > count)
        return {};
    std::vector<TCommandRow> rows = m_commands;
    rows.erase(rows.begin() + (number - 1));
    for (int i = number; i <= count - 1; ++i)
        rows[static_cast<std::size_t>(i - 1)][ccNumber] = std::to_string(i);
    TFieldEditResult result = Commit([&] {
        // Each later field takes its combo lines with it (MoveComboList).
        for (int i = number; i <= count - 1; ++i) {
            const std::string next =
                m_ini.ReadString(m_section, ComboListKey(i + 1), "", NoProfileLimit);
            if (next.empty())
                m_ini.DeleteKey(m_section, ComboListKey(i));
            else
                m_ini.WriteString(m_section, ComboListKey(i), "\"" + next + "\"");
        }
        m_ini.DeleteKey(m_section, ComboListKey(count));
        // The notes describe the command, not field 1: they go only with the last field.
        if (count == 1)
            m_ini.DeleteKey(m_section, KeyNotes);
        m_ini.WriteString(m_section, KeyCommands, CommandsValue(rows));
    });
    if (result.Done())
        m_commands = std::move(rows);
    return result;
}

TFieldEditResult TFieldListEditor::AddAnswerField(const TAnswerRecord& record)
{
    if (static_cast<int>(m_answers.size()) >= MaxFields)
        return {TFieldEditOutcome::FieldLimit, std::string(FieldLimitText)};
    std::vector<TAnswerRow> rows = m_answers;
    rows.push_back(AnswerRowFromRecord(static_cast<int>(rows.size()) + 1, record));
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, AnswersValue(rows)); });
    if (result.Done())
        m_answers = std::move(rows);
    return result;
}

TFieldEditResult TFieldListEditor::ModifyAnswerField(int number, const TAnswerRecord& record)
{
    if (number < 1 || number > static_cast<int>(m_answers.size()))
        return {};
    std::vector<TAnswerRow> rows = m_answers;
    rows[static_cast<std::size_t>(number - 1)] = AnswerRowFromRecord(number, record);
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, AnswersValue(rows)); });
    if (result.Done())
        m_answers = std::move(rows);
    return result;
}

TFieldEditResult TFieldListEditor::RemoveAnswerField(int number)
{
    const int count = static_cast<int>(m_answers.size());
    if (number < 1 || number > count)
        return {};
    std::vector<TAnswerRow> rows = m_answers;
    rows.erase(rows.begin() + (number - 1));
    for (int i = number; i <= count - 1; ++i)
        rows[static_cast<std::size_t>(i - 1)][acNumber] = std::to_string(i);
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, AnswersValue(rows)); });
    if (result.Done())
        m_answers = std::move(rows);
    return result;
}

} // namespace tallyhost

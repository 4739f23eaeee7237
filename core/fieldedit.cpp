#include "core/fieldedit.h"

#include <filesystem>
#include <limits>
#include <utility>

#include "core/commatext.h"
#include "core/errors.h"
#include "core/strtoint.h"
#include "core/termfile.h"
#include "core/valueformat.h"

namespace tallyhost {

namespace {

std::string yesNo(bool on)
{
    return YesNoName(on ? 1 : 0);
}

// A number item as stored, written back so that it splits to the same item.
std::string numberItem(const std::string& item)
{
    return JoinCommaText({item});
}

std::string joinFields(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& text : texts) {
        if (!out.empty())
            out += ',';
        out += text;
    }
    return out;
}

// Positions of the texts among a command field's twelve items (the rest are numbers).
bool isCommandText(std::size_t item)
{
    return item == 1 || item == 2 || item == 4;
}

} // namespace

int NumberOf(std::string_view text)
{
    // The terminal window's conversion: what the window reads as 16 must not be shown (and
    // written back) as 0.
    return StrToIntDef(text, 0);
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

std::string CaptionWarning(const std::vector<std::string>& captions, std::size_t index)
{
    if (index >= captions.size())
        return {};
    if (captions[index].empty())
        return "the caption is empty";
    for (std::size_t i = 0; i < captions.size(); ++i) {
        if (i != index && captions[i] == captions[index])
            return "field " + std::to_string(i + 1) + " has the caption \"" + captions[index] +
                   "\" too";
    }
    return {};
}

std::string ReadFieldList(const TExtIniFile& ini, std::string_view section, std::string_view key)
{
    return ini.ReadRawString(section, key);
}

std::vector<std::string> CommandFieldTexts(std::string_view value)
{
    const std::vector<std::string> v = SplitCommaText(value);
    const std::size_t n = v.size() / CommandValuesPerField;
    std::vector<std::string> texts(n);
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t i = 0; i < CommandValuesPerField; ++i) {
            const std::string& item = v[k * CommandValuesPerField + i];
            if (i > 0)
                texts[k] += ',';
            texts[k] += isCommandText(i) ? QuotedText(item) : numberItem(item);
        }
    }
    return texts;
}

std::vector<std::string> AnswerFieldTexts(std::string_view value)
{
    const std::vector<std::string> v = SplitCommaText(value);
    const std::size_t n = v.size() / AnswerValuesPerField;
    std::vector<std::string> texts(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string* f = &v[k * AnswerValuesPerField];
        texts[k] = QuotedText(f[0]) + ',' + numberItem(f[1]) + ',' + numberItem(f[2]);
    }
    return texts;
}

std::string CommandFieldText(const TCommandRow& row)
{
    return CommandsValue({row});
}

std::string AnswerFieldText(const TAnswerRow& row)
{
    return AnswersValue({row});
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
    const std::string value = ReadFieldList(m_ini, m_section, KeyCommands);
    m_commands = CommandRowsFromValue(value);
    m_commandTexts = CommandFieldTexts(value);
}

void TFieldListEditor::LoadAnswerGrid()
{
    const std::string value = ReadFieldList(m_ini, m_section, KeyAnswers);
    m_answers = AnswerRowsFromValue(value);
    m_answerTexts = AnswerFieldTexts(value);
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
    TAnswerRecordModel record = TAnswerRecordModel::ForAdd();
    std::vector<std::string> captions;
    for (const TAnswerRow& row : m_answers)
        captions.push_back(row[acCaption]);
    record.SetOtherCaptions(std::move(captions));
    return record;
}

TAnswerRecordModel TFieldListEditor::AnswerRecord(int number) const
{
    TAnswerRecordModel record =
        TAnswerRecordModel::ForModify(m_answers.at(static_cast<std::size_t>(number - 1)));
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < m_answers.size(); ++i) {
        if (static_cast<int>(i) != number - 1)
            captions.push_back(m_answers[i][acCaption]);
    }
    record.SetOtherCaptions(std::move(captions));
    return record;
}

std::string TFieldListEditor::RemoveQuestionText(int number)
{
    return std::string(RemoveFieldQuestion) + ' ' + std::to_string(number);
}

template <typename Writes> TFieldEditResult TFieldListEditor::Commit(Writes writes)
{
    try {
        RefuseVanishedFile(m_ini);
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
    std::vector<std::string> texts = m_commandTexts;
    const int number = static_cast<int>(rows.size()) + 1;
    rows.push_back(CommandRowFromRecord(number, record));
    texts.push_back(CommandFieldText(rows.back()));
    TFieldEditResult result = Commit([&] {
        if (!record.ComboLines.empty())
            m_ini.WriteString(m_section, ComboListKey(number), QuotedLines(record.ComboLines));
        if (number == 1 && !record.NoteLines.empty())
            m_ini.WriteString(m_section, KeyNotes, QuotedLines(record.NoteLines));
        m_ini.WriteString(m_section, KeyCommands, joinFields(texts));
    });
    if (result.Done()) {
        m_commands = std::move(rows);
        m_commandTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::ModifyCommandField(int number, const TCommandRecord& record)
{
    if (number < 1 || number > static_cast<int>(m_commands.size()))
        return {};
    const auto index = static_cast<std::size_t>(number - 1);
    std::vector<TCommandRow> rows = m_commands;
    std::vector<std::string> texts = m_commandTexts;
    rows[index] = CommandRowFromRecord(number, record);
    // Accepting the dialog unchanged keeps the field's items as stored.
    if (rows[index] != m_commands[index])
        texts[index] = CommandFieldText(rows[index]);
    TFieldEditResult result = Commit([&] {
        if (!record.ComboLines.empty())
            m_ini.WriteString(m_section, ComboListKey(number), QuotedLines(record.ComboLines));
        else
            m_ini.DeleteKey(m_section, ComboListKey(number));
        if (number == 1)
            m_ini.WriteString(m_section, KeyNotes, QuotedLines(record.NoteLines));
        m_ini.WriteString(m_section, KeyCommands, joinFields(texts));
    });
    if (result.Done()) {
        m_commands = std::move(rows);
        m_commandTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::RemoveCommandField(int number)
{
    const int count = static_cast<int>(m_commands.size());
    if (number < 1 || number > count)
        return {};
    std::vector<TCommandRow> rows = m_commands;
    std::vector<std::string> texts = m_commandTexts;
    rows.erase(rows.begin() + (number - 1));
    texts.erase(texts.begin() + (number - 1));
    for (int i = number; i <= count - 1; ++i)
        rows[static_cast<std::size_t>(i - 1)][ccNumber] = std::to_string(i);
    TFieldEditResult result = Commit([&] {
        // Each later field takes its combo lines with it (MoveComboList).
        for (int i = number; i <= count - 1; ++i) {
            const std::string next = m_ini.ReadRawString(m_section, ComboListKey(i + 1));
            if (next.empty())
                m_ini.DeleteKey(m_section, ComboListKey(i));
            else
                m_ini.WriteString(m_section, ComboListKey(i), next);
        }
        m_ini.DeleteKey(m_section, ComboListKey(count));
        // The notes describe the command, not field 1: they go only with the last field.
        if (count == 1)
            m_ini.DeleteKey(m_section, KeyNotes);
        m_ini.WriteString(m_section, KeyCommands, joinFields(texts));
    });
    if (result.Done()) {
        m_commands = std::move(rows);
        m_commandTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::MoveCommandField(int number, int delta)
{
    const int count = static_cast<int>(m_commands.size());
    const int other = number + delta;
    if ((delta != -1 && delta != 1) || number < 1 || number > count || other < 1 || other > count)
        return {};
    const auto a = static_cast<std::size_t>(number - 1);
    const auto b = static_cast<std::size_t>(other - 1);
    std::vector<TCommandRow> rows = m_commands;
    std::vector<std::string> texts = m_commandTexts;
    std::swap(rows[a], rows[b]);
    std::swap(texts[a], texts[b]);
    rows[a][ccNumber] = std::to_string(number);
    rows[b][ccNumber] = std::to_string(other);
    TFieldEditResult result = Commit([&] {
        // The combo lines belong to the field, not to its position: they swap keys too. The
        // values move as stored, quotes and all.
        const std::string first = m_ini.ReadRawString(m_section, ComboListKey(number));
        const std::string second = m_ini.ReadRawString(m_section, ComboListKey(other));
        for (const auto& [key, value] :
             {std::pair{ComboListKey(number), second}, std::pair{ComboListKey(other), first}}) {
            if (value.empty())
                m_ini.DeleteKey(m_section, key);
            else
                m_ini.WriteString(m_section, key, value);
        }
        m_ini.WriteString(m_section, KeyCommands, joinFields(texts));
    });
    if (result.Done()) {
        m_commands = std::move(rows);
        m_commandTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::AddAnswerField(const TAnswerRecord& record)
{
    if (static_cast<int>(m_answers.size()) >= MaxFields)
        return {TFieldEditOutcome::FieldLimit, std::string(FieldLimitText)};
    std::vector<TAnswerRow> rows = m_answers;
    std::vector<std::string> texts = m_answerTexts;
    rows.push_back(AnswerRowFromRecord(static_cast<int>(rows.size()) + 1, record));
    texts.push_back(AnswerFieldText(rows.back()));
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, joinFields(texts)); });
    if (result.Done()) {
        m_answers = std::move(rows);
        m_answerTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::ModifyAnswerField(int number, const TAnswerRecord& record)
{
    if (number < 1 || number > static_cast<int>(m_answers.size()))
        return {};
    const auto index = static_cast<std::size_t>(number - 1);
    std::vector<TAnswerRow> rows = m_answers;
    std::vector<std::string> texts = m_answerTexts;
    rows[index] = AnswerRowFromRecord(number, record);
    if (rows[index] != m_answers[index])
        texts[index] = AnswerFieldText(rows[index]);
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, joinFields(texts)); });
    if (result.Done()) {
        m_answers = std::move(rows);
        m_answerTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::RemoveAnswerField(int number)
{
    const int count = static_cast<int>(m_answers.size());
    if (number < 1 || number > count)
        return {};
    std::vector<TAnswerRow> rows = m_answers;
    std::vector<std::string> texts = m_answerTexts;
    rows.erase(rows.begin() + (number - 1));
    texts.erase(texts.begin() + (number - 1));
    for (int i = number; i <= count - 1; ++i)
        rows[static_cast<std::size_t>(i - 1)][acNumber] = std::to_string(i);
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, joinFields(texts)); });
    if (result.Done()) {
        m_answers = std::move(rows);
        m_answerTexts = std::move(texts);
    }
    return result;
}

TFieldEditResult TFieldListEditor::MoveAnswerField(int number, int delta)
{
    const int count = static_cast<int>(m_answers.size());
    const int other = number + delta;
    if ((delta != -1 && delta != 1) || number < 1 || number > count || other < 1 || other > count)
        return {};
    const auto a = static_cast<std::size_t>(number - 1);
    const auto b = static_cast<std::size_t>(other - 1);
    std::vector<TAnswerRow> rows = m_answers;
    std::vector<std::string> texts = m_answerTexts;
    std::swap(rows[a], rows[b]);
    std::swap(texts[a], texts[b]);
    rows[a][acNumber] = std::to_string(number);
    rows[b][acNumber] = std::to_string(other);
    TFieldEditResult result =
        Commit([&] { m_ini.WriteString(m_section, KeyAnswers, joinFields(texts)); });
    if (result.Done()) {
        m_answers = std::move(rows);
        m_answerTexts = std::move(texts);
    }
    return result;
}

} // namespace tallyhost

#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/fieldrecord.h"
#include "core/profile.h"

namespace tallyhost {

// The field list editor without widgets: the command and answer fields of one command section
// as the rows of two grids, the conversion between the stored values and the grid texts, and
// the keys written back after each add, modify and remove. The dialog TFormEditCmdAns shows
// these rows; tallyhost-cli edits through the same class.
//
// Grid texts: the field number, the names of the codes (ModeName, TextTypeName,
// ControlTypeName, YesNoName) and normalized numbers; texts as stored. An empty vector of rows
// is the empty-list state (the dialog shows one blank row for it).

// Texts of the editor (window caption parts, headers, the question and the error).
inline constexpr std::string_view EditCaptionPrefix = "Edit";
inline constexpr std::string_view EditCaptionSuffix = "commands and answers";
inline constexpr std::string_view FieldLimitText = "Maximum number of dynamic controls reached!!!";
inline constexpr std::string_view RemoveFieldQuestion = "Do you wish to delete this field number?";
inline constexpr std::string_view WarningCaption = " W A R N I N G ";
inline constexpr std::string_view ErrorCaption = " E R R O R ";
inline constexpr std::array<std::string_view, CommandGridColumns> CommandGridHeaders{
    "Field number", "Mode",           "Caption",      "Hint",     "Text type",
    "Default text", "Control type",   "Max length",   "Required", "Read only",
    "Min length",   "Decimal digits", "AutoIncrement"};
inline constexpr std::array<std::string_view, AnswerGridColumns> AnswerGridHeaders{
    "Field number", "Caption", "Text type", "Format"};

// The text read as the terminal window reads numbers (decimal, or hexadecimal after "$" or
// "0x"; 32-bit) and written back in decimal without leading zeros; a text that is not such a
// number counts as 0 ("007" "7", "$10" "16", "-3" "-3", "12a" "0", "" "0").
std::string NormalizeNumber(std::string_view text);
// The integer NormalizeNumber writes.
int NumberOf(std::string_view text);

// "Commands" value -> rows (12 values a field; values after the last complete field are
// dropped) and back. Numbers that are not numbers read as 0. The value is the one the terminal
// window reads: as written, quotes included (ReadFieldList).
std::vector<TCommandRow> CommandRowsFromValue(std::string_view value);
std::string CommandsValue(const std::vector<TCommandRow>& rows);
// "Answers" value -> rows (3 values a field) and back; decimals are written for Currency only.
std::vector<TAnswerRow> AnswerRowsFromValue(std::string_view value);
std::string AnswersValue(const std::vector<TAnswerRow>& rows);

// The Commands or Answers value of a command section as the terminal window reads it: as
// written, with its quotes, whole. The profile read would strip one pair of outer quotes and
// turn a list written with every item quoted into a different list.
std::string ReadFieldList(const TExtIniFile& ini, std::string_view section, std::string_view key);

// The items of each field of a stored list, as they are written back when that field is not
// changed: numbers as stored (a "$10" stays "$10"), texts between double quotes.
std::vector<std::string> CommandFieldTexts(std::string_view value);
std::vector<std::string> AnswerFieldTexts(std::string_view value);
// The same for a row of the grid (a field added or changed): numbers in decimal.
std::string CommandFieldText(const TCommandRow& row);
std::string AnswerFieldText(const TAnswerRow& row);

// What looks unintended about caption `index` (0-based) of a list of field captions: empty, or
// the caption of another field as well (the answer display could not tell them apart). Empty
// when nothing does. A warning, not a refusal.
std::string CaptionWarning(const std::vector<std::string>& captions, std::size_t index);

// The grid row a record dialog's result becomes (field `number`).
TCommandRow CommandRowFromRecord(int number, const TCommandRecord& record);
TAnswerRow AnswerRowFromRecord(int number, const TAnswerRecord& record);

// A text between double quotes with inner double quotes doubled, as the comma-list rule
// writes any quoted item: the text reads back as it was typed.
std::string QuotedText(std::string_view text);
// Value of a CL<n> or Notes key: the lines as comma text between double quotes.
std::string QuotedLines(const std::vector<std::string>& lines);
// Key name "CL" + number.
std::string ComboListKey(int number);

enum class TFieldEditOutcome : std::uint8_t
{
    Done,
    // The list already holds MaxFields fields; nothing was written.
    FieldLimit,
    // The file could not be written (read-only, vanished, disk full); nothing was written and
    // the rows were read again from the file.
    WriteFailed,
};

struct TFieldEditResult
{
    TFieldEditOutcome Outcome = TFieldEditOutcome::Done;
    // What the operator is told: FieldLimitText or "Unable to write to <path>".
    std::string Message;
    bool Done() const { return Outcome == TFieldEditOutcome::Done; }
};

// The field lists of one command section of a terminal file. Every accepted change is written
// at once as ONE atomic replacement of the file (a removal that moves CL keys never leaves them
// half moved). Nothing is written by loading, so opening and closing leaves the file as it was.
//
// The Notes key belongs to field 1: it is written when field 1 is added (with notes) or
// modified, and deleted only when the last remaining field is removed.
class TFieldListEditor
{
public:
    // Loads both lists.
    TFieldListEditor(std::string fileName, std::string section);

    const std::string& FileName() const { return m_ini.FileName(); }
    const std::string& Section() const { return m_section; }
    // "Edit <section> commands and answers".
    std::string WindowCaption() const;

    // Read the lists again from the file (each time a page is shown).
    void LoadCommandGrid();
    void LoadAnswerGrid();

    const std::vector<TCommandRow>& CommandRows() const { return m_commands; }
    const std::vector<TAnswerRow>& AnswerRows() const { return m_answers; }
    bool HasCommandFields() const { return !m_commands.empty(); }
    bool HasAnswerFields() const { return !m_answers.empty(); }

    // Combo lines of command field `number` (key CL<n>) and the command's notes, as stored.
    std::vector<std::string> ComboLines(int number) const;
    std::vector<std::string> NoteLines() const;

    // The record dialog states the list editor opens: Add mode (first when the list is empty,
    // otherwise with field 1's mode preset) and Modify mode of field `number` (1-based).
    TCommandRecordModel NewCommandRecord() const;
    TCommandRecordModel CommandRecord(int number) const;
    TAnswerRecordModel NewAnswerRecord() const;
    TAnswerRecordModel AnswerRecord(int number) const;

    // The list editor's steps after the record dialog's OK, and the removal after the question.
    TFieldEditResult AddCommandField(const TCommandRecord& record);
    TFieldEditResult ModifyCommandField(int number, const TCommandRecord& record);
    TFieldEditResult RemoveCommandField(int number);
    TFieldEditResult AddAnswerField(const TAnswerRecord& record);
    TFieldEditResult ModifyAnswerField(int number, const TAnswerRecord& record);
    TFieldEditResult RemoveAnswerField(int number);
    // Swaps field `number` with its neighbour (`delta` -1: the one above, +1: the one below),
    // the combo lines moving with their fields, in one replacement of the file. Nothing
    // happens (Done) when there is no such neighbour.
    TFieldEditResult MoveCommandField(int number, int delta);
    TFieldEditResult MoveAnswerField(int number, int delta);

    // "Do you wish to delete this field number? <n>".
    static std::string RemoveQuestionText(int number);

private:
    // Runs `writes` in one transaction and commits it; on a refused write reloads both lists
    // from the file and returns the error.
    template <typename Writes> TFieldEditResult Commit(Writes writes);

    TExtIniFile m_ini;
    std::string m_section;
    // The value of each field as it goes back to the file: an untouched field keeps its items
    // as stored.
    std::vector<TCommandRow> m_commands;
    std::vector<std::string> m_commandTexts;
    std::vector<TAnswerRow> m_answers;
    std::vector<std::string> m_answerTexts;
};

} // namespace tallyhost

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/termdefs.h"

namespace tallyhost {

// The rules of the two record dialogs (one command field, one answer field), without widgets.
// A dialog keeps one of these models, passes every change the operator makes to it and shows
// the state it holds; tallyhost-cli drives the same model by name. So which box is enabled, what
// it shows, which characters and how many it takes, and when OK is allowed are decided here
// only.

// The rows of the field list editor's grids, as texts: column 0 is the field number, then the
// named values (see core/fieldedit.h for the columns).
inline constexpr int CommandGridColumns = 13;
inline constexpr int AnswerGridColumns = 4;
using TCommandRow = std::array<std::string, CommandGridColumns>;
using TAnswerRow = std::array<std::string, AnswerGridColumns>;

// Columns of a command row.
enum TCommandColumn : int
{
    ccNumber = 0,
    ccMode = 1,
    ccCaption = 2,
    ccHint = 3,
    ccTextType = 4,
    ccDefaultText = 5,
    ccControlType = 6,
    ccMaxLength = 7,
    ccRequired = 8,
    ccReadOnly = 9,
    ccMinLength = 10,
    ccDecimalDigits = 11,
    ccAutoIncrement = 12,
};

// Columns of an answer row.
enum TAnswerColumn : int
{
    acNumber = 0,
    acCaption = 1,
    acTextType = 2,
    acDecimalDigits = 3,
};

// Window captions of both record dialogs.
inline constexpr std::string_view AddFieldCaption = "Add new field";
inline constexpr std::string_view EditFieldCaption = "Edit field number ";

// Caption and hint of a command field take at most this many typed characters.
inline constexpr int RecordTextLimit = 35;
// Default texts of Date and Time fields.
inline constexpr int DateTimeTextLimit = 10;

// A text given in a record dialog as a value that the rules cannot take: which box, and why.
struct TRecordRefusal
{
    std::string Box;
    std::string Reason;
    bool Refused() const { return !Reason.empty(); }
};

// One typed box of a record dialog.
struct TRecordBox
{
    std::string Text;
    bool Enabled = true;
    // Input filter: a text type code (core/inputrules.h); 8 and 9 filter nothing.
    std::uint8_t Filter = ftdAlphaNumeric;
    // Characters the operator can type; 0 means no limit.
    int MaxLength = 0;
    // The box holds a number the file stores as a 32-bit integer: a larger one is not taken
    // (it would read back as 0, which means "no limit").
    bool Number = false;
};

// Why a one-line text (caption, hint, default text, answer caption) cannot be stored as given:
// it holds a line break. Empty when it can.
std::string LineBreakRefusal(std::string_view text);

// Why a number box's text cannot be stored: it is beyond what the file's 32-bit fields hold.
// Empty when it can (an empty text is the OK rule's business).
std::string NumberRefusal(std::string_view text);

// The text a command field's input box shows for its stored default text: cut to the max
// length and emptied when the type's filter refuses it, as the panel sets it. Controls without
// an edit field (Date, Time) show the text as it is. The record dialog refuses a default text
// this changes, and the catalogue check reports one.
std::string ShownDefaultText(int textType, int controlType, std::int32_t maxLength,
                             std::string_view text);

// Memo text <-> lines, the way a multi-line box splits its text: lines end at a line feed (a
// carriage return before it belongs to the line end), and a final line feed does not start a
// further line. The empty text has no lines; "\n" is one empty line.
std::vector<std::string> MemoLines(std::string_view text);
std::string MemoText(const std::vector<std::string>& lines);

// ---- command field ----------------------------------------------------------------------

// What the list editor reads back from the command record dialog after OK. Disabled boxes are
// read as well: what a disabled box shows is stored.
struct TCommandRecord
{
    int Mode = cmHost;
    std::string Caption;
    std::string Hint;
    int TextType = ftdAlphaNumeric;
    std::string DefaultText;
    int ControlType = ctSimple;
    std::string MaxLength = "0";
    std::string MinLength = "0";
    std::string DecimalDigits = "0";
    bool Required = false;
    bool ReadOnly = false;
    bool AutoIncrement = false;
    std::vector<std::string> ComboLines;
    std::vector<std::string> NoteLines;
};

enum class TCommandBox : std::uint8_t
{
    Caption,
    Hint,
    DefaultText,
    MaxLength,
    MinLength,
    DecimalDigits,
};

// Name of a box as the command-line tool and error texts call it ("caption", "max" ...).
std::string_view CommandBoxName(TCommandBox box);

// The state of the command field record dialog.
//
// Choosing a text type runs the text-type rule: the default text box gets the type's filter,
// then every dependent box is enabled or disabled and given a fresh text by a fixed table
// (what was typed there is discarded). Choosing a control type runs the control-type rule:
// Date and Time force the text type of the same name, then the text-type rule runs. Modify
// mode opens with the stored values by a table of its own (StoredOpening in fieldrecord.cpp).
// OK is allowed when the caption is not empty and every enabled number box is not empty.
class TCommandRecordModel
{
public:
    // Add mode: `first` when the command has no fields yet (only then are mode and notes
    // editable).
    static TCommandRecordModel ForAdd(bool first);
    // Modify mode with the 13 cells of the field's grid row, its combo lines and the command's
    // notes (only used for field 1).
    static TCommandRecordModel ForModify(const TCommandRow& cells,
                                         std::vector<std::string> comboLines,
                                         std::vector<std::string> noteLines);

    const std::string& WindowCaption() const { return m_windowCaption; }
    // 0 in Add mode.
    int FieldNumber() const { return m_fieldNumber; }

    int Mode() const { return m_mode; }
    bool ModeEnabled() const { return m_modeEnabled; }
    void SetMode(int mode);

    int TextType() const { return m_textType; }
    bool TextTypeEnabled() const { return m_textTypeEnabled; }
    // The operator chose a text type (0..9): the text-type rule runs.
    void SetTextType(int textType);

    int ControlType() const { return m_controlType; }
    // The operator chose a control type (0..4): the control-type rule runs.
    void SetControlType(int controlType);

    const TRecordBox& Box(TCommandBox box) const;
    // The operator typed or pasted `text`: the box holds it as the typed box would (cut to its
    // length limit, emptied when its filter refuses a character). Disabled boxes ignore it.
    void SetText(TCommandBox box, std::string_view text);
    // Why the command-line tool must refuse `text` for the box: the box is disabled and shows
    // something else, the text is too long, or the filter refuses a character. Empty when the
    // box would hold exactly `text`.
    std::string Refusal(TCommandBox box, std::string_view text) const;

    const std::vector<std::string>& ComboLines() const { return m_comboLines; }
    bool ComboLinesEnabled() const { return m_comboLinesEnabled; }
    void SetComboLines(std::vector<std::string> lines);

    const std::vector<std::string>& NoteLines() const { return m_noteLines; }
    bool NotesEnabled() const { return m_notesEnabled; }
    void SetNoteLines(std::vector<std::string> lines);

    bool Required() const { return m_required; }
    bool ReadOnly() const { return m_readOnly; }
    bool AutoIncrement() const { return m_autoIncrement; }
    void SetRequired(bool on) { m_required = on; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    void SetAutoIncrement(bool on) { m_autoIncrement = on; }

    bool OkEnabled() const;
    // When OK is not allowed: the box that holds it back and why.
    TRecordRefusal OkRefusal() const;

    // What the list editor reads after OK.
    TCommandRecord Record() const;

private:
    TCommandRecordModel() = default;
    TRecordBox& box(TCommandBox box);
    void UpdateEditState();
    void ApplyStoredValues(const TCommandRow& cells);

    std::string m_windowCaption;
    int m_fieldNumber = 0;
    int m_mode = cmHost;
    bool m_modeEnabled = true;
    int m_textType = ftdAlphaNumeric;
    bool m_textTypeEnabled = true;
    int m_controlType = ctSimple;
    std::array<TRecordBox, 6> m_boxes{};
    std::vector<std::string> m_comboLines;
    bool m_comboLinesEnabled = false;
    std::vector<std::string> m_noteLines;
    bool m_notesEnabled = true;
    bool m_required = false;
    bool m_readOnly = false;
    bool m_autoIncrement = false;
};

// ---- answer field -----------------------------------------------------------------------

struct TAnswerRecord
{
    std::string Caption;
    int TextType = ftdAlphaNumeric;
    // The decimal box's text; the list editor stores it (normalized) for Currency only.
    std::string DecimalDigits = "0";
};

// The state of the answer field record dialog: decimal digits mean something for Currency
// only, so the decimal box is enabled for that type alone and shows "0" for every other.
// There is no validation: OK is always allowed.
class TAnswerRecordModel
{
public:
    static TAnswerRecordModel ForAdd();
    // Modify mode with the 4 cells of the field's grid row.
    static TAnswerRecordModel ForModify(const TAnswerRow& cells);

    const std::string& WindowCaption() const { return m_windowCaption; }
    int FieldNumber() const { return m_fieldNumber; }

    const std::string& Caption() const { return m_caption; }
    void SetCaption(std::string_view caption) { m_caption = caption; }

    int TextType() const { return m_textType; }
    // Currency enables the decimal box and keeps its text; any other type shows "0", disabled.
    void SetTextType(int textType);

    const TRecordBox& Decimal() const { return m_decimal; }
    void SetDecimalText(std::string_view text);
    std::string DecimalRefusal(std::string_view text) const;

    bool OkEnabled() const { return true; }
    TAnswerRecord Record() const;

    // The captions of the list's other fields, in order, as the list editor opens the dialog;
    // the caption being edited is compared with them.
    void SetOtherCaptions(std::vector<std::string> captions)
    {
        m_otherCaptions = std::move(captions);
    }
    // What looks unintended about the caption as typed (empty, or another field's too), for
    // the dialog to show while the operator types; it does not hold OK back.
    std::string CaptionWarning() const;

private:
    TAnswerRecordModel() = default;

    std::string m_windowCaption;
    int m_fieldNumber = 0;
    std::string m_caption;
    std::vector<std::string> m_otherCaptions;
    int m_textType = ftdAlphaNumeric;
    TRecordBox m_decimal{"0", false, ftdDecimal, 0, true};
};

} // namespace tallyhost

#pragma once

#include "core/termdefs.h"
#include "core/termfile.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// The GUI-free half of the Host Answer tab: decoding the two status words against the status
// records of the terminal file, the list of labelled answer values, and the arithmetic that
// places both on the tab. The terminal window and the test of fixed answers draw what these
// return; the command-line tool prints it.

// ---- status words -------------------------------------------------------------------------

// What one status panel shows. Matched is false for a panel no record matched (empty text).
struct StatusPanelText
{
    bool Matched = false;
    std::string Text;
    TColor Color = 0;
};

// Panels beyond MaxStatusPanels (core/termfile.h) are not created: a hand-written record naming
// panel 100000 must not make the window build that many labels. The editors offer panels 1 to 16.

// The panels 1..PanelCount of one status word (element 0 is panel 1). Records are applied in
// file order: a record matches when (word AND mask) = result, and a later match for the same
// panel replaces the text and colour of an earlier one. Records naming no existing panel (below
// 1, above PanelCount or MaxStatusPanels) are skipped; at most MaxFields records are read.
std::vector<StatusPanelText> DecodeStatusWord(std::uint16_t word, const TStatusTable& table);

// The word as four upper-case hexadecimal digits: 0x0600 -> "0600".
std::string StatusWordHex(std::uint16_t word);
// "Fiscal answer = 0600" and "Printer answer = 0600", the captions of the two group boxes.
std::string FiscalAnswerCaption(std::uint16_t word);
std::string PrinterAnswerCaption(std::uint16_t word);

// The two group boxes sit at the top left of the scroll box, as wide as its client area less
// StatusBoxMargin; the printer box is StatusBoxSpacing below the fiscal box and the separator
// above the answer values the same distance below the printer box.
inline constexpr int StatusBoxMargin = 20;
inline constexpr int StatusBoxSpacing = 20;

// Placement of a word's panels inside its group box (pixels, relative to the box's client area).
inline constexpr int StatusPanelWidth = 175;
inline constexpr int StatusPanelGap = 10;
inline constexpr int StatusColumnPitch = 195; // client width per column when counting columns
inline constexpr int StatusRowPitch = 31;
inline constexpr int StatusFirstRowTop = 15;

struct StatusPanelLayout
{
    int Columns = 1;   // clientWidth div 195, at least 1
    int FirstLeft = 0; // the columns centred in the box
    int Rows = 0;      // panel count div columns, rounded up
    int Height = 0;    // box height rows * 31 + 8; 0 with no panels (caption only)
};

StatusPanelLayout LayoutStatusPanels(int clientWidth, int panelCount);

struct PanelPosition
{
    int Left = 0;
    int Top = 0;
};

// Panel `index` (0 = panel 1), numbered left to right, row by row.
PanelPosition StatusPanelPosition(const StatusPanelLayout& layout, int index);

// ---- answer values ------------------------------------------------------------------------

// One label and read-only value box of the answer list.
struct AnswerEntry
{
    int Position = 0;    // place in the display list and in the grid
    std::string Label;   // answer field caption, "Reserved", "Return code" or "Field<n>"
    std::string Value;   // formatted by the answer field's type, or as received
    std::string Hint;    // the return code's "(hhhh) description"; empty elsewhere
    bool Visible = true; // false: a reserved entry that is not shown; its grid place stays empty
    bool Named = true;   // false: more values than answer fields, the label is drawn in maroon
};

inline constexpr TColor UnnamedLabelColor = 0x000080; // maroon

struct AnswerDisplayOptions
{
    int Protocol = 0;               // 0 compatibility, 1 extended
    bool ExtReservedFields = false; // show the reserved entries of extended answers
    int InputDateFormat = 0;        // answer dates are read in this format ...
    int OutputDateFormat = 0;       // ... and shown in this one
    int CurrentYear = 0;            // for two-digit years; 0 = the current local year
};

// An answer value shown by its answer field's type: Currency with its decimals, Decimal, Hexa,
// Binary, Date and Time formatted for display, every other type as received.
std::string FormatAnswerValue(const TAnswerFieldDef& field, std::string_view raw,
                              const AnswerDisplayOptions& options);

// The return code's hint: "(" + the code as 4 hexadecimal digits + ") " + its description.
std::string ReturnCodeHint(std::uint16_t returnCode, std::string_view description);

// The answer display list: an empty text, the return code in decimal and an empty text
// (positions 0 to 2), then the extra fields in order.
// - Extended protocol: positions 0 and 2 are "Reserved" (hidden unless ExtReservedFields),
//   position 1 is "Return code" with its hint, answer field k names position k + 3.
// - Compatibility protocol: answer field k names position k, the first three included (files
//   for that protocol describe those three places with their first answer fields).
// Positions without an answer field are labelled "Field" + position and not Named.
// Every extra field gets an entry, also beyond MaxFields: no value is ever dropped.
std::vector<AnswerEntry> BuildAnswerEntries(const AnswerDisplayOptions& options,
                                            std::span<const TAnswerFieldDef> answerFields,
                                            std::uint16_t returnCode,
                                            const std::vector<std::string>& extraFields,
                                            std::string_view returnCodeDescription);

// The same with the answer fields of a loaded command definition.
std::vector<AnswerEntry> BuildAnswerEntries(const AnswerDisplayOptions& options,
                                            const TCommandDefinition& definition,
                                            std::uint16_t returnCode,
                                            const std::vector<std::string>& extraFields,
                                            std::string_view returnCodeDescription);

// Placement of the answer entries below the separator (pixels, relative to the scroll box).
inline constexpr int AnswerColumnPitch = 170; // client width per column when counting columns
inline constexpr int AnswerFirstLeft = 20;
inline constexpr int AnswerColumnGap = 10;
inline constexpr int AnswerRowPitch = 55;
inline constexpr int AnswerFirstRowOffset = 10; // below the separator
inline constexpr int AnswerEditOffset = 18;     // edit below its label

struct AnswerGridLayout
{
    int Columns = 1;     // clientWidth div 170, at least 1
    int ColumnWidth = 0; // (clientWidth - 160 * columns - 30) div columns + 150
};

AnswerGridLayout LayoutAnswerGrid(int clientWidth);

struct AnswerCellPosition
{
    int Left = 0;
    int LabelTop = 0;
    int EditTop = 0;
    int EditWidth = 0;
};

// Where the entry at `position` goes, filling the columns left to right, row by row.
AnswerCellPosition AnswerCell(const AnswerGridLayout& layout, int position, int separatorBottom);

} // namespace tallyhost

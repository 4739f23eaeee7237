#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/termdefs.h"

namespace tallyhost {

class TExtIniFile;

// The rules of the fixed answer editor: the status-decode records of [FiscalAnswer] and
// [PrinterAnswer] as the editor's grid holds them, and how a list of them is written back.
// The dialog (editors/formeditfixanswer.*) and `tallyhost-cli status` both drive
// TStatusRecordList, so the two never disagree on what reaches the file.

// One row of the grid: the five values of a record as texts, the way the file holds them.
struct TStatusGridRow
{
    std::string Panel;  // decimal, "1".."16" when written by the editor
    std::string Mask;   // hexadecimal digits, padded to four on OK
    std::string Result; // hexadecimal digits, padded to four on OK
    std::string Text;   // text on true
    std::string Color;  // colour name ("clRed"), or the file's own colour text, kept as it is

    bool operator==(const TStatusGridRow&) const = default;
};

// Longest mask and result, and longest text on true, the record dialog lets in.
inline constexpr int MaxStatusHexDigits = 4;
inline constexpr int MaxStatusTextLength = 25;
// The panels the record dialog offers.
inline constexpr int MinPickerPanel = 1;
inline constexpr int MaxPickerPanel = 16;

// Mask and result as stored: zeros on the left up to four digits ("F" -> "000F", "1A0" ->
// "01A0"); a value of four or more digits is kept as it is.
std::string PadHex4(std::string_view hex);

// The record dialog's OK rule: panel, text on true, mask and result all given. The colour
// plays no part (the picker always has one).
bool StatusRecordOk(std::string_view panel, std::string_view mask, std::string_view result,
                    std::string_view text);

// Checks of single values, each giving the reason a typed value cannot be stored, or nullopt.
// The dialog's boxes never let such values in; the command-line tool refuses them with these.
// A panel the record dialog offers: a whole number 1..16.
std::optional<std::string> StatusPanelProblem(std::string_view panel);
// A mask or result: 1 to 4 hexadecimal digits.
std::optional<std::string> StatusHexProblem(std::string_view what, std::string_view hex);
// A text on true: not empty, at most 25 characters, no line break.
std::optional<std::string> StatusTextProblem(std::string_view text);
// A colour: a colour name or an integer, as the status decoding reads it.
std::optional<std::string> StatusColorProblem(std::string_view color);
// The colour text written for a typed colour: a name in its usual spelling ("clred" ->
// "clRed"), anything else as typed.
std::string StatusColorText(std::string_view color);

// The record can never match: the result has bits the mask clears. Empty when it can, or when
// mask or result is no hexadecimal number (their own checks say so). A warning, not a refusal.
std::string StatusNeverMatchesWarning(std::string_view mask, std::string_view result);

// The value of key "Record" + number: number, panel, mask, result, the text between double
// quotes (a double quote inside doubled, so that it reads back as typed) and the colour:
// 1,1,FF11,0011,"Message1",clRed
std::string StatusRecordLine(int number, const TStatusGridRow& row);

// The records of a section in file order. Each line (key, "=" and value as written) is split
// as comma text: the first item (key and record number) is ignored, items 1..5 are the row.
// Record numbers in the file are not used. Missing items read as empty.
std::vector<TStatusGridRow> LoadStatusGrid(const TExtIniFile& ini, std::string_view section);

// Writes `rows` as the whole section, renumbered Record1..RecordN in list order, as ONE atomic
// replacement of the file: there is never a moment on disk without the section. An empty list
// removes the section, heading included. Throws IniWriteError; the file is then unchanged. A
// file that no longer exists is not created again (it would hold nothing but this section).
void SaveStatusGrid(TExtIniFile& ini, std::string_view section,
                    const std::vector<TStatusGridRow>& rows);

// The list of one status section as the editor works on it: each change is applied to the
// rows and written at once (SaveStatusGrid). A refused write reloads the rows from the file
// before the error goes on, so what is shown is always what the disk holds.
class TStatusRecordList
{
public:
    TStatusRecordList(TExtIniFile& ini, std::string section);

    // (Re)reads the section.
    void Load();

    const std::string& Section() const { return m_section; }
    const std::vector<TStatusGridRow>& Rows() const { return m_rows; }
    bool HasRecords() const { return !m_rows.empty(); }
    std::size_t Count() const { return m_rows.size(); }

    // Mask and result are padded to four digits (the OK button of the record dialog does
    // the same before the values reach the list). Each throws IniWriteError.
    void Add(TStatusGridRow row);
    void Modify(std::size_t index, TStatusGridRow row);
    void Remove(std::size_t index);

private:
    void Save();

    TExtIniFile& m_ini;
    std::string m_section;
    std::vector<TStatusGridRow> m_rows;
};

// The colour shown for a grid row's colour text, for drawing it; black when the text names
// no colour.
TColor StatusRowColor(std::string_view colorText);

} // namespace tallyhost

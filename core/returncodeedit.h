#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

class TExtIniFile;

// The rules of the return code editor: the descriptions in section "Return codes", one key
// "RC" + number each, as the editor's grid holds them, and how they are written back. The
// dialog (editors/formeditreturncode.*) and `tallyhost-cli rc` both drive TReturnCodeList.
//
// Keys that are not "RC" followed by a number 0..99999 (hand-edited files) are no return codes
// the answer display can find; they are kept as they are (name and value byte for byte) and
// written after the numbered entries, never sorted, renamed or dropped. A number that a
// hand-edited file lists twice (RC7 and RC007) has RC7 as its entry (the key the answer
// display reads) and RC007 kept that way, so that saving never merges two descriptions into
// one key. An entry whose only key is RC007 is written back as RC7.

// Return code numbers: whole numbers of at most five digits.
inline constexpr int MaxReturnCodeDigits = 5;

struct TReturnCodeRow
{
    std::string Number; // decimal without leading zeros
    std::string Text;   // the description as typed (read with the profile's quote stripping)
    // The value as the file holds it (quotes and all) for an entry nobody changed, written
    // back byte for byte; empty for an entry added or modified, which is written as typed.
    std::string Stored;

    // Rows are the same when they show the same (how the text is stored plays no part).
    bool operator==(const TReturnCodeRow& other) const
    {
        return Number == other.Number && Text == other.Text;
    }
};

// A key of the section kept as it is.
struct TKeptReturnCodeKey
{
    std::string Key;
    std::string RawValue; // quotes included

    bool operator==(const TKeptReturnCodeKey&) const = default;
};

// The typed number in normalized decimal ("007" -> "7", "0" and "00" -> "0"), or nullopt when
// it is not 1 to 5 decimal digits.
std::optional<std::string> NormalizeReturnCode(std::string_view typed);
// The number of a key "RC" + 1..5 digits (any letter case of "RC"), or nullopt.
std::optional<int> ReturnCodeKeyNumber(std::string_view key);
// "RC" + the normalized number: the key of code 5 is RC5.
std::string ReturnCodeKey(std::string_view normalizedNumber);

// The record dialog's OK rule: number and description both given.
bool ReturnCodeRecordOk(std::string_view number, std::string_view text);
// Why a typed description cannot be stored as typed (a line break would be written as a
// blank), or nullopt.
std::optional<std::string> ReturnCodeTextProblem(std::string_view text);

// The entries of the section in file order (not sorted); keys kept as they are go to `kept`.
std::vector<TReturnCodeRow> LoadReturnCodeGrid(const TExtIniFile& ini,
                                               std::vector<TKeptReturnCodeKey>& kept);
// Orders the rows by the value of their numbers, ascending; rows of equal value keep their
// order (the sort is stable).
void SortReturnCodeGrid(std::vector<TReturnCodeRow>& rows);
// Writes the section whole: "RC" + number = description for each row in list order (an
// untouched row's value as stored), then the kept keys, as ONE atomic replacement of the file.
// Nothing left removes the section, heading included. Throws IniWriteError; the file is then
// unchanged. A file that no longer exists is not created again (it would hold nothing but the
// return codes).
void SaveReturnCodeGrid(TExtIniFile& ini, const std::vector<TReturnCodeRow>& rows,
                        const std::vector<TKeptReturnCodeKey>& kept);

// The list as the editor works on it: each change is applied, sorted where the editor sorts,
// and written at once. A refused write reloads the list from the file before the error goes
// on, so what is shown is always what the disk holds.
class TReturnCodeList
{
public:
    explicit TReturnCodeList(TExtIniFile& ini);

    void Load();

    const std::vector<TReturnCodeRow>& Rows() const { return m_rows; }
    const std::vector<TKeptReturnCodeKey>& Kept() const { return m_kept; }
    bool HasEntries() const { return !m_rows.empty(); }

    // Whether the section has the code already (compared by value, so 007 is 7; key names
    // without regard to letter case).
    bool ReturnCodeExists(std::string_view normalizedNumber) const;
    // Index of the row holding the code, or nullopt.
    std::optional<std::size_t> Find(std::string_view normalizedNumber) const;

    enum class TResult
    {
        Done,
        Exists,    // the number is taken: "The return codes already exits !!!"
        BadNumber, // not 1..5 digits
    };
    // Add and Modify take the number as typed; both sort and save. Throw IniWriteError.
    TResult Add(std::string_view typedNumber, std::string text);
    // A new number of the same value as the row's own is no conflict.
    TResult Modify(std::size_t index, std::string_view typedNumber, std::string text);
    // Removes the row and saves, without sorting. Other keys of the same number (RC007 beside
    // RC7) go with it: left behind, they would bring the code back at the next load.
    void Remove(std::size_t index);

private:
    void Save();

    TExtIniFile& m_ini;
    std::vector<TReturnCodeRow> m_rows;
    std::vector<TKeptReturnCodeKey> m_kept;
};

} // namespace tallyhost

#include "core/returncodeedit.h"

#include "core/errors.h"
#include "core/profile.h"
#include "core/termfile.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace tallyhost {

namespace {

int NumberValue(std::string_view normalized)
{
    int value = 0;
    for (const char c : normalized)
        value = value * 10 + (c - '0');
    return value;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<std::string> NormalizeReturnCode(std::string_view typed)
{
    if (!AllDigits(typed) || typed.size() > static_cast<std::size_t>(MaxReturnCodeDigits))
        return std::nullopt;
    const auto first = typed.find_first_not_of('0');
    return first == typed.npos ? std::string("0") : std::string(typed.substr(first));
}

std::optional<int> ReturnCodeKeyNumber(std::string_view key)
{
    if (key.size() < 3 || !SameName(key.substr(0, 2), KeyReturnCodePrefix))
        return std::nullopt;
    const auto normalized = NormalizeReturnCode(key.substr(2));
    if (!normalized)
        return std::nullopt;
    return NumberValue(*normalized);
}

std::string ReturnCodeKey(std::string_view normalizedNumber)
{
    return std::string(KeyReturnCodePrefix) + std::string(normalizedNumber);
}

bool ReturnCodeRecordOk(std::string_view number, std::string_view text)
{
    return !number.empty() && !text.empty();
}

std::optional<std::string> ReturnCodeTextProblem(std::string_view text)
{
    if (text.empty())
        return std::string("the description is empty");
    if (text.find_first_of("\r\n") != text.npos)
        return std::string("the description holds a line break");
    return std::nullopt;
}

std::vector<TReturnCodeRow> LoadReturnCodeGrid(const TExtIniFile& ini,
                                               std::vector<TKeptReturnCodeKey>& kept)
{
    std::vector<TReturnCodeRow> rows;
    kept.clear();
    // Every key: the section is written back whole, so one left out would be lost.
    const std::vector<std::string> keys = ini.ReadSectionAll(SectionReturnCodes);
    // The key the answer display finds for code n is RC<n>; where a file also has RC007 for 7,
    // RC7 is the entry and RC007 is kept under its own name (rewriting it as RC7 would
    // overwrite one of the two descriptions).
    std::unordered_set<int> plain;
    for (const std::string& key : keys) {
        const auto number = ReturnCodeKeyNumber(key);
        if (number && key.substr(2) == std::to_string(*number))
            plain.insert(*number);
    }
    std::unordered_set<int> taken;
    for (const std::string& key : keys) {
        const auto number = ReturnCodeKeyNumber(key);
        const bool isPlain = number && key.substr(2) == std::to_string(*number);
        if (number && (isPlain || !plain.contains(*number)) && taken.insert(*number).second) {
            rows.push_back(
                TReturnCodeRow{std::to_string(*number),
                               ini.ReadString(SectionReturnCodes, key, {}, NoProfileLimit),
                               ini.ReadRawString(SectionReturnCodes, key)});
        } else {
            kept.push_back(TKeptReturnCodeKey{key, ini.ReadRawString(SectionReturnCodes, key)});
        }
    }
    return rows;
}

void SortReturnCodeGrid(std::vector<TReturnCodeRow>& rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TReturnCodeRow& a, const TReturnCodeRow& b) {
                         return NumberValue(a.Number) < NumberValue(b.Number);
                     });
}

void SaveReturnCodeGrid(TExtIniFile& ini, const std::vector<TReturnCodeRow>& rows,
                        const std::vector<TKeptReturnCodeKey>& kept)
{
    RefuseVanishedFile(ini);
    TIniTransaction transaction(ini);
    ini.EraseSection(SectionReturnCodes);
    for (const TReturnCodeRow& row : rows)
        ini.WriteString(SectionReturnCodes, ReturnCodeKey(row.Number),
                        row.Stored.empty() ? row.Text : row.Stored);
    for (const TKeptReturnCodeKey& key : kept)
        ini.WriteString(SectionReturnCodes, key.Key, key.RawValue);
    transaction.Commit();
}

TReturnCodeList::TReturnCodeList(TExtIniFile& ini) : m_ini(ini) {}

void TReturnCodeList::Load()
{
    m_rows = LoadReturnCodeGrid(m_ini, m_kept);
}

std::optional<std::size_t> TReturnCodeList::Find(std::string_view normalizedNumber) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].Number == normalizedNumber)
            return i;
    }
    return std::nullopt;
}

bool TReturnCodeList::ReturnCodeExists(std::string_view normalizedNumber) const
{
    if (Find(normalizedNumber))
        return true;
    // A second key of the same number, kept aside, is taken too.
    const int value = NumberValue(normalizedNumber);
    return std::any_of(m_kept.begin(), m_kept.end(), [value](const TKeptReturnCodeKey& k) {
        const auto number = ReturnCodeKeyNumber(k.Key);
        return number && *number == value;
    });
}

void TReturnCodeList::Save()
{
    try {
        SaveReturnCodeGrid(m_ini, m_rows, m_kept);
    } catch (const Error&) {
        Load();
        throw;
    }
}

TReturnCodeList::TResult TReturnCodeList::Add(std::string_view typedNumber, std::string text)
{
    const auto number = NormalizeReturnCode(typedNumber);
    if (!number)
        return TResult::BadNumber;
    if (ReturnCodeExists(*number))
        return TResult::Exists;
    m_rows.push_back(TReturnCodeRow{*number, std::move(text), {}});
    SortReturnCodeGrid(m_rows);
    Save();
    return TResult::Done;
}

TReturnCodeList::TResult TReturnCodeList::Modify(std::size_t index, std::string_view typedNumber,
                                                 std::string text)
{
    if (index >= m_rows.size())
        return TResult::Done;
    const auto number = NormalizeReturnCode(typedNumber);
    if (!number)
        return TResult::BadNumber;
    if (*number != m_rows[index].Number && ReturnCodeExists(*number))
        return TResult::Exists;
    m_rows[index] = TReturnCodeRow{*number, std::move(text), {}};
    SortReturnCodeGrid(m_rows);
    Save();
    return TResult::Done;
}

void TReturnCodeList::Remove(std::size_t index)
{
    if (index >= m_rows.size())
        return;
    const int number = NumberValue(m_rows[index].Number);
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    std::erase_if(m_kept, [number](const TKeptReturnCodeKey& k) {
        const auto keyNumber = ReturnCodeKeyNumber(k.Key);
        return keyNumber && *keyNumber == number;
    });
    Save();
}

} // namespace tallyhost

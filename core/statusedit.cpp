#include "core/statusedit.h"

#include "core/colors.h"
#include "core/commatext.h"
#include "core/errors.h"
#include "core/fieldedit.h"
#include "core/hexdigit.h"
#include "core/profile.h"
#include "core/strtoint.h"
#include "core/termfile.h"

#include <utility>

namespace tallyhost {

namespace {

const std::string& itemAt(const std::vector<std::string>& items, std::size_t i)
{
    static const std::string empty;
    return i < items.size() ? items[i] : empty;
}

} // namespace

std::string PadHex4(std::string_view hex)
{
    std::string padded;
    if (hex.size() < static_cast<std::size_t>(MaxStatusHexDigits))
        padded.assign(static_cast<std::size_t>(MaxStatusHexDigits) - hex.size(), '0');
    padded += hex;
    return padded;
}

bool StatusRecordOk(std::string_view panel, std::string_view mask, std::string_view result,
                    std::string_view text)
{
    return !panel.empty() && !text.empty() && !mask.empty() && !result.empty();
}

std::optional<std::string> StatusPanelProblem(std::string_view panel)
{
    std::int32_t value = 0;
    const bool digits = !panel.empty() && panel.find_first_not_of("0123456789") == panel.npos;
    if (!digits || !TryStrToInt(panel, value) || value < MinPickerPanel || value > MaxPickerPanel)
        return "the panel must be a number from 1 to 16, not '" + std::string(panel) + "'";
    return std::nullopt;
}

std::optional<std::string> StatusHexProblem(std::string_view what, std::string_view hex)
{
    bool ok = !hex.empty() && hex.size() <= static_cast<std::size_t>(MaxStatusHexDigits);
    for (const char c : hex)
        ok = ok && HexDigitValue(c) >= 0;
    if (!ok)
        return "the " + std::string(what) + " must be 1 to 4 hexadecimal digits, not '" +
               std::string(hex) + "'";
    return std::nullopt;
}

std::optional<std::string> StatusTextProblem(std::string_view text)
{
    if (text.empty())
        return std::string("the text on true is empty");
    if (text.size() > static_cast<std::size_t>(MaxStatusTextLength))
        return "the text on true has more than 25 characters: '" + std::string(text) + "'";
    if (text.find_first_of("\r\n") != text.npos)
        return std::string("the text on true holds a line break");
    return std::nullopt;
}

std::optional<std::string> StatusColorProblem(std::string_view color)
{
    TColor value = 0;
    if (!IdentToColor(color, value) && !TryStrToInt(color, value))
        return "'" + std::string(color) + "' is neither a colour name nor a colour value";
    return std::nullopt;
}

std::string StatusColorText(std::string_view color)
{
    TColor value = 0;
    std::string name;
    if (IdentToColor(color, value) && ColorToIdent(value, name) && SameName(name, color))
        return name;
    return std::string(color);
}

std::string StatusRecordLine(int number, const TStatusGridRow& row)
{
    // The text's inner quotes doubled, as comma text reads "" inside quotes as one quote: a
    // typed quote would otherwise end the text early and push the colour into a seventh item.
    return std::to_string(number) + ',' + row.Panel + ',' + row.Mask + ',' + row.Result + ',' +
           QuotedText(row.Text) + ',' + row.Color;
}

std::vector<TStatusGridRow> LoadStatusGrid(const TExtIniFile& ini, std::string_view section)
{
    std::vector<TStatusGridRow> rows;
    // Every key, not only the first 16 KB of names: the section is written back whole, and
    // a record left out of the listing would be lost by the next change.
    for (const std::string& key : ini.ReadSectionAll(section)) {
        // The line as written: a value that happens to begin and end with a quote keeps it.
        const std::vector<std::string> items =
            SplitCommaText(key + '=' + ini.ReadRawString(section, key));
        rows.push_back(TStatusGridRow{itemAt(items, 1), itemAt(items, 2), itemAt(items, 3),
                                      itemAt(items, 4), itemAt(items, 5)});
    }
    return rows;
}

void SaveStatusGrid(TExtIniFile& ini, std::string_view section,
                    const std::vector<TStatusGridRow>& rows)
{
    TIniTransaction transaction(ini);
    ini.EraseSection(section);
    const std::string prefix(KeyRecordPrefix);
    int number = 0;
    for (const TStatusGridRow& row : rows) {
        ++number;
        ini.WriteString(section, prefix + std::to_string(number), StatusRecordLine(number, row));
    }
    transaction.Commit();
}

TStatusRecordList::TStatusRecordList(TExtIniFile& ini, std::string section)
    : m_ini(ini), m_section(std::move(section))
{
}

void TStatusRecordList::Load()
{
    m_rows = LoadStatusGrid(m_ini, m_section);
}

void TStatusRecordList::Save()
{
    try {
        SaveStatusGrid(m_ini, m_section, m_rows);
    } catch (const Error&) {
        Load();
        throw;
    }
}

void TStatusRecordList::Add(TStatusGridRow row)
{
    row.Mask = PadHex4(row.Mask);
    row.Result = PadHex4(row.Result);
    m_rows.push_back(std::move(row));
    Save();
}

void TStatusRecordList::Modify(std::size_t index, TStatusGridRow row)
{
    if (index >= m_rows.size())
        return;
    row.Mask = PadHex4(row.Mask);
    row.Result = PadHex4(row.Result);
    m_rows[index] = std::move(row);
    Save();
}

void TStatusRecordList::Remove(std::size_t index)
{
    if (index >= m_rows.size())
        return;
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    Save();
}

TColor StatusRowColor(std::string_view colorText)
{
    TColor value = 0;
    if (IdentToColor(colorText, value) || TryStrToInt(colorText, value))
        return value;
    return clBlack;
}

} // namespace tallyhost

#include "core/answerdecode.h"

#include "core/valueformat.h"

#include <algorithm>

namespace tallyhost {

namespace {

std::string Hex4(std::uint16_t value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string result(4, '0');
    for (int i = 3; i >= 0; --i) {
        result[static_cast<std::size_t>(i)] = kHex[value & 0xF];
        value = static_cast<std::uint16_t>(value >> 4);
    }
    return result;
}

} // namespace

// ---- status words -------------------------------------------------------------------------

std::vector<StatusPanelText> DecodeStatusWord(std::uint16_t word, const TStatusTable& table)
{
    const int panelCount = std::clamp(table.PanelCount, 0, MaxStatusPanels);
    std::vector<StatusPanelText> panels(static_cast<std::size_t>(panelCount));
    const int recordCount = std::clamp(table.RecordCount, 0, MaxFields);
    for (int i = 0; i < recordCount; ++i) {
        const TStatusRecord& record = table.Records[static_cast<std::size_t>(i)];
        if (record.Panel < 1 || record.Panel > panelCount)
            continue;
        // A result with bits outside the mask never matches, as the word has none there.
        if ((static_cast<std::int32_t>(word) & record.Mask) != record.Result)
            continue;
        StatusPanelText& panel = panels[static_cast<std::size_t>(record.Panel - 1)];
        panel.Matched = true;
        panel.Text = record.Text;
        panel.Color = record.Color;
    }
    return panels;
}

std::string StatusWordHex(std::uint16_t word)
{
    return Hex4(word);
}

std::string FiscalAnswerCaption(std::uint16_t word)
{
    return "Fiscal answer = " + Hex4(word);
}

std::string PrinterAnswerCaption(std::uint16_t word)
{
    return "Printer answer = " + Hex4(word);
}

StatusPanelLayout LayoutStatusPanels(int clientWidth, int panelCount)
{
    StatusPanelLayout layout;
    layout.Columns = std::max(clientWidth / StatusColumnPitch, 1);
    const int n = layout.Columns;
    layout.FirstLeft = (clientWidth - (StatusPanelWidth * n + StatusPanelGap * (n - 1))) / 2;
    panelCount = std::max(panelCount, 0);
    layout.Rows = panelCount / n + (panelCount % n != 0 ? 1 : 0);
    layout.Height = layout.Rows > 0 ? layout.Rows * StatusRowPitch + 8 : 0;
    return layout;
}

PanelPosition StatusPanelPosition(const StatusPanelLayout& layout, int index)
{
    const int columns = std::max(layout.Columns, 1);
    return PanelPosition{layout.FirstLeft + (index % columns) * (StatusPanelWidth + StatusPanelGap),
                         StatusFirstRowTop + (index / columns) * StatusRowPitch};
}

// ---- answer values ------------------------------------------------------------------------

std::string FormatAnswerValue(const TAnswerFieldDef& field, std::string_view raw,
                              const AnswerDisplayOptions& options)
{
    switch (field.TextType) {
    case ftdCurrency:
        return CurrencyToText(raw, field.DecimalDigits);
    case ftdDecimal:
        return DecimalToText(raw);
    case ftdHexadecimal:
        return HexaToText(raw);
    case ftdBinary:
        return BinaryToText(raw);
    case TextTypeDate: {
        const int year = options.CurrentYear != 0 ? options.CurrentYear : CurrentLocalYear();
        return DateToText(raw, options.InputDateFormat, options.OutputDateFormat, year);
    }
    case TextTypeTime:
        return TimeToText(raw);
    default:
        return std::string(raw);
    }
}

std::string ReturnCodeHint(std::uint16_t returnCode, std::string_view description)
{
    std::string hint = "(" + Hex4(returnCode) + ") ";
    hint += description;
    return hint;
}

std::vector<AnswerEntry> BuildAnswerEntries(const AnswerDisplayOptions& options,
                                            std::span<const TAnswerFieldDef> answerFields,
                                            std::uint16_t returnCode,
                                            const std::vector<std::string>& extraFields,
                                            std::string_view returnCodeDescription)
{
    std::vector<std::string> values;
    values.reserve(extraFields.size() + 3);
    values.emplace_back();
    values.push_back(std::to_string(returnCode));
    values.emplace_back();
    values.insert(values.end(), extraFields.begin(), extraFields.end());

    const bool extended = options.Protocol == 1;
    std::vector<AnswerEntry> entries;
    entries.reserve(values.size());
    for (std::size_t p = 0; p < values.size(); ++p) {
        AnswerEntry entry;
        entry.Position = static_cast<int>(p);
        if (extended && (p == 0 || p == 2)) {
            entry.Label = "Reserved";
            entry.Value = values[p];
            entry.Visible = options.ExtReservedFields;
        } else if (extended && p == 1) {
            entry.Label = "Return code";
            entry.Value = values[p];
            entry.Hint = ReturnCodeHint(returnCode, returnCodeDescription);
        } else {
            const std::size_t k = extended ? p - 3 : p;
            if (k < answerFields.size()) {
                entry.Label = answerFields[k].Caption;
                entry.Value = FormatAnswerValue(answerFields[k], values[p], options);
            } else {
                entry.Label = "Field" + std::to_string(p);
                entry.Value = values[p];
                entry.Named = false;
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<AnswerEntry> BuildAnswerEntries(const AnswerDisplayOptions& options,
                                            const TCommandDefinition& definition,
                                            std::uint16_t returnCode,
                                            const std::vector<std::string>& extraFields,
                                            std::string_view returnCodeDescription)
{
    const auto count = static_cast<std::size_t>(std::clamp(definition.AnswerCount, 0, MaxFields));
    return BuildAnswerEntries(options, std::span(definition.Answers.data(), count), returnCode,
                              extraFields, returnCodeDescription);
}

AnswerGridLayout LayoutAnswerGrid(int clientWidth)
{
    AnswerGridLayout layout;
    layout.Columns = std::max(clientWidth / AnswerColumnPitch, 1);
    layout.ColumnWidth = (clientWidth - 160 * layout.Columns - 30) / layout.Columns + 150;
    return layout;
}

AnswerCellPosition AnswerCell(const AnswerGridLayout& layout, int position, int separatorBottom)
{
    const int columns = std::max(layout.Columns, 1);
    AnswerCellPosition cell;
    cell.Left = AnswerFirstLeft + (position % columns) * (layout.ColumnWidth + AnswerColumnGap);
    cell.LabelTop = separatorBottom + AnswerFirstRowOffset + (position / columns) * AnswerRowPitch;
    cell.EditTop = cell.LabelTop + AnswerEditOffset;
    cell.EditWidth = layout.ColumnWidth;
    return cell;
}

} // namespace tallyhost

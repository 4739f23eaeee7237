#include "core/fieldrecord.h"

#include <algorithm>
#include <utility>

#include "core/inputrules.h"
#include "core/strtoint.h"
#include "core/valueformat.h"

namespace tallyhost {

namespace {

constexpr std::size_t boxIndex(TCommandBox box)
{
    return static_cast<std::size_t>(box);
}

bool isDrop(int controlType)
{
    return controlType == ctDropDown || controlType == ctDropDownList;
}

bool isDateTimeControl(int controlType)
{
    return controlType == ctDate || controlType == ctTime;
}

bool isDateTimeType(int textType)
{
    return textType == TextTypeDate || textType == TextTypeTime;
}

// The text a typed box holds after a text is put into it: cut to its limit, then emptied when
// its filter refuses a character (the order of a paste into a limited edit field).
std::string boxText(const TRecordBox& box, std::string_view text)
{
    if (box.MaxLength > 0 && text.size() > static_cast<std::size_t>(box.MaxLength))
        text = text.substr(0, static_cast<std::size_t>(box.MaxLength));
    return TextAfterChange(box.Filter, text);
}

std::string boxRefusal(const TRecordBox& box, std::string_view text)
{
    if (std::string lineBreak = LineBreakRefusal(text); !lineBreak.empty())
        return lineBreak;
    if (!box.Enabled) {
        if (text == box.Text)
            return {};
        return box.Text.empty() ? "the box is disabled here and stays empty"
                                : "the box is disabled here and shows \"" + box.Text + "\"";
    }
    if (box.MaxLength > 0 && text.size() > static_cast<std::size_t>(box.MaxLength))
        return "at most " + std::to_string(box.MaxLength) +
               (box.MaxLength == 1 ? " character" : " characters");
    if (!TextAllowed(box.Filter, text))
        return box.Filter <= ftdBool ? "a " + TextTypeName(box.Filter) + " box does not take \"" +
                                           std::string(text) + "\""
                                     : "not accepted";
    return {};
}

} // namespace

std::string LineBreakRefusal(std::string_view text)
{
    // The file stores a line break as a blank: the text would not read back as given.
    return text.find_first_of("\r\n") == std::string_view::npos
               ? std::string()
               : "a line break cannot be stored in this one-line value";
}

std::vector<std::string> MemoLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto lf = text.find('\n', start);
        std::string_view line =
            text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return lines;
}

std::string MemoText(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    // A last empty line needs its line end to stay a line.
    if (!lines.empty() && lines.back().empty())
        text += '\n';
    return text;
}

std::string_view CommandBoxName(TCommandBox box)
{
    switch (box) {
    case TCommandBox::Caption:
        return "caption";
    case TCommandBox::Hint:
        return "hint";
    case TCommandBox::DefaultText:
        return "default";
    case TCommandBox::MaxLength:
        return "max";
    case TCommandBox::MinLength:
        return "min";
    case TCommandBox::DecimalDigits:
        return "decimals";
    }
    return "";
}

// ---- command field ----------------------------------------------------------------------

TRecordBox& TCommandRecordModel::box(TCommandBox b)
{
    return m_boxes[boxIndex(b)];
}

const TRecordBox& TCommandRecordModel::Box(TCommandBox b) const
{
    return m_boxes[boxIndex(b)];
}

TCommandRecordModel TCommandRecordModel::ForAdd(bool first)
{
    TCommandRecordModel m;
    m.m_windowCaption = std::string(AddFieldCaption);
    m.box(TCommandBox::Caption).MaxLength = RecordTextLimit;
    m.box(TCommandBox::Hint).MaxLength = RecordTextLimit;
    for (TCommandBox b :
         {TCommandBox::MaxLength, TCommandBox::MinLength, TCommandBox::DecimalDigits})
        m.box(b) = TRecordBox{"0", true, ftdNumerical, 0};
    m.m_modeEnabled = first;
    m.m_notesEnabled = first;
    m.SetControlType(ctSimple);
    return m;
}

TCommandRecordModel TCommandRecordModel::ForModify(const TCommandRow& cells,
                                                   std::vector<std::string> comboLines,
                                                   std::vector<std::string> noteLines)
{
    TCommandRecordModel m;
    m.m_fieldNumber = StrToIntDef(cells[ccNumber], 0);
    m.m_windowCaption = std::string(EditFieldCaption) + cells[ccNumber];
    // A caption written by hand may be longer than can be typed; opening it must not cut it.
    for (auto [b, column] :
         {std::pair{TCommandBox::Caption, ccCaption}, std::pair{TCommandBox::Hint, ccHint}}) {
        TRecordBox& text = m.box(b);
        text.Text = cells[column];
        text.MaxLength = std::max<int>(RecordTextLimit, static_cast<int>(text.Text.size()));
    }
    for (TCommandBox b :
         {TCommandBox::MaxLength, TCommandBox::MinLength, TCommandBox::DecimalDigits})
        m.box(b) = TRecordBox{"0", true, ftdNumerical, 0};
    m.m_required = cells[ccRequired] == "Yes";
    m.m_readOnly = cells[ccReadOnly] == "Yes";
    m.m_autoIncrement = cells[ccAutoIncrement] == "Yes";
    m.m_textType = TextTypeFromName(cells[ccTextType]);
    m.m_mode = ModeFromName(cells[ccMode]);
    m.m_controlType = ControlTypeFromName(cells[ccControlType]);
    m.m_comboLines = std::move(comboLines);
    m.m_noteLines = std::move(noteLines);
    m.m_modeEnabled = m.m_fieldNumber < 2;
    m.m_notesEnabled = m.m_fieldNumber < 2;
    m.ApplyStoredValues(cells);
    return m;
}

void TCommandRecordModel::SetMode(int mode)
{
    if (mode == cmHost || mode == cmFiscal)
        m_mode = mode;
}

void TCommandRecordModel::SetTextType(int textType)
{
    if (textType < 0 || textType > TextTypeTime)
        return;
    m_textType = textType;
    UpdateEditState();
}

void TCommandRecordModel::SetControlType(int controlType)
{
    if (controlType < ctSimple || controlType > ctTime)
        return;
    m_controlType = controlType;
    if (controlType == ctDate)
        m_textType = TextTypeDate;
    else if (controlType == ctTime)
        m_textType = TextTypeTime;
    UpdateEditState();
}

// The text-type rule: the default text box's filter, then every dependent box by the text type
// and the control type, each given a fresh text.
void TCommandRecordModel::UpdateEditState()
{
    TRecordBox& def = box(TCommandBox::DefaultText);
    def.Filter = isDateTimeType(m_textType) ? std::uint8_t{ftdAlphaNumeric}
                                            : static_cast<std::uint8_t>(m_textType);
    // A Boolean box holds one character from the moment it gets the filter.
    def.MaxLength = MaxLengthForType(def.Filter, def.MaxLength);
    // Text types 0..7 cannot be paired with a Date or Time control (the control forces its
    // type first); for such a pair, as stored by hand, only the filter is set.
    if (!isDateTimeType(m_textType) && isDateTimeControl(m_controlType))
        return;

    const bool simple = m_controlType == ctSimple;
    const bool drop = isDrop(m_controlType);

    m_comboLinesEnabled = drop;
    if (!drop)
        m_comboLines.clear();

    def.Text.clear();
    def.Enabled = simple;
    if (m_textType == ftdBool)
        def.MaxLength = 1;
    else if (isDateTimeType(m_textType) && !isDateTimeControl(m_controlType))
        def.MaxLength = DateTimeTextLimit;
    else
        def.MaxLength = 0;

    TRecordBox& maxLength = box(TCommandBox::MaxLength);
    TRecordBox& minLength = box(TCommandBox::MinLength);
    TRecordBox& decimals = box(TCommandBox::DecimalDigits);
    if (m_textType == ftdBool)
        maxLength.Text.clear();
    else
        maxLength.Text = isDateTimeType(m_textType) ? "10" : "0";
    maxLength.Enabled = m_textType != ftdBool && !isDateTimeType(m_textType);
    minLength.Text = "0";
    minLength.Enabled = m_textType == ftdCurrency || m_textType == ftdDecimal ||
                        (m_textType == ftdHexadecimal && simple);
    decimals.Text = "0";
    decimals.Enabled = m_textType == ftdCurrency;

    m_textTypeEnabled = !isDateTimeControl(m_controlType);
    if (m_controlType == ctDate)
        m_textType = TextTypeDate;
    else if (m_controlType == ctTime)
        m_textType = TextTypeTime;
}

// The opening table of Modify mode: the enabling of the text-type rule with the field's stored
// values in the boxes. It differs from choosing the type anew in a few places (a Hexa drop-down
// field or a Binary field opens with min length editable, a Numeric field shows its stored
// lengths), which is kept so that opening and accepting a field never changes it.
void TCommandRecordModel::ApplyStoredValues(const TCommandRow& cells)
{
    TRecordBox& def = box(TCommandBox::DefaultText);
    TRecordBox& maxLength = box(TCommandBox::MaxLength);
    TRecordBox& minLength = box(TCommandBox::MinLength);
    TRecordBox& decimals = box(TCommandBox::DecimalDigits);

    if (!isDateTimeType(m_textType) && isDateTimeControl(m_controlType)) {
        // A pair no rule produces: the boxes as the form declares them.
        def.Filter = static_cast<std::uint8_t>(m_textType);
        def.MaxLength = MaxLengthForType(def.Filter, 0);
        def.Text.clear();
        def.Enabled = true;
        m_comboLinesEnabled = false;
        m_textTypeEnabled = true;
        return;
    }

    UpdateEditState();
    const bool simple = m_controlType == ctSimple;
    if (simple)
        def.Text = boxText(def, cells[ccDefaultText]);
    switch (m_textType) {
    case ftdAlphaNumeric:
    case ftdAlpha:
        maxLength.Text = cells[ccMaxLength];
        break;
    case ftdCurrency:
    case ftdNumerical:
    case ftdDecimal:
        maxLength.Text = cells[ccMaxLength];
        minLength.Text = cells[ccMinLength];
        decimals.Text = cells[ccDecimalDigits];
        break;
    case ftdHexadecimal:
    case ftdBinary:
        maxLength.Text = cells[ccMaxLength];
        minLength.Text = cells[ccMinLength];
        minLength.Enabled = true;
        break;
    case ftdBool:
        maxLength.Text = simple ? "0" : "";
        break;
    default: // Date, Time
        break;
    }
    for (TRecordBox* number : {&maxLength, &minLength, &decimals})
        number->Text = boxText(*number, number->Text);
}

void TCommandRecordModel::SetText(TCommandBox b, std::string_view text)
{
    TRecordBox& target = box(b);
    if (target.Enabled)
        target.Text = boxText(target, text);
}

std::string TCommandRecordModel::Refusal(TCommandBox b, std::string_view text) const
{
    return boxRefusal(Box(b), text);
}

void TCommandRecordModel::SetComboLines(std::vector<std::string> lines)
{
    if (m_comboLinesEnabled)
        m_comboLines = std::move(lines);
}

void TCommandRecordModel::SetNoteLines(std::vector<std::string> lines)
{
    if (m_notesEnabled)
        m_noteLines = std::move(lines);
}

TRecordRefusal TCommandRecordModel::OkRefusal() const
{
    if (Box(TCommandBox::Caption).Text.empty())
        return {"caption", "a field needs a caption"};
    for (TCommandBox b :
         {TCommandBox::MaxLength, TCommandBox::MinLength, TCommandBox::DecimalDigits}) {
        const TRecordBox& number = Box(b);
        if (number.Enabled && number.Text.empty())
            return {std::string(CommandBoxName(b)), "the box may not be empty for this text type"};
    }
    return {};
}

bool TCommandRecordModel::OkEnabled() const
{
    return !OkRefusal().Refused();
}

TCommandRecord TCommandRecordModel::Record() const
{
    TCommandRecord r;
    r.Mode = m_mode;
    r.Caption = Box(TCommandBox::Caption).Text;
    r.Hint = Box(TCommandBox::Hint).Text;
    r.TextType = m_textType;
    r.DefaultText = Box(TCommandBox::DefaultText).Text;
    r.ControlType = m_controlType;
    r.MaxLength = Box(TCommandBox::MaxLength).Text;
    r.MinLength = Box(TCommandBox::MinLength).Text;
    r.DecimalDigits = Box(TCommandBox::DecimalDigits).Text;
    r.Required = m_required;
    r.ReadOnly = m_readOnly;
    r.AutoIncrement = m_autoIncrement;
    r.ComboLines = m_comboLines;
    r.NoteLines = m_noteLines;
    return r;
}

// ---- answer field -----------------------------------------------------------------------

TAnswerRecordModel TAnswerRecordModel::ForAdd()
{
    TAnswerRecordModel m;
    m.m_windowCaption = std::string(AddFieldCaption);
    return m;
}

TAnswerRecordModel TAnswerRecordModel::ForModify(const TAnswerRow& cells)
{
    TAnswerRecordModel m;
    m.m_fieldNumber = StrToIntDef(cells[acNumber], 0);
    m.m_windowCaption = std::string(EditFieldCaption) + cells[acNumber];
    m.m_caption = cells[acCaption];
    m.m_textType = TextTypeFromName(cells[acTextType]);
    if (m.m_textType == ftdCurrency) {
        m.m_decimal.Enabled = true;
        m.m_decimal.Text = boxText(m.m_decimal, cells[acDecimalDigits]);
    }
    return m;
}

void TAnswerRecordModel::SetTextType(int textType)
{
    if (textType < 0 || textType > TextTypeTime)
        return;
    m_textType = textType;
    if (textType == ftdCurrency) {
        m_decimal.Enabled = true;
    } else {
        m_decimal.Text = "0";
        m_decimal.Enabled = false;
    }
}

void TAnswerRecordModel::SetDecimalText(std::string_view text)
{
    if (m_decimal.Enabled)
        m_decimal.Text = boxText(m_decimal, text);
}

std::string TAnswerRecordModel::DecimalRefusal(std::string_view text) const
{
    return boxRefusal(m_decimal, text);
}

TAnswerRecord TAnswerRecordModel::Record() const
{
    return {m_caption, m_textType, m_decimal.Text};
}

} // namespace tallyhost

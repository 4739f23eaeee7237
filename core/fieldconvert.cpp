#include "core/fieldconvert.h"

#include "core/hexdigit.h"

#include <algorithm>

namespace tallyhost {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string Quoted(std::string_view text)
{
    std::string result = "'";
    result += text;
    result += '\'';
    return result;
}

void CheckCurrency(std::string_view text, int width, int decimals)
{
    const auto separators =
        std::count_if(text.begin(), text.end(), [](char c) { return c == '.' || c == ','; });
    const bool onlyDigits = std::all_of(text.begin(), text.end(),
                                        [](char c) { return IsDigit(c) || c == '.' || c == ','; });
    if (!onlyDigits || separators > 1)
        throw FieldValueError(Quoted(text) + " is not a valid amount");
    if (!CurrencyFitsWidth(text, width, decimals))
        throw FieldValueError(Quoted(text) + " does not fit in " + std::to_string(width) +
                              " digits with " + std::to_string(decimals) + " decimals");
}

void CheckDecimal(std::string_view text)
{
    if (!text.empty() && !ParseInt32(text))
        throw FieldValueError(ConvertError::NotAnInteger(std::string(text)).what());
}

void CheckHexa(std::string_view text)
{
    if (!std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; }))
        throw FieldValueError(Quoted(text) + " is not a valid hexadecimal value");
}

void CheckBinary(std::string_view text)
{
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; }))
        throw FieldValueError(Quoted(text) + " is not a valid binary value");
    const std::size_t firstOne = text.find('1');
    if (firstOne != std::string_view::npos && text.size() - firstOne > 32)
        throw FieldValueError(Quoted(text) + " does not fit in 32 bits");
}

// A command carries at most 2048 data bytes; a min length beyond that is a broken definition,
// and padding to it would only build a value the link refuses.
constexpr int kMaxMinLength = 2048;

void CheckWidth(std::string_view text, int minLength)
{
    if (minLength > kMaxMinLength)
        throw FieldValueError(Quoted(text) + " cannot be padded to " + std::to_string(minLength) +
                              " digits");
}

} // namespace

std::string ConvertField(const TCommandFieldDef& field, const FieldInput& input,
                         int inputDateFormat, int repeatRun)
{
    if (field.ControlType == ctDate)
        return DateToFrame(inputDateFormat, input.Date);
    if (field.ControlType == ctTime)
        return TimeToFrame(input.Time);

    const std::string& text = input.Text;
    if (field.TextType == ftdCurrency || field.TextType == ftdDecimal ||
        field.TextType == ftdBinary)
        CheckWidth(text, field.MinLength);
    switch (field.TextType) {
    case ftdCurrency:
        CheckCurrency(text, field.MinLength, field.DecimalDigits);
        return CurrencyToFrame(text, field.MinLength, field.DecimalDigits);
    case ftdDecimal:
        CheckDecimal(text);
        return DecimalToFrame(text, field.MinLength);
    case ftdHexadecimal:
        CheckHexa(text);
        return HexaToFrame(text);
    case ftdBinary:
        CheckBinary(text);
        return BinaryToFrame(text, field.MinLength);
    case ftdAlphaNumeric:
        if (repeatRun > 0 && field.AutoIncrement)
            return AutoIncrementText(text, repeatRun);
        return text;
    default:
        return text;
    }
}

std::string FieldFrameBytes(const TCommandFieldDef& field, const FieldInput& input,
                            int inputDateFormat, int repeatRun)
{
    auto bytes = ExpandEscapes(ConvertField(field, input, inputDateFormat, repeatRun));
    if (!bytes)
        throw FieldValueError(BadUserDataMessage);
    return std::move(*bytes);
}

std::optional<std::string> ExpandEscapes(std::string_view text)
{
    enum class State
    {
        Normal,
        AfterX,
        Digits
    };

    std::string result;
    result.reserve(text.size());
    State state = State::Normal;
    // The x that may open an escape; it is only known to be literal text once the character
    // after it (or the end of the text) has been seen.
    std::optional<char> pendingX;
    std::string digits;

    for (const char c : text) {
        switch (state) {
        case State::Normal:
            if (c == 'x' || c == 'X') {
                pendingX = c;
                state = State::AfterX;
            } else {
                result += c;
            }
            break;
        case State::AfterX:
            if (c == '\'') {
                digits.clear();
                state = State::Digits;
            } else {
                result += *pendingX;
                result += c;
                pendingX.reset();
                state = State::Normal;
            }
            break;
        case State::Digits:
            pendingX.reset();
            if (c == '\'') {
                if (digits.size() % 2 != 0)
                    digits.insert(digits.begin(), '0');
                for (std::size_t i = 0; i < digits.size(); i += 2) {
                    const int high = HexDigitValue(digits[i]);
                    const int low = HexDigitValue(digits[i + 1]);
                    if (high < 0 || low < 0)
                        return std::nullopt;
                    result += static_cast<char>(high * 16 + low);
                }
                digits.clear();
                state = State::Normal;
            } else {
                digits += c;
            }
            break;
        }
    }
    if (pendingX)
        result += *pendingX;
    return result;
}

bool ExpandEscapes(std::string_view text, std::string& expanded)
{
    auto result = ExpandEscapes(text);
    if (!result)
        return false;
    expanded = std::move(*result);
    return true;
}

std::string AutoIncrementText(std::string_view text, int counter)
{
    std::string number = std::to_string(counter < 0 ? -static_cast<long long>(counter) : counter);
    if (number.size() < 3)
        number.insert(0, 3 - number.size(), '0');
    std::string result(text);
    if (counter < 0)
        result += '-';
    result += number;
    return result;
}

std::string CaptionWithoutAccelerator(std::string_view caption)
{
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        else if (caption[i] == '&')
            continue;
        text += caption[i];
    }
    return text;
}

std::string BadUserDataText(std::string_view caption)
{
    const std::string name = CaptionWithoutAccelerator(caption);
    if (name.empty())
        return BadUserDataMessage;
    return std::string(BadUserDataMessage) + " \"" + name + "\"";
}

std::optional<int> RepeatCountFromAnswer(std::string_view answer)
{
    const auto count = ParseInt32(answer);
    if (!count || *count < 1 || *count > MaxRepeatCount)
        return std::nullopt;
    return *count;
}

std::string RepeatProgressText(int run, int count)
{
    return std::to_string(run) + "/" + std::to_string(count);
}

} // namespace tallyhost

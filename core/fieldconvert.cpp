#include "core/fieldconvert.h"

namespace tallyhost {

namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

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

} // namespace tallyhost

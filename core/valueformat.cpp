#include "core/valueformat.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <vector>

namespace tallyhost {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// Widths and digit counts come from hand-written files; no frame carries more than a couple of
// thousand bytes, so larger ones are cut here rather than allocated.
constexpr int kMaxPadding = 4096;

// Upper-case hexadecimal of a 32-bit pattern with at least `digits` digits.
std::string HexDigits(std::uint32_t value, int digits)
{
    digits = std::min(digits, kMaxPadding);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string result;
    do {
        result.insert(result.begin(), kHex[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(result.size()) < digits)
        result.insert(0, static_cast<std::size_t>(digits) - result.size(), '0');
    return result;
}

std::string AsEscape(std::string_view hexDigits)
{
    std::string result = "x'";
    result += hexDigits;
    result += '\'';
    return result;
}

// Where the decimal separator of a currency text is: the first "," or else the first ".".
std::size_t CurrencySeparator(std::string_view text)
{
    const std::size_t comma = text.find(',');
    return comma != std::string_view::npos ? comma : text.find('.');
}

std::string_view CurrencyIntegerPart(std::string_view text)
{
    const std::size_t separator = CurrencySeparator(text);
    return separator == std::string_view::npos ? text : text.substr(0, separator);
}

struct DateFormatRow
{
    std::string_view Frame;
    std::string_view Display;
    int FirstSeparator;
    int SecondSeparator;
};

constexpr std::array<DateFormatRow, DateFormatCount> kDateFormats{{
    {"ddmmyy", "dd/mm/yy", 3, 6},
    {"ddmmyyyy", "dd/mm/yyyy", 3, 6},
    {"mmddyy", "mm/dd/yy", 3, 6},
    {"mmddyyyy", "mm/dd/yyyy", 3, 6},
    {"yyddmm", "yy/dd/mm", 3, 6},
    {"yyyyddmm", "yyyy/dd/mm", 5, 8},
    {"yymmdd", "yy/mm/dd", 3, 6},
    {"yyyymmdd", "yyyy/mm/dd", 5, 8},
}};

bool KnownDateFormat(int code)
{
    return code >= 0 && code < DateFormatCount;
}

std::string TwoDigits(int value)
{
    std::string result = std::to_string(value);
    if (result.size() < 2)
        result.insert(0, 1, '0');
    return result;
}

// Inserts at a 1-based position; past the end appends, as the frame texts may be short.
void InsertAt(std::string& text, int position, char c)
{
    const std::size_t index = static_cast<std::size_t>(std::max(position, 1) - 1);
    text.insert(std::min(index, text.size()), 1, c);
}

} // namespace

// ---- numbers ------------------------------------------------------------------------------

std::optional<std::int32_t> ParseInt32(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!AllDigits(text))
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string CurrencyToFrame(std::string_view text, int width, int decimals)
{
    const std::size_t separator = CurrencySeparator(text);
    if (width <= 0) {
        std::string result(text);
        if (separator != std::string_view::npos)
            result.erase(separator, 1);
        return result;
    }

    width = std::min(width, kMaxPadding);
    // Padding the fraction past the width would only be cut off again; negative decimals (a
    // hand-edited file) mean none.
    decimals = std::clamp(decimals, 0, width);
    const int integerDigits = width - decimals;
    std::string integerPart(CurrencyIntegerPart(text));
    std::string fraction;
    if (separator != std::string_view::npos && decimals > 0)
        fraction = std::string(text.substr(separator + 1, 100));
    if (decimals > 0)
        fraction.resize(static_cast<std::size_t>(decimals), '0');

    // Zero and non-numbers become nothing, which the padding below turns into zeros. Plain
    // digit strings are kept whatever their size: amounts beyond 32 bits still fit the frame.
    if (!AllDigits(integerPart)) {
        const auto value = ParseInt32(integerPart);
        if (!value || *value == 0)
            integerPart.clear();
    }
    if (integerDigits <= 0) {
        integerPart.clear();
    } else {
        const auto wanted = static_cast<std::size_t>(integerDigits);
        if (integerPart.size() < wanted)
            integerPart.insert(0, wanted - integerPart.size(), '0');
        integerPart.erase(0, integerPart.size() - wanted);
    }

    std::string result = decimals >= width ? fraction : integerPart + fraction;
    if (result.size() > static_cast<std::size_t>(width))
        result.resize(static_cast<std::size_t>(width));
    return result;
}

bool CurrencyFitsWidth(std::string_view text, int width, int decimals)
{
    if (width <= 0)
        return true;
    std::string_view integerPart = CurrencyIntegerPart(text);
    while (!integerPart.empty() && integerPart.front() == '0')
        integerPart.remove_prefix(1);
    const int integerDigits = width - std::clamp(decimals, 0, width);
    return integerPart.size() <= static_cast<std::size_t>(integerDigits);
}

std::string CurrencyToText(std::string_view text, int decimals)
{
    if (decimals <= 0 || static_cast<std::size_t>(decimals) >= text.size())
        return std::string(text);
    std::string result(TrimBlanks(text));
    const std::size_t point =
        result.size() > static_cast<std::size_t>(decimals) ? result.size() - decimals : 0;
    result.insert(point, 1, '.');
    return result;
}

std::string DecimalToFrame(std::string_view text, int digits)
{
    const std::int32_t value = ParseInt32(text).value_or(0);
    return AsEscape(HexDigits(static_cast<std::uint32_t>(value), digits));
}

std::string DecimalToText(std::string_view bytes)
{
    if (bytes.size() <= 4)
        return std::to_string(BytesToInt(bytes));

    // Longer values: the unsigned number of all bytes, by long division of the byte string.
    std::vector<unsigned> number(bytes.begin(), bytes.end());
    for (auto& b : number)
        b &= 0xFF;
    std::string digits;
    while (std::any_of(number.begin(), number.end(), [](unsigned b) { return b != 0; })) {
        unsigned remainder = 0;
        for (auto& b : number) {
            const unsigned current = remainder * 256 + b;
            b = current / 10;
            remainder = current % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    }
    return digits.empty() ? "0" : digits;
}

std::string HexaToFrame(std::string_view text)
{
    return AsEscape(text);
}

std::string HexaToText(std::string_view bytes)
{
    if (bytes.empty())
        return "0";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string all;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        all += kHex[b >> 4];
        all += kHex[b & 0xF];
    }
    // Leading zeros go, but at least one digit per byte stays (00 0F shows 0F).
    std::size_t drop = 0;
    while (drop < all.size() - bytes.size() && all[drop] == '0')
        ++drop;
    return all.substr(drop);
}

std::string BinaryToFrame(std::string_view text, int digits)
{
    std::uint32_t value = 0;
    for (const char c : text)
        value = value * 2 + (IsDigit(c) ? static_cast<std::uint32_t>(c - '0') : 0);
    return AsEscape(HexDigits(value, digits));
}

std::string BinaryToText(std::string_view bytes)
{
    std::string result;
    result.reserve(bytes.size() * 8);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        for (int bit = 7; bit >= 0; --bit)
            result += ((b >> bit) & 1) ? '1' : '0';
    }
    return result;
}

std::int32_t BytesToInt(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > 4)
        return 0;
    std::uint32_t value = 0;
    for (const char c : bytes)
        value = (value << 8) | static_cast<unsigned char>(c);
    return static_cast<std::int32_t>(value);
}

// ---- dates and times ----------------------------------------------------------------------

std::string_view DateFramePattern(int code)
{
    return KnownDateFormat(code) ? kDateFormats[static_cast<std::size_t>(code)].Frame : "ddmmyy";
}

std::string_view DateDisplayPattern(int code)
{
    return KnownDateFormat(code) ? kDateFormats[static_cast<std::size_t>(code)].Display
                                 : "dd/mm/yy";
}

std::string_view DateReadPattern(int code)
{
    return KnownDateFormat(code) ? kDateFormats[static_cast<std::size_t>(code)].Display
                                 : "yy/mm/dd";
}

std::pair<int, int> DateSeparatorPositions(int code)
{
    if (!KnownDateFormat(code))
        return {3, 6};
    const auto& row = kDateFormats[static_cast<std::size_t>(code)];
    return {row.FirstSeparator, row.SecondSeparator};
}

bool IsValidDate(const FrameDate& date)
{
    if (date.Year < 1 || date.Year > 9999 || date.Month < 1 || date.Month > 12 || date.Day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (date.Year % 4 == 0 && date.Year % 100 != 0) || date.Year % 400 == 0;
    const int days = kDays[date.Month - 1] + (date.Month == 2 && leap ? 1 : 0);
    return date.Day <= days;
}

int WindowTwoDigitYear(int year, int currentYear)
{
    const int first = currentYear - 50;
    int result = first - first % 100 + year;
    if (result < first)
        result += 100;
    return result;
}

std::string FormatDate(const FrameDate& date, std::string_view pattern)
{
    std::string result;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        if (c == 'd') {
            result += TwoDigits(date.Day);
        } else if (c == 'm') {
            result += TwoDigits(date.Month);
        } else if (c == 'y') {
            if (run <= 2) {
                result += TwoDigits(date.Year % 100);
            } else {
                std::string year = std::to_string(date.Year);
                if (year.size() < 4)
                    year.insert(0, 4 - year.size(), '0');
                result += year;
            }
        } else {
            result.append(run, c);
        }
        i += run;
    }
    return result;
}

std::optional<FrameDate> ParseDate(std::string_view text, std::string_view pattern, int currentYear)
{
    // The numbers come in the order of the fields in the pattern, so yy/dd/mm is read as year,
    // day, month: the printer writes its dates that way.
    std::array<char, 3> order{};
    std::size_t found = 0;
    for (const char c : pattern) {
        if ((c == 'd' || c == 'm' || c == 'y') &&
            std::find(order.begin(), order.begin() + found, c) == order.begin() + found) {
            order[found++] = c;
            if (found == 3)
                break;
        }
    }
    if (found != 3)
        return std::nullopt;

    std::array<int, 3> numbers{};
    std::array<std::size_t, 3> lengths{};
    std::size_t pos = 0;
    for (std::size_t n = 0; n < 3; ++n) {
        if (n > 0) {
            if (pos >= text.size() || text[pos] != '/')
                return std::nullopt;
            ++pos;
        }
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && IsDigit(text[pos]))
            ++pos;
        lengths[n] = pos - start;
        if (lengths[n] == 0 || lengths[n] > 4)
            return std::nullopt;
        numbers[n] = std::stoi(std::string(text.substr(start, lengths[n])));
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
    }
    if (pos != text.size())
        return std::nullopt;

    FrameDate date;
    for (std::size_t n = 0; n < 3; ++n) {
        switch (order[n]) {
        case 'd':
            date.Day = numbers[n];
            break;
        case 'm':
            date.Month = numbers[n];
            break;
        default:
            date.Year = lengths[n] <= 2 ? WindowTwoDigitYear(numbers[n], currentYear) : numbers[n];
            break;
        }
    }
    if (!IsValidDate(date))
        return std::nullopt;
    return date;
}

std::string DateToFrame(int code, const FrameDate& date)
{
    return FormatDate(date, DateFramePattern(code));
}

std::string TimeToFrame(const FrameTime& time)
{
    return TwoDigits(time.Hour) + TwoDigits(time.Minute) + TwoDigits(time.Second);
}

std::string DateToText(std::string_view text, int inputFormat, int outputFormat, int currentYear)
{
    // Answer dates are in the printer's (input) format whether or not they carry separators;
    // the order of their fields never depends on what was shown before.
    std::string dated(text);
    if (dated.find('/') == std::string::npos) {
        const auto [first, second] = DateSeparatorPositions(inputFormat);
        InsertAt(dated, first, '/');
        InsertAt(dated, second, '/');
    }
    const auto date = ParseDate(dated, DateReadPattern(inputFormat), currentYear);
    if (!date)
        return std::string(text);
    return FormatDate(*date, DateDisplayPattern(outputFormat));
}

std::string DateToText(std::string_view text, int inputFormat, int outputFormat)
{
    return DateToText(text, inputFormat, outputFormat, CurrentLocalYear());
}

std::string TimeToText(std::string_view text)
{
    std::string result(text);
    // An absent value stays absent rather than showing a lone separator.
    if (result.empty() || result.find(':') != std::string::npos)
        return result;
    InsertAt(result, 3, ':');
    if (text.size() >= 5)
        InsertAt(result, 6, ':');
    return result;
}

int CurrentLocalYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// ---- names of codes -----------------------------------------------------------------------

namespace {

constexpr std::array<std::string_view, 10> kTextTypeNames{
    "AlphaNumeric", "Alpha",  "Currency", "Numeric", "Decimal",
    "Hexa",         "Binary", "Boolean",  "Date",    "Time"};

constexpr std::array<std::string_view, 5> kControlTypeNames{"Simple", "DropDown", "DropDownList",
                                                            "Date", "Time"};

} // namespace

std::string ModeName(int code)
{
    return code == 0 ? "Host" : "Fiscal";
}

std::uint8_t ModeFromName(std::string_view name)
{
    return name == "Host" ? 0 : 1;
}

std::string TextTypeName(int code)
{
    if (code < 0 || code >= static_cast<int>(kTextTypeNames.size()))
        code = 0;
    return std::string(kTextTypeNames[static_cast<std::size_t>(code)]);
}

std::uint8_t TextTypeFromName(std::string_view name)
{
    for (std::size_t i = 0; i + 1 < kTextTypeNames.size(); ++i)
        if (kTextTypeNames[i] == name)
            return static_cast<std::uint8_t>(i);
    return 9;
}

std::string ControlTypeName(int code)
{
    if (code < 0 || code >= static_cast<int>(kControlTypeNames.size()))
        code = 0;
    return std::string(kControlTypeNames[static_cast<std::size_t>(code)]);
}

std::uint8_t ControlTypeFromName(std::string_view name)
{
    for (std::size_t i = 0; i + 1 < kControlTypeNames.size(); ++i)
        if (kControlTypeNames[i] == name)
            return static_cast<std::uint8_t>(i);
    return 4;
}

std::string YesNoName(int flag)
{
    return flag == 1 ? "Yes" : "No";
}

std::uint8_t YesNoFromName(std::string_view name)
{
    return name == "Yes" ? 1 : 0;
}

} // namespace tallyhost

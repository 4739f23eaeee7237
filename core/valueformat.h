#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallyhost {

// Value formatting between what the operator types, what a command frame carries and what an
// answer shows. Frame-bound results of Decimal, Hexa and Binary values are hex escapes
// (x'..', expanded into bytes by ExpandEscapes when the field is added to the frame); answer
// values of those types arrive as raw byte strings.

// ---- numbers ------------------------------------------------------------------------------

// A Currency field for the frame: fixed `width` digits (the field's min length) with `decimals`
// of them after the implied point and no separator. The separator is the first "," or, without
// one, the first "."; extra fraction digits are cut, a missing fraction is padded with zeros:
// 12.5 (10, 2) -> 0000001250, 1234,567 (6, 2) -> 123456. Width 0 (or less) only drops the
// separator: 12,50 -> 1250.
// An integer part that is not a number is sent as zeros; one longer than 32 bits is kept as
// its digits (it is text for the frame, not a machine number). An integer part with more
// significant digits than the frame has room for is not cut here: callers that must refuse it
// check CurrencyFitsWidth first.
std::string CurrencyToFrame(std::string_view text, int width, int decimals);

// True when the integer part of `text` has no more significant digits than `width - decimals`
// (always true for width 0 or less).
bool CurrencyFitsWidth(std::string_view text, int width, int decimals);

// A Currency answer value for display: "." before the last `decimals` characters when the text
// is longer than that (blanks trimmed first): 0000001250 (2) -> 00000012.50; 50 (2) -> 50.
std::string CurrencyToText(std::string_view text, int decimals);

// A Decimal field for the frame: the text as a 32-bit integer (0 when it is not one) in
// upper-case hexadecimal with at least `digits` digits, as a hex escape: 255 (4) -> x'00FF',
// -1 -> x'FFFFFFFF'.
std::string DecimalToFrame(std::string_view text, int digits);

// A Decimal answer value: up to 4 bytes are a signed 32-bit number (BytesToInt), longer values
// the unsigned number of all their bytes.
std::string DecimalToText(std::string_view bytes);

// A Hexa field for the frame: the text as a hex escape, unchanged: 1A2 -> x'1A2'.
std::string HexaToFrame(std::string_view text);

// A Hexa answer value: upper-case hexadecimal, leading zeros dropped down to one digit per byte:
// 00 0F -> 0F, 01 02 -> 102, 05 -> 5; an empty value shows 0.
std::string HexaToText(std::string_view bytes);

// A Binary field for the frame: the digits read in base 2 (a non-digit counts 0, 2..9 count
// their value) as a hex escape with at least `digits` digits: 1010 (2) -> x'0A'. The number
// wraps at 32 bits; BinaryFits tells whether a text is a plain 32-bit binary number.
std::string BinaryToFrame(std::string_view text, int digits);

// A Binary answer value: eight 0/1 characters per byte, first byte first: 05 -> 00000101.
std::string BinaryToText(std::string_view bytes);

// 1 to 4 bytes as an unsigned number, first byte most significant, held in a signed 32-bit
// integer (four bytes with the top bit set give a negative number). Empty or longer: 0.
std::int32_t BytesToInt(std::string_view bytes);

// A decimal 32-bit integer as typed (leading blanks and a sign allowed), or nothing.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// ---- dates and times ----------------------------------------------------------------------

struct FrameDate
{
    int Year = 2000;
    int Month = 1;
    int Day = 1;
    friend bool operator==(const FrameDate&, const FrameDate&) = default;
};

struct FrameTime
{
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    friend bool operator==(const FrameTime&, const FrameTime&) = default;
};

// The eight date formats of a terminal file's InputDateFormat and OutputDateFormat, in the
// order the preferences lists show them.
inline constexpr int DateFormatCount = 8;

// "ddmmyy" .. "yyyymmdd"; an unknown code uses "ddmmyy". Also the names the lists show.
std::string_view DateFramePattern(int code);
// "dd/mm/yy" .. "yyyy/mm/dd" for showing answer dates; an unknown code shows "dd/mm/yy".
std::string_view DateDisplayPattern(int code);
// The pattern an answer date in this input format is read with; an unknown code reads
// "yy/mm/dd".
std::string_view DateReadPattern(int code);
// 1-based positions at which "/" is inserted into a frame date before it is read (3 and 6, or
// 5 and 8 for the yyyy-first formats); the second counts on the text after the first insertion.
std::pair<int, int> DateSeparatorPositions(int code);

bool IsValidDate(const FrameDate& date);

// A one- or two-digit year placed in the hundred years that begin 50 years before
// `currentYear` (current year 2026: 99 -> 1999, 75 -> 2075, 76 -> 1976).
int WindowTwoDigitYear(int year, int currentYear);

// The date in `pattern`: dd, mm, yy (last two digits), yyyy; every other character is copied.
std::string FormatDate(const FrameDate& date, std::string_view pattern);

// Three numbers separated by "/", in the order in which d, m and y first appear in `pattern`.
// One- and two-digit years go through WindowTwoDigitYear. Nothing when it is not a valid date.
std::optional<FrameDate> ParseDate(std::string_view text, std::string_view pattern,
                                   int currentYear);

// A date picker's date for the frame, in the frame pattern of `code`.
std::string DateToFrame(int code, const FrameDate& date);
// A time picker's time for the frame: "hhmmss", hours 00 to 23.
std::string TimeToFrame(const FrameTime& time);

// An answer date for display. A text without "/" gets its separators at the positions of
// `inputFormat`; either way it is read in that format's field order (yy/dd/mm as year, day,
// month). The date is shown in the display pattern of `outputFormat`; a text that is not a
// date comes back exactly as it came in:
// 311299 (0 -> 7) -> 1999/12/31 in 2026. The overload without a year windows two-digit years
// around the current local year.
std::string DateToText(std::string_view text, int inputFormat, int outputFormat, int currentYear);
std::string DateToText(std::string_view text, int inputFormat, int outputFormat);

// An answer time for display: a text without ":" gets ":" after the hours (shorter than 5
// characters: 0930 -> 09:30) and after the minutes (093015 -> 09:30:15). Not checked further.
std::string TimeToText(std::string_view text);

// The current local year, for the two-digit-year window.
int CurrentLocalYear();

// ---- names of codes -----------------------------------------------------------------------

// Names are compared exactly, letter case included.
std::string ModeName(int code);                   // 0 "Host", any other code "Fiscal"
std::uint8_t ModeFromName(std::string_view name); // "Host" 0, anything else 1

// 0 "AlphaNumeric" .. 9 "Time"; a code outside 0..9 gives "AlphaNumeric".
std::string TextTypeName(int code);
// The names back to 0..8; any other text gives 9 (Time).
std::uint8_t TextTypeFromName(std::string_view name);

// 0 "Simple", 1 "DropDown", 2 "DropDownList", 3 "Date", 4 "Time"; another code gives "Simple".
std::string ControlTypeName(int code);
// The names back to 0..3; any other text gives 4 (Time).
std::uint8_t ControlTypeFromName(std::string_view name);

std::string YesNoName(int flag);                   // 1 "Yes", anything else "No"
std::uint8_t YesNoFromName(std::string_view name); // "Yes" 1, anything else 0

} // namespace tallyhost

#pragma once

#include "core/errors.h"
#include "core/termdefs.h"
#include "core/valueformat.h"

#include <optional>
#include <string>
#include <string_view>

namespace tallyhost {

// What the operator is told when a field value cannot be sent.
inline constexpr const char* BadUserDataMessage = "Bad user data input in control";

// The message naming the refused field by its caption, accelerator marks taken out:
// Bad user data input in control "Amount". A field without a caption gets the bare message.
std::string BadUserDataText(std::string_view caption);

// A caption as the operator reads it: a single & (the accelerator mark) dropped, && read as &.
std::string CaptionWithoutAccelerator(std::string_view caption);

// A command field value that cannot become part of a frame: not of its field's type, too wide
// for its fixed width, or holding a malformed hex escape. what() names the value and the reason;
// the windows show BadUserDataMessage and put the focus on the field.
class FieldValueError : public ConvertError
{
public:
    using ConvertError::ConvertError;
};

// The value of one input of the command panel, as the window reads it from its control.
struct FieldInput
{
    std::string Text; // edit and combo boxes (Simple, DropDown, DropDownList)
    FrameDate Date;   // date picker (control type Date)
    FrameTime Time;   // time picker (control type Time)
};

// One command field's value as it goes into the frame, before escape expansion.
// - Date and Time controls: DateToFrame(inputDateFormat, date) and TimeToFrame(time).
// - Otherwise by text type: Currency with CurrencyToFrame(min length, decimal digits), Decimal
//   with DecimalToFrame(min length), Hexa with HexaToFrame, Binary with BinaryToFrame(min
//   length); any other type as typed.
// - repeatRun > 0 (the run number of a repeat) appends AutoIncrementText's counter to an
//   AlphaNumeric value whose field has the autoincrement flag; 0 (a plain Send) never does.
// Throws FieldValueError for a value that its type cannot carry faithfully: a Currency text
// with anything but digits and one separator, or with more integer digits than the width
// leaves; a Decimal text that is not a 32-bit integer (empty counts 0); a Hexa text with a
// non-hexadecimal character; a Binary text with anything but 0 and 1, or more than 32 bits.
std::string ConvertField(const TCommandFieldDef& field, const FieldInput& input,
                         int inputDateFormat, int repeatRun = 0);

// ConvertField followed by ExpandEscapes: the bytes handed to the link for this field. A
// malformed escape throws FieldValueError with BadUserDataMessage.
std::string FieldFrameBytes(const TCommandFieldDef& field, const FieldInput& input,
                            int inputDateFormat, int repeatRun = 0);

// Raw bytes inside a field value: x (either case), a single quote, hexadecimal digits and a
// single quote stand for the bytes those digits spell (x'0D0A' is CR LF). An odd digit count
// gets a leading zero (x'1A2' is 0x01 0xA2), x'' stands for no bytes.
//
// Anything that only looks like the start of an escape stays as typed: an x not followed by a
// quote is copied with its next character (xx'41' is unchanged), a trailing x' keeps its x and
// loses the quote, and the digits of an escape that is never closed are dropped.
//
// Returns std::nullopt when a closed escape holds a pair that is not two hexadecimal digits
// (x'4G'): the whole value is refused rather than sent half-converted.
std::optional<std::string> ExpandEscapes(std::string_view text);

// The same as a yes/no answer: false leaves `expanded` untouched.
bool ExpandEscapes(std::string_view text, std::string& expanded);

// The repeat counter appended to a value: at least three digits (T with 7 gives T007, with 123
// gives T123, with 1000 gives T1000). A negative counter is written with its sign.
std::string AutoIncrementText(std::string_view text, int counter);

// ---- repeating a command --------------------------------------------------------------------

inline constexpr int MaxRepeatCount = 999;

// The number of runs the operator asked for: the answer read as an integer, or nothing when it
// is not one or lies outside 1 to MaxRepeatCount (then nothing is sent).
std::optional<int> RepeatCountFromAnswer(std::string_view answer);

// The progress shown in the status bar after run `run` of `count` was handed over: "3/10".
std::string RepeatProgressText(int run, int count);

} // namespace tallyhost

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallyhost {

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

} // namespace tallyhost

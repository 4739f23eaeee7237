#pragma once

// Text helpers shared by the tallyhost-cli subcommands.

#include <string>
#include <string_view>

namespace tallyhost::cli {

// Bytes for a terminal: printable ASCII as it is, every other run of bytes as a hex escape
// x'0D0A', the same notation a field value is typed in.
std::string Printable(std::string_view bytes);

// A message's bytes on one terminal line: printable ASCII as it is (quotes included, which
// messages use), any other byte, backslash included, as \xHH.
std::string Readable(std::string_view bytes);

// A JSON string literal (with its quotes). Bytes are Latin-1 characters, so every byte value
// round-trips; controls and bytes above 0x7E are written as \u00XX.
std::string JsonString(std::string_view bytes);

// The arguments every subcommand reads alike. An operand is any argument not starting with
// "-" (a lone "-" included) and everything after "--"; "--" itself is EndOfOptions and sets
// `operandsOnly`. Option is any other argument, for the subcommand's own TakeOption calls.
enum class ArgumentKind
{
    Operand,
    EndOfOptions,
    Help,
    Json,
    Option
};
ArgumentKind ClassifyArgument(std::string_view arg, bool& operandsOnly);

// Whether `text` is `option` ("--baud") or `option=value`; `value` gets the value part when
// there is one, else it is taken from the next argument (advancing `index`). Returns false
// when the option does not match; sets `missing` when its value is absent.
bool TakeOption(int argc, char** argv, int& index, std::string_view option, std::string& value,
                bool& missing);

} // namespace tallyhost::cli

#include "tools/cli/cliutil.h"

#include <cstdio>

namespace tallyhost::cli {

std::string Readable(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        }
    }
    return out;
}

std::string Printable(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    bool inEscape = false;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        // A quote is escaped too, so that the result reads back as the same bytes.
        const bool plain = b >= 0x20 && b <= 0x7E && c != '\'';
        if (plain && inEscape) {
            text += '\'';
            inEscape = false;
        }
        if (plain) {
            text += c;
            continue;
        }
        if (!inEscape) {
            text += "x'";
            inEscape = true;
        }
        text += Digits[b >> 4];
        text += Digits[b & 0xF];
    }
    if (inEscape)
        text += '\'';
    return text;
}

std::string JsonString(std::string_view bytes)
{
    std::string text = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            text += "\\\"";
            continue;
        case '\\':
            text += "\\\\";
            continue;
        case '\n':
            text += "\\n";
            continue;
        case '\r':
            text += "\\r";
            continue;
        case '\t':
            text += "\\t";
            continue;
        default:
            break;
        }
        if (b >= 0x20 && b <= 0x7E) {
            text += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", b);
            text += escape;
        }
    }
    return text + "\"";
}

ArgumentKind ClassifyArgument(std::string_view arg, bool& operandsOnly)
{
    if (operandsOnly || arg.empty() || arg[0] != '-' || arg == "-")
        return ArgumentKind::Operand;
    if (arg == "--") {
        operandsOnly = true;
        return ArgumentKind::EndOfOptions;
    }
    if (arg == "--help" || arg == "-h")
        return ArgumentKind::Help;
    if (arg == "--json")
        return ArgumentKind::Json;
    return ArgumentKind::Option;
}

bool TakeOption(int argc, char** argv, int& index, std::string_view option, std::string& value,
                bool& missing)
{
    const std::string_view arg = argv[index];
    missing = false;
    if (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
        arg[option.size()] == '=') {
        value = std::string(arg.substr(option.size() + 1));
        return true;
    }
    if (arg != option)
        return false;
    if (index + 1 >= argc) {
        missing = true;
        return true;
    }
    value = argv[++index];
    return true;
}

} // namespace tallyhost::cli

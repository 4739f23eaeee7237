#include "core/inputrules.h"

#include "core/termdefs.h"

#include <algorithm>

namespace tallyhost {

namespace {

bool IsDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}
bool IsLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsHexDigit(char32_t c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char32_t Upper(char32_t c)
{
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}
bool IsBoolLetter(char32_t c)
{
    c = Upper(c);
    return c == 'S' || c == 'N' || c == 'Y';
}

// One character allowed in the text of a box of this type.
bool CharAllowed(std::uint8_t fieldType, char32_t c)
{
    switch (fieldType) {
    case ftdAlpha:
        return IsLetter(c);
    case ftdCurrency:
        return IsDigit(c) || c == '.' || c == ',';
    case ftdNumerical:
    case ftdDecimal:
        return IsDigit(c);
    case ftdHexadecimal:
        return IsHexDigit(c);
    case ftdBinary:
        return c == '0' || c == '1';
    case ftdBool:
        return IsBoolLetter(c);
    default: // AlphaNumeric, and the date and time codes that use other controls
        return true;
    }
}

} // namespace

char32_t FilterKey(std::uint8_t fieldType, char32_t key, std::string_view currentText)
{
    if (key < 0x20)
        return key;
    if (key > 0xFF)
        return 0;
    if (fieldType == ftdHexadecimal || fieldType == ftdBool)
        key = Upper(key);
    if (!CharAllowed(fieldType, key))
        return 0;
    if (fieldType == ftdCurrency && (key == '.' || key == ',') &&
        currentText.find_first_of(".,") != std::string_view::npos)
        return 0;
    return key;
}

bool TextAllowed(std::uint8_t fieldType, std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [fieldType](char c) {
        return CharAllowed(fieldType, static_cast<unsigned char>(c));
    });
}

std::string TextAfterChange(std::uint8_t fieldType, std::string_view text)
{
    return TextAllowed(fieldType, text) ? std::string(text) : std::string();
}

int MaxLengthForType(std::uint8_t fieldType, int currentMaxLength)
{
    return fieldType == ftdBool ? 1 : currentMaxLength;
}

bool MayLeaveBox(bool required, std::string_view text)
{
    return !required || !text.empty();
}

std::string InitialBoxText(std::uint8_t fieldType, int maxLength, std::string_view text)
{
    const int length = MaxLengthForType(fieldType, maxLength);
    if (length > 0 && text.size() > static_cast<std::size_t>(length))
        text = text.substr(0, static_cast<std::size_t>(length));
    return TextAfterChange(fieldType, text);
}

TTyping TypeIntoBox(std::uint8_t fieldType, int maxLength, std::string_view typed,
                    std::string& text)
{
    text.clear();
    const int length = MaxLengthForType(fieldType, maxLength);
    for (const char c : typed) {
        const char32_t key = FilterKey(fieldType, static_cast<unsigned char>(c), text);
        // Keys below 0x20 pass the filter (they edit the box rather than type into it); as
        // part of a value they are characters the type must allow.
        if (key == 0 || (key < 0x20 && !CharAllowed(fieldType, key)))
            return TTyping::KeyDropped;
        if (length > 0 && text.size() >= static_cast<std::size_t>(length))
            return TTyping::TooLong;
        text += static_cast<char>(key);
    }
    return TTyping::Accepted;
}

} // namespace tallyhost

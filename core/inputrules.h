#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhost {

// What the typed input box (TFieldTypeComboBox) lets into its text, by field type (the text
// type codes 0..7; higher codes filter nothing). The box calls FilterKey for every typed key
// and TextAfterChange after every change of its text, typed, pasted or set by program.
//
// Texts are the 8-bit strings of the terminal files and frames; the widget converts to and
// from Latin-1. Letters and digits are ASCII: the files describe Alpha as a..z A..Z.

// The character the box should receive for a typed key, or 0 when the key is dropped.
// - Keys below 0x20 (backspace, enter, escape ...) always pass.
// - Hexadecimal and Boolean keys are upper-cased first (a -> A, s -> S).
// - Currency takes "." or "," only while `currentText` holds neither.
// - Boolean takes S, N and Y only (the box also holds one character, see MaxLengthForType).
// - Keys that no 8-bit text can hold (above 0xFF) are dropped in every type; keys 0x80..0xFF
//   pass only where the type allows them in the text (AlphaNumeric and codes above 7), so a
//   stray key never empties a box through the check after the change.
char32_t FilterKey(std::uint8_t fieldType, char32_t key, std::string_view currentText);

// True when every character of `text` is allowed for the type (see the table in FilterKey;
// Currency allows any number of separators here, Boolean any letter case).
bool TextAllowed(std::uint8_t fieldType, std::string_view text);

// The text the box should hold after a change: `text` itself when allowed, otherwise empty.
// The widget sets the empty text back (which raises one more change) only when they differ.
std::string TextAfterChange(std::uint8_t fieldType, std::string_view text);

// The maximum length after the field type is set: Boolean boxes hold one character; every
// other type keeps the length already set (setting another type later does not undo it).
int MaxLengthForType(std::uint8_t fieldType, int currentMaxLength);

// Whether a box may lose the focus: a required box may not while it is empty.
bool MayLeaveBox(bool required, std::string_view text);

// What a box shows once its default text is set by program: the text cut to the box's maximum
// length (MaxLengthForType; 0 or less is no limit), then emptied when the type does not allow it.
std::string InitialBoxText(std::uint8_t fieldType, int maxLength, std::string_view text);

// Typing a whole value into an empty box, key by key, as FilterKey lets the keys in (and
// upper-cases them). Headless drivers use it to give a field exactly what the box would hold,
// and to refuse what the box would not take instead of sending something else.
enum class TTyping
{
    Accepted,
    KeyDropped, // a key the type does not let in (`text` stops before it)
    TooLong     // more keys than the box's maximum length holds
};
TTyping TypeIntoBox(std::uint8_t fieldType, int maxLength, std::string_view typed,
                    std::string& text);

} // namespace tallyhost

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// Keyboard accelerators of generated labels. A caption marks its accelerator with "&" before
// the letter ("&Code" is reached with Alt+C); "&&" stands for a plain "&". The terminal
// window's own buttons and tabs keep their letters: a field caption that marks one of them
// would make the window's shortcut ambiguous (the toolkit then only cycles the focus between
// the two), so the field's mark moves to a free character of its caption.

// The character the caption marks, upper-cased, or 0 when it marks none.
char AcceleratorLetter(std::string_view caption);

// `caption` with its mark kept when the marked character is not in `taken` (upper-case
// letters and digits); otherwise moved onto the first letter or digit of the caption that is
// not taken, or dropped when there is none. The character marked in the result is added to
// `taken`. A caption without a mark is returned as it is.
std::string AvoidTakenAccelerator(std::string_view caption, std::string& taken);

// The captions of a window's generated labels, in order, with every mark on a `reserved`
// letter moved (AvoidTakenAccelerator) onto a character that neither the window nor another
// caption's own mark uses. Marks on free letters stay where the file puts them.
std::vector<std::string> PlaceAccelerators(const std::vector<std::string>& captions,
                                           std::string_view reserved);

} // namespace tallyhost

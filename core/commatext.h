#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// Comma text: the form of the value lists inside terminal-file keys (Commands, Answers, CL,
// Notes, status records).
//
// Splitting: blanks (codes 1..32) before an item are skipped; an item that begins with a
// double quote runs to the next single (not doubled) double quote, "" inside standing for one
// quote (without a closing quote it runs to the end); any other item runs up to the first comma
// or character of code 32 or less, so a blank ends an unquoted item. After an item blanks are
// skipped, then one comma and the blanks after it. An empty item between commas counts; a comma
// at the very end adds none. A zero byte ends the text.
std::vector<std::string> SplitCommaText(std::string_view text);

// Joining: an item containing a character of code 32 or less, a double quote or a comma is
// written in double quotes with inner quotes doubled; items are separated by commas; a list of
// one empty item is written as "". A trailing empty item of a longer list is written as "" as
// well, so that it survives splitting (a bare trailing comma adds no item).
std::string JoinCommaText(const std::vector<std::string>& items);

} // namespace tallyhost

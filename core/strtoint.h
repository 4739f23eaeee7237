#pragma once

#include <cstdint>
#include <string_view>

namespace tallyhost {

// Integer conversion as the file format's toolkit does it: optional leading blanks, optional
// sign, decimal digits or hexadecimal after "$", "0x" or "0X"; 32-bit (hex up to 8 digits,
// wrapping like the toolkit: "$FFFFFFFF" is -1). Throws ConvertError::NotAnInteger(text).
std::int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, std::int32_t& value);
std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue);

} // namespace tallyhost

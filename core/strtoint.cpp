#include "core/strtoint.h"

#include "core/errors.h"
#include "core/hexdigit.h"

namespace tallyhost {

bool TryStrToInt(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;
    std::uint64_t v = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < n; ++i) {
        const int d =
            hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0)
            return false;
        v = v * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (v > limit)
            return false;
    }
    auto u = static_cast<std::uint32_t>(v);
    if (negative)
        u = 0u - u;
    value = static_cast<std::int32_t>(u);
    return true;
}

std::int32_t StrToInt(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw ConvertError::NotAnInteger(std::string(text));
    return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue)
{
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

} // namespace tallyhost

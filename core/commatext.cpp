#include "core/commatext.h"

namespace tallyhost {

namespace {

bool isSkippable(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool endsUnquotedItem(char c)
{
    return static_cast<unsigned char>(c) <= 32 || c == ',';
}

bool needsQuotes(const std::string& item)
{
    for (const char c : item) {
        if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',')
            return true;
    }
    return false;
}

std::string quoted(const std::string& item)
{
    std::string out;
    out.reserve(item.size() + 2);
    out += '"';
    for (const char c : item) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

} // namespace

std::vector<std::string> SplitCommaText(std::string_view text)
{
    // A zero byte ends the text, as it ends the toolkit's C string.
    if (const auto z = text.find('\0'); z != std::string_view::npos)
        text = text.substr(0, z);

    std::vector<std::string> items;
    std::size_t p = 0;
    const std::size_t n = text.size();
    while (p < n && isSkippable(text[p]))
        ++p;
    while (p < n) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                item += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < n && !endsUnquotedItem(text[p]))
                ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));
        while (p < n && isSkippable(text[p]))
            ++p;
        if (p < n && text[p] == ',') {
            ++p;
            while (p < n && isSkippable(text[p]))
                ++p;
        }
    }
    return items;
}

std::string JoinCommaText(const std::vector<std::string>& items)
{
    if (items.size() == 1 && items.front().empty())
        return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (i > 0)
            out += ',';
        const bool lastAndEmpty = item.empty() && i + 1 == items.size();
        out += (needsQuotes(item) || lastAndEmpty) ? quoted(item) : item;
    }
    return out;
}

} // namespace tallyhost

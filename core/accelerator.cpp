#include "core/accelerator.h"

namespace tallyhost {

namespace {

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Position of the marking "&", or npos.
std::size_t MarkPosition(std::string_view caption)
{
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i; // a plain "&"
            continue;
        }
        return i;
    }
    return std::string_view::npos;
}

} // namespace

char AcceleratorLetter(std::string_view caption)
{
    const std::size_t mark = MarkPosition(caption);
    return mark == std::string_view::npos ? 0 : Upper(caption[mark + 1]);
}

std::string AvoidTakenAccelerator(std::string_view caption, std::string& taken)
{
    const std::size_t mark = MarkPosition(caption);
    if (mark == std::string_view::npos)
        return std::string(caption);
    const char letter = Upper(caption[mark + 1]);
    if (taken.find(letter) == std::string::npos) {
        taken += letter;
        return std::string(caption);
    }
    // The caption without its mark ("&&" kept as it is), then a new mark on the first free
    // character that is not part of a "&&".
    std::string plain(caption.substr(0, mark));
    plain.append(caption.substr(mark + 1));
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] == '&') {
            ++i; // skip the pair
            continue;
        }
        if (IsLetterOrDigit(plain[i]) && taken.find(Upper(plain[i])) == std::string::npos) {
            taken += Upper(plain[i]);
            plain.insert(i, 1, '&');
            return plain;
        }
    }
    return plain;
}

std::vector<std::string> PlaceAccelerators(const std::vector<std::string>& captions,
                                           std::string_view reserved)
{
    std::string taken(reserved);
    for (const std::string& caption : captions) {
        const char letter = AcceleratorLetter(caption);
        if (letter && reserved.find(letter) == std::string_view::npos)
            taken += letter;
    }
    std::vector<std::string> placed;
    placed.reserve(captions.size());
    for (const std::string& caption : captions) {
        const char letter = AcceleratorLetter(caption);
        if (letter && reserved.find(letter) != std::string_view::npos)
            placed.push_back(AvoidTakenAccelerator(caption, taken));
        else
            placed.push_back(caption);
    }
    return placed;
}

} // namespace tallyhost

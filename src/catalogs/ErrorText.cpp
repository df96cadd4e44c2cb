#include "catalogs/ErrorText.h"

namespace voriraz {

std::string shownErrorText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

std::string shortenedForMessage(std::string_view text, std::size_t characters)
{
    std::size_t counted = 0;
    int continuations = 0; // still expected by the current character
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (continuations > 0 && (byte & 0xC0) == 0x80) {
            --continuations;
            continue;
        }
        if (counted == characters)
            return std::string(text.substr(0, i)) + "...";
        ++counted;
        continuations = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    }
    return std::string(text);
}

} // namespace voriraz

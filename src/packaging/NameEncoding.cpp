#include "packaging/NameEncoding.h"

#include "platform/OemCodePage.h"
#include "text/Utf8.h"

#include <algorithm>

namespace voriraz {

std::optional<EncodedName> encodeName(std::string_view name, bool oem)
{
    std::u32string characters;
    characters.reserve(name.size());
    char32_t cp = 0;
    for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
        length = decodeUtf8Char(name.data() + i, name.data() + name.size(), cp);
        if (length == 0)
            return std::nullopt;
        characters.push_back(cp);
    }
    if (oem) {
        if (std::optional<std::string> bytes = platform::oemText(characters))
            return EncodedName {std::move(*bytes), false};
    }
    // Not in the code page, or not wanted in it: the whole name goes as UTF-8.
    return EncodedName {std::string(name), true};
}

std::string printableName(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string printable;
    printable.reserve(text.size());
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = decodeUtf8Char(text.data() + i, text.data() + text.size(), cp);
        // A control character would act on the terminal or box that shows it.
        const bool control = length > 0 && (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F));
        if (length > 0 && !control) {
            printable.append(text.substr(i, length));
            i += length;
            continue;
        }
        for (const std::size_t end = i + std::max<std::size_t>(length, 1); i < end;) {
            const auto byte = static_cast<unsigned char>(text[i++]);
            printable.append("\\x").push_back(digits[byte >> 4]);
            printable.push_back(digits[byte & 0xF]);
        }
    }
    return printable;
}

} // namespace voriraz

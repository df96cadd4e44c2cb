#include "catalogs/IconName.h"

namespace voriraz {

namespace {

constexpr std::size_t shownCharacters = 40;

// The first 40 characters of an entry, with "..." when more follow; a cut
// never splits a UTF-8 sequence, and a byte that continues no sequence
// counts as a character of its own, so the text shown stays short whatever
// the entry holds.
std::string shortened(std::string_view entry)
{
    std::size_t characters = 0;
    int continuations = 0; // still expected by the current character
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const auto byte = static_cast<unsigned char>(entry[i]);
        if (continuations > 0 && (byte & 0xC0) == 0x80) {
            --continuations;
            continue;
        }
        if (characters == shownCharacters)
            return std::string(entry.substr(0, i)) + "...";
        ++characters;
        continuations = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    }
    return std::string(entry);
}

} // namespace

InvalidCatalogEntryError::InvalidCatalogEntryError(std::string_view entry, const std::string &catalogPath,
                                                   std::size_t line, const std::string &why)
    : std::runtime_error("Invalid catalog entry \"" + shortened(entry) + "\" in \"" + catalogPath + "\" (line "
                         + std::to_string(line) + "): " + why)
{
}

void checkIconName(std::string_view entry, const std::string &catalogPath, std::size_t line)
{
    if (entry.find_first_of("/\\") != std::string_view::npos || entry.find("..") != std::string_view::npos) {
        throw InvalidCatalogEntryError(entry, catalogPath, line,
                                       "an identifier names its icon file and may not hold \"/\", \"\\\" or \"..\"");
    }
    if (entry.size() > maxIconNameLength) {
        throw InvalidCatalogEntryError(entry, catalogPath, line,
                                       "an identifier names its icon file and may be at most "
                                           + std::to_string(maxIconNameLength) + " bytes long, not "
                                           + std::to_string(entry.size()));
    }
}

} // namespace voriraz

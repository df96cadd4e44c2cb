#include "catalogs/IconName.h"

namespace voriraz {

namespace {

constexpr std::size_t shownCharacters = 40;

// The first 40 characters of an entry, with "..." when more follow; a cut
// never splits a UTF-8 sequence.
std::string shortened(std::string_view entry)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if ((static_cast<unsigned char>(entry[i]) & 0xC0) == 0x80)
            continue;
        if (characters == shownCharacters)
            return std::string(entry.substr(0, i)) + "...";
        ++characters;
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

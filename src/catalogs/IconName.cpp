#include "catalogs/IconName.h"

#include "catalogs/ErrorText.h"

namespace voriraz {

namespace {

// The part of a refused entry that its message shows.
constexpr std::size_t shownCharacters = 40;

} // namespace

InvalidCatalogEntryError::InvalidCatalogEntryError(std::string_view entry, const std::string &catalogPath,
                                                   std::size_t line, const std::string &why)
    : CatalogLineError(catalogPath, line,
                       "\"" + shortenedForMessage(entry, shownCharacters) + "\" cannot name an icon file: " + why)
{
}

void checkIconName(std::string_view entry, const std::string &catalogPath, std::size_t line)
{
    if (entry.find_first_of("/\\") != std::string_view::npos || entry.find("..") != std::string_view::npos) {
        throw InvalidCatalogEntryError(entry, catalogPath, line,
                                       "an identifier may not hold \"/\", \"\\\" or \"..\"");
    }
    if (entry.size() > maxIconNameLength) {
        throw InvalidCatalogEntryError(entry, catalogPath, line,
                                       "an identifier may be at most "
                                           + std::to_string(maxIconNameLength) + " bytes long, not "
                                           + std::to_string(entry.size()));
    }
}

} // namespace voriraz

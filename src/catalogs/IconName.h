#pragma once

#include "catalogs/CatalogList.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace voriraz {

// The longest entry that still names an icon file: a file name holds at most
// 255 bytes, and ".jpg" follows the entry.
inline constexpr std::size_t maxIconNameLength = 251;

// A catalog entry that cannot name a file in its kind's icon folder:
// "<catalog>, line <n>: "<entry>" cannot name an icon file: <why>", the
// entry cut to its first 40 characters (and "...") when longer.
class InvalidCatalogEntryError : public CatalogLineError
{
public:
    InvalidCatalogEntryError(std::string_view entry, const std::string &catalogPath, std::size_t line,
                             const std::string &why);
};

// Checks that entry, line `line` of the catalog at catalogPath, names a file
// inside the icon folder once ".jpg" is added: it must hold neither a path
// separator ('/', or '\' as catalogs written on Windows use it) nor "..", so
// that it cannot lead out of the folder, and must be at most
// maxIconNameLength bytes long. Throws InvalidCatalogEntryError otherwise.
// An empty entry passes here (reading a catalog refuses empty lines).
void checkIconName(std::string_view entry, const std::string &catalogPath, std::size_t line);

} // namespace voriraz

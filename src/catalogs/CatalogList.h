#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace voriraz {

// The entries of one catalog file in file order, exactly as written: no
// trimming, no case change, duplicates and empty lines kept. An entry's
// position is its item index in every control filled from the catalog and
// the index of its icon.
using CatalogList = std::vector<std::string>;

// Splits catalog text into entries. CR LF, a lone LF and a lone CR each end
// a line (LF followed by CR ends two); a NUL byte ends the text; a line break
// at the very end adds no empty entry.
CatalogList splitCatalog(std::string_view text);

// Reads a whole catalog file and splits it. Throws FileOpenError
// ("Cannot open file "<path>". <reason>") when it cannot be read.
CatalogList readCatalog(const std::string &path);

// Position of the first entry equal to text when letter case is ignored
// (Unicode simple case folding of UTF-8 text), or -1 when none is.
int findEntryIgnoringCase(const CatalogList &entries, std::string_view text);

// Whether two UTF-8 texts are equal when letter case is ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

} // namespace voriraz

#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz {

// The entries of one catalog file in file order, exactly as written: no
// trimming, no case change, duplicates and empty lines kept. An entry's
// position is its item index in every control filled from the catalog and
// the index of its icon.
using CatalogList = std::vector<std::string>;

// A catalog line that cannot be an entry: "<catalog>, line <n>: <why>".
class CatalogLineError : public std::runtime_error
{
public:
    CatalogLineError(const std::string &catalogPath, std::size_t line, const std::string &why);
};

// Splits catalog text into lines. CR LF, a lone LF and a lone CR each end
// a line (LF followed by CR ends two); a NUL byte ends the text; a line break
// at the very end adds no empty entry.
CatalogList splitCatalog(std::string_view text);

// The entries of a catalog file's text, catalogPath naming the file in
// messages; entry i is line i + 1. A UTF-8 byte-order mark at the start is
// no part of the first entry, and empty or blank lines (spaces and tabs
// only) after the last entry are left out. An empty line before the last
// entry is an entry with empty text: whether the catalog may hold one is
// for its reader to say (an icon catalog may, for the empty slot, when the
// empty entry's icon exists). Throws CatalogLineError for a NUL byte ("NUL
// byte in the text"), UTF-16 text, a line of blanks before the last entry
// ("entry of blanks only") and a line that is not UTF-8 ("not UTF-8 text;
// ..."): each would otherwise become an entry no icon or preset can be
// found for, or cut the catalog short without a word.
CatalogList parseCatalog(std::string_view text, const std::string &catalogPath);

// Reads a whole catalog file and parses it. Throws FileOpenError
// ("Cannot open file "<path>". <reason>") when it cannot be read, and
// CatalogLineError as parseCatalog does.
CatalogList readCatalog(const std::string &path);

// The catalog dataFolder + relative, read as readDataFile reads (only
// inside the data folder) and parsed as parseCatalog parses.
CatalogList readDataCatalog(const std::string &dataFolder, const std::string &relative);

// Throws CatalogLineError "<catalog>, line <n>: empty entry" for the first
// empty entry, for catalogs that cannot hold one.
void refuseEmptyEntries(const CatalogList &entries, const std::string &catalogPath);

// Position of the first entry equal to text when letter case is ignored
// (Unicode simple case folding of UTF-8 text), or -1 when none is.
int findEntryIgnoringCase(const CatalogList &entries, std::string_view text);

// Whether text is well-formed UTF-8 (no stray or overlong sequences, no
// surrogates).
bool isUtf8(std::string_view text);

// Whether two UTF-8 texts are equal when letter case is ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

} // namespace voriraz

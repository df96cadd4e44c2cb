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
// messages. A UTF-8 byte-order mark at the start is no part of the first
// entry, and empty or blank lines (spaces and tabs only) after the last
// entry are left out. Throws CatalogLineError for a NUL byte ("NUL byte in
// the text"), UTF-16 text, an empty or blank line before the last entry
// ("empty entry", "entry of blanks only") and a line that is not UTF-8
// ("not UTF-8 text; ..."): each would otherwise become an entry no icon or
// preset can be found for, or cut the catalog short without a word.
CatalogList parseCatalog(std::string_view text, const std::string &catalogPath);

// Reads a whole catalog file and parses it. Throws FileOpenError
// ("Cannot open file "<path>". <reason>") when it cannot be read, and
// CatalogLineError as parseCatalog does.
CatalogList readCatalog(const std::string &path);

// Position of the first entry equal to text when letter case is ignored
// (Unicode simple case folding of UTF-8 text), or -1 when none is.
int findEntryIgnoringCase(const CatalogList &entries, std::string_view text);

// Whether text is well-formed UTF-8 (no stray or overlong sequences, no
// surrogates).
bool isUtf8(std::string_view text);

// Whether two UTF-8 texts are equal when letter case is ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

} // namespace voriraz

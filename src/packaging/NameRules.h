#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz {

// Why an archive should not hold a stored name ('/' between its parts, a
// folder's ending in '/'), or nothing for a name it may hold. Refused are
// names that a reader would extract somewhere else than below the folder it
// extracts into, or would read as another name: a backslash (a separator on
// Windows), a ':' in the first part (a drive on Windows), a part "." or
// "..", and control characters (U+0000 to U+001F, U+007F to U+009F). The
// reasons are sentences such as "a name with a backslash would be a folder
// on Windows". Bytes that are not UTF-8 are left to the name encoding.
std::optional<std::string> unsafeNameReason(std::string_view storedName);

// Stored names that are one name where letter case is ignored and Unicode
// normalisation applied, as on Windows and macOS: extracting them there
// keeps only one of each group. Add the names in archive order; groups()
// gives each group of two or more, in order of their first names.
class NameCollisions
{
public:
    void add(std::string_view storedName);
    std::vector<std::vector<std::string>> groups() const;

    // The key names are compared by: the canonical decomposition (NFD) of
    // the UTF-8 name, each character then folded to its simple lower case.
    // Bytes that are not UTF-8 stay as they are.
    static std::string foldKey(std::string_view name);

private:
    struct Name
    {
        std::string key;
        std::string name;
        std::size_t order;
    };
    std::vector<Name> mNames;
};

} // namespace voriraz

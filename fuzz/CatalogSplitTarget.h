#pragma once

// Catalog text from arbitrary bytes: reading it as start-up does, splitting,
// lookups ignoring case and the icon path of every entry.

#include "FuzzCheck.h"

#include "catalogs/CatalogList.h"
#include "catalogs/IconName.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace voriraz::fuzz {

// A catalog file's text read as start-up reads it: either refused at a
// line, in a short message, or entries none of which is empty or blank or
// holds a NUL byte.
inline void catalogParse(std::string_view bytes)
{
    CatalogList entries;
    try {
        entries = parseCatalog(bytes, "/data/artifacts.txt");
    } catch (const CatalogLineError &e) {
        check(std::string_view(e.what()).starts_with("/data/artifacts.txt, line "), "a refusal names no line");
        check(std::strlen(e.what()) < 200, "the message of a refused line is not short");
        return;
    }
    for (const std::string &entry : entries) {
        check(entry.find_first_not_of(" \t") != std::string::npos, "an empty or blank entry was kept");
        check(entry.find('\0') == std::string::npos, "an entry holds a NUL byte");
    }
}

inline void catalogSplit(std::string_view bytes)
{
    catalogParse(bytes);
    const CatalogList entries = splitCatalog(bytes);

    std::size_t total = 0;
    std::string joined;
    for (const std::string &entry : entries) {
        check(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
              "an entry holds a line break or a NUL byte");
        total += entry.size();
        joined += entry;
        joined += '\n';
    }
    check(total <= bytes.size(), "the entries hold more bytes than the text");
    check(splitCatalog(joined) == entries, "the entries, each ended by LF, split into other entries");

    // Lookups are linear in the catalog; a few dozen entries cover every
    // path through the comparison without making each run quadratic.
    const std::size_t checked = std::min<std::size_t>(entries.size(), 48);
    for (std::size_t i = 0; i < checked; ++i) {
        const int found = findEntryIgnoringCase(entries, entries[i]);
        check(found >= 0 && static_cast<std::size_t>(found) <= i, "an entry is not found by its own text");
        const std::string &next = entries[(i + 1) % entries.size()];
        check(equalIgnoringCase(entries[i], next) == equalIgnoringCase(next, entries[i]),
              "comparing without case is not symmetric");

        // An entry accepted as an icon name names a file in the icon folder;
        // a refused one is reported in a message of bounded length.
        try {
            checkIconName(entries[i], "/data/artifacts.txt", i + 1);
        } catch (const InvalidCatalogEntryError &e) {
            check(std::strlen(e.what()) < 400, "the message of a refused entry is not short");
            continue;
        }
        const std::filesystem::path folder = "/data/img/artifacts";
        const std::filesystem::path icon = (folder / (entries[i] + ".jpg")).lexically_normal();
        check(icon.parent_path() == folder, "an accepted entry leads out of the icon folder");
    }
}

} // namespace voriraz::fuzz

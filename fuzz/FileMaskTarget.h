#pragma once

// The file mask matcher of the archive selection. The input is a mask, a
// line feed and a name; without a line feed the whole input is the mask and
// is matched against itself.

#include "FuzzCheck.h"

#include "packaging/FileMask.h"

#include <string>
#include <string_view>

namespace voriraz::fuzz {

inline void fileMask(std::string_view bytes)
{
    std::string_view mask = bytes;
    std::string_view name = bytes;
    if (const std::size_t line = bytes.find('\n'); line != std::string_view::npos) {
        mask = bytes.substr(0, line);
        name = bytes.substr(line + 1);
    }

    check(matchesMask("*", name), "'*' does not match a name");
    if (mask.find_first_of("*?[") == std::string_view::npos)
        check(matchesMask(mask, mask), "a mask without wildcards does not match itself");

    bool matched = false;
    try {
        matched = matchesMask(mask, name);
    } catch (const MaskError &) {
        check(mask.find('[') != std::string_view::npos, "a mask without '[' was refused");
        return;
    }
    check(!matched || matchesListingMask(mask, name), "a listing leaves out a name the mask matches");
    // A leading or trailing '*' can only widen a mask.
    if (matched) {
        check(matchesMask("*" + std::string(mask), name), "'*' before a matching mask stops it matching");
        check(matchesMask(std::string(mask) + "*", name), "'*' after a matching mask stops it matching");
    }
}

} // namespace voriraz::fuzz

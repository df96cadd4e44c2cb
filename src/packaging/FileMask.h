#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// A mask that cannot be matched: "'<mask>' is an invalid mask at (<n>)",
// n being the 1-based position of the offending character.
class MaskError : public std::runtime_error
{
public:
    MaskError(std::string_view mask, std::size_t position);
};

// Whether name matches mask: '*' matches any run of characters (also none),
// '?' exactly one character, "[set]" one character of the set, where the set
// may hold ranges ("a-z") and may be negated by a leading '!'. Every other
// character matches itself with letter case ignored (ASCII and the Latin,
// Greek and Cyrillic letters of UTF-8 text). Names and masks are UTF-8; a
// byte that is not valid UTF-8 stands for itself. Throws MaskError for an
// unclosed '['.
bool matchesMask(std::string_view mask, std::string_view name);

// Whether a directory listing with this mask reports name: as matchesMask,
// except that a name without a dot also matches as if it ended in ".", so
// "*.*" lists every name, as directory listings conventionally do.
bool matchesListingMask(std::string_view mask, std::string_view name);

} // namespace voriraz

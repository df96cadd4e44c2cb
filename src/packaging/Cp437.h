#pragma once

#include <string>
#include <string_view>

namespace voriraz {

// Converts a UTF-8 name to code page 437, the code page ZIP readers assume
// for names when the UTF-8 flag is clear. Every character becomes exactly one
// byte: ASCII stays as it is, characters code page 437 has take their byte,
// and every other character (as well as each byte that is not valid UTF-8)
// becomes '_'.
std::string toCp437(std::string_view utf8);

} // namespace voriraz

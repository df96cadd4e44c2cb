#pragma once

#include <string_view>

namespace voriraz {

// ASCII letters folded to upper case; every other byte, UTF-8 included, is
// left as it is. Upper rather than lower case because orderings built on it
// (a file listing) sort '_' and the other characters between 'Z' and 'a'
// after the letters, as case-insensitive file systems do.
constexpr char foldAsciiCase(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char32_t foldAsciiCase(char32_t c)
{
    return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
}

// Whether the two texts are equal once ASCII letters are folded.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace voriraz

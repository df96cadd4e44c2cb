#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace voriraz {

// UTF-8 as the editor reads it: strict, so that a file holding a broken
// sequence is refused instead of being written back changed. Overlong forms,
// encoded surrogates, truncated sequences and values above U+10FFFF are not
// valid. The lenient readers below are for callers that must go on past such
// bytes; each is named for what it serves.

// U+FFFD, shown where text could not be decoded.
inline constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes the sequence at `at` (before `end`) into `codePoint` and returns
// its length in bytes, or 0 when the bytes there are not a valid sequence.
// `at` must be before `end`.
std::size_t decodeUtf8Char(const char *at, const char *end, char32_t &codePoint);

// The offset of the first byte that starts no valid sequence; npos when the
// whole text is valid UTF-8.
std::size_t firstInvalidUtf8(std::string_view text);

// Appends the UTF-8 form of a code point up to U+10FFFF.
void appendUtf8(std::string &out, char32_t codePoint);

// Lenient, for showing text to the user (a line quoted in an error
// message): every byte that starts no valid sequence becomes U+FFFD, so the
// result is valid UTF-8 and each broken byte stays visible.
std::string utf8ForDisplay(std::string_view bytes);

// Lenient, for matching file names and masks: the code points of the text,
// where a byte that starts no valid sequence becomes the lone surrogate
// U+DC00 + byte. No valid text decodes to a surrogate, so such a byte
// matches only the same byte.
std::u32string codePointsForMatching(std::string_view bytes);

// How a message names a character: "U+00E9", "U+1F600".
std::string codePointName(char32_t codePoint);

// The first `count` characters of the text; a byte that starts no valid
// sequence counts as one character, and a valid sequence is never cut.
std::string_view firstCharacters(std::string_view text, std::size_t count);

} // namespace voriraz

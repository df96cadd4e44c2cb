#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace voriraz {

// An error message as the program shows it to the user, in the window's
// error box and on the command-line tool's error stream alike: a full stop
// is appended when the last byte sorts after the full stop (any letter or
// digit, and every character outside ASCII).
std::string shownErrorText(std::string_view message);

// Text from a file, cut for a message: its first `characters` characters
// and "..." when more follow. A cut never splits a UTF-8 sequence, and a
// byte that continues no sequence counts as a character of its own, so the
// text shown stays short whatever the file holds.
std::string shortenedForMessage(std::string_view text, std::size_t characters);

} // namespace voriraz

#pragma once

#include <string>
#include <string_view>

namespace voriraz {

// An error message as the program shows it to the user, in the window's
// error box and on the command-line tool's error stream alike: a full stop
// is appended when the last byte sorts after the full stop (any letter or
// digit, and every character outside ASCII).
std::string shownErrorText(std::string_view message);

} // namespace voriraz

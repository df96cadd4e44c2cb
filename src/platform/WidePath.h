#pragma once

// UTF-8 inside the program, UTF-16 at the Windows system boundary.

#ifdef _WIN32

#include <string>
#include <string_view>

namespace voriraz::platform {

std::wstring wideText(std::string_view utf8);
std::string utf8Text(std::wstring_view wide);

// A path as the wide (...W) calls take it: '\' between parts, made absolute,
// with the "\\?\" prefix that lifts the 260-character limit.
std::wstring systemPath(const std::string &path);

// A path the system gave back, as the program writes it: without the
// "\\?\" prefix, '/' between parts.
std::string programPath(std::wstring_view path);

} // namespace voriraz::platform

#endif

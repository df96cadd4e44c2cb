#pragma once

namespace voriraz::platform {

// The lower-case (upper-case) form of a Unicode character by the system's own Unicode
// tables, whatever locale the process runs in; a character without one is
// returned as it is.
char32_t lowerCase(char32_t c);
char32_t upperCase(char32_t c);

} // namespace voriraz::platform

#pragma once

// File names in the system's OEM code page, the one ZIP readers assume for
// a stored name without the UTF-8 flag. OemCodePagePosix.cpp holds code
// page 437, which Linux has no system setting for; OemCodePageWin32.cpp
// asks Windows for the code page it uses.

#include <optional>
#include <string>
#include <string_view>

namespace voriraz::platform {

// The number of the OEM code page names are converted to (437, 850, ...).
unsigned oemCodePage();

// The characters in the OEM code page, or nothing when it cannot hold each
// of them exactly: no best-fit stand-in such as 'a' for 'ä', and no
// character that would read back as another one.
std::optional<std::string> oemText(std::u32string_view characters);

} // namespace voriraz::platform

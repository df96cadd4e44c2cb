#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace voriraz {

// A name as the archive stores it: its bytes, and whether they are UTF-8
// (general purpose flag bit 11) rather than the system's OEM code page.
struct EncodedName
{
    std::string bytes;
    bool utf8 = false;
};

// The bytes of a name for the archive. With oem set, a name that the OEM
// code page (the one ZIP readers assume when the UTF-8 flag is clear: 437
// on Linux, the system's own on Windows) holds exactly, every character, is
// stored in it; any other name is stored as the UTF-8 it is, with utf8 set;
// without oem every name is. Nothing when the name is not valid UTF-8
// (stray or missing continuation bytes, overlong forms, surrogates, code
// points beyond U+10FFFF), since no reader could give it back.
std::optional<EncodedName> encodeName(std::string_view name, bool oem);

// text for a message: valid UTF-8 as it is, every other byte, and every
// byte of a control character (U+0000 to U+001F, U+007F to U+009F), as \xNN.
std::string printableName(std::string_view text);

} // namespace voriraz

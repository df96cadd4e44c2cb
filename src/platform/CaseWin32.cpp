#include "platform/Case.h"

#include <windows.h>

namespace voriraz::platform {

namespace {

// The case form of a character by LCMapStringEx with the invariant locale.
char32_t mapped(char32_t c, DWORD how)
{
    // The character as UTF-16, one unit or a surrogate pair.
    wchar_t units[2];
    int count = 1;
    if (c >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    wchar_t result[2];
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, how, units, count, result, 2, nullptr, nullptr, 0);
    if (length == 1)
        return result[0];
    if (length == 2 && result[0] >= 0xD800 && result[0] < 0xDC00)
        return 0x10000 + ((static_cast<char32_t>(result[0]) - 0xD800) << 10) + (static_cast<char32_t>(result[1]) - 0xDC00);
    return c;
}

} // namespace

char32_t lowerCase(char32_t c)
{
    return mapped(c, LCMAP_LOWERCASE);
}

char32_t upperCase(char32_t c)
{
    return mapped(c, LCMAP_UPPERCASE);
}

} // namespace voriraz::platform

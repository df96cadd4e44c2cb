#include "platform/Case.h"

#include <windows.h>

namespace voriraz::platform {

char32_t lowerCase(char32_t c)
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
    wchar_t lower[2];
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units, count, lower, 2, nullptr,
                                       nullptr, 0);
    if (length == 1)
        return lower[0];
    if (length == 2 && lower[0] >= 0xD800 && lower[0] < 0xDC00)
        return 0x10000 + ((static_cast<char32_t>(lower[0]) - 0xD800) << 10) + (static_cast<char32_t>(lower[1]) - 0xDC00);
    return c;
}

} // namespace voriraz::platform

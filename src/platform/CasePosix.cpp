#include "platform/Case.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace voriraz::platform {

namespace {

// The C.UTF-8 locale holds glibc's Unicode tables.
locale_t unicodeLocale()
{
    static const locale_t locale = [] {
        const locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l ? l : ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

} // namespace

char32_t lowerCase(char32_t c)
{
    return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), unicodeLocale()));
}

char32_t upperCase(char32_t c)
{
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), unicodeLocale()));
}

} // namespace voriraz::platform

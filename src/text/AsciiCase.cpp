#include "text/AsciiCase.h"

#include <algorithm>

namespace voriraz {

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

} // namespace voriraz

#include "catalogs/ErrorText.h"

namespace voriraz {

std::string shownErrorText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

} // namespace voriraz

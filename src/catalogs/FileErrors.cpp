#include "catalogs/FileErrors.h"

#include "platform/Files.h"

#include <utility>

namespace voriraz {

FileOpenError::FileOpenError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot open file \"" + path + "\". " + reason)
{
}

std::string readWholeFile(const std::string &path)
{
    platform::SystemError error;
    std::optional<std::string> content = platform::readRegularFile(path, error);
    if (!content)
        throw FileOpenError(path, error.text);
    return std::move(*content);
}

} // namespace voriraz

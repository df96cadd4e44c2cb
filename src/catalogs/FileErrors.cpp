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

OutsideDataFolderFileError::OutsideDataFolderFileError(const std::string &path, const std::string &where)
    : FileOpenError(path, "It lies outside the data folder, at \"" + where + "\"")
{
}

std::string readDataFile(const std::string &dataFolder, const std::string &relative)
{
    const std::string path = dataFolder + relative;
    platform::SystemError error;
    std::string outside;
    std::optional<std::string> content = platform::readRegularFileInside(dataFolder, relative, error, &outside);
    if (content)
        return std::move(*content);
    if (!outside.empty())
        throw OutsideDataFolderFileError(path, outside);
    throw FileOpenError(path, error.text);
}

} // namespace voriraz

#include "catalogs/ApplicationDir.h"

#include "platform/Files.h"

#include <utility>

namespace voriraz {

std::string applicationDirOf(std::string_view executablePath)
{
    const std::string_view separators = platform::pathSeparators;
    std::string dir(executablePath.substr(0, executablePath.find_last_of(separators) + 1));
    if (!dir.empty() && separators.find(dir.back()) != std::string_view::npos)
        dir.pop_back();
    return dir;
}

std::string applicationDir()
{
    return applicationDirOf(platform::executablePath());
}

DataFolder dataFolderOf(const std::string &applicationDir)
{
    return {applicationDir + "/data"};
}

DataFolder dataFolderAt(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return {std::move(path)};
}

std::optional<std::string> dataFolderProblem(const std::string &path)
{
    platform::SystemError error;
    switch (platform::fileKind(path, &error)) {
    case platform::FileKind::Directory:
        return std::nullopt;
    case platform::FileKind::Missing:
        return error.missing ? std::string(" not found") : ": " + error.text;
    default:
        return std::string(" is not a folder");
    }
}

void checkDataFolder(const DataFolder &data)
{
    if (const std::optional<std::string> problem = dataFolderProblem(data.path)) {
        throw DataFolderError("Data folder \"" + data.path + "\"" + *problem
                              + ". Start the editor with --data DIR, DIR being the data folder of your mod");
    }
}

bool staysInsideDataFolder(std::string_view relative)
{
    if (relative.empty())
        return true;
    if (relative.front() != '/')
        return false;
    // A ".." is refused even where it would stay inside by the letters: a
    // symbolic link before it makes the system climb from the link's target.
    std::size_t start = 1;
    for (;;) {
        const std::size_t end = relative.find('/', start);
        if (relative.substr(start, end == std::string_view::npos ? end : end - start) == "..")
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

} // namespace voriraz

#include "presets/PresetDirectory.h"

#include "catalogs/CatalogList.h"

#include "platform/Files.h"
#include "text/AsciiCase.h"

#include <algorithm>
#include <filesystem>

namespace voriraz {

DirectoryListError::DirectoryListError(const std::string &path, const std::string &reason)
    : std::runtime_error("I/O error: cannot list the directory \"" + path + "\". " + reason)
{
}

namespace {

bool hasPresetExtension(const std::string &name)
{
    return name.size() > 4 && equalIgnoringCase(std::string_view(name).substr(name.size() - 4), ".xdb");
}

// Case-blind order first; names that differ only in case keep a fixed order.
bool byNameIgnoringCase(const std::string &a, const std::string &b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<unsigned char>(ca + 32);
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<unsigned char>(cb + 32);
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

std::vector<std::string> listPresetFiles(const std::string &directory)
{
    platform::SystemError error;
    std::optional<std::vector<std::string>> all = platform::folderNames(directory, error);
    if (!all)
        throw DirectoryListError(directory, error.text);

    std::vector<std::string> names;
    for (std::string &name : *all) {
        if (name[0] != '.' && hasPresetExtension(name)
            && platform::fileKind(presetFilePath(directory, name)) == platform::FileKind::Regular)
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), byNameIgnoringCase);
    return names;
}

std::string presetNameInDirectory(const std::string &argument, const std::string &directory)
{
    if (argument.find_first_of(platform::pathSeparators) == std::string::npos)
        return argument;
    const std::filesystem::path path(argument);
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::error_code error;
    if (path.has_filename() && std::filesystem::equivalent(folder, directory, error))
        return path.filename().string();
    throw PresetArgumentError("Preset \"" + argument + "\" is not in the presets folder \"" + directory
                              + "\". Start the editor with --data DIR to edit the presets of another data folder");
}

std::string presetFilePath(const std::string &directory, const std::string &name)
{
    if (name.empty())
        return std::string();
    if (!directory.empty() && directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

bool samePresetPath(const std::string &a, const std::string &b)
{
#ifdef _WIN32
    const auto folded = [](char c) { return c == '\\' ? '/' : foldAsciiCase(c); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return folded(x) == folded(y); });
#else
    return a == b;
#endif
}

} // namespace voriraz

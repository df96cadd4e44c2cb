#include "cli/DataTree.h"

#include "catalogs/ErrorText.h"
#include "cli/Command.h"
#include "presets/PresetDirectory.h"
#include "presets/XmlParseError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace voriraz::cli {

namespace {

StartupCatalogs readCatalogs(const DataFolder &folder)
{
    try {
        CatalogFill fill(folder);
        return readStartupCatalogs(fill);
    } catch (const std::exception &e) {
        throw CommandError("cannot use the data folder \"" + folder.path + "\": " + shownError(e));
    }
}

} // namespace

DataTree::DataTree(DataFolder folder)
    : mFolder(std::move(folder))
    , mCatalogs(readCatalogs(mFolder))
    , mPresetCatalogs {mCatalogs.creatures, mCatalogs.skills, mCatalogs.masteries, mCatalogs.primaryMasteries}
{
}

std::string DataTree::presetsDirectory() const
{
    return presetsDirectoryOf(mFolder);
}

std::vector<PresetFile> DataTree::allPresets() const
{
    const std::string directory = presetsDirectory();
    std::vector<std::string> names;
    try {
        names = listPresetFiles(directory);
    } catch (const std::exception &e) {
        throw CommandError(shownError(e));
    }
    std::vector<PresetFile> files;
    for (const std::string &name : names)
        files.push_back({name, presetFilePath(directory, name)});
    return files;
}

PresetFile DataTree::preset(const std::string &text) const
{
    const bool isPath = text.find('/') != std::string::npos;
    const PresetFile file {text, isPath ? text : presetFilePath(presetsDirectory(), text)};
    struct stat info {};
    const int failure = text.empty() ? ENOENT : ::stat(file.path.c_str(), &info) == 0 ? 0 : errno;
    if (failure == ENOENT) {
        throw CommandError("preset \"" + text + "\" not found"
                           + (isPath ? std::string() : " in the presets folder \"" + presetsDirectory() + "\""));
    }
    // Any other reason, such as a name too long for the system, is told as it is.
    if (failure != 0)
        throw CommandError("preset \"" + text + "\": " + std::strerror(failure));
    if (!S_ISREG(info.st_mode))
        throw CommandError("preset \"" + text + "\" is not a file");
    return file;
}

std::vector<PresetFile> DataTree::presets(const Arguments &arguments) const
{
    std::vector<PresetFile> files;
    for (const std::string &argument : arguments)
        files.push_back(preset(argument));
    return files;
}

std::string presetArgumentHelp()
{
    return "A PRESET with a \"/\" in it is a path (write ./NAME for a file in the current folder);\n"
           "a bare file name is a preset of DIR/mod/Maps/DuelMode/Heroes.";
}

std::string shownError(const std::exception &error)
{
    return shownErrorText(error.what());
}

std::string shownErrorOnOneLine(const std::exception &error)
{
    if (const auto *parse = dynamic_cast<const XmlParseError *>(&error)) {
        const std::string reason = shownErrorText(parse->reason());
        return parse->line() > 0 ? "line " + std::to_string(parse->line()) + ": " + reason : reason;
    }
    return shownErrorOnOneLine(std::string_view(error.what()));
}

std::string shownErrorOnOneLine(std::string_view message)
{
    std::string text = shownErrorText(message);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

} // namespace voriraz::cli

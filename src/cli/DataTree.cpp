#include "cli/DataTree.h"

#include "platform/Files.h"

#include "catalogs/ErrorText.h"
#include "cli/Command.h"
#include "presets/PresetDirectory.h"
#include "presets/XmlParseError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    const bool isPath = text.find_first_of(platform::pathSeparators) != std::string::npos;
    const PresetFile file {text, isPath ? text : presetFilePath(presetsDirectory(), text)};
    platform::SystemError failure {0, {}, text.empty()};
    const platform::FileKind kind = text.empty() ? platform::FileKind::Missing : platform::fileKind(file.path, &failure);
    if (failure.missing) {
        throw CommandError("preset \"" + text + "\" not found"
                           + (isPath ? std::string() : " in the presets folder \"" + presetsDirectory() + "\""));
    }
    // Any other reason, such as a name too long for the system, is told as it is.
    if (kind == platform::FileKind::Missing)
        throw CommandError("preset \"" + text + "\": " + failure.text);
    if (kind != platform::FileKind::Regular)
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

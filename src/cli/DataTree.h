#pragma once

#include "catalogs/ApplicationDir.h"
#include "catalogs/CatalogFill.h"
#include "cli/CommandLine.h"
#include "presets/PresetControls.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz::cli {

// A preset a command works on: its path, and the name messages give it (the
// file name for a preset of the presets directory, else the path as given).
struct PresetFile
{
    std::string name;
    std::string path;
};

// The data tree a command works on, opened as the window's start-up opens
// it: every catalog read and every icon decoded, so a tree the window could
// not start with is refused here too.
class DataTree
{
public:
    // Throws CommandError when a catalog or icon cannot be read; the message
    // names the data folder and carries the window's error.
    explicit DataTree(DataFolder folder);

    const DataFolder &folder() const { return mFolder; }
    const StartupCatalogs &catalogs() const { return mCatalogs; }
    // The item lists the window's preset controls hold.
    const PresetCatalogs &presetCatalogs() const { return mPresetCatalogs; }
    std::string presetsDirectory() const;

    // Every preset the window lists, in its order. Throws CommandError when
    // the presets directory cannot be listed.
    std::vector<PresetFile> allPresets() const;

    // A PRESET argument: with a "/" in it, a path; otherwise the name of a
    // file in the presets directory. Throws CommandError when that is no
    // regular file.
    PresetFile preset(const std::string &argument) const;
    std::vector<PresetFile> presets(const Arguments &arguments) const;

private:
    DataFolder mFolder;
    StartupCatalogs mCatalogs;
    PresetCatalogs mPresetCatalogs;
};

// The help text's description of PRESET arguments.
std::string presetArgumentHelp();

// An error as the window's error box shows it.
std::string shownError(const std::exception &error);

// The same on one line, for a finding: a parse error as "line <n>: <reason>",
// any other line break as a blank.
std::string shownErrorOnOneLine(const std::exception &error);
std::string shownErrorOnOneLine(std::string_view message);

} // namespace voriraz::cli

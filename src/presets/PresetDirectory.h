#pragma once

#include "catalogs/ApplicationDir.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz {

// The presets directory, relative to the data folder.
inline constexpr const char *presetsFolder = "/mod/Maps/DuelMode/Heroes";

// The presets directory, relative to the application directory.
inline constexpr const char *presetsDirectory = "/data/mod/Maps/DuelMode/Heroes";
static_assert(std::string_view(presetsDirectory).starts_with("/data")
              && std::string_view(presetsDirectory).substr(5) == presetsFolder);

// The presets directory of a data folder.
inline std::string presetsDirectoryOf(const DataFolder &data)
{
    return data.path + presetsFolder;
}

// A directory that cannot be listed: an input/output error naming the path.
class DirectoryListError : public std::runtime_error
{
public:
    DirectoryListError(const std::string &path, const std::string &reason);
};

// The names of the regular files in directory whose name ends in ".xdb" in
// any letter case, without hidden files (names starting with a full stop)
// and subdirectories, sorted by name without regard to case. Throws
// DirectoryListError when the directory is missing or unreadable.
std::vector<std::string> listPresetFiles(const std::string &directory);

// A PRESET named on a command line that is no preset of the presets folder.
class PresetArgumentError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The file name in directory that a PRESET of a command line stands for. A
// bare name is a file name of the directory; a name with a "/" in it is a
// path (relative to the working folder), which must lead to a file directly
// in directory, reached by any way (links, "./"). Throws
// PresetArgumentError ("Preset "<argument>" is not in the presets folder
// "<directory>"") for a path elsewhere. Whether the file exists is not
// checked.
std::string presetNameInDirectory(const std::string &argument, const std::string &directory);

// directory, a separator unless it already ends with one, and name; the
// empty text when name is empty.
std::string presetFilePath(const std::string &directory, const std::string &name);

// Whether two paths spell the same file: equal texts, and on Windows also
// equal after taking either separator for the other and ignoring the letter
// case of ASCII letters, as the file system does there (a file dialog gives
// "C:/x/a.xdb" for the list's "C:\x/a.xdb").
bool samePresetPath(const std::string &a, const std::string &b);

} // namespace voriraz

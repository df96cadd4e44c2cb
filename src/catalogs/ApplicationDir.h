#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// The directory part of an executable's path, without a trailing separator:
// the path cut after its last separator, then one trailing separator removed.
// An executable in the root directory gives the empty text, so data paths
// formed as directory + "/data/..." still come out right.
std::string applicationDirOf(std::string_view executablePath);

// The directory of the running executable (from /proc/self/exe), formed as
// applicationDirOf does. Throws std::runtime_error when the path cannot be read.
std::string applicationDir();

// The folder of the data tree: catalogs, icons, game mechanics and the mod.
// The window always reads "<application dir>/data"; the command-line tool can
// be pointed at any folder laid out the same way. Every data path is formed
// as path + "/creatures.txt" and so on, so path has no trailing separator.
struct DataFolder
{
    std::string path;
};

// The data folder of an application directory: applicationDir + "/data".
DataFolder dataFolderOf(const std::string &applicationDir);

// The data folder at a path given by the user, without trailing separators
// ("/" stays itself).
DataFolder dataFolderAt(std::string path);

// What keeps path from serving as a data folder, as the end of a message
// that starts with the folder's name: " not found", " is not a folder", or
// ": " and the system's reason ("File name too long"). Nothing when it is a
// folder.
std::optional<std::string> dataFolderProblem(const std::string &path);

// A data folder that does not exist or is no folder: "Data folder "<path>"
// not found. Start the editor with --data DIR, DIR being the data folder
// of your mod" (or the other problem).
class DataFolderError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Throws DataFolderError when the window cannot use the data folder.
void checkDataFolder(const DataFolder &data);

// Whether a path that a data file gives relative to the data folder (such
// as "/GameMechanics/Creature/X.xdb") still names something inside the
// folder once appended to its path: it is empty or starts with "/", and no
// part of it is "..". Anything else could lead out of the folder ("/../..",
// or "_other/x", which appended to ".../data" names ".../data_other/x").
bool staysInsideDataFolder(std::string_view relative);

} // namespace voriraz

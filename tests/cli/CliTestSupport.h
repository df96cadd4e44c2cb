#pragma once

#include "TestSupport.h"
#include "cli/Command.h"

#include <filesystem>
#include <string>

namespace voriraz::test {

// The sample data tree the build places beside the programs.
// Both absolute with '/' between their parts, as the program names its own
// data folder, also where a Windows build is given a Linux path.
inline const std::filesystem::path sampleData = std::filesystem::absolute(VORIRAZ_SAMPLE_DATA).generic_string();
// The broken fixture tree: one preset for each kind of fault check finds.
inline const std::filesystem::path brokenFixture =
    std::filesystem::absolute(VORIRAZ_TEST_DATA).generic_string() + "/cli/broken";

inline const char *const presetsFolder = "mod/Maps/DuelMode/Heroes";

// What a command or the program printed, and its exit status.
struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a command in-process, as the program would after reading its name.
Outcome runCommand(cli::Command &command, const cli::Arguments &arguments);
Outcome runCommand(cli::Command &&command, const cli::Arguments &arguments);

// Runs the voriraz-cli executable as a process; with stdoutFile, its
// standard output goes to that file (such as /dev/full) instead.
Outcome runProgram(const cli::Arguments &arguments, const std::filesystem::path &workingDirectory = {},
                   const std::string &stdoutFile = {});

// A data folder of its own for a test: a copy of a tree in <temp>/<name>,
// with icons painted for every catalog entry where the tree has none.
class DataCopy
{
public:
    DataCopy(const std::filesystem::path &from, const std::string &name = "data");

    const std::filesystem::path &folder() const { return mFolder; }
    std::string arg() const { return mFolder.string(); }
    // As the program names it, below the folder given as --data.
    std::filesystem::path preset(const std::string &name) const
    {
        return programPath(mFolder, std::string(presetsFolder) + "/" + name);
    }

private:
    TempDir mDir;
    std::filesystem::path mFolder;
};

// The file names of a tree's presets, in the window's order.
std::vector<std::string> presetNames(const std::filesystem::path &dataFolder);

std::string pathArg(const std::filesystem::path &path);

// The arguments of first, then those of second.
cli::Arguments concat(cli::Arguments first, const cli::Arguments &second);

// Names a parameterised test after the name of its row.
struct RowName
{
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row> &row) const { return row.param.name; }
};

} // namespace voriraz::test

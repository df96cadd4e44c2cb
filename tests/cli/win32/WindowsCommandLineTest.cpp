// voriraz-cli given paths as Windows users type them: a drive letter and
// backslashes. Built only for Windows.

#include "cli/CliTestSupport.h"
#include "ZipInspection.h"

#include "cli/PackCommand.h"
#include "cli/ResaveCommand.h"
#include "cli/StatsCommand.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

// The path with backslashes only, made absolute (so with a drive letter).
std::string backslashed(const fs::path &path)
{
    std::string text = fs::absolute(path).string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

} // namespace

TEST(WindowsCommandLine, BackslashedDataFolderAndPresetPathsWork)
{
    const DataCopy tree(sampleData);
    const std::string data = backslashed(tree.folder());
    ASSERT_EQ(data.find('/'), std::string::npos);
    ASSERT_EQ(data[1], ':');
    const std::string name = presetNames(tree.folder()).front();

    const Outcome byName = runCommand(cli::StatsCommand(), {name, "--data", data});
    EXPECT_EQ(byName.status, cli::exitStatus::success) << byName.err;
    // A preset given as a path with backslashes is that file, not a name
    // in the presets folder.
    const Outcome byPath = runCommand(cli::StatsCommand(), {backslashed(tree.preset(name)), "--data", data});
    EXPECT_EQ(byPath.status, cli::exitStatus::success) << byPath.err;
    EXPECT_EQ(byPath.out, byName.out);

    // Saved in place through the backslashed path, byte for byte as a save
    // of the same preset by its name in another copy.
    const DataCopy other(sampleData);
    const Outcome resaved = runCommand(cli::ResaveCommand(), {backslashed(tree.preset(name)), "--data", data});
    EXPECT_EQ(resaved.status, cli::exitStatus::success) << resaved.err;
    EXPECT_EQ(runCommand(cli::ResaveCommand(), {name, "--data", other.arg()}).status, cli::exitStatus::success);
    EXPECT_EQ(readFile(tree.preset(name)), readFile(other.preset(name)));
}

TEST(WindowsCommandLine, PackShowsEveryPathWithBackslashes)
{
    const DataCopy tree(sampleData);
    // The data folder given with forward slashes, as a script might.
    std::string data = fs::absolute(tree.folder()).string();
    std::replace(data.begin(), data.end(), '\\', '/');
    const fs::path archive = tree.folder().parent_path() / "Mod.pak";
    const Outcome run = runCommand(cli::PackCommand(), {archive.string(), "--data", data});
    ASSERT_EQ(run.status, cli::exitStatus::success) << run.err;
    EXPECT_EQ(run.out.rfind("Packed ", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find('/'), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(backslashed(tree.folder()) + "\\mod into " + backslashed(archive)), std::string::npos)
        << run.out;
    EXPECT_FALSE(inspectArchive(archive).entries.empty());
}

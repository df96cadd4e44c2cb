#include "CliTestSupport.h"
#include "SystemSupport.h"
#include "ZipInspection.h"

#include "cli/PackCommand.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <random>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

const std::string previousArchive = "the archive of an earlier pack";

// A mod folder with two small files and one whose full path is longer than
// the platform accepts, so packing it fails the same way every time.
fs::path writeTreeWithOverlongPath(const fs::path &data)
{
    writeFile(data / "mod/a.txt", "alpha");
    writeFile(data / "mod/z.txt", "zulu");
    fs::path deep = data / "mod/deep";
    while (deep.string().size() < 4000)
        deep /= std::string(200, 'd');
    writeDeepFile(deep / std::string(150, 'f'), "");
    return deep / std::string(150, 'f');
}

std::vector<std::string> fileNames(const InspectedArchive &archive)
{
    std::vector<std::string> names;
    for (const auto &name : archive.names())
        if (name.back() != '/')
            names.push_back(name);
    return names;
}

} // namespace

TEST(Pack, SampleModTreeBecomesAnArchiveEveryReaderAccepts)
{
    TempDir out;
    const fs::path archive = out / "Mod.pak";
    writeFile(archive, "an older file that is replaced");
    const Outcome run = runProgram({"pack", pathArg(archive), "--data", pathArg(sampleData)});
    ASSERT_EQ(run.status, cli::exitStatus::success) << run.err;
    const InspectedArchive packed = inspectArchive(archive);
    EXPECT_EQ(run.out, "Packed " + std::to_string(packed.entries.size()) + " entries of "
                           + platform::shownPath((sampleData / "mod").string()) + " into "
                           + platform::shownPath(archive.string()) + " ("
                           + std::to_string(fs::file_size(archive)) + " bytes)\n");
    EXPECT_EQ(run.err, "") << "no progress line when stderr is not a terminal";
    for (const char *reader : {"python", "unzip", "7z"})
        EXPECT_TRUE(readerAccepts(reader, archive)) << reader;
    for (const auto &entry : packed.entries) {
        if (entry.central.name.back() == '/')
            continue;
        EXPECT_EQ(entry.inflated, readFile(sampleData / "mod" / entry.central.name)) << entry.central.name;
    }
    EXPECT_EQ(packed.entries.front().central.name, "Maps/");
}

TEST(Pack, RelativeTargetIsTakenFromTheWorkingDirectory)
{
    TempDir out;
    const Outcome run = runProgram({"pack", "Relative.pak", "--data", pathArg(sampleData)}, out.path());
    EXPECT_EQ(run.status, cli::exitStatus::success) << run.err;
    EXPECT_TRUE(readerAccepts("unzip", out / "Relative.pak"));
}

TEST(Pack, CommandsThatCannotRun)
{
    TempDir out;
    const Outcome missingData = runCommand(cli::PackCommand(), {pathArg(out / "a.pak"), "--data", pathArg(out / "nowhere")});
    EXPECT_EQ(missingData.status, cli::exitStatus::trouble);
    EXPECT_NE(missingData.err.find((out / "nowhere").string()), std::string::npos) << missingData.err;
    EXPECT_FALSE(fs::exists(out / "a.pak"));

    const fs::path unwritable = out / "missing/a.pak";
    const Outcome noTarget = runCommand(cli::PackCommand(), {pathArg(unwritable), "--data", pathArg(sampleData)});
    EXPECT_EQ(noTarget.status, cli::exitStatus::trouble);
    EXPECT_EQ(noTarget.err,
              "voriraz-cli: Cannot create file \"" + platform::shownPath(unwritable.string()) + "\". " + pathNotFoundText()
                  + "\n");

    const Outcome badAction =
        runCommand(cli::PackCommand(), {pathArg(out / "a.pak"), "--data", pathArg(sampleData), "--on-error", "shrug"});
    EXPECT_EQ(badAction.status, cli::exitStatus::trouble);
    EXPECT_EQ(badAction.err,
              "voriraz-cli: Invalid --on-error action: \"shrug\". Use abort, ignore or retry-once.\n");

    EXPECT_EQ(runCommand(cli::PackCommand(), {"--data", pathArg(sampleData)}).status, cli::exitStatus::trouble);
    EXPECT_FALSE(fs::exists(out / "a.pak"));
}

TEST(Pack, FailureAbortsByDefaultAndKeepsThePreviousArchive)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    TempDir dir;
    const fs::path overlong = writeTreeWithOverlongPath(dir / "data");
    const fs::path archive = dir / "Mod.pak";
    writeFile(archive, previousArchive);
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(run.err, "voriraz-cli: ArchiveWriter1: File name is too long: \r\n\"" + overlong.string()
                           + "\" - Native error: 00061\nvoriraz-cli: packing aborted; the previous " + archive.string()
                           + " was kept\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

// A file size limit (a quota, "ulimit -f") reached while the archive is
// written is a write failure like a full disk: the program says so, keeps
// the previous archive and leaves no temporary file, instead of being ended
// by the system's signal half-way.
TEST(Pack, FileSizeLimitIsAFailedWriteThatKeepsThePreviousArchive)
{
    VORIRAZ_POSIX_ONLY("a file size limit of the process");
    TempDir dir;
    std::string noise(256 * 1024, '\0');
    std::mt19937 random(7);
    for (char &c : noise)
        c = static_cast<char>(random());
    writeFile(dir / "data/mod/noise.bin", noise);
    const fs::path archive = dir / "Mod.pak";
    writeFile(archive, previousArchive);

    const Outcome run = [&] {
        // The program meets the limit with the system's default for it,
        // which would end the process half-way.
        const FileSizeLimit limit(64 * 1024, FileSizeLimit::keepSignal);
        return runProgram({"pack", pathArg(archive), "--data", pathArg(dir / "data")});
    }();

    EXPECT_EQ(run.status, cli::exitStatus::problems) << run.err;
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the previous " + archive.string() + " was kept"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

TEST(Pack, FailureIgnoredLeavesTheFileOut)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    TempDir dir;
    const fs::path overlong = writeTreeWithOverlongPath(dir / "data");
    const fs::path archive = dir / "Mod.pak";
    const Outcome run =
        runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data"), "--on-error", "ignore"});
    EXPECT_EQ(run.status, cli::exitStatus::success);
    EXPECT_EQ(run.err, "voriraz-cli: skipped: ArchiveWriter1: File name is too long: \r\n\"" + overlong.string()
                           + "\" - Native error: 00061\n");
    EXPECT_NE(run.out.find("; 1 file left out\n"), std::string::npos) << run.out;
    const InspectedArchive packed = inspectArchive(archive);
    EXPECT_EQ(fileNames(packed), (std::vector<std::string> {"a.txt", "z.txt"}));
    EXPECT_TRUE(readerAccepts("unzip", archive));
}

TEST(Pack, RetryOnceTriesAgainThenAborts)
{
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    const fs::path big = dir / "data/mod/huge.bin";
    writeFile(big, "");
    fs::resize_file(big, 0x100000000LL);
    const fs::path archive = dir / "Mod.pak";
    const Outcome run =
        runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data"), "--on-error", "retry-once"});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(run.err, "voriraz-cli: ArchiveWriter1: Cannot compress file '"
                           + platform::shownPath((dir / "data/mod").string()) + "/huge.bin"
                           + "'. Zip64 mode is not enabled - Native error: 00043\nvoriraz-cli: packing aborted; "
                           + platform::shownPath(archive.string()) + " was not written\n");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"data"});
}

TEST(Pack, LinksLeadingOutsideAreReportedOneLineEachAndCounted)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    writeFile(dir / "elsewhere/key", "secret");
    fs::create_symlink(dir / "elsewhere/key", dir / "data/mod/key.txt");
    fs::create_directory_symlink(dir / "elsewhere", dir / "data/mod/shared");
    const fs::path archive = dir / "Mod.pak";
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::success);
    const std::string elsewhere = fs::canonical(dir / "elsewhere").string();
    EXPECT_EQ(run.err, "voriraz-cli: skipped: key.txt: a link leading outside the folder, to \"" + elsewhere
                           + "/key\"\nvoriraz-cli: skipped: shared: a link leading outside the folder, to \""
                           + elsewhere + "\"\n");
    EXPECT_EQ(run.out, "Packed 1 entry of " + (dir / "data/mod").string() + " into " + archive.string() + " ("
                           + std::to_string(fs::file_size(archive)) + " bytes); 2 links leading outside the folder not followed\n");
    EXPECT_EQ(fileNames(inspectArchive(archive)), std::vector<std::string> {"a.txt"});
}

TEST(Pack, ATargetThatIsAFileOfTheModFolderCannotBeCreated)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    fs::create_symlink(dir / "data/mod/a.txt", dir / "Mod.pak");
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(dir / "Mod.pak"), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
    EXPECT_EQ(run.err, "voriraz-cli: The archive would replace \"" + (dir / "data/mod/a.txt").string()
                           + "\", a file of the mod folder.\n");
    EXPECT_EQ(readFile(dir / "data/mod/a.txt"), "alpha");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

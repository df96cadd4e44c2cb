#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/FileMask.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> selectedNames(const fs::path &base, const std::string &mask = "*.*",
                                       const std::string &exclusion = "", std::optional<FileIdentity> archive = {})
{
    SelectionRequest request;
    request.masks = {mask};
    request.baseDir = base.string();
    if (!exclusion.empty())
        request.exclusions = {exclusion};
    request.archive = archive;
    TArchiveDirArray directory;
    selectFiles(request, directory);
    std::vector<std::string> names;
    for (const auto &entry : directory)
        names.emplace_back(entry.storedName);
    return names;
}

std::vector<std::string> packedNames(const fs::path &base, const fs::path &archive)
{
    TArchiveWriter writer;
    writeModArchive(writer, archive.string(), base.string());
    return inspectArchive(archive).names();
}

} // namespace

TEST(FileSelection, ListsFilesFirstThenEachDirectoryWithItsContents)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "b.txt", "");
    writeFile(base / "A.txt", "");
    writeFile(base / "_under.txt", "");
    // On Windows a name that differs only in case is the same file.
    if constexpr (!onWindows)
        writeFile(base / "a.TXT", "");
    writeFile(base / "zeta/inner.txt", "");
    writeFile(base / "Alpha/deep/x.txt", "");
    writeFile(base / "Alpha/y.txt", "");
    fs::create_directories(base / "Alpha/empty");
    std::vector<std::string> expected = {"A.txt", "a.TXT", "b.txt", "_under.txt", "Alpha/", "Alpha/y.txt",
                                         "Alpha/deep/", "Alpha/deep/x.txt", "Alpha/empty/", "zeta/",
                                         "zeta/inner.txt"};
    if constexpr (onWindows)
        std::erase(expected, "a.TXT");
    EXPECT_EQ(selectedNames(base), expected);
}

TEST(FileSelection, EntryFieldsOfFilesAndDirectories)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "big.bin", std::string(12345, 'x'));
    fs::create_directories(base / "sub");
    SelectionRequest request;
    request.masks = {"*.*"};
    request.baseDir = base.string();
    TArchiveDirArray directory;
    selectFiles(request, directory);
    ASSERT_EQ(directory.size(), 2u);

    const TArchiveDirEntry &file = directory[0];
    EXPECT_EQ(file.sourcePath(), programPath(base, "big.bin"));
    EXPECT_EQ(file.header.crc32, 0xFFFFFFFFu) << "placeholder until written";
    EXPECT_EQ(file.header.uncompressedSize, 12345u);
    EXPECT_EQ(file.header.method, 8);
    EXPECT_EQ(file.header.flags, 0);
    EXPECT_EQ(file.compressionMode, 9);
    EXPECT_EQ(file.operation, TProcessOperation::poAdd);
    EXPECT_TRUE(file.modified);

    const TArchiveDirEntry &sub = directory[1];
    EXPECT_EQ(sub.storedName, "sub/");
    EXPECT_EQ(sub.sourcePath(), programPath(base, "sub/"));
    EXPECT_EQ(sub.header.crc32, 0u);
    EXPECT_EQ(sub.header.method, 0);
    EXPECT_EQ(sub.header.flags, 2);
    EXPECT_EQ(sub.header.externalAttributes, 0x10u);
    EXPECT_EQ(sub.compressionMode, 0);
}

TEST(FileSelection, LinksInsideAreFollowedButACycleEnds)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "real/file.txt", "real");
    fs::create_directory_symlink(base / "real", base / "real/loop");
    fs::create_directory_symlink("real", base / "linked");
    fs::create_symlink(base / "real/file.txt", base / "alias.txt");
    fs::create_symlink(base / "nowhere", base / "broken.txt");
    EXPECT_EQ(selectedNames(base), (std::vector<std::string> {"alias.txt", "linked/", "linked/file.txt",
                                                              "linked/loop/", "real/", "real/file.txt",
                                                              "real/loop/"}));
}

TEST(FileSelection, LinksLeadingOutsideAreNeitherFollowedNorOpenedNorStored)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "a.txt", "inside");
    writeFile(base / "sub/b.txt", "inside too");
    writeFile(dir / "outside/secret.key", "not for the archive");
    writeFile(dir / "outside/more/c.txt", "nor this");
    fs::create_directory_symlink("/", base / "root");
    fs::create_symlink(dir / "outside/secret.key", base / "key.xdb");
    fs::create_directory_symlink("../../outside", base / "sub/away");
    fs::create_directory_symlink("sub", base / "inside");
    fs::create_directory_symlink("..", base / "sub/up");

    // Every directory listed and every file opened, to see that nothing
    // outside the tree is.
    std::vector<std::string> listed;
    setListingHookForTesting([&](const std::string &directory) {
        listed.push_back(directory);
        return 0;
    });
    auto files = std::make_shared<FaultyFileSystem>();
    TArchiveWriter writer;
    writer.SetFileSystem(files);
    std::vector<std::string> reported;
    writer.OnSkip = [&](const TSkippedItem &item) { reported.push_back(item.name + ": " + item.reason); };
    const auto started = std::chrono::steady_clock::now();
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());
    const auto took = std::chrono::steady_clock::now() - started;
    setListingHookForTesting(nullptr);

    EXPECT_LT(took, std::chrono::seconds(10)) << "walked more than the tree";
    const std::string realBase = fs::canonical(base).string();
    for (const std::string &path : listed)
        EXPECT_EQ(fs::canonical(path).string().rfind(realBase, 0), 0u) << "listed " << path;
    ASSERT_FALSE(files->opened.empty());
    for (const std::string &path : files->opened)
        EXPECT_EQ(fs::canonical(path).string().rfind(realBase, 0), 0u) << "opened " << path;
    const std::string outside = fs::canonical(dir / "outside").string();
    EXPECT_EQ(reported, (std::vector<std::string> {
                            "key.xdb: a link leading outside the folder, to \"" + outside + "/secret.key\"",
                            "root: a link leading outside the folder, to \"/\"",
                            "inside/away: a link leading outside the folder, to \"" + outside + "\"",
                            "sub/away: a link leading outside the folder, to \"" + outside + "\""}));
    EXPECT_EQ(report.linksOutside, 4u);
    EXPECT_EQ(report.failedFiles, 0u);
    // Links inside behave as before, a loop included.
    EXPECT_EQ(inspectArchive(dir / "out.pak").names(),
              (std::vector<std::string> {"a.txt", "inside/", "inside/b.txt", "inside/up/", "sub/", "sub/b.txt",
                                         "sub/up/"}));
}

TEST(FileSelection, PipesSocketsAndDevicesAreSkipped)
{
    VORIRAZ_POSIX_ONLY("pipes, sockets and devices in the file system");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "plain.txt", "plain");
    makeFifo(base / "pipe");
    const BoundSocket socket(base / "sock");
    fs::create_symlink("/dev/null", base / "device");
    EXPECT_EQ(packedNames(base, dir / "out.pak"), (std::vector<std::string> {"plain.txt"}));
}

TEST(FileSelection, TheArchiveItselfIsLeftOutButOtherArchivesAreNot)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "old.pak", "an older archive");
    writeFile(base / "sub/Mod.pak", "same name, other directory");
    writeFile(base / "readme.txt", "text");
    EXPECT_EQ(packedNames(base, base / "Mod.pak"),
              (std::vector<std::string> {"old.pak", "readme.txt", "sub/", "sub/Mod.pak"}));
    // A name that is a valid path but not a valid mask is no obstacle.
    EXPECT_EQ(packedNames(base, base / "mod[1.pak"),
              (std::vector<std::string> {"Mod.pak", "old.pak", "readme.txt", "sub/", "sub/Mod.pak"}));
}

TEST(FileSelection, MasksAndExclusionsNarrowTheSelection)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "a.xdb", "");
    writeFile(base / "b.tmp", "");
    writeFile(base / "README", "");
    writeFile(base / "sub/c.XDB", "");
    writeFile(base / "sub/d.tmp", "");
    // A mask that does not match directories still walks them, without
    // their own entries.
    EXPECT_EQ(selectedNames(base, "*.xdb"), (std::vector<std::string> {"a.xdb", "sub/c.XDB"}));
    // "*.*" lists names without a dot too.
    EXPECT_EQ(selectedNames(base, "*.*").size(), 6u);
    // An exclusion reaches its own directory.
    EXPECT_EQ(selectedNames(base, "*.*", "*.tmp"),
              (std::vector<std::string> {"a.xdb", "README", "sub/", "sub/c.XDB", "sub/d.tmp"}));
    // Excluding a directory drops it with everything below.
    EXPECT_EQ(selectedNames(base, "*.*", programPath(base, "SUB")),
              (std::vector<std::string> {"a.xdb", "b.tmp", "README"}));
    EXPECT_TRUE(selectedNames(base, "*.*", "*.*").empty());
    EXPECT_EQ(messageOf([&] { selectedNames(base, "*.*", "[ab"); }), "'[ab' is an invalid mask at (4)");
}

TEST(FileSelection, InvalidExclusionEndsTheUpdateAndLeavesAValidArchive)
{
    TempDir dir;
    writeFile(dir / "mod/a.txt", "a");
    TArchiveWriter writer;
    writer.FileName = (dir / "out.pak").string();
    writer.CreateArchive();
    writer.BaseDir = (dir / "mod").string();
    EXPECT_EQ(messageOf([&] { writer.AddByMask("*.*", searchAttr::all, "x[y"); }), "'x[y' is an invalid mask at (4)");
    writer.AddByMask("*.*", searchAttr::all, "");
    writer.Close();
    EXPECT_EQ(inspectArchive(dir / "out.pak").names(), (std::vector<std::string> {"a.txt"}));
}

TEST(FileSelection, SecondAddAppendsAndReplacesByName)
{
    TempDir dir;
    writeFile(dir / "mod/a.txt", "a");
    writeFile(dir / "mod/b.xdb", "b");
    writeFile(dir / "other/a.txt", "replacement");
    TArchiveWriter writer;
    writer.FileName = (dir / "out.pak").string();
    writer.CreateArchive();
    writer.BaseDir = (dir / "mod").string();
    writer.AddByMask("*.txt", searchAttr::all, "");
    writer.AddByMask("*.xdb", searchAttr::all, "");
    writer.BaseDir = (dir / "other").string();
    writer.AddByMask("*.txt", searchAttr::all, "");
    writer.Close();
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.names(), (std::vector<std::string> {"a.txt", "b.xdb"}));
    EXPECT_EQ(archive.entries[0].inflated, "replacement");
    EXPECT_EQ(archive.entries[1].inflated, "b");
    EXPECT_TRUE(readerAccepts("unzip", dir / "out.pak"));
}

TEST(FileSelection, RelativeBaseDirectoryIsTakenFromTheWorkingDirectory)
{
    TempDir dir;
    writeFile(dir / "mod/a.txt", "a");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    const auto names = selectedNames("mod");
    fs::current_path(previous);
    EXPECT_EQ(names, (std::vector<std::string> {"a.txt"}));
}

struct MaskCase
{
    const char *mask;
    const char *name;
    bool matches;
};

class FileMaskMatching : public ::testing::TestWithParam<MaskCase>
{
};

TEST_P(FileMaskMatching, MatchesAsExpected)
{
    EXPECT_EQ(matchesMask(GetParam().mask, GetParam().name), GetParam().matches)
        << GetParam().mask << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FileMaskMatching,
    ::testing::Values(MaskCase {"*", "", true}, MaskCase {"*", "anything", true}, MaskCase {"*.*", "a.b", true},
                      MaskCase {"*.*", "noext", false}, MaskCase {"*.xdb", "HERO.XDB", true},
                      MaskCase {"*.xdb", "hero.xdb.bak", false}, MaskCase {"h?ro.*", "hero.x", true},
                      MaskCase {"h?ro.*", "hro.x", false}, MaskCase {"[abc]*", "Beta", true},
                      MaskCase {"[abc]*", "delta", false}, MaskCase {"[a-c]x", "Bx", true},
                      MaskCase {"[!a-c]x", "bx", false}, MaskCase {"[!a-c]x", "dx", true},
                      MaskCase {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
                      MaskCase {"\xC3\xA9*", "\xC3\x89t\xC3\xA9", true}, MaskCase {"?", "\xC3\xA9", true},
                      MaskCase {"??", "\xC3\xA9", false}, MaskCase {"a\xFF?", "A\xFFz", true}));

TEST(FileMask, ListingMaskTakesNamesWithoutADot)
{
    EXPECT_TRUE(matchesListingMask("*.*", "README"));
    EXPECT_TRUE(matchesListingMask("*.*", ".hidden"));
    EXPECT_FALSE(matchesListingMask("*.txt", "README"));
    EXPECT_EQ(messageOf([] { matchesMask("ab[cd", "x"); }), "'ab[cd' is an invalid mask at (6)");
}

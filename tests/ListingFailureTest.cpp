// What the walk cannot list, and what it leaves out. A mod folder that is
// not there to list fails the pack before anything is written; a folder
// below it that cannot be listed is asked about like an unreadable file;
// every item that is no file or folder is left out and reported. Whatever
// happens, the archive is whole or the previous one stays.

#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <functional>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string previousArchive = "the previous archive, which a failed pack keeps";

struct ListingRow
{
    const char *name;
    // Changes the tree, and sets the listing hook, before packing; returns
    // the folder to pack.
    std::function<fs::path(const fs::path &base)> prepare;
    std::vector<TPromptAnswer> answers;
    // The start of the first question, or of the error when the pack
    // fails as a whole.
    std::string expected;
    bool written;
    // The stored names when written, and the one item reported as left out.
    std::vector<std::string> names;
    std::string leftOut;
};

void PrintTo(const ListingRow &row, std::ostream *out) { *out << row.name; }

// The listing of the folder whose path ends with suffix fails with error,
// times times; 0 for ever.
std::function<int(const std::string &)> failListing(std::string suffix, int error, int times = 0)
{
    auto left = std::make_shared<int>(times);
    return [suffix, error, times, left](std::string folder) {
        std::replace(folder.begin(), folder.end(), '\\', '/');
        if (folder.size() < suffix.size() || folder.compare(folder.size() - suffix.size(), suffix.size(), suffix) != 0)
            return 0;
        if (times > 0 && (*left)-- <= 0)
            return 0;
        return error;
    };
}

class ListingFailure : public ::testing::TestWithParam<ListingRow>
{
protected:
    void SetUp() override
    {
        writeFile(base / "a.txt", "alpha");
        writeFile(base / "sub/b.txt", "bravo");
        writeFile(base / "sub/deeper/c.txt", "charlie");
        writeFile(base / "zulu/z.txt", "zulu");
        writeFile(archive, previousArchive);
    }
    void TearDown() override { setListingHookForTesting(nullptr); }

    TempDir dir;
    fs::path base = dir / "mod";
    fs::path archive = dir / "out.pak";
};

} // namespace

TEST_P(ListingFailure, FailsThePackOrIsAskedAbout)
{
    const ListingRow &row = GetParam();
    const fs::path packed = row.prepare(base);
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    std::deque<TPromptAnswer> answers(row.answers.begin(), row.answers.end());
    std::vector<std::string> questions;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons) {
        questions.push_back(text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return TPromptAnswer::Abort;
        }
        const TPromptAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    };
    ModArchiveReport report;
    std::string failure;
    try {
        report = writeModArchive(writer, archive.string(), packed.string());
    } catch (const std::exception &e) {
        failure = e.what();
    }
    setListingHookForTesting(nullptr);

    EXPECT_TRUE(answers.empty()) << "fewer questions than answers";
    const std::string first = questions.empty() ? failure : questions[0];
    EXPECT_EQ(first.rfind(row.expected, 0), 0u) << first;
    EXPECT_EQ(namesIn(dir.path()).count("out.pak"), 1u);
    for (const std::string &name : namesIn(dir.path()))
        EXPECT_EQ(name.find(".out.pak."), std::string::npos) << "a temporary file is left: " << name;
    if (!row.written) {
        EXPECT_FALSE(report.written);
        EXPECT_EQ(readFile(archive), previousArchive);
        return;
    }
    ASSERT_TRUE(failure.empty()) << failure;
    EXPECT_TRUE(report.written);
    EXPECT_EQ(expectWholeArchive(archive, packed), row.names);
    ASSERT_EQ(report.skipped.size(), row.leftOut.empty() ? 0u : 1u);
    if (!row.leftOut.empty()) {
        EXPECT_EQ(report.skipped[0].name, row.leftOut);
        EXPECT_EQ(report.skipped[0].kind, TSkippedItem::Kind::Failed);
        EXPECT_EQ(report.skipped[0].reason.rfind(row.expected, 0), 0u) << report.skipped[0].reason;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Packing, ListingFailure,
    ::testing::Values(
        ListingRow {"ModFolderMissing", [](const fs::path &base) { return base.parent_path() / "gone"; }, {},
                    "Cannot pack the mod folder \"", false, {}, ""},
        ListingRow {"ModFolderIsAFile",
                    [](const fs::path &base) { return base / "a.txt"; },
                    {},
                    "Cannot pack the mod folder \"",
                    false,
                    {},
                    ""},
        ListingRow {"ModFolderCannotBeListed",
                    [](const fs::path &base) {
                        setListingHookForTesting(failListing("/mod", EMFILE));
                        return base;
                    },
                    {},
                    "Cannot pack the mod folder \"",
                    false,
                    {},
                    ""},
        ListingRow {"SubfolderCannotBeListedIgnored",
                    [](const fs::path &base) {
                        setListingHookForTesting(failListing("/sub", platform::accessDeniedError));
                        return base;
                    },
                    {TPromptAnswer::Ignore},
                    "ArchiveWriter1: Cannot list folder \"",
                    true,
                    {"a.txt", "zulu/", "zulu/z.txt"},
                    "sub/"},
        ListingRow {"SubfolderCannotBeListedOnceRetried",
                    [](const fs::path &base) {
                        setListingHookForTesting(failListing("/deeper", platform::deviceError, 1));
                        return base;
                    },
                    {TPromptAnswer::Retry},
                    "ArchiveWriter1: Cannot list folder \"",
                    true,
                    {"a.txt", "sub/", "sub/b.txt", "sub/deeper/", "sub/deeper/c.txt", "zulu/", "zulu/z.txt"},
                    ""},
        ListingRow {"SubfolderCannotBeListedAborted",
                    [](const fs::path &base) {
                        setListingHookForTesting(failListing("/deeper", platform::accessDeniedError));
                        return base;
                    },
                    {TPromptAnswer::Abort},
                    "ArchiveWriter1: Cannot list folder \"",
                    false,
                    {},
                    ""},
        ListingRow {"SubfolderRenamedWhileTheWalkIsUnderWayIgnored",
                    [](const fs::path &base) {
                        // Just before it is listed, the folder takes another name.
                        setListingHookForTesting([base](const std::string &folder) {
                            if (folder.ends_with("/sub") || folder.ends_with("\\sub"))
                                fs::rename(base / "sub", base.parent_path() / "moved");
                            return 0;
                        });
                        return base;
                    },
                    {TPromptAnswer::Ignore},
                    "ArchiveWriter1: Cannot list folder \"",
                    true,
                    {"a.txt", "zulu/", "zulu/z.txt"},
                    "sub/"}),
    [](const ::testing::TestParamInfo<ListingRow> &row) { return std::string(row.param.name); });

// A message names the folder and the system's reason, and Retry is offered.
TEST(ListingFailureMessage, NamesTheFolderAndTheSystemsReason)
{
    TempDir dir;
    writeFile(dir / "mod/sub/b.txt", "bravo");
    setListingHookForTesting(failListing("/sub", platform::accessDeniedError));
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    std::vector<std::string> questions;
    std::vector<TPromptButtons> buttons;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons shown) {
        questions.push_back(text);
        buttons.push_back(shown);
        return TPromptAnswer::Abort;
    };
    writeModArchive(writer, (dir / "out.pak").string(), (dir / "mod").string());
    setListingHookForTesting(nullptr);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "ArchiveWriter1: Cannot list folder \"" + programPath(dir / "mod", "sub")
                                + "\" - Native error: 00064. File processing error, possibly disk is full ("
                                + platform::errorText(platform::accessDeniedError) + ": \"sub/\")");
    EXPECT_EQ(buttons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"mod"});
}

// Folders nested past the longest path the system opens: the first folder
// beyond it cannot be listed, and trying again cannot change that; Ignore
// leaves it out with everything below it, and says so.
TEST(ListingFailureMessage, AFolderPastThePathLimitIsAskedAboutOnce)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    TempDir dir;
    const fs::path base = dir / "mod";
    fs::path deep = base;
    for (int level = 0; level < 25; ++level) {
        deep /= std::string(200, static_cast<char>('a' + level));
        if (level % 5 == 4)
            writeDeepFile(deep / "level.txt", std::to_string(level));
    }
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    std::vector<std::string> questions;
    std::vector<TPromptButtons> buttons;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons shown) {
        questions.push_back(text);
        buttons.push_back(shown);
        return TPromptAnswer::Ignore;
    };
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());
    ASSERT_EQ(questions.size(), 1u) << "the folders below the one left out are not walked";
    EXPECT_EQ(questions[0].rfind("ArchiveWriter1: File name is too long: \r\n\"", 0), 0u) << questions[0];
    EXPECT_EQ(buttons[0], TPromptButtons::AbortIgnore);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.failedFiles, 1u);
    // Every file of a level whose path the system opens is stored.
    long reachable = 0;
    for (std::size_t level = 5; level <= 25; level += 5)
        reachable += programPath(base, "").size() + 201 * level + std::string("level.txt").size() <= platform::longestPath;
    ASSERT_GE(reachable, 2);
    const std::vector<std::string> names = inspectArchive(dir / "out.pak").names();
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string &name) { return name.ends_with("level.txt"); }),
              reachable);
    EXPECT_TRUE(report.skipped[0].name.ends_with("/")) << report.skipped[0].name;
    EXPECT_TRUE(readerAccepts("python", dir / "out.pak"));
    EXPECT_TRUE(readerAccepts("7z", dir / "out.pak"));
}

namespace {

struct LeftOutRow
{
    const char *name;
    // Makes the item at path; false when this process may not (a device
    // node without root).
    std::function<bool(const fs::path &path, const fs::path &outside)> make;
    TSkippedItem::Kind kind;
    std::string reason; // with %OUTSIDE% for the folder outside the tree
};

void PrintTo(const LeftOutRow &row, std::ostream *out) { *out << row.name; }

class LeftOutItem : public ::testing::TestWithParam<LeftOutRow>
{
};

} // namespace

TEST_P(LeftOutItem, IsNeitherStoredNorOpenedButReported)
{
    VORIRAZ_POSIX_ONLY("pipes, sockets, devices and symbolic links in the file system");
    const LeftOutRow &row = GetParam();
    TempDir dir;
    const fs::path base = dir / "mod";
    const fs::path outside = dir / "outside";
    writeFile(base / "a.txt", "alpha");
    writeFile(outside / "secret.key", "not for the archive");
    std::unique_ptr<BoundSocket> socket;
    if (std::string(row.name) == "Socket")
        socket = std::make_unique<BoundSocket>(base / "item");
    else if (!row.make(base / "item", outside))
        GTEST_SKIP() << "this process may not make " << row.name;

    auto files = std::make_shared<FaultyFileSystem>();
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    writer.SetFileSystem(files);
    std::vector<TSkippedItem> told;
    writer.OnSkip = [&](const TSkippedItem &item) { told.push_back(item); };
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());

    EXPECT_EQ(files->opened, std::vector<std::string> {programPath(base, "a.txt")});
    EXPECT_EQ(expectWholeArchive(dir / "out.pak", base), std::vector<std::string> {"a.txt"});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, row.kind);
    EXPECT_EQ(told[0].name, "item");
    std::string reason = row.reason;
    if (const auto at = reason.find("%OUTSIDE%"); at != std::string::npos)
        reason.replace(at, 9, fs::canonical(outside).string());
    EXPECT_EQ(told[0].reason, reason);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.leftOut(), 1u);
    EXPECT_EQ(report.linksOutside + report.linksNowhere + report.notFiles, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Packing, LeftOutItem,
    ::testing::Values(
        LeftOutRow {"NamedPipe", [](const fs::path &path, const fs::path &) { return makeFifo(path), true; },
                    TSkippedItem::Kind::NotAFile, "a named pipe, not a file"},
        LeftOutRow {"Socket", nullptr, TSkippedItem::Kind::NotAFile, "a socket, not a file"},
        LeftOutRow {"DeviceNode", [](const fs::path &path, const fs::path &) { return makeDeviceNode(path, 1, 3); },
                    TSkippedItem::Kind::NotAFile, "a device, not a file"},
        LeftOutRow {"LinkToADevice",
                    [](const fs::path &path, const fs::path &) {
                        fs::create_symlink("/dev/null", path);
                        return true;
                    },
                    TSkippedItem::Kind::NotAFile, "a device, not a file"},
        LeftOutRow {"DanglingLink",
                    [](const fs::path &path, const fs::path &) {
                        fs::create_symlink("nowhere/at/all", path);
                        return true;
                    },
                    TSkippedItem::Kind::LinkNowhere, "a link leading nowhere, to \"nowhere/at/all\""},
        LeftOutRow {"LinkLoop",
                    [](const fs::path &path, const fs::path &) {
                        fs::create_symlink("item", path);
                        return true;
                    },
                    TSkippedItem::Kind::LinkNowhere, "a link that leads round in a loop"},
        LeftOutRow {"LinkToAFolderOutside",
                    [](const fs::path &path, const fs::path &outside) {
                        fs::create_directory_symlink(outside, path);
                        return true;
                    },
                    TSkippedItem::Kind::LinkOutside, "a link leading outside the folder, to \"%OUTSIDE%\""}),
    [](const ::testing::TestParamInfo<LeftOutRow> &row) { return std::string(row.param.name); });

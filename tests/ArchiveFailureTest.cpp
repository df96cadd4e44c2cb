#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/SourceCompressor.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <fstream>
#include <map>
#include <set>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string previousArchive = "the previous archive, which a failed pack must keep";
const std::string diskFull = ". File processing error, possibly disk is full";
// The system's text for a full disk, which the failed write's message ends with.
const std::string diskFullText = platform::errorText(platform::diskFullError);



// A writer over a small tree whose failure prompt answers from a script.
class ArchiveFailure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(base / "a.txt", std::string(3000, 'a'));
        writeFile(base / "b.txt", std::string(100000, 'b'));
        writeFile(base / "c.txt", std::string(2000, 'c'));
        writer.Name = "ArchiveWriter1";
        writer.SetFileSystem(faults);
        writer.OnFailurePrompt = [this](const std::string &text, TPromptButtons buttons) {
            prompts.push_back(text);
            promptButtons.push_back(buttons);
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected prompt: " << text;
                return TPromptAnswer::Abort;
            }
            const TPromptAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }

    // Packs the tree; unless the test changes it meanwhile, also checks
    // that packing left every file of the tree as it was.
    void pack()
    {
        const auto before = snapshot();
        writeModArchive(writer, archive.string(), base.string());
        if (!treeChangesWhilePacked) {
            EXPECT_EQ(snapshot(), before) << "packing changed the tree";
        }
    }

    // Every file's name and size, and the content of those that are small.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const auto &item : fs::recursive_directory_iterator(base)) {
            std::error_code error;
            if (!item.is_regular_file(error))
                continue;
            const auto size = item.file_size(error);
            if (error) // a path beyond the platform's limit: its size is enough
                files[item.path().string()] = "unreadable";
            else
                files[item.path().string()] = std::to_string(size) + ":" + (size < (1u << 24) ? readFile(item.path()) : "");
        }
        return files;
    }

    bool treeChangesWhilePacked = false;

    std::string path(const char *name) const { return programPath(base, name); }

    TempDir dir;
    fs::path base = dir / "mod";
    fs::path archive = dir / "out.pak";
    std::shared_ptr<FaultyFileSystem> faults = std::make_shared<FaultyFileSystem>();
    TArchiveWriter writer;
    std::deque<TPromptAnswer> answers;
    std::vector<std::string> prompts;
    std::vector<TPromptButtons> promptButtons;
};

} // namespace

TEST_F(ArchiveFailure, UnreadableSourceIsAskedAboutWithTheSystemsReasonAndAbortKeepsThePreviousArchive)
{
    writeFile(archive, previousArchive);
    faults->failOpens["b.txt"] = 1;
    answers = {TPromptAnswer::Abort};
    pack();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "ArchiveWriter1: Cannot open file \"" + path("b.txt") + "\" - Native error: 00033" + diskFull
                              + " (" + platform::errorText(platform::accessDeniedError) + ": \"b.txt\")");
    EXPECT_EQ(promptButtons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"mod", "out.pak"})) << "no temporary file is left";
}

TEST_F(ArchiveFailure, UnopenableSourceIgnoredIsLeftOut)
{
    faults->failOpens["b.txt"] = 1;
    answers = {TPromptAnswer::Ignore};
    pack();
    EXPECT_EQ(expectWholeArchive(archive, base), (std::vector<std::string> {"a.txt", "c.txt"}));
}

TEST_F(ArchiveFailure, UnopenableSourceRetriedIsStored)
{
    faults->failOpens["b.txt"] = 2;
    answers = {TPromptAnswer::Retry, TPromptAnswer::Retry};
    pack();
    EXPECT_EQ(prompts.size(), 2u);
    const InspectedArchive result = inspectArchive(archive);
    ASSERT_EQ(result.names(), (std::vector<std::string> {"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(result.entries[1].inflated, std::string(100000, 'b'));
}

// What the failed attempt wrote is cut off: the retry writes the entry where
// the failed one began.
TEST_F(ArchiveFailure, FailedDataWriteIsCutOffAndRetried)
{
    // The second write of entry data (b.txt's) fails, as on a full disk.
    int dataWrites = 0;
    faults->failWrite = [&](std::uint64_t, std::string_view data) {
        return data.substr(0, 2) != "PK" && ++dataWrites == 2;
    };
    answers = {TPromptAnswer::Retry};
    pack();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].rfind("ArchiveWriter1: Invalid compressed size, rfs.size = ", 0), 0u) << prompts[0];
    EXPECT_EQ(expectWholeArchive(archive, base), (std::vector<std::string> {"a.txt", "b.txt", "c.txt"}));
}

TEST_F(ArchiveFailure, FailedCentralDirectoryRaisesError46AndNoArchiveIsMade)
{
    faults->failWrite = [](std::uint64_t, std::string_view data) { return data.substr(0, 4) == "PK\x01\x02"; };
    writer.FileName = archive.string();
    writer.CreateArchive();
    writer.BaseDir = base.string();
    try {
        writer.AddByMask("*.*", searchAttr::all, "");
        FAIL() << "no error";
    } catch (const EArchiveError &e) {
        EXPECT_EQ(e.what(), "ArchiveWriter1: Write to stream error - Native error: 00046 ("
                                + platform::errorText(platform::deviceError) + ": \"" + archive.string() + "\")");
        EXPECT_EQ(e.systemError(), platform::deviceError);
    }
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(writer.IsOpen()) << "the archive stays open until closed";
    EXPECT_FALSE(fs::exists(archive));
    writer.Close();
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"mod"}) << "neither an archive nor a temporary file";

    // The next archive on the same object works again.
    faults->failWrite = nullptr;
    pack();
    EXPECT_EQ(inspectArchive(archive).entries.size(), 3u);
}

TEST_F(ArchiveFailure, WithoutAPromptAFailureAborts)
{
    writer.OnFailurePrompt = nullptr;
    faults->failOpens["a.txt"] = 1;
    pack();
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_TRUE(writer.Aborted());
}

TEST_F(ArchiveFailure, ProcessFileFailureHandlerDecidesInsteadOfThePrompt)
{
    faults->failOpens["a.txt"] = 1;
    faults->failOpens["c.txt"] = 1;
    std::vector<std::pair<std::string, int>> seen;
    writer.OnProcessFileFailure = [&](const TArchiveDirEntry &entry, const EArchiveError &e) {
        seen.emplace_back(entry.storedName, e.nativeErrorCode());
        return entry.storedName == "a.txt" ? TFailureAction::faIgnore : TFailureAction::faRetry;
    };
    pack();
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>> {{"a.txt", 33}, {"c.txt", 33}}));
    EXPECT_EQ(inspectArchive(archive).names(), (std::vector<std::string> {"b.txt", "c.txt"}));
}

TEST_F(ArchiveFailure, SourceOfFourGibibytesIsRefusedBeforeAnyByteIsWritten)
{
    const fs::path big = base / "big.bin";
    writeFile(big, "");
    fs::resize_file(big, 0x100000000LL);
    answers = {TPromptAnswer::Ignore};
    pack();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "ArchiveWriter1: Cannot compress file '" + programPath(base, "big.bin")
                              + "'. Zip64 mode is not enabled - Native error: 00043" + diskFull);
    const InspectedArchive result = inspectArchive(archive);
    ASSERT_EQ(result.names(), (std::vector<std::string> {"a.txt", "b.txt", "c.txt"}));
    const auto &a = result.entries[0].central;
    EXPECT_EQ(result.entries[1].central.headerOffset, 30 + a.name.size() + a.compressedSize)
        << "nothing of the refused entry was written";
}

TEST_F(ArchiveFailure, OverlongSourcePathAsksAbortOrIgnore)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    // A directory path just under the limit, holding a file whose full path
    // is over it.
    fs::path deep = base;
    std::size_t levels = 0;
    for (; deep.string().size() < 4000; ++levels)
        deep /= std::string(200, 'd');
    const std::string name(120, 'f');
    writeDeepFile(deep / name, "x");
    answers = {TPromptAnswer::Ignore};
    pack();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "ArchiveWriter1: File name is too long: \r\n\"" + (deep / name).string()
                              + "\" - Native error: 00061");
    EXPECT_EQ(promptButtons[0], TPromptButtons::AbortIgnore);
    const InspectedArchive result = inspectArchive(archive);
    EXPECT_EQ(result.entries.size(), 3u + levels) << "the three files and the directories";
    EXPECT_TRUE(readerAccepts("python", archive));
}

TEST_F(ArchiveFailure, CancelFromProgressRollsBackWithoutError)
{
    writeFile(base / "d.bin", std::string(4 * 1572864, 'd'));
    std::vector<TProgressPhase> phases;
    writer.OnOverallProgress = [&](TProgressPhase phase, const TArchiveProgress &progress, bool &cancel) {
        phases.push_back(phase);
        if (phase == TProgressPhase::Progress && progress.currentName == "d.bin" && progress.fileBytesDone > 0)
            cancel = true;
    };
    writeFile(archive, previousArchive);
    pack();
    EXPECT_EQ(readFile(archive), previousArchive);
    ASSERT_FALSE(phases.empty());
    EXPECT_EQ(phases.front(), TProgressPhase::Start);
    EXPECT_EQ(phases.back(), TProgressPhase::End);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(ArchiveFailure, ProgressCountsFilesAndBytesInOrder)
{
    std::vector<std::pair<std::size_t, std::uint64_t>> ends;
    std::size_t totalFiles = 0;
    std::uint64_t totalBytes = 0;
    writer.OnFileProgress = [&](TProgressPhase phase, const TArchiveProgress &progress, bool &) {
        totalFiles = progress.totalFiles;
        totalBytes = progress.totalBytes;
        if (phase == TProgressPhase::End)
            ends.emplace_back(progress.filesDone, progress.bytesDone);
    };
    pack();
    EXPECT_EQ(totalFiles, 3u);
    EXPECT_EQ(totalBytes, 105000u);
    EXPECT_EQ(ends, (std::vector<std::pair<std::size_t, std::uint64_t>> {{1, 3000}, {2, 103000}, {3, 105000}}));
}

TEST_F(ArchiveFailure, TargetDirectoryThatDisappearsCannotBeCreated)
{
    fs::create_directories(dir / "gone");
    fs::remove(dir / "gone");
    writer.FileName = (dir / "gone/out.pak").string();
    EXPECT_EQ(messageOf([&] { writer.CreateArchive(); }),
              "Cannot create file \"" + writer.FileName + "\". " + pathNotFoundText());
    EXPECT_FALSE(writer.IsOpen());
}

TEST_F(ArchiveFailure, ATargetThatIsAFileOfTheTreeIsRefusedBeforeAnythingIsWritten)
{
    writeFile(base / "sub/hero.xdb", "a preset");
    writeFile(base / "Mod.pak", previousArchive);
    fs::create_hard_link(base / "sub/hero.xdb", dir / "hard.pak");
    std::vector<std::pair<fs::path, std::string>> targets = {
        {dir / "hard.pak", programPath(base, "sub/hero.xdb")},
        {base / "Mod.pak", programPath(base, "Mod.pak")},
    };
    std::set<std::string> names = {"hard.pak", "mod"};
    // Windows lets only privileged users make symbolic links.
    if constexpr (!onWindows) {
        fs::create_symlink(base / "sub/hero.xdb", dir / "link.pak");
        targets.insert(targets.begin(), {dir / "link.pak", programPath(base, "sub/hero.xdb")});
        names.insert("link.pak");
    }
    const auto before = snapshot();
    for (const auto &[target, replaced] : targets) {
        SCOPED_TRACE(target.string());
        EXPECT_EQ(messageOf([&] { writeModArchive(writer, target.string(), base.string()); }),
                  "The archive would replace \"" + replaced + "\", a file of the mod folder.");
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(namesIn(dir.path()), names);
        EXPECT_EQ(namesIn(base), (std::set<std::string> {"Mod.pak", "a.txt", "b.txt", "c.txt", "sub"}));
    }
    EXPECT_TRUE(prompts.empty());
}

namespace {

// A device that fills up after every number of bytes in turn, with one
// thread and with two: a write that fails (whole or in part, gathered or
// positioned, of data, a header, its patch, the central directory or the
// end record) never leaves anything but the previous archive or a whole
// new one, and never a temporary file.
class DeviceLimit : public ArchiveFailure, public ::testing::WithParamInterface<int>
{
};

} // namespace

TEST_P(DeviceLimit, EveryLimitKeepsThePreviousArchiveOrWritesAWholeOne)
{
    writeFile(base / "sub/d.bin", std::string(700, 'd') + "some other bytes");
    writer.Threads = GetParam();
    writer.Options.FlushBuffers = false;
    writeModArchive(writer, (dir / "whole.pak").string(), base.string());
    const std::vector<std::string> names = inspectArchive(dir / "whole.pak").names();
    const std::uint64_t size = fs::file_size(dir / "whole.pak");
    fs::remove(dir / "whole.pak");

    std::map<std::string, int> outcomes;
    // A patched header is written twice: the limit runs past the archive's size.
    for (std::uint64_t limit = 0; limit <= size + 200; limit += 3) {
        SCOPED_TRACE(limit);
        writeFile(archive, previousArchive);
        faults->device = {.writeLimit = limit, .writeError = platform::diskFullError};
        prompts.clear();
        answers = {TPromptAnswer::Abort};
        std::string failure;
        try {
            writeModArchive(writer, archive.string(), base.string());
        } catch (const std::exception &e) {
            failure = e.what();
        }
        if (!prompts.empty()) {
            // A failed entry: its header, data or patch, asked about.
            ASSERT_NE(prompts[0].find(" (" + diskFullText + ": \"" + archive.string() + "\")"), std::string::npos)
                << prompts[0];
            const bool patch = prompts[0].find("count = 0 ") == std::string::npos
                               && prompts[0].find("rfs.size = 3000, count = 3000") != std::string::npos;
            ++outcomes[patch ? "header patch" : "entry"];
        } else if (!failure.empty()) {
            ASSERT_NE(failure.find(diskFullText), std::string::npos) << failure;
            ++outcomes[failure.rfind("Stream write error", 0) == 0 ? "end record" : "central directory"];
        } else {
            ++outcomes["written"];
        }
        if (prompts.empty() && failure.empty()) {
            EXPECT_EQ(inspectArchive(archive).names(), names);
            EXPECT_TRUE(readerAccepts("unzip", archive));
        } else {
            EXPECT_EQ(readFile(archive), previousArchive);
        }
        ASSERT_EQ(namesIn(dir.path()), (std::set<std::string> {"mod", "out.pak"}));
    }
    EXPECT_GT(outcomes["entry"], 0);
    EXPECT_GT(outcomes["central directory"], 0);
    EXPECT_GT(outcomes["end record"], 0);
    EXPECT_GT(outcomes["written"], 0);
}

// The header of a source of several chunks is completed in place after its
// data. A device full just then fails the entry like any other short write:
// asked about with both counts, and the previous archive kept on Abort.
TEST_P(DeviceLimit, AFullDeviceAtTheHeaderPatchFailsTheEntry)
{
    const std::size_t size = static_cast<std::size_t>(wholeSourceLimit) + 1;
    writeFile(base / "large.bin", std::string(size, 'L'));
    writer.Threads = GetParam();
    writer.Options.FlushBuffers = false;
    writeModArchive(writer, (dir / "whole.pak").string(), base.string());
    const InspectedArchive whole = inspectArchive(dir / "whole.pak");
    fs::remove(dir / "whole.pak");
    const InspectedEntry *large = whole.find("large.bin");
    ASSERT_NE(large, nullptr);
    const std::uint64_t dataEnd =
        large->central.headerOffset + 30 + large->central.name.size() + large->central.compressedSize;

    writeFile(archive, previousArchive);
    faults->device = {.writeLimit = dataEnd, .writeError = platform::diskFullError};
    answers = {TPromptAnswer::Abort};
    pack();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "ArchiveWriter1: Invalid compressed size, rfs.size = " + std::to_string(size) + ", count = "
                              + std::to_string(size) + " - Native error: 00034" + diskFull + " (" + diskFullText
                              + ": \"" + archive.string() + "\")");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"mod", "out.pak"}));
}

INSTANTIATE_TEST_SUITE_P(ArchiveFailure, DeviceLimit, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &row) {
                             return row.param == 1 ? std::string("OneThread") : std::string("TwoThreads");
                         });

namespace {

struct FinishFault
{
    const char *name;
    StreamFaults faults;
    // The system's number of the injected failure, whose text the message gives.
    int code;
};

class FinishingFailure : public ArchiveFailure, public ::testing::WithParamInterface<FinishFault>
{
};

} // namespace

TEST_P(FinishingFailure, IsAnErrorOfThePackAndKeepsThePreviousArchive)
{
    writeFile(archive, previousArchive);
    faults->device = GetParam().faults;
    EXPECT_EQ(messageOf([&] { writeModArchive(writer, archive.string(), base.string()); }),
              "ArchiveWriter1: Write to stream error - Native error: 00046 (" + platform::errorText(GetParam().code) + ": \""
                  + archive.string() + "\")");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"mod", "out.pak"}));
    EXPECT_FALSE(writer.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    ArchiveFailure, FinishingFailure,
    ::testing::Values(FinishFault {"Flush", {.syncError = platform::deviceError}, platform::deviceError},
                      FinishFault {"Close", {.closeError = EFBIG}, EFBIG},
                      FinishFault {"Rename", {.renameError = platform::accessDeniedError}, platform::accessDeniedError},
                      FinishFault {"Seek", {.seekError = EINVAL}, EINVAL}),
    [](const ::testing::TestParamInfo<FinishFault> &row) { return std::string(row.param.name); });

// Files that change while they are packed: shrink, grow or vanish on the
// disk in the middle of the read, with the reading done by the writer's
// thread or ahead of it. Each is a failure of that file, asked about; an
// entry given up leaves nothing of itself in the archive, and whatever the
// answers, the archive holds whole entries equal to their files or the
// previous archive stays.

#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/SourceCompressor.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string previousArchive = "the previous archive, which an aborted pack keeps";
const std::size_t chunk = compressionChunkSize(9);
// Six chunks, first in the walk: a failure there used to leave its header
// and data at the start of the archive.
const std::size_t bigSize = 6 * chunk;

enum class Change { Shrink, Grow, Vanish };

struct ChangeRow
{
    const char *name;
    const char *file; // the file that changes: "big.bin" (in chunks) or "mid.txt" (read whole)
    Change change;
    int threads;
    std::vector<TPromptAnswer> answers;
    // The start of the first question, and whether the file is stored in
    // the end (with what it holds then), and whether the archive is written.
    std::string question;
    bool stored;
    bool written = true;
};

void PrintTo(const ChangeRow &row, std::ostream *out) { *out << row.name; }

class ChangingFile : public ::testing::TestWithParam<ChangeRow>
{
protected:
    void SetUp() override
    {
        std::string big(bigSize, '\0');
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>("chunked text of a file that changes "[i % 36] + (i / 7919) % 3);
        writeFile(base / "big.bin", big);
        writeFile(base / "mid.txt", std::string(40000, 'm'));
        writeFile(base / "zed.txt", "the last file");
        writeFile(archive, previousArchive);
    }

    TempDir dir;
    fs::path base = dir / "mod";
    fs::path archive = dir / "out.pak";
};

} // namespace

TEST_P(ChangingFile, IsAskedAboutAndNeverLeavesAPartOfItselfBehind)
{
    const ChangeRow &row = GetParam();
    const fs::path changing = base / row.file;
    const std::string path = programPath(base, row.file);
    auto files = std::make_shared<FaultyFileSystem>();
    // The change comes once, at the first read of the file (after its
    // first chunk for a file read in chunks), or just before it is opened.
    bool changed = false;
    files->afterRead = [&](const std::string &read, std::uint64_t) {
        if (changed || read != path || row.change == Change::Vanish)
            return;
        changed = true;
        if (row.change == Change::Shrink)
            fs::resize_file(changing, 1000);
        else
            std::ofstream(changing, std::ios::binary | std::ios::app) << "more bytes after the walk";
    };
    files->beforeOpen = [&](const std::string &opened) {
        if (!changed && opened == path && row.change == Change::Vanish) {
            changed = true;
            fs::remove(changing);
        }
    };

    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";
    writer.Threads = row.threads;
    writer.SetFileSystem(files);
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
    const ModArchiveReport report = writeModArchive(writer, archive.string(), base.string());

    EXPECT_TRUE(changed);
    ASSERT_FALSE(questions.empty());
    EXPECT_EQ(questions[0].rfind(row.question, 0), 0u) << questions[0];
    EXPECT_TRUE(answers.empty()) << "fewer questions than answers";
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"mod", "out.pak"})) << "no temporary file is left";
    EXPECT_EQ(report.written, row.written);
    if (!row.written) {
        EXPECT_EQ(readFile(archive), previousArchive);
        return;
    }
    std::vector<std::string> names = {"big.bin", "mid.txt", "zed.txt"};
    if (!row.stored) {
        std::erase(names, row.file);
        ASSERT_EQ(report.skipped.size(), 1u);
        EXPECT_EQ(report.skipped[0].name, row.file);
        EXPECT_EQ(report.failedFiles, 1u);
    }
    EXPECT_EQ(expectWholeArchive(archive, base), names);
}

INSTANTIATE_TEST_SUITE_P(
    Packing, ChangingFile,
    ::testing::Values(
        ChangeRow {"ShrinksBetweenChunksOnOneThreadIgnored", "big.bin", Change::Shrink, 1, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: Invalid compressed size, rfs.size = 9437184, count = 1572864 - Native error: 00034",
                   false},
        ChangeRow {"ShrinksBetweenChunksReadAheadIgnored", "big.bin", Change::Shrink, 2, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: Invalid compressed size, rfs.size = 9437184, count = 1572864 - Native error: 00034",
                   false},
        ChangeRow {"ShrinksBetweenChunksRetriedIsStoredAsItIsNow", "big.bin", Change::Shrink, 2,
                   {TPromptAnswer::Retry}, "ArchiveWriter1: Invalid compressed size", true},
        ChangeRow {"ShrinksBetweenChunksAbortedKeepsThePreviousArchive", "big.bin", Change::Shrink, 2,
                   {TPromptAnswer::Abort}, "ArchiveWriter1: Invalid compressed size", false, false},
        ChangeRow {"GrowsWhileReadInChunksIgnored", "big.bin", Change::Grow, 1, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: File ", false},
        ChangeRow {"GrowsWhileReadAheadRetriedIsStoredAsItIsNow", "big.bin", Change::Grow, 2, {TPromptAnswer::Retry},
                   "ArchiveWriter1: File ", true},
        ChangeRow {"ShrinksAfterItWasReadWholeIgnored", "mid.txt", Change::Shrink, 2, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: File ", false},
        ChangeRow {"GrowsAfterItWasReadWholeOnOneThreadIgnored", "mid.txt", Change::Grow, 1, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: File ", false},
        ChangeRow {"VanishesBeforeItIsOpenedIgnored", "mid.txt", Change::Vanish, 2, {TPromptAnswer::Ignore},
                   "ArchiveWriter1: Cannot open file ", false},
        ChangeRow {"VanishesBeforeItIsOpenedRetriedThenIgnored", "big.bin", Change::Vanish, 1,
                   {TPromptAnswer::Retry, TPromptAnswer::Ignore}, "ArchiveWriter1: Cannot open file ", false}),
    [](const ::testing::TestParamInfo<ChangeRow> &row) { return std::string(row.param.name); });

// The message of a file that changed size names it and both sizes.
TEST(ChangingFileMessage, SaysWhatTheSizeWasAndIs)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "grows.txt", std::string(5000, 'g'));
    auto files = std::make_shared<FaultyFileSystem>();
    files->afterRead = [&](const std::string &, std::uint64_t) {
        if (fs::file_size(base / "grows.txt") == 5000)
            std::ofstream(base / "grows.txt", std::ios::binary | std::ios::app) << "12345";
    };
    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";
    writer.SetFileSystem(files);
    std::vector<std::string> questions;
    std::vector<TPromptButtons> buttons;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons shown) {
        questions.push_back(text);
        buttons.push_back(shown);
        return TPromptAnswer::Abort;
    };
    writeModArchive(writer, (dir / "out.pak").string(), base.string());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "ArchiveWriter1: File \"" + programPath(base, "grows.txt")
                                + "\" changed size while it was read: 5000 bytes when opened, 5005 at the end - "
                                  "Native error: 00066. File processing error, possibly disk is full");
    EXPECT_EQ(buttons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_FALSE(fs::exists(dir / "out.pak"));
}

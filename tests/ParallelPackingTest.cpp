#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/CompressionPipeline.h"
#include "packaging/SourceCompressor.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <zlib.h>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t chunk = 1572864;

std::string mixedBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        if (random() % 3 == 0)
            bytes += "<Creature><ID>CRT_" + std::to_string(random() % 50) + "</ID></Creature>\r\n";
        else
            bytes.push_back(static_cast<char>(random() & 0x3F));
    }
    bytes.resize(size);
    return bytes;
}

void writeTree(const fs::path &base)
{
    for (int i = 0; i < 120; ++i)
        writeFile(base / ("small/s" + std::to_string(i) + ".txt"), mixedBytes(50 + i * 37, i));
    writeFile(base / "large/several_chunks.bin", mixedBytes(3 * chunk + 777, 99));
    writeFile(base / "large/exactly_one_chunk.bin", mixedBytes(chunk, 98));
    writeFile(base / "empty/zero.txt", "");
    fs::create_directories(base / "empty/nothing");
}

InspectedArchive packWith(const fs::path &base, const fs::path &archive, int threads)
{
    TArchiveWriter writer;
    writer.Threads = threads;
    writeModArchive(writer, archive.string(), base.string());
    return inspectArchive(archive);
}

// Takes an entry's chunks from the pipeline and checks them against the
// source: its size, the combined CRC-32 and the data, inflated when deflated.
void expectDelivers(CompressionPipeline::Entry &entry, const PipelineJob &job, const std::string &content)
{
    SCOPED_TRACE(job.sourcePath());
    const bool directory = job.sourcePath().empty();
    if (!directory && !fs::exists(job.sourcePath())) {
        EXPECT_FALSE(entry.opened());
        entry.discard();
        return;
    }
    ASSERT_TRUE(entry.opened() || directory);
    EXPECT_EQ(entry.size(), content.size());
    const TakenChunks taken = takeChunks(entry);
    ASSERT_FALSE(taken.failed);
    EXPECT_FALSE(entry.shortRead());
    EXPECT_EQ(taken.inputLength, content.size());
    EXPECT_EQ(taken.crc32, crc32Of(content));
    const std::string &data = taken.data;
    std::string inflated;
    if (job.method == 8 && !content.empty())
        EXPECT_TRUE(inflateRaw(data, inflated) && inflated == content);
    else
        EXPECT_EQ(data, content);
    entry.discard();
}

} // namespace

TEST(ParallelPacking, SameEntriesAsTheSingleThreadedWriter)
{
    TempDir dir;
    writeTree(dir / "mod");
    const InspectedArchive single = packWith(dir / "mod", dir / "single.pak", 1);
    const InspectedArchive parallel = packWith(dir / "mod", dir / "parallel.pak", 4);
    ASSERT_EQ(parallel.names(), single.names());
    ASSERT_EQ(single.entries.size(), 127u);
    for (std::size_t i = 0; i < single.entries.size(); ++i) {
        const auto &a = single.entries[i];
        const auto &b = parallel.entries[i];
        SCOPED_TRACE(a.central.name);
        EXPECT_EQ(b.central.flags, a.central.flags);
        EXPECT_EQ(b.central.method, a.central.method);
        EXPECT_EQ(b.central.versionNeeded, a.central.versionNeeded);
        EXPECT_EQ(b.central.externalAttributes, a.central.externalAttributes);
        EXPECT_EQ(b.central.crc32, a.central.crc32);
        EXPECT_EQ(b.central.uncompressedSize, a.central.uncompressedSize);
        // Local headers are complete, whether written with the data or
        // completed after it.
        EXPECT_EQ(b.local.crc32, b.central.crc32);
        EXPECT_EQ(b.local.compressedSize, b.central.compressedSize);
        EXPECT_EQ(b.local.uncompressedSize, b.central.uncompressedSize);
        EXPECT_EQ(b.local.method, b.central.method);
        EXPECT_EQ(b.local.dosTime, b.central.dosTime);
        EXPECT_TRUE(b.inflatedCleanly);
        EXPECT_EQ(b.inflated, a.inflated);
        if (a.central.name.back() != '/') {
            EXPECT_EQ(a.central.dosDate, b.central.dosDate);
        }
        // Sources of one chunk are one deflate call either way.
        if (a.central.uncompressedSize <= chunk) {
            EXPECT_EQ(b.data, a.data);
        }
    }
    // Chunks deflated each on its own stay within 1 % of one zlib stream
    // over the whole file.
    const auto &b = *parallel.find("large/several_chunks.bin");
    uLongf oneStream = compressBound(static_cast<uLong>(b.inflated.size()));
    std::string compressed(oneStream, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef *>(compressed.data()), &oneStream,
                        reinterpret_cast<const Bytef *>(b.inflated.data()), static_cast<uLong>(b.inflated.size()), 9),
              Z_OK);
    EXPECT_LT(b.central.compressedSize, oneStream * 1.01);
    for (const char *reader : {"python", "unzip", "7z"})
        EXPECT_TRUE(readerAccepts(reader, dir / "parallel.pak")) << reader;
}

TEST(ParallelPacking, FailuresAreAskedInDirectoryOrderWithTheirThreeAnswers)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        writeFile(base / name, mixedBytes(chunk + 5000, name[0]));
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failOpens["b.txt"] = 1; // retried: stored
    faults->shrinkTo["c.txt"] = 4000; // ignored: left out
    faults->failOpens["d.txt"] = 1; // ignored: left out
    TArchiveWriter writer;
    writer.Threads = 2;
    writer.SetFileSystem(faults);
    std::deque<TPromptAnswer> answers = {TPromptAnswer::Retry, TPromptAnswer::Ignore, TPromptAnswer::Ignore};
    std::vector<std::string> prompts;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons) {
        prompts.push_back(text);
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    };
    const auto path = [&](const char *name) { return programPath(base, name); };
    writeModArchive(writer, (dir / "out.pak").string(), base.string());

    const std::string tail = ". File processing error, possibly disk is full";
    ASSERT_EQ(prompts.size(), 3u);
    EXPECT_EQ(prompts[0], "Cannot open file \"" + path("b.txt") + "\" - Native error: 00033" + tail
                              + " (" + platform::errorText(platform::accessDeniedError) + ": \"b.txt\")");
    EXPECT_EQ(prompts[1], "Invalid compressed size, rfs.size = 1577864, count = 4000 - Native error: 00034" + tail);
    EXPECT_EQ(prompts[2], "Cannot open file \"" + path("d.txt") + "\" - Native error: 00033" + tail
                              + " (" + platform::errorText(platform::accessDeniedError) + ": \"d.txt\")");
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.names(), (std::vector<std::string> {"a.txt", "b.txt", "e.txt"}));
    EXPECT_EQ(archive.entries[1].inflated, readFile(base / "b.txt"));
    EXPECT_TRUE(readerAccepts("unzip", dir / "out.pak"));

    // Abort stops at the first failure and keeps the archive written before.
    const std::string before = readFile(dir / "out.pak");
    faults->failOpens["b.txt"] = 1;
    answers = {TPromptAnswer::Abort};
    prompts.clear();
    writer.CreateArchive();
    writer.AddByMask("*.*", searchAttr::all, "");
    writer.Close();
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(readFile(dir / "out.pak"), before);
}

TEST(ParallelPacking, CancelMidwayRollsBack)
{
    TempDir dir;
    writeTree(dir / "mod");
    TArchiveWriter writer;
    writer.Threads = 3;
    int progressCalls = 0;
    writer.OnOverallProgress = [&](TProgressPhase phase, const TArchiveProgress &, bool &cancel) {
        if (phase == TProgressPhase::Progress && ++progressCalls == 40)
            cancel = true;
    };
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), (dir / "mod").string());
    EXPECT_EQ(progressCalls, 40);
    EXPECT_FALSE(report.written);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"mod"});
}

TEST(ParallelPacking, BudgetsBoundTheMemoryHeldAndNeverStallThePipeline)
{
    TempDir dir;
    std::vector<PipelineJob> jobs;
    std::vector<std::string> contents;
    const auto add = [&](const std::string &name, const std::string &content) {
        writeFile(dir / name, content);
        jobs.push_back({programPath(dir.path(), name), 9, 8});
        contents.push_back(content);
    };
    // Sources compressed whole, of several chunks' size, and one cut in
    // chunks, among small ones.
    const std::size_t overLimit = static_cast<std::size_t>(wholeSourceLimit) + 1;
    for (int i = 0; i < 4; ++i) {
        add("large" + std::to_string(i), mixedBytes(2 * chunk + 1000 * i + 1, 200 + i));
        for (int j = 0; j < 15; ++j)
            add("small" + std::to_string(i) + "_" + std::to_string(j), mixedBytes(100 + 300 * j, 17 * i + j));
    }
    add("over_the_limit", mixedBytes(overLimit, 300));
    add("empty", "");
    jobs.push_back({programPath(dir.path(), "missing"), 9, 8});
    contents.push_back("<missing>");
    jobs.push_back({std::string(), 9, 0}); // a directory
    contents.push_back("");
    add("stored", mixedBytes(chunk + 3, 7));
    jobs.back().method = 0;

    SystemArchiveFileSystem fileSystem;
    const std::size_t largestWhole = 2 * chunk + 3001;
    const std::size_t largestInput = ChunkBuffer(std::max(chunk + 32768, largestWhole)).capacity();
    const std::size_t largestOutput = ChunkBuffer(deflateOutputBound(largestWhole)).capacity();
    for (const PipelineBudget budget :
         {PipelineBudget {1, 1}, PipelineBudget {3u << 20, 2u << 20}, PipelineBudget::forThreads(3)}) {
        SCOPED_TRACE(budget.output);
        CompressionPipeline pipeline(jobs, fileSystem, TFileShareMode::smShareDenyWrite, 3, budget);
        for (std::size_t i = 0; i < jobs.size(); ++i)
            expectDelivers(pipeline.take(), jobs[i], contents[i]);
        // Beyond its budget the pipeline holds at most the chunk being read
        // and the chunks the writer holds and waits for.
        EXPECT_LE(pipeline.peakInputBytes(), std::max(budget.input, largestInput));
        EXPECT_LE(pipeline.peakOutputBytes(), budget.output + 2 * std::max(largestOutput, largestInput));
        EXPECT_GT(pipeline.peakOutputBytes(), 0u);
    }
}

TEST(ParallelPacking, JobsAddedWhileThePipelineRunsAreDeliveredInOrderUntilSealed)
{
    TempDir dir;
    std::vector<PipelineJob> jobs;
    std::vector<std::string> contents;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i);
        contents.push_back(mixedBytes(i % 4 == 3 ? 2 * chunk + i : 1000 + 500 * i, 300 + i));
        writeFile(dir / name, contents.back());
        jobs.push_back({programPath(dir.path(), name), 9, 8});
    }
    SystemArchiveFileSystem fileSystem;
    {
        CompressionPipeline pipeline(fileSystem, TFileShareMode::smShareDenyWrite, 2);
        // The first entries are delivered before the rest are known.
        for (std::size_t i = 0; i < 5; ++i)
            pipeline.add(jobs[i]);
        for (std::size_t i = 0; i < 3; ++i)
            expectDelivers(pipeline.take(), jobs[i], contents[i]);
        for (std::size_t i = 5; i < jobs.size(); ++i)
            pipeline.add(jobs[i]);
        pipeline.seal();
        pipeline.add({(dir / "late").string(), 9, 8});
        ASSERT_EQ(pipeline.jobCount(), jobs.size());
        for (std::size_t i = 3; i < jobs.size(); ++i)
            expectDelivers(pipeline.take(), jobs[i], contents[i]);
    }
    // Neither a pipeline that never gets a job nor one left before it is
    // sealed holds its threads up.
    {
        CompressionPipeline sealedEmpty(fileSystem, TFileShareMode::smShareDenyWrite, 2);
        sealedEmpty.seal();
    }
    CompressionPipeline unsealed(fileSystem, TFileShareMode::smShareDenyWrite, 2);
    unsealed.add(jobs[3]);
}

TEST(ParallelPacking, AnEntryReplacedWhileFilesAreFoundIsWrittenFromItsNewSource)
{
    TempDir dir;
    writeFile(dir / "mod/a/same.txt", "found first, then replaced");
    writeFile(dir / "mod/b/same.txt", "found second, and kept");
    writeFile(dir / "mod/b/other.txt", mixedBytes(5000, 3));
    const auto packNoPath = [&](const fs::path &archive, int threads) {
        TArchiveWriter writer;
        writer.Threads = threads;
        configureModArchiveWriter(writer);
        writer.Options.StorePath = TStorePathMode::spNoPath;
        writer.FileName = archive.string();
        writer.CreateArchive(fmCreate);
        writer.BaseDir = (dir / "mod").string();
        writer.AddByMask("*.*", searchAttr::all, "");
        writer.Close();
        return inspectArchive(archive);
    };
    const InspectedArchive parallel = packNoPath(dir / "parallel.pak", 2);
    const InspectedArchive single = packNoPath(dir / "single.pak", 1);
    ASSERT_EQ(parallel.names(), single.names());
    ASSERT_NE(parallel.find("same.txt"), nullptr);
    EXPECT_EQ(parallel.find("same.txt")->inflated, "found second, and kept");
    for (std::size_t i = 0; i < single.entries.size(); ++i)
        EXPECT_EQ(parallel.entries[i].inflated, single.entries[i].inflated) << single.entries[i].central.name;
}

namespace {

// Text that level 9 compresses slowly: many long, nearly repeated matches.
std::string slowText(std::size_t size, unsigned seed)
{
    static const char *words[] = {"<Creature>", "</Creature>", "<Count>", "</Count>", "CRT_", "\r\n", "    "};
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size + 32);
    while (text.size() < size) {
        text += words[random() % 7];
        if (random() % 4 == 0)
            text += std::to_string(random() % 10000);
    }
    text.resize(size);
    return text;
}

// Packing told to stop while the workers are busy, in one large file of
// hard-to-compress bytes cut into chunks or in sources compressed whole:
// how soon does it return?
struct StopRow
{
    const char *name;
    enum class Tree { LargeFile, WholeSources } tree;
    enum class How { CancelFromAnotherThread, CancelFromProgress, WriteFailureAborted, WriteFailureIgnored } how;
};

class StopWhileCompressing : public ::testing::TestWithParam<StopRow>
{
protected:
    static void SetUpTestSuite()
    {
        sDir = std::make_unique<TempDir>();
        fs::create_directories(*sDir / "large");
        std::ofstream out(*sDir / "large/big.bin", std::ios::binary);
        std::mt19937 random(11);
        std::vector<std::uint32_t> block(1u << 18);
        for (int i = 0; i < 200; ++i) { // 200 MiB
            for (auto &word : block)
                word = random();
            out.write(reinterpret_cast<const char *>(block.data()), static_cast<std::streamsize>(block.size() * 4));
        }
        out.close();
        ASSERT_TRUE(out) << "cannot write the large file";
        writeFile(*sDir / "large/z.txt", "after the large file");
        for (int i = 0; i < 4; ++i)
            writeFile(*sDir / "whole" / ("slow" + std::to_string(i) + ".xdb"),
                      slowText(static_cast<std::size_t>(wholeSourceLimit), 60 + i));
    }
    static void TearDownTestSuite() { sDir.reset(); }

    static std::unique_ptr<TempDir> sDir;
};

std::unique_ptr<TempDir> StopWhileCompressing::sDir;

} // namespace

// Workers busy with a chunk or a whole source finish that one and are
// joined: packing returns soon after the stop, keeps the previous archive,
// leaves no temporary file, and no thread of it outlives it.
TEST_P(StopWhileCompressing, ReturnsWithinHalfASecond)
{
    const std::optional<std::size_t> threadsBefore = threadCount();
    using Clock = std::chrono::steady_clock;
    const auto how = GetParam().how;
    const bool large = GetParam().tree == StopRow::Tree::LargeFile;
    const fs::path base = *sDir / (large ? "large" : "whole");
    const fs::path archive = *sDir / "out.pak";
    writeFile(archive, "the previous archive");
    auto faults = std::make_shared<FaultyFileSystem>();
    TArchiveWriter writer;
    writer.Threads = 2;
    writer.SetFileSystem(faults);
    std::optional<Clock::time_point> stoppedAt;
    std::mutex mutex;
    std::condition_variable started;
    bool underWay = false;
    bool packingOver = false;
    // The stop comes 8 MiB into the large file, or once the first source
    // compressed whole is written and the workers are on the next ones.
    writer.OnFileProgress = [&](TProgressPhase phase, const TArchiveProgress &progress, bool &cancel) {
        if (large ? phase != TProgressPhase::Progress || progress.currentName != "big.bin"
                        || progress.fileBytesDone < (8u << 20)
                  : phase != TProgressPhase::End)
            return;
        if (how == StopRow::How::CancelFromProgress && !stoppedAt) {
            stoppedAt = Clock::now();
            cancel = true;
        }
        std::lock_guard lock(mutex);
        underWay = true;
        started.notify_one();
    };
    std::thread canceller;
    if (how == StopRow::How::CancelFromAnotherThread)
        canceller = std::thread([&] {
            std::unique_lock lock(mutex);
            started.wait(lock, [&] { return underWay || packingOver; });
            if (packingOver)
                return;
            stoppedAt = Clock::now();
            writer.Cancel();
        });
    const bool failing = how == StopRow::How::WriteFailureAborted || how == StopRow::How::WriteFailureIgnored;
    if (failing)
        faults->device = {.writeLimit = large ? 20u << 20 : 100u << 10, .writeError = platform::deviceError};
    writer.OnFailurePrompt = [&](const std::string &, TPromptButtons) {
        if (!stoppedAt)
            stoppedAt = Clock::now();
        return how == StopRow::How::WriteFailureIgnored ? TPromptAnswer::Ignore : TPromptAnswer::Abort;
    };

    ModArchiveReport report;
    std::string failure;
    try {
        report = writeModArchive(writer, archive.string(), base.string());
    } catch (const std::exception &e) {
        failure = e.what(); // the device stays full: the last records cannot be written
    }
    const auto returnedAt = Clock::now();
    {
        std::lock_guard lock(mutex);
        packingOver = true;
    }
    started.notify_one();
    if (canceller.joinable())
        canceller.join();
    if (threadsBefore) {
        EXPECT_EQ(threadCount(), threadsBefore) << "a thread of packing outlived it";
    }
    ASSERT_TRUE(stoppedAt.has_value());
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - *stoppedAt);
    std::printf("[ measured ] %s: returned %lld ms after the stop\n", GetParam().name,
                static_cast<long long>(took.count()));
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_FALSE(report.written);
    EXPECT_EQ(readFile(archive), "the previous archive");
    EXPECT_EQ(namesIn(sDir->path()), (std::set<std::string> {"large", "out.pak", "whole"}));
    if (how == StopRow::How::WriteFailureIgnored) {
        EXPECT_NE(failure.find("(" + platform::errorText(platform::deviceError) + ": \"" + archive.string() + "\")"),
                  std::string::npos)
            << failure;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ParallelPacking, StopWhileCompressing,
    ::testing::Values(
        StopRow {"CancelFromAnotherThread", StopRow::Tree::LargeFile, StopRow::How::CancelFromAnotherThread},
        StopRow {"CancelFromProgress", StopRow::Tree::LargeFile, StopRow::How::CancelFromProgress},
        StopRow {"WriteFailureAborted", StopRow::Tree::LargeFile, StopRow::How::WriteFailureAborted},
        StopRow {"WriteFailureIgnored", StopRow::Tree::LargeFile, StopRow::How::WriteFailureIgnored},
        StopRow {"WholeSourcesCancel", StopRow::Tree::WholeSources, StopRow::How::CancelFromAnotherThread},
        StopRow {"WholeSourcesWriteFailureAborted", StopRow::Tree::WholeSources, StopRow::How::WriteFailureAborted}),
    [](const ::testing::TestParamInfo<StopRow> &row) { return std::string(row.param.name); });

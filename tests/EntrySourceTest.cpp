#include "FaultyFileSystem.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/CompressionPipeline.h"
#include "packaging/SourceCompressor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>
#include <zlib.h>

using namespace voriraz;
using namespace voriraz::test;

// The writer takes an entry's data the same way whether the source was read
// and compressed ahead on worker threads or is read on its own thread: these
// cases hold for both.

namespace {

constexpr std::size_t chunk = 1572864;

std::string mixedBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes;
    while (bytes.size() < size)
        bytes += random() % 2 ? "<Stack><Creature>CRT_" + std::to_string(random() % 40) + "</Creature></Stack>"
                              : std::string(1, static_cast<char>(random()));
    bytes.resize(size);
    return bytes;
}

enum class Reading { Ahead, OnWritersThread };

struct SourceCase
{
    const char *name;
    std::size_t size;
    int method;
    std::uint64_t shrinkTo;  // bytes the source delivers; its size when 0
    bool missing = false;
    std::size_t chunks = 0;  // chunks expected
};

const SourceCase cases[] = {
    {"Empty", 0, 8, 0, false, 0},
    {"Small", 1000, 8, 0, false, 1},
    {"ExactlyOneChunk", chunk, 8, 0, false, 1},
    {"OneByteOverTheWholeLimit", static_cast<std::size_t>(wholeSourceLimit) + 1, 8, 0, false,
     static_cast<std::size_t>(wholeSourceLimit) / chunk + 1},
    {"ThreeChunksStored", 2 * chunk + 5, 0, 0, false, 3},
    {"ShrinksWhileRead", chunk + 4000, 8, 3000, false, 1},
    {"Missing", 10, 8, 0, true, 0},
};

// Owns what a source needs for the duration of a test.
struct OpenedSource
{
    FaultyFileSystem fileSystem;
    std::unique_ptr<CompressionPipeline> pipeline;
    SourceCompressor compressor;
    EntrySource *source = nullptr;
};

void open(OpenedSource &opened, Reading reading, const std::string &path, int method)
{
    if (reading == Reading::Ahead) {
        opened.pipeline = std::make_unique<CompressionPipeline>(std::vector {PipelineJob(path, 9, method)},
                                                                opened.fileSystem,
                                                                TFileShareMode::smShareDenyNone, 2);
        opened.source = &opened.pipeline->take();
    } else {
        opened.source = &opened.compressor.start(opened.fileSystem, TFileShareMode::smShareDenyNone, path, 9, method);
    }
}

class EntrySourceTest : public testing::TestWithParam<std::tuple<Reading, SourceCase>>
{
};

TEST_P(EntrySourceTest, DeliversTheSourceInChunks)
{
    const auto &[reading, sourceCase] = GetParam();
    TempDir dir;
    const std::string content = mixedBytes(sourceCase.size, 5);
    const std::string path = programPath(dir.path(), "source.bin");
    if (!sourceCase.missing)
        writeFile(path, content);
    OpenedSource opened;
    if (sourceCase.shrinkTo > 0)
        opened.fileSystem.shrinkTo["source.bin"] = sourceCase.shrinkTo;
    open(opened, reading, path, sourceCase.method);
    EntrySource &source = *opened.source;

    if (sourceCase.missing) {
        EXPECT_FALSE(source.opened());
        EXPECT_EQ(source.openError(), ENOENT);
        source.discard();
        return;
    }
    ASSERT_TRUE(source.opened());
    EXPECT_EQ(source.size(), content.size());
    const TakenChunks taken = takeChunks(source);
    ASSERT_FALSE(taken.failed);
    const std::size_t chunks = taken.last.size();
    EXPECT_EQ(chunks, sourceCase.chunks);
    // Only the chunk that reaches the source's size is the last.
    for (std::size_t i = 0; i < chunks; ++i)
        EXPECT_EQ(taken.last[i], i + 1 == chunks && sourceCase.shrinkTo == 0) << "chunk " << i;
    const std::size_t delivered = sourceCase.shrinkTo > 0 ? sourceCase.shrinkTo : content.size();
    EXPECT_EQ(source.shortRead(), sourceCase.shrinkTo > 0);
    EXPECT_EQ(taken.inputLength, delivered);
    EXPECT_EQ(taken.crc32, crc32Of(content.substr(0, delivered)));
    const std::string &data = taken.data;
    if (sourceCase.method == 0) {
        EXPECT_EQ(data, content);
    } else if (sourceCase.shrinkTo == 0 && !content.empty()) {
        std::string inflated;
        EXPECT_TRUE(inflateRaw(data, inflated));
        EXPECT_EQ(inflated, content);
    }
    // Either way, a source of several chunks is one stream of chunks
    // deflated each on its own.
    if (sourceCase.method == 8 && chunks > 1 && sourceCase.shrinkTo == 0) {
        EXPECT_EQ(chunkedDeflatePieces(data, content, chunk).size(), chunks);
    }
    source.discard();
}

INSTANTIATE_TEST_SUITE_P(
    BothReadings, EntrySourceTest,
    testing::Combine(testing::Values(Reading::Ahead, Reading::OnWritersThread), testing::ValuesIn(cases)),
    [](const testing::TestParamInfo<EntrySourceTest::ParamType> &param) {
        return std::string(std::get<0>(param.param) == Reading::Ahead ? "Ahead_" : "OnWritersThread_")
               + std::get<1>(param.param).name;
    });

TEST(EntrySource, OnWritersThreadStartsAfreshForEachSource)
{
    TempDir dir;
    const std::string first = mixedBytes(chunk + 10, 1);
    const std::string second = mixedBytes(700, 2);
    writeFile(dir / "first.bin", first);
    writeFile(dir / "second.bin", second);
    SystemArchiveFileSystem fileSystem;
    SourceCompressor compressor;
    // The first source is given up after its first chunk.
    EntrySource &source = compressor.start(fileSystem, TFileShareMode::smShareDenyNone, (dir / "first.bin").string(), 9, 8);
    ReadyChunk ready;
    ASSERT_TRUE(source.next(ready));
    source.discard();
    compressor.start(fileSystem, TFileShareMode::smShareDenyNone, (dir / "second.bin").string(), 9, 8);
    ASSERT_TRUE(compressor.opened());
    ASSERT_TRUE(compressor.next(ready));
    EXPECT_TRUE(ready.last);
    std::string inflated;
    EXPECT_TRUE(inflateRaw(std::string(ready.data, ready.size), inflated));
    EXPECT_EQ(inflated, second);
    EXPECT_FALSE(compressor.next(ready));
    EXPECT_FALSE(compressor.shortRead());
}

} // namespace

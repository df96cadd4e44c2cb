#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/CompressionPipeline.h"
#include "packaging/ModArchive.h"
#include "packaging/SourceCompressor.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t limit = static_cast<std::size_t>(wholeSourceLimit);

// Random six-bit bytes with runs of markup: compressible, and quick to
// compress at any level.
std::string mixedBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes;
    bytes.reserve(size + 64);
    while (bytes.size() < size) {
        if (random() % 3 == 0)
            bytes += "<Item><Count>" + std::to_string(random() % 999) + "</Count></Item>\r\n";
        else
            bytes.push_back(static_cast<char>(random() & 0x3F));
    }
    bytes.resize(size);
    return bytes;
}

} // namespace

// Sources at the limit's boundary, through the pipeline and through the
// compressor of the writer's own thread: up to the limit one chunk, one byte
// more and the mode's chunks; the data is the source's either way.
struct BoundaryRow
{
    const char *name;
    std::size_t size;
    bool pipeline;
};

class LimitBoundary : public ::testing::TestWithParam<BoundaryRow>
{
};

TEST_P(LimitBoundary, WholeUpToTheLimitAndInChunksBeyondIt)
{
    const BoundaryRow row = GetParam();
    TempDir dir;
    const std::string content = mixedBytes(row.size, static_cast<unsigned>(row.size));
    writeFile(dir / "source.bin", content);
    constexpr int mode = 1; // quick, and cut in 512 KiB chunks beyond the limit
    SystemArchiveFileSystem fileSystem;
    TakenChunks taken;
    if (row.pipeline) {
        CompressionPipeline pipeline({PipelineJob(programPath(dir.path(), "source.bin"), mode, 8)}, fileSystem,
                                     TFileShareMode::smShareDenyWrite, 2);
        CompressionPipeline::Entry &entry = pipeline.take();
        ASSERT_TRUE(entry.opened());
        taken = takeChunks(entry);
        entry.discard();
    } else {
        SourceCompressor compressor;
        compressor.start(fileSystem, TFileShareMode::smShareDenyWrite, programPath(dir.path(), "source.bin"), mode, 8);
        ASSERT_TRUE(compressor.opened());
        taken = takeChunks(compressor);
    }
    ASSERT_FALSE(taken.failed);
    const std::size_t chunks = row.size <= limit ? 1 : (row.size + compressionChunkSize(mode) - 1) / compressionChunkSize(mode);
    EXPECT_EQ(taken.last.size(), chunks);
    EXPECT_EQ(taken.inputLength, content.size());
    EXPECT_EQ(taken.crc32, crc32Of(content));
    std::string inflated;
    EXPECT_TRUE(inflateRaw(taken.data, inflated));
    EXPECT_TRUE(inflated == content);
}

INSTANTIATE_TEST_SUITE_P(WholeSourceCompression, LimitBoundary,
                         ::testing::Values(BoundaryRow {"PipelineBelow", limit - 1, true},
                                           BoundaryRow {"PipelineAt", limit, true},
                                           BoundaryRow {"PipelineAbove", limit + 1, true},
                                           BoundaryRow {"WriterThreadBelow", limit - 1, false},
                                           BoundaryRow {"WriterThreadAt", limit, false},
                                           BoundaryRow {"WriterThreadAbove", limit + 1, false}),
                         [](const ::testing::TestParamInfo<BoundaryRow> &row) { return std::string(row.param.name); });

TEST(WholeSourceCompression, EntriesWholeAndInChunksSideBySideAreReadByEveryReader)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    std::map<std::string, std::string> sources;
    const auto add = [&](const std::string &name, std::string content) {
        writeFile(base / name, content);
        sources[name] = std::move(content);
    };
    for (int i = 0; i < 20; ++i)
        add("small/s" + std::to_string(i) + ".xdb", mixedBytes(100 + 250 * i, i));
    add("whole/half_the_limit.bin", mixedBytes(limit / 2 + 5, 50));
    add("whole/at_the_limit.bin", mixedBytes(limit, 51));
    add("chunked/over_the_limit.bin", mixedBytes(limit + 1, 52));
    add("chunked/large.bin", mixedBytes(limit + 3 * compressionChunkSize(9) + 77, 53));

    std::vector<InspectedArchive> archives;
    for (int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        TArchiveWriter writer;
        writer.Threads = threads;
        const fs::path archive = dir / ("out" + std::to_string(threads) + ".pak");
        ASSERT_TRUE(writeModArchive(writer, archive.string(), base.string()).written);
        for (const char *reader : {"python", "unzip", "7z"}) {
            std::string log;
            EXPECT_TRUE(readerAccepts(reader, archive, &log)) << reader << ":\n" << log;
        }
        archives.push_back(inspectArchive(archive));
        std::size_t files = 0;
        for (const auto &entry : archives.back().entries) {
            if (entry.central.name.back() == '/')
                continue;
            ++files;
            SCOPED_TRACE(entry.central.name);
            ASSERT_EQ(sources.count(entry.central.name), 1u);
            EXPECT_TRUE(entry.inflated == sources[entry.central.name]);
            EXPECT_EQ(entry.central.crc32, crc32Of(sources[entry.central.name]));
        }
        EXPECT_EQ(files, sources.size());
    }
    // The writer's own thread and the workers cut and compress alike.
    ASSERT_EQ(archives[0].entries.size(), archives[1].entries.size());
    for (std::size_t i = 0; i < archives[0].entries.size(); ++i)
        EXPECT_TRUE(archives[0].entries[i].data == archives[1].entries[i].data) << archives[0].entries[i].central.name;
}

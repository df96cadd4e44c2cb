#include "ZipInspection.h"

#include "packaging/SourceCompressor.h"

#include <gtest/gtest.h>

#include <random>
#include <zlib.h>

using namespace voriraz;
using namespace voriraz::test;

namespace {

std::string noisyText(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += "<Item>" + std::to_string(random() % 1000) + "</Item>";
        for (int i = 0; i < 8; ++i)
            text.push_back(static_cast<char>(random()));
    }
    text.resize(size);
    return text;
}

std::string toString(const ChunkBuffer &buffer, long long length)
{
    return length < 0 ? "<failed>" : std::string(buffer.data(), static_cast<std::size_t>(length));
}

// zlib's raw deflate of data at level 9, primed with dictionary, finished.
std::string zlibPrimed(const std::string &dictionary, const std::string &data)
{
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef *>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
    std::string out(deflateBound(&stream, data.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(ChunkDeflater, OutputThatDoesNotFitGrowsAndKeepsWhatWasWritten)
{
    // Far more output than the buffer holds: it grows from the heap into
    // mapped pages, and every byte written before each step must survive.
    const std::string content = noisyText(700000, 1);
    z_stream stream {};
    ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    ChunkBuffer output(16);
    const long long produced = deflateChunk(stream, content.data(), content.size(), true, output);
    deflateEnd(&stream);
    ASSERT_GT(produced, 256 * 1024);
    EXPECT_EQ(toString(output, produced), referenceChunkedDeflate(content, content.size()));
}

TEST(ChunkDeflater, OnlyAWholeUnprimedChunkLeavesZlib)
{
    const std::string content = noisyText(200000, 2);
    const std::string dictionary = noisyText(32768, 3);
    ChunkDeflater deflater;
    ChunkBuffer output(deflateOutputBound(content.size()));

    // A chunk that is the whole source: one whole-buffer call.
    ASSERT_TRUE(deflater.begin(9));
    const std::string whole = toString(output, deflater.deflate(content.data(), content.size(), true, output));
    EXPECT_NE(whole, referenceChunkedDeflate(content, content.size()));

    // The first of several chunks, and then the last: one zlib stream.
    const std::string first = content.substr(0, 150000), rest = content.substr(150000);
    ASSERT_TRUE(deflater.begin(9));
    std::string stream = toString(output, deflater.deflate(first.data(), first.size(), false, output));
    stream += toString(output, deflater.deflate(rest.data(), rest.size(), true, output));
    EXPECT_EQ(stream, referenceChunkedDeflate(content, 150000));

    // A primed chunk, last or not, is zlib's with the dictionary.
    ASSERT_TRUE(deflater.begin(9, dictionary.data(), dictionary.size()));
    EXPECT_EQ(toString(output, deflater.deflate(content.data(), content.size(), true, output)),
              zlibPrimed(dictionary, content));

    // The whole-buffer output is a complete raw stream of the source.
    std::string inflated;
    EXPECT_TRUE(inflateRaw(whole, inflated));
    EXPECT_EQ(inflated, content);
}

TEST(ChunkDeflater, Crc32MatchesZlibAtAnyLengthAndContinues)
{
    const std::string bytes = noisyText(100003, 4);
    for (std::size_t length : {0u, 1u, 7u, 64u, 65u, 4096u, 100003u}) {
        const std::string part = bytes.substr(0, length);
        EXPECT_EQ(updateCrc32(0, part.data(), part.size()), crc32Of(part)) << length;
    }
    // Unaligned start, continued over two pieces.
    const std::uint32_t first = updateCrc32(0, bytes.data() + 3, 5000);
    EXPECT_EQ(updateCrc32(first, bytes.data() + 5003, 90000), crc32Of(bytes.substr(3, 95000)));
}

#include "DeflateReference.h"
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

} // namespace

// Chunks deflated one by one, by one deflater or several, follow one
// another as one stream: every chunk but the last ends on a byte boundary
// with a block that is not final, wherever its own data ended within a
// byte, so the tiny chunks (many block lengths) matter as much as the large.
TEST(ChunkDeflater, ChunksFollowOneAnotherAsOneStream)
{
    struct Content
    {
        const char *name;
        std::string bytes;
    };
    const Content contents[] = {{"text", noisyText(700001, 1)},
                                {"random", randomBytes(300007, 2)},
                                {"zeros", std::string(400000, '\0')},
                                {"short text", noisyText(3000, 3)}};
    for (const Content &content : contents) {
        for (std::size_t chunkSize : {1u, 2u, 3u, 5u, 8u, 13u, 100u, 1000u, 65539u, 262144u}) {
            if (content.bytes.size() / chunkSize > 4000)
                continue;
            for (int level : {1, 6, 9}) {
                ChunkDeflater first, second;
                ChunkBuffer output(16);
                std::string stream;
                std::size_t chunks = 0;
                for (std::size_t at = 0; at < content.bytes.size(); at += chunkSize, ++chunks) {
                    const std::size_t length = std::min(chunkSize, content.bytes.size() - at);
                    const bool last = at + length >= content.bytes.size();
                    ChunkDeflater &deflater = chunks % 2 == 0 ? first : second;
                    stream += toString(output, deflater.deflate(level, content.bytes.data() + at, length, last, output));
                }
                const std::string where =
                    std::string(content.name) + ", chunks of " + std::to_string(chunkSize) + ", level " + std::to_string(level);
                std::string inflated;
                EXPECT_TRUE(inflateRaw(stream, inflated)) << where;
                EXPECT_TRUE(inflated == content.bytes) << where;
                const std::vector<std::string> pieces = chunkedDeflatePieces(stream, content.bytes, chunkSize);
                ASSERT_EQ(pieces.size(), chunks) << where;
                // The last chunk is deflated exactly as a whole source.
                EXPECT_EQ(pieces.back(), wholeBufferDeflate(content.bytes.substr((chunks - 1) * chunkSize), level))
                    << where;
            }
        }
    }
}

TEST(ChunkDeflater, LevelsOutsideOneToNineFail)
{
    const std::string text = noisyText(1000, 4);
    ChunkDeflater deflater;
    ChunkBuffer output(16);
    EXPECT_EQ(deflater.deflate(0, text.data(), text.size(), true, output), -1);
    EXPECT_EQ(deflater.deflate(10, text.data(), text.size(), false, output), -1);
    // Still usable at a good level afterwards.
    std::string inflated;
    EXPECT_TRUE(inflateRaw(toString(output, deflater.deflate(9, text.data(), text.size(), true, output)), inflated));
    EXPECT_EQ(inflated, text);
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

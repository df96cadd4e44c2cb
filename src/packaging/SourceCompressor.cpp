#include "packaging/SourceCompressor.h"

#include <algorithm>
#include <optional>
#include <zlib.h>

namespace voriraz {

std::size_t compressionChunkSize(int mode)
{
    if (mode >= 1 && mode <= 3)
        return 0x80000;
    if (mode >= 7 && mode <= 9)
        return 0x180000;
    return 0x100000;
}

std::size_t deflateOutputBound(std::size_t chunkLength)
{
    const std::size_t bound = chunkLength + chunkLength / 10 + 12;
    return (bound + 255) / 256 * 256;
}

namespace {

// Owns a deflate stream for one source.
class Deflater
{
public:
    explicit Deflater(int level) { mReady = deflateInit(&mStream, level) == Z_OK; }
    ~Deflater()
    {
        if (mReady)
            deflateEnd(&mStream);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    bool ready() const { return mReady; }

    // Deflates the whole chunk with one flush; returns the bytes produced or
    // -1 on a zlib error. The output buffer grows should the chunk not fit,
    // which the bound makes practically impossible.
    long long run(const char *input, std::size_t length, bool last, std::vector<char> &output)
    {
        return deflateChunk(mStream, input, length, last, output);
    }

private:
    z_stream mStream {};
    bool mReady = false;
};

} // namespace

long long deflateChunk(z_stream &stream, const char *input, std::size_t length, bool last, std::vector<char> &output)
{
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input));
    stream.avail_in = static_cast<uInt>(length);
    std::size_t produced = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef *>(output.data() + produced);
        stream.avail_out = static_cast<uInt>(output.size() - produced);
        const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        produced = output.size() - stream.avail_out;
        if (result < 0 && result != Z_BUF_ERROR)
            return -1;
        const bool done = last ? result == Z_STREAM_END : (stream.avail_in == 0 && stream.avail_out != 0);
        if (done)
            return static_cast<long long>(produced);
        // No progress although there was room: the stream is stuck.
        if (stream.avail_out != 0 && result == Z_BUF_ERROR)
            return -1;
        output.resize(output.size() + 65536);
    }
}

CompressedSource SourceCompressor::compress(SourceFile &source, int mode, int method, const Sink &sink,
                                            const Progress &progress)
{
    CompressedSource result;
    const std::uint64_t size = source.size();
    const std::size_t bufferSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(compressionChunkSize(mode), size));
    if (mInput.size() < bufferSize)
        mInput.resize(bufferSize);
    source.rewind();
    std::uint32_t crc = 0;

    std::optional<Deflater> deflater;
    if (method == 8 && size > 0) {
        deflater.emplace(mode);
        if (!deflater->ready())
            return result;
    }

    bool first = true;
    while (result.bytesRead < size) {
        // Never read past the size the file had when opened: a file that
        // grows meanwhile is stored as it was, and the finish flag below
        // stays right.
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, size - result.bytesRead));
        const std::size_t got = source.read(mInput.data(), wanted);
        if (got == 0)
            break;
        crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef *>(mInput.data()), static_cast<uInt>(got)));
        const bool last = result.bytesRead + got >= size;
        const char *out = mInput.data();
        std::size_t outLength = got;
        if (deflater) {
            const std::size_t bound = deflateOutputBound(got);
            if (mOutput.size() < bound)
                mOutput.resize(bound);
            const long long produced = deflater->run(mInput.data(), got, last, mOutput);
            if (produced < 0)
                break;
            out = mOutput.data();
            outLength = static_cast<std::size_t>(produced);
            if (first) {
                out += 2;
                outLength -= 2;
            }
            if (last)
                outLength -= 4;
        }
        if (!sink(out, outLength))
            break;
        first = false;
        result.bytesRead += got;
        result.bytesWritten += outLength;
        if (got < wanted)
            break;
        if (progress && !progress(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
    }
    result.crc32 = crc;
    result.complete = result.bytesRead == size && !result.cancelled;
    return result;
}

} // namespace voriraz

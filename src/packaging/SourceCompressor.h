#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ChunkBuffer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <zlib.h>

namespace voriraz {

// Bytes read from the source per step: 512 KiB at modes 1 to 3, 1.5 MiB at
// 7 to 9, 1 MiB at 0 and 4 to 6.
std::size_t compressionChunkSize(int mode);

// What compressing one source produced.
struct CompressedSource
{
    std::uint32_t crc32 = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
    // Set when the source could not be read whole, an output write was short,
    // deflate failed, or the progress callback asked to stop.
    bool complete = false;
    bool cancelled = false;
};

// A raw deflate stream (no zlib header, no Adler-32 trailer: exactly the
// data a zlib stream carries between them), kept between sources and reset
// for each, since setting one up afresh costs more than deflating a small
// file.
class ChunkDeflater
{
public:
    ChunkDeflater() = default;
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater &) = delete;
    ChunkDeflater &operator=(const ChunkDeflater &) = delete;

    // Starts a new stream at this level, primed with the dictionary's
    // length bytes when given.
    bool begin(int level, const char *dictionary = nullptr, std::size_t length = 0);
    // Deflates a whole chunk with one flush (see deflateChunk()).
    long long deflate(const char *input, std::size_t length, bool last, ChunkBuffer &output);

private:
    z_stream mStream {};
    int mLevel = -1;
};

// Compresses a source chunk by chunk into an entry's data. With method 8
// every chunk goes through one deflate call at level mode, with a sync flush
// after each chunk but the last and a finish on the last, so the data is a
// raw deflate stream that ends on a byte boundary after every chunk. With method 0 the
// chunks are stored as they are. The CRC-32 covers the uncompressed bytes.
// Memory stays at one input and one output buffer whatever the source size;
// the buffers are kept between sources.
class SourceCompressor
{
public:
    // Writes a piece of output; returns false when it was not stored whole.
    using Sink = std::function<bool(const char *data, std::size_t size)>;
    // Reports the bytes read so far; returns false to stop.
    using Progress = std::function<bool(std::uint64_t bytesRead)>;

    CompressedSource compress(SourceFile &source, int mode, int method, const Sink &sink,
                              const Progress &progress = {});

private:
    std::vector<char> mInput;
    ChunkBuffer mOutput;
    ChunkDeflater mDeflater;
};

// Deflates a whole chunk on an initialised stream with one flush: a sync
// flush, or a finish when last. output grows should the chunk not fit,
// which deflateOutputBound() makes practically impossible. Returns the
// bytes produced, or -1 on a zlib error.
long long deflateChunk(z_stream &stream, const char *input, std::size_t length, bool last, ChunkBuffer &output);

// The size of the output buffer for a chunk: its length plus a tenth plus 12,
// rounded up to a multiple of 256.
std::size_t deflateOutputBound(std::size_t chunkLength);

} // namespace voriraz

#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ChunkBuffer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <zlib.h>

struct libdeflate_compressor;

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
    // Clear when the source could not be read whole, an output write was
    // short, deflate failed, or the progress callback asked to stop.
    bool complete = false;
    bool cancelled = false;
    bool writeFailed = false;
    // The system's error number when reading the source failed.
    int readError = 0;
};

// A raw deflate stream (no zlib header, no Adler-32 trailer: exactly the
// data a zlib stream carries between them), kept between sources and reset
// for each, since setting one up afresh costs more than deflating a small
// file.
//
// A source that fits in one chunk is one deflate call with a finish either
// way; that call goes to a whole-buffer compressor at the same level, which
// deflates image-like and incompressible data in half the time and text in
// the same, with output no larger overall. Streams of several chunks, and
// primed ones, stay with zlib, whose sync flush and dictionary they need.
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
    bool beginZlib();
    long long deflateWhole(const char *input, std::size_t length, ChunkBuffer &output);

    z_stream mStream {};
    int mZlibLevel = -1;   // the level mStream was set up with, -1 for none
    int mLevel = -1;       // the level of the stream begun
    bool mFresh = false;   // begun, unprimed, nothing deflated yet
    bool mZlibReady = false; // mStream is reset and primed for this stream
    const char *mDictionary = nullptr;
    std::size_t mDictionaryLength = 0;
    ::libdeflate_compressor *mWhole = nullptr;
    int mWholeLevel = -1;
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

// The CRC-32 of data continued from crc (0 to start), as zlib's crc32()
// computes it, with the processor's carry-less multiply where it has one.
std::uint32_t updateCrc32(std::uint32_t crc, const char *data, std::size_t length);

// The size of the output buffer for a chunk: its length plus a tenth plus 12,
// rounded up to a multiple of 256.
std::size_t deflateOutputBound(std::size_t chunkLength);

} // namespace voriraz

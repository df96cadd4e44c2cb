#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ChunkBuffer.h"
#include "packaging/EntrySource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

struct libdeflate_compressor;

namespace voriraz {

// Bytes read from the source per step: 512 KiB at modes 1 to 3, 1.5 MiB at
// 7 to 9, 1 MiB at 0 and 4 to 6.
std::size_t compressionChunkSize(int mode);

// Deflated sources up to this size are read and compressed whole, in one
// call; larger ones in chunks, which several threads compress at once.
// One chunk at mode 9: measured on two cores, sources of up to 8 MiB
// compressed whole took packing from 0.418 to 0.458 of zip -9's time,
// since a few large files then keep one thread busy while the other waits
// on their order.
constexpr std::uint64_t wholeSourceLimit = 0x180000;

// The bytes read from a source of this size per step: the whole source when
// it is deflated and within wholeSourceLimit, else a chunk of the mode's size.
std::size_t sourceStepSize(int mode, int method, std::uint64_t size);

// Deflates one chunk of a source at a time into raw deflate data (no zlib
// header, no Adler-32 trailer). Each chunk is compressed on its own by a
// whole-buffer compressor, which deflates image-like and incompressible
// data in about half zlib's time and text in the same, with smaller output
// overall. A chunk that is not the source's last is made to end like a
// sync flush: its final block is marked not final and an empty stored
// block brings it to a byte boundary, so the chunks of a source simply
// follow one another as one stream, whichever thread compressed each. A
// chunk starts with no history, which costs little at chunk sizes of
// 512 KiB and up.
class ChunkDeflater
{
public:
    ChunkDeflater() = default;
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater &) = delete;
    ChunkDeflater &operator=(const ChunkDeflater &) = delete;

    // Deflates a chunk at level (1 to 9) into output, grown to the bound;
    // returns the bytes produced, or -1 on failure.
    long long deflate(int level, const char *input, std::size_t length, bool last, ChunkBuffer &output);

private:
    // Marks the final block of the deflate data not final and appends an
    // empty stored block; false if the data is not one whole raw stream.
    bool endOnByteBoundary(ChunkBuffer &output, std::size_t &length);

    ::libdeflate_compressor *mCompressor = nullptr;
    int mLevel = -1;
    z_stream mInflate {};
    bool mInflateReady = false;
    std::vector<unsigned char> mScratch;
};

// Reads and compresses one source at a time on the caller's thread, a chunk
// each time the writer asks for one. With method 8 every chunk is deflated
// at level mode by a ChunkDeflater, exactly as the pipeline's workers do,
// so the data is one raw deflate stream that ends on a byte boundary after
// every chunk. With method 0 the chunks are
// stored as they are. Memory stays at one input and one output buffer
// whatever the source size; the buffers are kept between sources.
class SourceCompressor final : public EntrySource
{
public:
    // Starts on the source at path, opened when first asked about; the
    // previous source is closed.
    SourceCompressor &start(ArchiveFileSystem &fileSystem, TFileShareMode shareMode, const std::string &path,
                            int mode, int method);

    bool opened() override;
    int openError() override { return mOpenError; }
    std::uint64_t size() override;
    bool next(ReadyChunk &chunk) override;
    bool shortRead() override { return mShort; }
    int readError() override { return mReadError; }
    std::uint64_t sizeAtEnd() override { return mSizeAtEnd; }
    // Closes the source.
    void discard() override { mSource.reset(); }

private:
    // Rewinds the source; false when that fails.
    bool beginStream();

    ArchiveFileSystem *mFileSystem = nullptr;
    TFileShareMode mShareMode = TFileShareMode::smShareDenyNone;
    std::string mPath;
    int mMode = 9;
    int mMethod = 8;
    std::unique_ptr<SourceFile> mSource;
    bool mOpenTried = false;
    int mOpenError = 0;
    std::uint64_t mRead = 0;
    bool mEnded = false; // no more chunks: read whole, short, or failed
    bool mShort = false;
    int mReadError = 0;
    std::uint64_t mSizeAtEnd = 0;
    std::vector<char> mInput;
    ChunkBuffer mOutput;
    ChunkDeflater mDeflater;
};

// The CRC-32 of data continued from crc (0 to start), as zlib's crc32()
// computes it, with the processor's carry-less multiply where it has one.
std::uint32_t updateCrc32(std::uint32_t crc, const char *data, std::size_t length);

// The size of the output buffer for a chunk: its length plus a tenth plus 12,
// rounded up to a multiple of 256.
std::size_t deflateOutputBound(std::size_t chunkLength);

} // namespace voriraz

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
// call of the whole-buffer compressor; larger ones go in chunks through
// zlib, whose sync flush and dictionary let several threads share a file.
// One chunk at mode 9: measured on two cores, sources of up to 8 MiB
// compressed whole took the compression alone from 0.375 to 0.359 of
// zip -9's time, but packing from 0.418 to 0.458, since a few large files
// then keep one thread busy while the other waits on their order.
constexpr std::uint64_t wholeSourceLimit = 0x180000;

// The bytes read from a source of this size per step: the whole source when
// it is deflated and within wholeSourceLimit, else a chunk of the mode's size.
std::size_t sourceStepSize(int mode, int method, std::uint64_t size);

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

// Reads and compresses one source at a time on the caller's thread, a chunk
// each time the writer asks for one. With method 8 every chunk goes through
// one deflate call at level mode, with a sync flush after each chunk but the
// last and a finish on the last, so the data is one raw deflate stream that
// ends on a byte boundary after every chunk. With method 0 the chunks are
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
    // Closes the source.
    void discard() override { mSource.reset(); }

private:
    // Rewinds the source and starts the deflate stream; false when either fails.
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

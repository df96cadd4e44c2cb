#include "packaging/SourceCompressor.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <libdeflate.h>
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

std::size_t sourceStepSize(int mode, int method, std::uint64_t size)
{
    if (method == zip::methodDeflated && mode >= 1 && mode <= 9 && size <= wholeSourceLimit)
        return static_cast<std::size_t>(size);
    return static_cast<std::size_t>(std::min<std::uint64_t>(compressionChunkSize(mode), size));
}

std::size_t deflateOutputBound(std::size_t chunkLength)
{
    const std::size_t bound = chunkLength + chunkLength / 10 + 12;
    return (bound + 255) / 256 * 256;
}

std::uint32_t updateCrc32(std::uint32_t crc, const char *data, std::size_t length)
{
    return libdeflate_crc32(crc, data, length);
}

ChunkDeflater::~ChunkDeflater()
{
    if (mCompressor)
        libdeflate_free_compressor(mCompressor);
    if (mInflateReady)
        inflateEnd(&mInflate);
}

long long ChunkDeflater::deflate(int level, const char *input, std::size_t length, bool last, ChunkBuffer &output)
{
    if (level < 1 || level > 9)
        return -1;
    if (mLevel != level) {
        if (mCompressor)
            libdeflate_free_compressor(mCompressor);
        mCompressor = libdeflate_alloc_compressor(level);
        mLevel = mCompressor ? level : -1;
        if (!mCompressor)
            return -1;
    }
    // The bound, and room for the empty stored block a chunk may end with.
    output.grow(libdeflate_deflate_compress_bound(mCompressor, length) + 8, 0);
    std::size_t produced = libdeflate_deflate_compress(mCompressor, input, length, output.data(), output.capacity());
    if (produced == 0 || (!last && !endOnByteBoundary(output, produced)))
        return -1;
    return static_cast<long long>(produced);
}

bool ChunkDeflater::endOnByteBoundary(ChunkBuffer &output, std::size_t &length)
{
    // zlib's inflate, asked to stop after every block, tells where each
    // block ends to the bit; the last block begins where the one before it
    // ended. Inflating costs a small part of deflating at high levels.
    if (!mInflateReady) {
        if (inflateInit2(&mInflate, -15) != Z_OK)
            return false;
        mInflateReady = true;
        mScratch.resize(65536);
    } else if (inflateReset(&mInflate) != Z_OK) {
        return false;
    }
    auto *data = reinterpret_cast<unsigned char *>(output.data());
    mInflate.next_in = data;
    mInflate.avail_in = static_cast<uInt>(length);
    // Bit positions from the start: where the final block begins (where
    // the one before it ended), and where it ends.
    std::uint64_t lastBlock = 0;
    std::optional<std::uint64_t> end;
    int result = Z_OK;
    while (result == Z_OK) {
        mInflate.next_out = mScratch.data();
        mInflate.avail_out = static_cast<uInt>(mScratch.size());
        result = inflate(&mInflate, Z_BLOCK);
        // Stopped right after a block (128), the final one when 64 is set.
        if (result == Z_OK && (mInflate.data_type & 128) != 0) {
            const std::uint64_t at =
                std::uint64_t {mInflate.total_in} * 8 - static_cast<unsigned>(mInflate.data_type & 7);
            if ((mInflate.data_type & 64) != 0)
                end = at;
            else
                lastBlock = at;
        }
    }
    if (result != Z_STREAM_END || mInflate.avail_in != 0 || !end)
        return false;
    // The final block's first bit says it is final.
    data[lastBlock / 8] &= static_cast<unsigned char>(~(1u << (lastBlock % 8)));
    // An empty stored block: three zero bits (not final, stored), zeros to
    // the byte boundary, then its length 0 and the length's complement.
    const unsigned bit = static_cast<unsigned>(*end % 8);
    const std::size_t at = static_cast<std::size_t>((*end + 3 + 7) / 8);
    if (bit != 0)
        data[*end / 8] &= static_cast<unsigned char>((1u << bit) - 1);
    if (bit == 0 || bit > 5)
        data[at - 1] = 0;
    const unsigned char marker[] = {0x00, 0x00, 0xFF, 0xFF};
    std::memcpy(data + at, marker, sizeof marker);
    length = at + sizeof marker;
    return true;
}

SourceCompressor &SourceCompressor::start(ArchiveFileSystem &fileSystem, TFileShareMode shareMode,
                                          const std::string &path, int mode, int method)
{
    mSource.reset();
    mFileSystem = &fileSystem;
    mShareMode = shareMode;
    mPath = path;
    mMode = mode;
    mMethod = method;
    mOpenTried = false;
    mOpenError = 0;
    mRead = 0;
    mEnded = false;
    mShort = false;
    mReadError = 0;
    mSizeAtEnd = 0;
    return *this;
}

bool SourceCompressor::opened()
{
    if (!mOpenTried) {
        mOpenTried = true;
        mSource = mFileSystem->openSource(mPath, mShareMode, mOpenError);
        // Until the last chunk is read, as far as anybody knows.
        mSizeAtEnd = mSource ? mSource->size() : 0;
    }
    return mSource != nullptr;
}

std::uint64_t SourceCompressor::size()
{
    return opened() ? mSource->size() : 0;
}

bool SourceCompressor::beginStream()
{
    const std::size_t bufferSize = sourceStepSize(mMode, mMethod, mSource->size());
    if (mInput.size() < bufferSize)
        mInput.resize(bufferSize);
    if (!mSource->rewind()) {
        mShort = true;
        mReadError = mSource->error();
        return false;
    }
    return true;
}

bool SourceCompressor::next(ReadyChunk &chunk)
{
    if (!opened() || mEnded || mRead >= mSource->size())
        return false;
    if (mRead == 0 && !beginStream()) {
        mEnded = true;
        return false;
    }
    // Never read past the size the file had when opened; the size it has
    // once that is read tells whether it changed meanwhile.
    const std::uint64_t size = mSource->size();
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(sourceStepSize(mMode, mMethod, size), size - mRead));
    const std::size_t got = mSource->read(mInput.data(), wanted);
    if (got < wanted) {
        mEnded = mShort = true;
        mReadError = mSource->error();
    }
    if (got == 0)
        return false;
    chunk = ReadyChunk {mInput.data(), got, got, updateCrc32(0, mInput.data(), got), false, mRead + got >= size};
    mRead += got;
    if (chunk.last)
        mSizeAtEnd = mSource->currentSize();
    if (mMethod != zip::methodDeflated)
        return true;
    const std::size_t bound = deflateOutputBound(got);
    if (mOutput.capacity() < bound)
        mOutput = ChunkBuffer(bound);
    const long long produced = mDeflater.deflate(mMode, mInput.data(), got, chunk.last, mOutput);
    chunk.data = mOutput.data();
    chunk.size = produced < 0 ? 0 : static_cast<std::size_t>(produced);
    chunk.failed = produced < 0;
    mEnded = mEnded || chunk.failed;
    return true;
}

} // namespace voriraz

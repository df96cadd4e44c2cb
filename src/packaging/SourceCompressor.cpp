#include "packaging/SourceCompressor.h"

#include <algorithm>
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
    if (mZlibLevel >= 0)
        deflateEnd(&mStream);
    if (mWhole)
        libdeflate_free_compressor(mWhole);
}

bool ChunkDeflater::begin(int level, const char *dictionary, std::size_t length)
{
    mLevel = level;
    mDictionary = dictionary;
    mDictionaryLength = length;
    mFresh = length == 0;
    mZlibReady = false;
    // A primed stream is zlib's in any case: set it up now, so a bad level
    // or dictionary is reported here.
    return mFresh || beginZlib();
}

bool ChunkDeflater::beginZlib()
{
    if (mLevel != mZlibLevel) {
        if (mZlibLevel >= 0)
            deflateEnd(&mStream);
        mStream = z_stream {};
        mZlibLevel = -1;
        if (deflateInit2(&mStream, mLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        mZlibLevel = mLevel;
    } else if (deflateReset(&mStream) != Z_OK) {
        return false;
    }
    mZlibReady = mDictionaryLength == 0
                 || deflateSetDictionary(&mStream, reinterpret_cast<const Bytef *>(mDictionary),
                                         static_cast<uInt>(mDictionaryLength))
                        == Z_OK;
    return mZlibReady;
}

long long ChunkDeflater::deflate(const char *input, std::size_t length, bool last, ChunkBuffer &output)
{
    const bool whole = mFresh && last;
    mFresh = false;
    if (whole) {
        const long long produced = deflateWhole(input, length, output);
        if (produced >= 0)
            return produced;
    }
    if (!mZlibReady && !beginZlib())
        return -1;
    return deflateChunk(mStream, input, length, last, output);
}

long long ChunkDeflater::deflateWhole(const char *input, std::size_t length, ChunkBuffer &output)
{
    if (mLevel < 1 || mLevel > 9)
        return -1;
    if (mWholeLevel != mLevel) {
        if (mWhole)
            libdeflate_free_compressor(mWhole);
        mWhole = libdeflate_alloc_compressor(mLevel);
        mWholeLevel = mWhole ? mLevel : -1;
        if (!mWhole)
            return -1;
    }
    output.grow(std::max(output.capacity(), libdeflate_deflate_compress_bound(mWhole, length)), 0);
    const std::size_t produced = libdeflate_deflate_compress(mWhole, input, length, output.data(), output.capacity());
    // Nothing produced means it did not fit: zlib takes the chunk instead.
    return produced == 0 ? -1 : static_cast<long long>(produced);
}

long long deflateChunk(z_stream &stream, const char *input, std::size_t length, bool last, ChunkBuffer &output)
{
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input));
    stream.avail_in = static_cast<uInt>(length);
    std::size_t produced = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef *>(output.data() + produced);
        stream.avail_out = static_cast<uInt>(output.capacity() - produced);
        const int result = ::deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        produced = output.capacity() - stream.avail_out;
        if (result < 0 && result != Z_BUF_ERROR)
            return -1;
        const bool done = last ? result == Z_STREAM_END : (stream.avail_in == 0 && stream.avail_out != 0);
        if (done)
            return static_cast<long long>(produced);
        // No progress although there was room: the stream is stuck.
        if (stream.avail_out != 0 && result == Z_BUF_ERROR)
            return -1;
        output.grow(output.capacity() + 65536, produced);
    }
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
    return *this;
}

bool SourceCompressor::opened()
{
    if (!mOpenTried) {
        mOpenTried = true;
        mSource = mFileSystem->openSource(mPath, mShareMode, mOpenError);
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
    return mMethod != zip::methodDeflated || mDeflater.begin(mMode);
}

bool SourceCompressor::next(ReadyChunk &chunk)
{
    if (!opened() || mEnded || mRead >= mSource->size())
        return false;
    if (mRead == 0 && !beginStream()) {
        mEnded = true;
        return false;
    }
    // Never read past the size the file had when opened: a file that grows
    // meanwhile is stored as it was, and the finish flag below stays right.
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
    if (mMethod != zip::methodDeflated)
        return true;
    const std::size_t bound = deflateOutputBound(got);
    if (mOutput.capacity() < bound)
        mOutput = ChunkBuffer(bound);
    const long long produced = mDeflater.deflate(mInput.data(), got, chunk.last, mOutput);
    chunk.data = mOutput.data();
    chunk.size = produced < 0 ? 0 : static_cast<std::size_t>(produced);
    chunk.failed = produced < 0;
    mEnded = mEnded || chunk.failed;
    return true;
}

} // namespace voriraz

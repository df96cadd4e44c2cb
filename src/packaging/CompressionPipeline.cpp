#include "packaging/CompressionPipeline.h"

#include "packaging/ArchiveRecords.h"
#include "packaging/SourceCompressor.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <zlib.h>

namespace voriraz {

namespace {

constexpr std::size_t dictionarySize = 32768;

// Chunks up to this size (small files) use buffers of their own, many of
// them: the reader can then run far ahead over small files while a large
// chunk is compressed, at little memory.
constexpr std::size_t smallChunk = 65536;
constexpr std::size_t smallSlots = 32;

} // namespace

std::size_t CompressionPipeline::slotCount(int threads)
{
    return std::min<std::size_t>(4 * static_cast<std::size_t>(threads) + 2, 12);
}

CompressionPipeline::CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem,
                                         TFileShareMode shareMode, int threads)
    : mJobs(std::move(jobs)), mFileSystem(fileSystem), mShareMode(shareMode)
{
    for (std::size_t i = 0; i < mJobs.size(); ++i)
        mEntries.push_back(std::unique_ptr<Entry>(new Entry(*this)));
    // Buffers get their largest size up front, so later chunks never
    // reallocate them: reallocation across threads fragments the heap and
    // lets the memory grow well beyond what the buffers hold. Reserved
    // pages cost nothing until a chunk uses them.
    std::size_t largestChunk = 0;
    for (const PipelineJob &job : mJobs)
        largestChunk = std::max(largestChunk, compressionChunkSize(job.mode));
    const auto addSlots = [this](std::size_t count, std::size_t capacity, std::vector<Slot *> &pool) {
        for (std::size_t i = 0; i < count; ++i) {
            auto slot = std::make_unique<Slot>();
            slot->capacity = capacity;
            slot->input.reserve(capacity);
            slot->output.reserve(deflateOutputBound(capacity));
            slot->dictionary.reserve(dictionarySize);
            pool.push_back(slot.get());
            mSlots.push_back(std::move(slot));
        }
    };
    addSlots(slotCount(threads), std::max(largestChunk, smallChunk), mFree);
    addSlots(smallSlots, smallChunk, mFreeSmall);
    mReader = std::thread([this] { readAhead(); });
    for (int i = 0; i < threads; ++i)
        mWorkers.emplace_back([this] { compressChunks(); });
}

CompressionPipeline::~CompressionPipeline()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWorkQueued.notify_all();
    mSlotFreed.notify_all();
    mEntryMoved.notify_all();
    mReader.join();
    for (auto &worker : mWorkers)
        worker.join();
}

CompressionPipeline::Entry &CompressionPipeline::take()
{
    return *mEntries.at(mTaken++);
}

CompressionPipeline::Slot *CompressionPipeline::acquireSlot(std::size_t size)
{
    std::unique_lock lock(mMutex);
    const bool small = size <= smallChunk;
    mSlotFreed.wait(lock, [&] { return mStop || !mFree.empty() || (small && !mFreeSmall.empty()); });
    if (mStop)
        return nullptr;
    std::vector<Slot *> &pool = small && !mFreeSmall.empty() ? mFreeSmall : mFree;
    Slot *slot = pool.back();
    pool.pop_back();
    return slot;
}

void CompressionPipeline::releaseSlot(Slot *slot)
{
    {
        std::lock_guard lock(mMutex);
        (slot->capacity <= smallChunk ? mFreeSmall : mFree).push_back(slot);
    }
    mSlotFreed.notify_one();
}

void CompressionPipeline::readAhead()
{
    std::vector<char> previousTail;
    previousTail.reserve(dictionarySize);
    for (std::size_t index = 0; index < mJobs.size(); ++index) {
        const PipelineJob &job = mJobs[index];
        Entry &entry = *mEntries[index];
        std::unique_ptr<SourceFile> source;
        // Sources the writer refuses before reading them are not opened here.
        if (!job.sourcePath.empty() && job.sourcePath.size() <= PATH_MAX - 1)
            source = mFileSystem.openSource(job.sourcePath, mShareMode);
        const std::uint64_t size = source ? source->size() : 0;
        {
            std::lock_guard lock(mMutex);
            if (mStop)
                return;
            entry.mStarted = true;
            entry.mOpened = source != nullptr;
            entry.mSize = size;
            if (!source || size >= zip::max32)
                entry.mFinished = true;
        }
        mEntryMoved.notify_one();
        if (!source || size >= zip::max32)
            continue;

        const std::size_t chunkSize =
            static_cast<std::size_t>(std::min<std::uint64_t>(compressionChunkSize(job.mode), size));
        std::uint64_t read = 0;
        previousTail.clear();
        bool shortRead = false;
        while (read < size) {
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - read));
            Slot *slot = acquireSlot(wanted);
            if (!slot)
                return;
            if (slot->input.size() < wanted)
                slot->input.resize(wanted);
            const std::size_t got = source->read(slot->input.data(), wanted);
            if (got == 0) {
                releaseSlot(slot);
                shortRead = true;
                break;
            }
            slot->inputLength = got;
            slot->dictionary.assign(previousTail.begin(), previousTail.end());
            slot->mode = job.mode;
            slot->method = job.method;
            slot->last = read + got >= size;
            slot->ready = false;
            slot->failed = false;
            const std::size_t tail = std::min(got, dictionarySize);
            previousTail.assign(slot->input.data() + got - tail, slot->input.data() + got);
            read += got;
            {
                std::lock_guard lock(mMutex);
                entry.mChunks.push_back(slot);
                mWork.push_back(slot);
            }
            mWorkQueued.notify_one();
            if (got < wanted) {
                shortRead = true;
                break;
            }
        }
        {
            std::lock_guard lock(mMutex);
            entry.mShort = shortRead;
            entry.mFinished = true;
        }
        mEntryMoved.notify_one();
    }
}

void CompressionPipeline::compressChunks()
{
    ChunkDeflater deflater;
    for (;;) {
        Slot *slot = nullptr;
        {
            std::unique_lock lock(mMutex);
            mWorkQueued.wait(lock, [this] { return mStop || !mWork.empty(); });
            if (mStop)
                return;
            slot = mWork.front();
            mWork.pop_front();
        }
        slot->crc32 = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef *>(slot->input.data()), static_cast<uInt>(slot->inputLength)));
        if (slot->method == zip::methodDeflated) {
            const std::size_t bound = deflateOutputBound(slot->inputLength);
            if (slot->output.size() < bound)
                slot->output.resize(bound);
            const long long produced =
                deflater.begin(slot->mode, slot->dictionary)
                    ? deflater.deflate(slot->input.data(), slot->inputLength, slot->last, slot->output)
                    : -1;
            slot->failed = produced < 0;
            slot->outputLength = produced < 0 ? 0 : static_cast<std::size_t>(produced);
        }
        {
            std::lock_guard lock(mMutex);
            slot->ready = true;
        }
        mEntryMoved.notify_one();
    }
}

bool CompressionPipeline::Entry::opened()
{
    std::unique_lock lock(mPipeline.mMutex);
    mPipeline.mEntryMoved.wait(lock, [this] { return mStarted || mPipeline.mStop; });
    return mOpened;
}

std::uint64_t CompressionPipeline::Entry::size()
{
    opened();
    return mSize;
}

bool CompressionPipeline::Entry::shortRead()
{
    std::unique_lock lock(mPipeline.mMutex);
    return mShort;
}

bool CompressionPipeline::Entry::next(ReadyChunk &chunk)
{
    if (mHeld) {
        mPipeline.releaseSlot(mHeld);
        mHeld = nullptr;
    }
    std::unique_lock lock(mPipeline.mMutex);
    const auto pending = [this] { return mChunks.size() - mNextChunk; };
    mPipeline.mEntryMoved.wait(lock, [&] {
        return mPipeline.mStop || (pending() > 0 && mChunks[mNextChunk]->ready) || (pending() == 0 && mFinished);
    });
    if (pending() == 0 || !mChunks[mNextChunk]->ready)
        return false;
    Slot *slot = mChunks[mNextChunk++];
    if (mNextChunk == mChunks.size()) {
        mChunks.clear();
        mNextChunk = 0;
    }
    mHeld = slot;
    const bool deflated = slot->method == zip::methodDeflated;
    chunk.data = deflated ? slot->output.data() : slot->input.data();
    chunk.size = deflated ? slot->outputLength : slot->inputLength;
    chunk.inputLength = slot->inputLength;
    chunk.crc32 = slot->crc32;
    chunk.failed = slot->failed;
    return true;
}

void CompressionPipeline::Entry::discard()
{
    ReadyChunk chunk;
    while (next(chunk)) {
    }
    if (mHeld) {
        mPipeline.releaseSlot(mHeld);
        mHeld = nullptr;
    }
}

} // namespace voriraz

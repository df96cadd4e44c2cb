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

// The writer is woken for this many ready chunks at once rather than for
// each: every wake-up takes a core from a worker for a while.
constexpr std::size_t writerBatch = 16;

// Large buffers given back are kept for reuse up to this many bytes: a
// reused buffer's pages are already there, where a new one would fault
// each page in and a freed one would be unmapped.
constexpr std::size_t spareLimit = 16u << 20;

} // namespace

CompressionPipeline::CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem,
                                         TFileShareMode shareMode, int threads, PipelineBudget budget)
    : mJobs(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end())), mFileSystem(fileSystem),
      mShareMode(shareMode), mBudget(budget), mSealed(true)
{
    for (std::size_t i = 0; i < mJobs.size(); ++i)
        mEntries.push_back(std::unique_ptr<Entry>(new Entry(*this)));
    start(threads);
}

CompressionPipeline::CompressionPipeline(ArchiveFileSystem &fileSystem, TFileShareMode shareMode, int threads,
                                         PipelineBudget budget)
    : mFileSystem(fileSystem), mShareMode(shareMode), mBudget(budget)
{
    start(threads);
}

void CompressionPipeline::start(int threads)
{
    mReader = std::thread([this] { readAhead(); });
    for (int i = 0; i < threads; ++i)
        mWorkers.emplace_back([this] { compressChunks(); });
}

void CompressionPipeline::add(PipelineJob job)
{
    auto entry = std::unique_ptr<Entry>(new Entry(*this));
    bool wake = false;
    {
        std::lock_guard lock(mMutex);
        if (mSealed)
            return;
        wake = mReaderWaitsForJob;
        mJobs.push_back(std::move(job));
        mEntries.push_back(std::move(entry));
    }
    if (wake)
        mInputFreed.notify_one();
}

void CompressionPipeline::seal()
{
    {
        std::lock_guard lock(mMutex);
        mSealed = true;
    }
    mInputFreed.notify_one();
}

std::size_t CompressionPipeline::jobCount() const
{
    std::lock_guard lock(mMutex);
    return mJobs.size();
}

const PipelineJob &CompressionPipeline::job(std::size_t index) const
{
    std::lock_guard lock(mMutex);
    return mJobs.at(index);
}

CompressionPipeline::~CompressionPipeline()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWorkQueued.notify_all();
    mInputFreed.notify_all();
    mEntryMoved.notify_all();
    mReader.join();
    for (auto &worker : mWorkers)
        worker.join();
}

CompressionPipeline::Entry &CompressionPipeline::take()
{
    std::lock_guard lock(mMutex);
    return *mEntries.at(mTaken++);
}

std::size_t CompressionPipeline::peakInputBytes() const
{
    std::lock_guard lock(mMutex);
    return mPeakInput;
}

std::size_t CompressionPipeline::peakOutputBytes() const
{
    std::lock_guard lock(mMutex);
    return mPeakOutput;
}

std::size_t CompressionPipeline::outputReserve(const Chunk &chunk)
{
    // Stored chunks keep their input as output.
    return chunk.method == zip::methodDeflated ? deflateOutputBound(chunk.inputLength) : chunk.inputCharge;
}

bool CompressionPipeline::writerShouldWake() const
{
    if (!mWriterWaiting)
        return false;
    // Waiting for an entry to be opened or finished: the reader's news.
    if (!mWriterWaitsFor)
        return true;
    // Waiting for a chunk: once it is ready, when a batch has gathered or
    // when the workers are about to stop, since nothing else would wake it.
    return mWriterWaitsFor->ready && (mReadyChunks >= writerBatch || !frontAdmitted());
}

bool CompressionPipeline::readerShouldWake() const
{
    return mReaderWaiting && (mInputBytes == 0 || mInputBytes <= mBudget.input / 2);
}

ChunkBuffer CompressionPipeline::takeSpare(std::size_t capacity)
{
    // The smallest spare that holds capacity, if it is not twice as large.
    auto best = mSpare.end();
    for (auto it = mSpare.begin(); it != mSpare.end(); ++it)
        if (it->capacity() >= capacity && it->capacity() < 2 * capacity
            && (best == mSpare.end() || it->capacity() < best->capacity()))
            best = it;
    if (best == mSpare.end())
        return ChunkBuffer();
    ChunkBuffer buffer = std::move(*best);
    *best = std::move(mSpare.back());
    mSpare.pop_back();
    mSpareBytes -= buffer.footprint();
    return buffer;
}

void CompressionPipeline::keepSpare(ChunkBuffer &buffer)
{
    if (buffer.mapped() && mSpareBytes + buffer.footprint() <= spareLimit) {
        mSpareBytes += buffer.footprint();
        mSpare.push_back(std::move(buffer));
    }
}

bool CompressionPipeline::frontAdmitted() const
{
    if (mWork.empty())
        return false;
    const Chunk &front = *mWork.front();
    return front.sequence == mNextToWrite || mOutputBytes + outputReserve(front) <= mBudget.output;
}

void CompressionPipeline::readAhead()
{
    std::uint64_t sequence = 0;
    // The last 32 KiB of the chunk before, which primes the next one: that
    // chunk's input may be compressed and gone by the time it is needed.
    std::vector<char> previousTail(dictionarySize);
    for (std::size_t index = 0;; ++index) {
        const PipelineJob *next = nullptr;
        Entry *nextEntry = nullptr;
        {
            // Jobs still being added are waited for.
            std::unique_lock lock(mMutex);
            if (index >= mJobs.size() && !mSealed && !mStop) {
                mReaderWaitsForJob = true;
                mInputFreed.wait(lock, [&] { return mStop || mSealed || index < mJobs.size(); });
                mReaderWaitsForJob = false;
            }
            if (mStop || index >= mJobs.size())
                return;
            next = &mJobs[index];
            nextEntry = mEntries[index].get();
        }
        const PipelineJob &job = *next;
        Entry &entry = *nextEntry;
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
            if (writerShouldWake())
                mEntryMoved.notify_one();
        }
        if (!source || size >= zip::max32)
            continue;

        const std::size_t chunkSize =
            static_cast<std::size_t>(std::min<std::uint64_t>(compressionChunkSize(job.mode), size));
        std::uint64_t read = 0;
        bool shortRead = false;
        while (read < size) {
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - read));
            const std::size_t dictionary = read == 0 ? 0 : dictionarySize;
            auto chunk = std::make_unique<Chunk>();
            chunk->inputCharge = dictionary + wanted;
            {
                // Everything read before was compressed when nothing is held,
                // so the chunk the writer waits for is always let through.
                // Once full, reading resumes only when half the budget is
                // free again, so the reader wakes seldom.
                std::unique_lock lock(mMutex);
                const std::size_t charge = chunk->inputCharge;
                if (mInputBytes > 0 && mInputBytes + charge > mBudget.input) {
                    mReaderWaiting = true;
                    mInputFreed.wait(lock, [&] {
                        return mStop || mInputBytes == 0
                               || (mInputBytes <= mBudget.input / 2 && mInputBytes + charge <= mBudget.input);
                    });
                    mReaderWaiting = false;
                }
                if (mStop)
                    return;
                chunk->input = takeSpare(charge);
                // A reused buffer holds the pages of its earlier chunks too.
                chunk->inputCharge = std::max(charge, chunk->input.footprint());
                mInputBytes += chunk->inputCharge;
                mPeakInput = std::max(mPeakInput, mInputBytes);
            }
            if (!chunk->input.data())
                chunk->input = ChunkBuffer(chunk->inputCharge);
            if (dictionary > 0)
                std::memcpy(chunk->input.data(), previousTail.data(), dictionary);
            const std::size_t got = source->read(chunk->input.data() + dictionary, wanted);
            if (got == 0) {
                std::lock_guard lock(mMutex);
                mInputBytes -= chunk->inputCharge;
                shortRead = true;
                break;
            }
            chunk->input.wrote(dictionary + got);
            chunk->dictionaryLength = dictionary;
            chunk->inputLength = got;
            chunk->mode = job.mode;
            chunk->method = job.method;
            chunk->last = read + got >= size;
            read += got;
            if (!chunk->last && got >= dictionarySize)
                std::memcpy(previousTail.data(), chunk->input.data() + dictionary + got - dictionarySize,
                            dictionarySize);
            {
                std::lock_guard lock(mMutex);
                chunk->sequence = sequence++;
                mWork.push_back(chunk.get());
                entry.mChunks.push_back(std::move(chunk));
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
            if (writerShouldWake())
                mEntryMoved.notify_one();
        }
    }
}

void CompressionPipeline::compress(Chunk &chunk, ChunkDeflater &deflater)
{
    const char *input = chunk.input.data() + chunk.dictionaryLength;
    chunk.crc32 = updateCrc32(0, input, chunk.inputLength);
    if (chunk.method != zip::methodDeflated)
        return;
    if (chunk.output.capacity() < deflateOutputBound(chunk.inputLength))
        chunk.output = ChunkBuffer(deflateOutputBound(chunk.inputLength));
    const long long produced = deflater.begin(chunk.mode, chunk.input.data(), chunk.dictionaryLength)
                                   ? deflater.deflate(input, chunk.inputLength, chunk.last, chunk.output)
                                   : -1;
    chunk.failed = produced < 0;
    chunk.outputLength = produced < 0 ? 0 : static_cast<std::size_t>(produced);
    chunk.output.wrote(chunk.outputLength);
}

void CompressionPipeline::compressChunks()
{
    ChunkDeflater deflater;
    for (;;) {
        Chunk *chunk = nullptr;
        {
            std::unique_lock lock(mMutex);
            while (!mStop && !frontAdmitted()) {
                if (writerShouldWake())
                    mEntryMoved.notify_one();
                mWorkQueued.wait(lock);
            }
            if (mStop)
                return;
            chunk = mWork.front();
            mWork.pop_front();
            chunk->outputCharge = outputReserve(*chunk);
            if (chunk->method == zip::methodDeflated) {
                chunk->output = takeSpare(chunk->outputCharge);
                chunk->outputCharge = std::max(chunk->outputCharge, chunk->output.footprint());
            }
            mOutputBytes += chunk->outputCharge;
            mPeakOutput = std::max(mPeakOutput, mOutputBytes);
        }
        compress(*chunk, deflater);
        // A deflated chunk's input is given back now (kept for reuse, or
        // freed outside the lock); a stored chunk's input is its output and
        // moves to that budget.
        ChunkBuffer input;
        {
            std::lock_guard lock(mMutex);
            mInputBytes -= chunk->inputCharge;
            chunk->inputCharge = 0;
            if (chunk->method == zip::methodDeflated) {
                keepSpare(chunk->input);
                input = std::move(chunk->input);
                // Pages deflate never wrote were never held.
                mOutputBytes = mOutputBytes - chunk->outputCharge + chunk->output.footprint();
                chunk->outputCharge = chunk->output.footprint();
            }
            chunk->ready = true;
            ++mReadyChunks;
            if (readerShouldWake())
                mInputFreed.notify_one();
            if (writerShouldWake())
                mEntryMoved.notify_one();
        }
    }
}

void CompressionPipeline::release(std::unique_ptr<Chunk> chunk)
{
    if (!chunk)
        return;
    {
        std::lock_guard lock(mMutex);
        mOutputBytes -= chunk->outputCharge;
        mInputBytes -= chunk->inputCharge;
        keepSpare(chunk->output);
        keepSpare(chunk->input);
    }
    chunk.reset();
    mWorkQueued.notify_all();
}

void CompressionPipeline::waitForWriter(std::unique_lock<std::mutex> &lock, const Chunk *target)
{
    mWriterWaiting = true;
    mWriterWaitsFor = target;
    mEntryMoved.wait(lock);
    mWriterWaiting = false;
    mWriterWaitsFor = nullptr;
}

bool CompressionPipeline::Entry::opened()
{
    std::unique_lock lock(mPipeline.mMutex);
    while (!mStarted && !mPipeline.mStop)
        mPipeline.waitForWriter(lock, nullptr);
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
    mPipeline.release(std::move(mHeld));
    std::unique_lock lock(mPipeline.mMutex);
    const auto pending = [this] { return mChunks.size() - mNextChunk; };
    for (;;) {
        if (mPipeline.mStop || (pending() > 0 && mChunks[mNextChunk]->ready) || (pending() == 0 && mFinished))
            break;
        mPipeline.waitForWriter(lock, pending() > 0 ? mChunks[mNextChunk].get() : nullptr);
    }
    if (pending() == 0 || !mChunks[mNextChunk]->ready)
        return false;
    --mPipeline.mReadyChunks;
    mHeld = std::move(mChunks[mNextChunk++]);
    if (mNextChunk == mChunks.size()) {
        mChunks.clear();
        mNextChunk = 0;
    }
    ++mPipeline.mNextToWrite;
    lock.unlock();
    // A worker may have waited for this chunk to be taken: the next one is
    // now let through whatever the budget.
    mPipeline.mWorkQueued.notify_all();
    const Chunk &held = *mHeld;
    const bool deflated = held.method == zip::methodDeflated;
    chunk.data = deflated ? held.output.data() : held.input.data() + held.dictionaryLength;
    chunk.size = deflated ? held.outputLength : held.inputLength;
    chunk.inputLength = held.inputLength;
    chunk.crc32 = held.crc32;
    chunk.failed = held.failed;
    chunk.last = held.last;
    return true;
}

void CompressionPipeline::Entry::discard()
{
    ReadyChunk chunk;
    while (next(chunk)) {
    }
    mPipeline.release(std::move(mHeld));
}

} // namespace voriraz

#include "packaging/CompressionPipeline.h"

#include "packaging/ArchiveRecords.h"
#include "packaging/SourceCompressor.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

namespace voriraz {

// How the threads wait on one another
//
// One mutex guards everything the threads share, and nobody holds it across
// a read, a compression or a write. Each kind of thread waits on a condition
// of its own, so a change wakes only the thread that can act on it:
//
// - The reader waits on mInputFreed: for a job to be added (until seal()),
//   and for input budget when the chunk it is about to read would take the
//   input over it while something is held; it then waits until half the
//   budget is free again, or nothing is held, which always lets the chunk
//   the writer needs through. A worker wakes it when a compressed chunk
//   gives its input back below half the budget, add() and seal() when jobs
//   come, discard() when an entry it may be reading is given up.
// - Workers wait on mWorkQueued until the first queued chunk is admitted:
//   it is the chunk the writer takes next (mNextToWrite), or its output
//   fits the output budget. The reader wakes one per chunk queued; the
//   writer wakes them all when it takes a chunk (the next is then admitted
//   whatever the budget), gives memory back or gives an entry up.
// - The writer waits on mEntryMoved for its entry to be opened or finished
//   (the reader's news) or for the chunk it needs to be compressed. A worker
//   wakes it once that chunk is ready and either a batch of writerBatch
//   chunks is ready or no worker could start on anything else, since
//   nothing would wake it then.
// - discard() marks the entry given up and, under the lock, drops its queued
//   and ready chunks, leaves those being compressed to their workers (which
//   free them once done, from mOrphans) and moves mNextToWrite past the
//   entry, so the next entry's first chunk is admitted. The reader checks
//   the mark before it opens a source, while it waits for budget and before
//   it queues a chunk it has read, and then goes on to the next job.
// - interrupt() and the destructor set mStop and wake everyone: the reader
//   and the workers return after the read or compression at hand, and the
//   writer's waits return false. So a cancel, an abort or a failed write
//   never waits for more than the chunks being read or compressed.

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

PipelineJob::PipelineJob(const std::string &path, int mode_, int method_) : mode(mode_), method(method_)
{
    if (path.empty())
        return;
    const std::size_t slash = path.rfind('/');
    folder = std::make_shared<const std::string>(slash == std::string::npos ? std::string() : path.substr(0, slash));
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

PipelineJob::PipelineJob(std::shared_ptr<const std::string> folder_, std::string name_, int mode_, int method_)
    : folder(std::move(folder_)), name(std::move(name_)), mode(mode_), method(method_)
{
}

std::string PipelineJob::sourcePath() const
{
    if (name.empty())
        return {};
    return (folder ? *folder : std::string()) + "/" + name;
}

CompressionPipeline::CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem,
                                         TFileShareMode shareMode, int threads, PipelineBudget budget)
    : mJobs(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end())), mAdded(mJobs.size()),
      mFileSystem(fileSystem), mShareMode(shareMode), mBudget(budget), mSealed(true)
{
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
    bool wake = false;
    {
        std::lock_guard lock(mMutex);
        if (mSealed)
            return;
        wake = mReaderWaitsForJob;
        mJobs.push_back(std::move(job));
        ++mAdded;
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
    return mAdded;
}

void CompressionPipeline::interrupt()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWorkQueued.notify_all();
    mInputFreed.notify_all();
    mEntryMoved.notify_all();
}

CompressionPipeline::~CompressionPipeline()
{
    interrupt();
    mReader.join();
    for (auto &worker : mWorkers)
        worker.join();
}

CompressionPipeline::Entry &CompressionPipeline::take()
{
    std::lock_guard lock(mMutex);
    if (mTaken >= mAdded)
        throw std::out_of_range("no entry left to take");
    ++mTaken;
    dropFinishedEntries();
    return entryAt(mTaken - 1);
}

CompressionPipeline::Entry &CompressionPipeline::entryAt(std::size_t index)
{
    while (mFirstEntry + mEntries.size() <= index)
        mEntries.push_back(std::unique_ptr<Entry>(new Entry(*this)));
    return *mEntries[index - mFirstEntry];
}

void CompressionPipeline::dropFinishedEntries()
{
    // The writer is done with every entry before the one it took last.
    const std::size_t writerPast = mTaken > 0 ? mTaken - 1 : 0;
    while (!mEntries.empty() && mFirstEntry < std::min(writerPast, mReading)) {
        std::unique_ptr<Entry> entry = std::move(mEntries.front());
        mEntries.pop_front();
        ++mFirstEntry;
        // Given up in any case, so no chunk outlives it unaccounted.
        entry->abandon();
    }
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
    // The last 32 KiB of the chunk before, which primes the next one: that
    // chunk's input may be compressed and gone by the time it is needed.
    std::vector<char> previousTail(dictionarySize);
    for (;;) {
        PipelineJob job;
        Entry *entry = nullptr;
        {
            // Jobs still being added are waited for.
            std::unique_lock lock(mMutex);
            if (mJobs.empty() && !mSealed && !mStop) {
                mReaderWaitsForJob = true;
                mInputFreed.wait(lock, [&] { return mStop || mSealed || !mJobs.empty(); });
                mReaderWaitsForJob = false;
            }
            if (mStop || mJobs.empty())
                return;
            job = std::move(mJobs.front());
            mJobs.pop_front();
            entry = &entryAt(mReading);
        }
        const bool goOn = readSource(job, *entry, previousTail);
        std::lock_guard lock(mMutex);
        ++mReading;
        dropFinishedEntries();
        if (!goOn)
            return;
    }
}

bool CompressionPipeline::readSource(const PipelineJob &job, Entry &entry, std::vector<char> &previousTail)
{
    bool stop = false;
    const std::unique_ptr<SourceFile> source = openJob(job, entry, stop);
    if (!source)
        return !stop;
    const std::uint64_t size = source->size();
    const std::size_t chunkSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(compressionChunkSize(job.mode), size));
    std::uint64_t read = 0;
    bool shortRead = false;
    while (read < size) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - read));
        const std::size_t dictionary = read == 0 ? 0 : dictionarySize;
        std::unique_ptr<Chunk> chunk = reserveInput(entry, dictionary + wanted, stop);
        if (stop)
            return false;
        if (!chunk)
            break;
        if (dictionary > 0)
            std::memcpy(chunk->input.data(), previousTail.data(), dictionary);
        const std::size_t got = source->read(chunk->input.data() + dictionary, wanted);
        chunk->input.wrote(dictionary + got);
        chunk->dictionaryLength = dictionary;
        chunk->inputLength = got;
        chunk->mode = job.mode;
        chunk->method = job.method;
        chunk->last = read + got >= size;
        if (!chunk->last && got >= dictionarySize)
            std::memcpy(previousTail.data(), chunk->input.data() + dictionary + got - dictionarySize,
                        dictionarySize);
        {
            std::lock_guard lock(mMutex);
            if (mStop || entry.mAbandoned || got == 0) {
                uncharge(*chunk);
                if (mStop)
                    return false;
                shortRead = got == 0 && !entry.mAbandoned;
                break;
            }
            read += got;
            chunk->sequence = mNextSequence++;
            mWork.push_back(chunk.get());
            entry.mChunks.push_back(std::move(chunk));
        }
        mWorkQueued.notify_one();
        if (got < wanted) {
            shortRead = true;
            break;
        }
    }
    std::lock_guard lock(mMutex);
    entry.mShort = shortRead;
    entry.mReadError = shortRead ? source->error() : 0;
    entry.mFinished = true;
    entry.mEndSequence = mNextSequence;
    if (writerShouldWake())
        mEntryMoved.notify_one();
    return true;
}

std::unique_ptr<SourceFile> CompressionPipeline::openJob(const PipelineJob &job, Entry &entry, bool &stop)
{
    bool abandoned = false;
    {
        std::lock_guard lock(mMutex);
        abandoned = entry.mAbandoned;
    }
    std::unique_ptr<SourceFile> source;
    int openError = 0;
    // Sources the writer refuses before reading them are neither opened nor read.
    if (const std::string path = job.sourcePath(); !abandoned && !path.empty() && !sourcePathTooLong(path))
        source = mFileSystem.openSource(path, mShareMode, openError);
    const std::uint64_t size = source ? source->size() : 0;
    const bool nothingToRead = !source || needsZip64(size);
    std::lock_guard lock(mMutex);
    stop = mStop;
    if (mStop)
        return nullptr;
    entry.mStarted = true;
    entry.mOpened = source != nullptr;
    entry.mOpenError = openError;
    entry.mSize = size;
    if (nothingToRead || entry.mAbandoned) {
        entry.mFinished = true;
        entry.mEndSequence = mNextSequence;
    }
    if (writerShouldWake())
        mEntryMoved.notify_one();
    return entry.mFinished ? nullptr : std::move(source);
}

std::unique_ptr<CompressionPipeline::Chunk> CompressionPipeline::reserveInput(Entry &entry, std::size_t charge,
                                                                               bool &stop)
{
    auto chunk = std::make_unique<Chunk>();
    {
        // Everything read before was compressed when nothing is held, so the
        // chunk the writer waits for is always let through. Once full,
        // reading resumes only when half the budget is free again, so the
        // reader wakes seldom.
        std::unique_lock lock(mMutex);
        if (mInputBytes > 0 && mInputBytes + charge > mBudget.input && !entry.mAbandoned) {
            mReaderWaiting = true;
            mInputFreed.wait(lock, [&] {
                return mStop || entry.mAbandoned || mInputBytes == 0
                       || (mInputBytes <= mBudget.input / 2 && mInputBytes + charge <= mBudget.input);
            });
            mReaderWaiting = false;
        }
        stop = mStop;
        if (mStop || entry.mAbandoned)
            return nullptr;
        chunk->input = takeSpare(charge);
        // A reused buffer holds the pages of its earlier chunks too.
        chunk->inputCharge = std::max(charge, chunk->input.footprint());
        mInputBytes += chunk->inputCharge;
        mPeakInput = std::max(mPeakInput, mInputBytes);
    }
    if (!chunk->input.data())
        chunk->input = ChunkBuffer(chunk->inputCharge);
    return chunk;
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
    while (Chunk *chunk = takeWork()) {
        compress(*chunk, deflater);
        if (std::unique_ptr<Chunk> orphan = finishChunk(*chunk)) {
            orphan.reset();
            mWorkQueued.notify_all();
        }
    }
}

CompressionPipeline::Chunk *CompressionPipeline::takeWork()
{
    std::unique_lock lock(mMutex);
    while (!mStop && !frontAdmitted()) {
        if (writerShouldWake())
            mEntryMoved.notify_one();
        mWorkQueued.wait(lock);
    }
    if (mStop)
        return nullptr;
    Chunk *chunk = mWork.front();
    mWork.pop_front();
    chunk->compressing = true;
    chunk->outputCharge = outputReserve(*chunk);
    if (chunk->method == zip::methodDeflated) {
        chunk->output = takeSpare(chunk->outputCharge);
        chunk->outputCharge = std::max(chunk->outputCharge, chunk->output.footprint());
    }
    mOutputBytes += chunk->outputCharge;
    mPeakOutput = std::max(mPeakOutput, mOutputBytes);
    return chunk;
}

std::unique_ptr<CompressionPipeline::Chunk> CompressionPipeline::finishChunk(Chunk &chunk)
{
    // A deflated chunk's input is given back now (kept for reuse, or freed
    // outside the lock); a stored chunk's input is its output and moves to
    // that budget. A chunk whose entry was given up meanwhile is freed whole.
    ChunkBuffer input;
    std::unique_ptr<Chunk> orphan;
    std::lock_guard lock(mMutex);
    chunk.compressing = false;
    mInputBytes -= chunk.inputCharge;
    chunk.inputCharge = 0;
    if (chunk.method == zip::methodDeflated) {
        keepSpare(chunk.input);
        input = std::move(chunk.input);
        // Pages deflate never wrote were never held.
        mOutputBytes = mOutputBytes - chunk.outputCharge + chunk.output.footprint();
        chunk.outputCharge = chunk.output.footprint();
    }
    if (chunk.abandoned) {
        const auto found = std::find_if(mOrphans.begin(), mOrphans.end(),
                                        [&chunk](const auto &held) { return held.get() == &chunk; });
        orphan = std::move(*found);
        *found = std::move(mOrphans.back());
        mOrphans.pop_back();
        uncharge(*orphan);
    } else {
        chunk.ready = true;
        ++mReadyChunks;
    }
    if (readerShouldWake())
        mInputFreed.notify_one();
    if (writerShouldWake())
        mEntryMoved.notify_one();
    return orphan;
}

void CompressionPipeline::uncharge(Chunk &chunk)
{
    mOutputBytes -= chunk.outputCharge;
    mInputBytes -= chunk.inputCharge;
    chunk.outputCharge = 0;
    chunk.inputCharge = 0;
    keepSpare(chunk.output);
    keepSpare(chunk.input);
}

void CompressionPipeline::release(std::unique_ptr<Chunk> chunk)
{
    if (!chunk)
        return;
    {
        std::lock_guard lock(mMutex);
        uncharge(*chunk);
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

int CompressionPipeline::Entry::openError()
{
    std::lock_guard lock(mPipeline.mMutex);
    return mOpenError;
}

std::uint64_t CompressionPipeline::Entry::size()
{
    opened();
    std::lock_guard lock(mPipeline.mMutex);
    return mSize;
}

bool CompressionPipeline::Entry::shortRead()
{
    std::lock_guard lock(mPipeline.mMutex);
    return mShort;
}

int CompressionPipeline::Entry::readError()
{
    std::lock_guard lock(mPipeline.mMutex);
    return mReadError;
}

bool CompressionPipeline::Entry::next(ReadyChunk &chunk)
{
    mPipeline.release(std::move(mHeld));
    std::unique_lock lock(mPipeline.mMutex);
    const auto pending = [this] { return mChunks.size() - mNextChunk; };
    for (;;) {
        if (mPipeline.mStop || mAbandoned || (pending() > 0 && mChunks[mNextChunk]->ready)
            || (pending() == 0 && mFinished))
            break;
        mPipeline.waitForWriter(lock, pending() > 0 ? mChunks[mNextChunk].get() : nullptr);
    }
    if (mPipeline.mStop || mAbandoned || pending() == 0 || !mChunks[mNextChunk]->ready)
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
    std::vector<std::unique_ptr<Chunk>> dropped;
    {
        std::lock_guard lock(mPipeline.mMutex);
        dropped = abandon();
    }
    // The next entry's first chunk may now be admitted, and the reader may
    // wait for this entry's budget or be reading it.
    mPipeline.mWorkQueued.notify_all();
    mPipeline.mInputFreed.notify_one();
}

std::vector<std::unique_ptr<CompressionPipeline::Chunk>> CompressionPipeline::Entry::abandon()
{
    std::vector<std::unique_ptr<Chunk>> dropped;
    if (mAbandoned)
        return dropped;
    mAbandoned = true;
    CompressionPipeline &pipeline = mPipeline;
    if (mHeld) {
        pipeline.uncharge(*mHeld);
        dropped.push_back(std::move(mHeld));
    }
    for (std::size_t i = mNextChunk; i < mChunks.size(); ++i) {
        std::unique_ptr<Chunk> &chunk = mChunks[i];
        if (chunk->compressing) {
            chunk->abandoned = true;
            pipeline.mOrphans.push_back(std::move(chunk));
            continue;
        }
        if (chunk->ready)
            --pipeline.mReadyChunks;
        else
            pipeline.mWork.erase(std::find(pipeline.mWork.begin(), pipeline.mWork.end(), chunk.get()));
        pipeline.uncharge(*chunk);
        dropped.push_back(std::move(chunk));
    }
    mChunks.clear();
    mNextChunk = 0;
    // Its chunks are taken, in effect: the next entry's first one is the
    // one the writer needs.
    pipeline.mNextToWrite = std::max(pipeline.mNextToWrite, mFinished ? mEndSequence : pipeline.mNextSequence);
    return dropped;
}

} // namespace voriraz

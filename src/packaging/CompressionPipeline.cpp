#include "packaging/CompressionPipeline.h"

#include "packaging/ArchiveRecords.h"
#include "packaging/SourceCompressor.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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
//   budget is free again (a large chunk only until it fits), or nothing is
//   held, which always lets the chunk the writer needs through
//   (readerMayGoOn). A worker or the writer wakes it when giving input back
//   lets it go on, add() and seal() when jobs come, discard() when an entry
//   it may be reading is given up. Wake-ups are sent once the lock is let
//   go (Wakes), and each thread sends those it owes before it waits.
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
//   writer's waits return false. The destructor then joins every thread, so
//   none outlives what it uses. So a cancel, an abort or a failed write
//   never waits for more than the chunks being read or compressed, at most
//   one chunk's compression per worker.

namespace {

// The writer is woken for this many ready chunks at once rather than for
// each: every wake-up takes a core from a worker for a while.
constexpr std::size_t writerBatch = 16;

// Large buffers given back are kept for reuse up to this many bytes: a
// reused buffer's pages are already there, where a new one would fault
// each page in and a freed one would be unmapped.
constexpr std::size_t spareLimit = 8u << 20;

// Chunks are kept for reuse, with their heap buffers up to smallBufferLimit
// bytes, so packing many small files does not allocate and free three
// blocks per file on different threads. A kept buffer serves a chunk
// needing at least half of it, or any chunk when it is under
// smallBufferFloor.
constexpr std::size_t chunkPoolLimit = 128;
// Small inputs of compressed chunks are kept apart, up to this many, since
// the chunk itself waits for the writer.
constexpr std::size_t smallInputLimit = 256;
constexpr std::size_t smallBufferLimit = 16 * 1024;
constexpr std::size_t smallBufferFloor = 1024;

// The capacity of a new buffer for size bytes: small ones in powers of two
// from smallBufferFloor, so kept buffers fit later chunks of like sizes.
std::size_t bufferCapacity(std::size_t size)
{
    if (size > smallBufferLimit)
        return size;
    std::size_t capacity = smallBufferFloor;
    while (capacity < size)
        capacity *= 2;
    return capacity;
}

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

PipelineBudget PipelineBudget::forThreads(int threads)
{
    PipelineBudget budget;
    const std::size_t whole = static_cast<std::size_t>(wholeSourceLimit) * static_cast<std::size_t>(std::max(threads, 1))
                              + compressionChunkSize(9);
    budget.input = std::max(budget.input, whole);
    return budget;
}

CompressionPipeline::CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem,
                                         TFileShareMode shareMode, int threads, std::optional<PipelineBudget> budget)
    : mJobs(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end())), mAdded(mJobs.size()),
      mFileSystem(fileSystem), mShareMode(shareMode), mBudget(budget.value_or(PipelineBudget::forThreads(threads))),
      mSealed(true)
{
    start(threads);
}

CompressionPipeline::CompressionPipeline(ArchiveFileSystem &fileSystem, TFileShareMode shareMode, int threads,
                                         std::optional<PipelineBudget> budget)
    : mFileSystem(fileSystem), mShareMode(shareMode), mBudget(budget.value_or(PipelineBudget::forThreads(threads)))
{
    start(threads);
}

void CompressionPipeline::start(int threads)
{
    // The threads only read and compute: an interrupt of the process goes to
    // the thread that started them, which may defer it.
    const platform::InterruptsKeptFromNewThreads kept;
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
    // Every thread is joined before what it uses goes: a worker in the
    // middle of a compression finishes that one chunk (at most a whole
    // source of one chunk's size) and leaves.
    mReader.join();
    for (std::thread &worker : mWorkers)
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
    return mReaderWaiting && readerMayGoOn(mReaderWants);
}

bool CompressionPipeline::readerMayGoOn(std::size_t charge) const
{
    // Once full, reading resumes when half the budget is free again, so the
    // reader wakes seldom; a large chunk (a source compressed whole) as soon
    // as it fits, so a worker never idles while there is room for it.
    return mInputBytes == 0
           || (mInputBytes + charge <= mBudget.input && (mInputBytes <= mBudget.input / 2 || charge > mBudget.input / 4));
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

bool CompressionPipeline::fitsSmall(const ChunkBuffer &buffer, std::size_t size)
{
    return buffer.data() && !buffer.mapped() && buffer.capacity() >= size
           && buffer.capacity() <= std::max(2 * size, smallBufferFloor);
}

ChunkBuffer CompressionPipeline::takeSmall(std::size_t size)
{
    // The last few given back: like sizes tend to follow one another.
    const std::size_t first = mSmallInputs.size() > 8 ? mSmallInputs.size() - 8 : 0;
    for (std::size_t i = mSmallInputs.size(); i-- > first;) {
        if (fitsSmall(mSmallInputs[i], size)) {
            ChunkBuffer buffer = std::move(mSmallInputs[i]);
            mSmallInputs[i] = std::move(mSmallInputs.back());
            mSmallInputs.pop_back();
            return buffer;
        }
    }
    return ChunkBuffer();
}

std::unique_ptr<CompressionPipeline::Chunk> CompressionPipeline::takeChunk()
{
    if (mFreeChunks.empty())
        return std::make_unique<Chunk>();
    std::unique_ptr<Chunk> chunk = std::move(mFreeChunks.back());
    mFreeChunks.pop_back();
    return chunk;
}

void CompressionPipeline::recycle(std::unique_ptr<Chunk> &chunk)
{
    // Only chunks holding no pages come back: those are freed outside the
    // lock, by the caller.
    if (!chunk || mFreeChunks.size() >= chunkPoolLimit || chunk->input.mapped() || chunk->output.mapped())
        return;
    ChunkBuffer input = std::move(chunk->input);
    ChunkBuffer output = std::move(chunk->output);
    *chunk = Chunk();
    if (input.capacity() <= smallBufferLimit)
        chunk->input = std::move(input);
    if (output.capacity() <= smallBufferLimit)
        chunk->output = std::move(output);
    mFreeChunks.push_back(std::move(chunk));
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
    for (;;) {
        PipelineJob job;
        Entry *entry = nullptr;
        bool abandoned = false;
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
            abandoned = entry->mAbandoned;
        }
        if (!readSource(job, *entry, abandoned))
            return;
    }
}

bool CompressionPipeline::readSource(const PipelineJob &job, Entry &entry, bool abandoned)
{
    // Sources the writer refuses before reading them are neither opened nor read.
    std::unique_ptr<SourceFile> source;
    int openError = 0;
    if (const std::string path = job.sourcePath(); !abandoned && !path.empty() && !sourcePathTooLong(path))
        source = mFileSystem.openSource(path, mShareMode, openError);
    const std::uint64_t size = source ? source->size() : 0;
    const std::size_t chunkSize = sourceStepSize(job.mode, job.method, size);

    // The lock is taken three times for a source of one chunk: to tell the
    // writer it is opened and charge the chunk, to queue it and finish the
    // entry, and above, for the job.
    std::unique_lock lock(mMutex);
    if (mStop)
        return false;
    entry.mStarted = true;
    entry.mOpened = source != nullptr;
    entry.mOpenError = openError;
    entry.mSize = size;
    Wakes wakes;
    wakes.writer = writerShouldWake();
    std::uint64_t read = 0;
    std::uint64_t sizeAtEnd = size;
    bool shortRead = false;
    while (source && !needsZip64(size) && read < size) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - read));
        std::unique_ptr<Chunk> chunk = chargeInput(lock, entry, wanted, wakes);
        if (mStop)
            return false;
        if (!chunk)
            break;
        lock.unlock();
        wake(std::exchange(wakes, {}));
        if (!chunk->input.data())
            chunk->input = ChunkBuffer(bufferCapacity(wanted));
        const std::size_t got = source->read(chunk->input.data(), wanted);
        chunk->input.wrote(got);
        chunk->inputLength = got;
        chunk->mode = job.mode;
        chunk->method = job.method;
        chunk->last = read + got >= size;
        // Whether the file is still the size it was opened with, now that
        // it is read.
        if (chunk->last)
            sizeAtEnd = source->currentSize();
        lock.lock();
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
        wakes.worker = mIdleWorkers > 0;
        if (got < wanted) {
            shortRead = true;
            break;
        }
    }
    entry.mShort = shortRead;
    entry.mReadError = shortRead ? source->error() : 0;
    entry.mSizeAtEnd = sizeAtEnd;
    entry.mFinished = true;
    entry.mEndSequence = mNextSequence;
    wakes.writer = wakes.writer || writerShouldWake();
    // The entry may go now, if the writer is past it.
    ++mReading;
    dropFinishedEntries();
    lock.unlock();
    wake(wakes);
    return true;
}

std::unique_ptr<CompressionPipeline::Chunk> CompressionPipeline::chargeInput(std::unique_lock<std::mutex> &lock,
                                                                              Entry &entry, std::size_t charge,
                                                                              Wakes &wakes)
{
    // Everything read before was compressed when nothing is held, so the
    // chunk the writer waits for is always let through.
    if (mInputBytes > 0 && mInputBytes + charge > mBudget.input && !entry.mAbandoned) {
        // Whoever the reader's news would wake is woken before it waits.
        lock.unlock();
        wake(std::exchange(wakes, {}));
        lock.lock();
        mReaderWaiting = true;
        mReaderWants = charge;
        mInputFreed.wait(lock, [&] { return mStop || entry.mAbandoned || readerMayGoOn(charge); });
        mReaderWaiting = false;
    }
    if (mStop || entry.mAbandoned)
        return nullptr;
    std::unique_ptr<Chunk> chunk = takeChunk();
    if (!fitsSmall(chunk->input, charge))
        chunk->input = takeSmall(charge);
    if (!chunk->input.data())
        chunk->input = takeSpare(charge);
    // A reused buffer holds the pages of its earlier chunks too.
    chunk->inputCharge = std::max(bufferCapacity(charge), chunk->input.footprint());
    mInputBytes += chunk->inputCharge;
    mPeakInput = std::max(mPeakInput, mInputBytes);
    return chunk;
}

void CompressionPipeline::compress(Chunk &chunk, ChunkDeflater &deflater)
{
    const char *input = chunk.input.data();
    chunk.crc32 = updateCrc32(0, input, chunk.inputLength);
    if (chunk.method != zip::methodDeflated)
        return;
    if (chunk.output.capacity() < deflateOutputBound(chunk.inputLength))
        chunk.output = ChunkBuffer(bufferCapacity(deflateOutputBound(chunk.inputLength)));
    const long long produced = deflater.deflate(chunk.mode, input, chunk.inputLength, chunk.last, chunk.output);
    chunk.failed = produced < 0;
    chunk.outputLength = produced < 0 ? 0 : static_cast<std::size_t>(produced);
    chunk.output.wrote(chunk.outputLength);
}

void CompressionPipeline::compressChunks()
{
    ChunkDeflater deflater;
    Wakes wakes;
    std::unique_lock lock(mMutex);
    for (;;) {
        Chunk *chunk = takeWork(lock, wakes);
        if (!chunk)
            return;
        // The chunk's buffers move to the worker while it compresses them.
        Chunk work;
        work.input = std::move(chunk->input);
        work.output = std::move(chunk->output);
        work.inputLength = chunk->inputLength;
        work.mode = chunk->mode;
        work.method = chunk->method;
        work.last = chunk->last;
        lock.unlock();
        wake(std::exchange(wakes, {}));
        compress(work, deflater);
        lock.lock();
        chunk->input = std::move(work.input);
        chunk->output = std::move(work.output);
        chunk->crc32 = work.crc32;
        chunk->failed = work.failed;
        chunk->outputLength = work.outputLength;
        // What is freed is freed outside the lock.
        ChunkBuffer input;
        std::unique_ptr<Chunk> orphan;
        finishChunk(*chunk, input, orphan, wakes);
        if (orphan || input.data()) {
            lock.unlock();
            input = ChunkBuffer();
            orphan.reset();
            lock.lock();
        }
    }
}

CompressionPipeline::Chunk *CompressionPipeline::takeWork(std::unique_lock<std::mutex> &lock, Wakes &wakes)
{
    while (!mStop && !frontAdmitted()) {
        wakes.writer = wakes.writer || writerShouldWake();
        if (wakes.any()) {
            // Whoever this worker's news would wake is woken before it waits.
            lock.unlock();
            wake(std::exchange(wakes, {}));
            lock.lock();
            continue;
        }
        ++mIdleWorkers;
        mWorkQueued.wait(lock);
        --mIdleWorkers;
    }
    if (mStop)
        return nullptr;
    Chunk *chunk = mWork.front();
    mWork.pop_front();
    chunk->compressing = true;
    chunk->outputCharge = outputReserve(*chunk);
    if (chunk->method == zip::methodDeflated) {
        if (!fitsSmall(chunk->output, chunk->outputCharge))
            chunk->output = takeSpare(chunk->outputCharge);
        chunk->outputCharge = std::max(bufferCapacity(chunk->outputCharge), chunk->output.footprint());
    }
    mOutputBytes += chunk->outputCharge;
    mPeakOutput = std::max(mPeakOutput, mOutputBytes);
    return chunk;
}

void CompressionPipeline::finishChunk(Chunk &chunk, ChunkBuffer &input, std::unique_ptr<Chunk> &orphan,
                                      Wakes &wakes)
{
    // A deflated chunk's input is given back now (kept for reuse, or freed
    // outside the lock; a small one stays with the chunk); a stored chunk's
    // input is its output and moves to that budget. A chunk whose entry was
    // given up meanwhile is freed whole.
    const bool abandoned = chunk.abandoned;
    chunk.compressing = false;
    mInputBytes -= chunk.inputCharge;
    chunk.inputCharge = 0;
    if (chunk.method == zip::methodDeflated) {
        if (chunk.input.mapped())
            keepSpare(chunk.input);
        else if (mSmallInputs.size() < smallInputLimit)
            mSmallInputs.push_back(std::move(chunk.input));
        input = std::move(chunk.input);
        // Pages deflate never wrote were never held.
        mOutputBytes = mOutputBytes - chunk.outputCharge + chunk.output.footprint();
        chunk.outputCharge = chunk.output.footprint();
    }
    if (abandoned) {
        const auto found = std::find_if(mOrphans.begin(), mOrphans.end(),
                                        [&chunk](const auto &held) { return held.get() == &chunk; });
        orphan = std::move(*found);
        *found = std::move(mOrphans.back());
        mOrphans.pop_back();
        uncharge(*orphan);
        recycle(orphan);
        // Its output budget was given back: another worker may start.
        wakes.workers = mIdleWorkers > 0;
    } else {
        chunk.ready = true;
        ++mReadyChunks;
    }
    wakes.reader = readerShouldWake();
    wakes.writer = writerShouldWake();
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

void CompressionPipeline::giveBack(std::unique_ptr<Chunk> &chunk, Wakes &wakes)
{
    // A waiting worker may now fit its output, the reader its input.
    uncharge(*chunk);
    recycle(chunk);
    wakes.workers = wakes.workers || mIdleWorkers > 0;
    wakes.reader = wakes.reader || readerShouldWake();
}

void CompressionPipeline::wake(const Wakes &wakes)
{
    if (wakes.workers)
        mWorkQueued.notify_all();
    else if (wakes.worker)
        mWorkQueued.notify_one();
    if (wakes.reader)
        mInputFreed.notify_one();
    if (wakes.writer)
        mEntryMoved.notify_one();
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
    // Once the reader has dealt with the open, what it found stays: later
    // questions need no lock.
    if (mSeenStarted)
        return mOpened;
    std::unique_lock lock(mPipeline.mMutex);
    while (!mStarted && !mPipeline.mStop)
        mPipeline.waitForWriter(lock, nullptr);
    mSeenStarted = mStarted;
    return mOpened;
}

int CompressionPipeline::Entry::openError()
{
    opened();
    return mOpenError;
}

std::uint64_t CompressionPipeline::Entry::size()
{
    opened();
    return mSize;
}

bool CompressionPipeline::Entry::shortRead()
{
    if (mSeenFinished)
        return mShort;
    std::lock_guard lock(mPipeline.mMutex);
    return mShort;
}

std::uint64_t CompressionPipeline::Entry::sizeAtEnd()
{
    if (mSeenFinished)
        return mSizeAtEnd;
    std::lock_guard lock(mPipeline.mMutex);
    return mSizeAtEnd;
}

int CompressionPipeline::Entry::readError()
{
    if (mSeenFinished)
        return mReadError;
    std::lock_guard lock(mPipeline.mMutex);
    return mReadError;
}

bool CompressionPipeline::Entry::next(ReadyChunk &chunk)
{
    std::unique_ptr<Chunk> previous = std::move(mHeld);
    Wakes wakes;
    std::unique_lock lock(mPipeline.mMutex);
    if (previous)
        mPipeline.giveBack(previous, wakes);
    const auto pending = [this] { return mChunks.size() - mNextChunk; };
    for (;;) {
        if (mPipeline.mStop || mAbandoned || (pending() > 0 && mChunks[mNextChunk]->ready)
            || (pending() == 0 && mFinished))
            break;
        if (wakes.any()) {
            lock.unlock();
            mPipeline.wake(std::exchange(wakes, {}));
            lock.lock();
            continue;
        }
        mPipeline.waitForWriter(lock, pending() > 0 ? mChunks[mNextChunk].get() : nullptr);
    }
    if (mPipeline.mStop || mAbandoned || pending() == 0 || !mChunks[mNextChunk]->ready) {
        mSeenFinished = mFinished;
        lock.unlock();
        mPipeline.wake(wakes);
        previous.reset();
        return false;
    }
    --mPipeline.mReadyChunks;
    mHeld = std::move(mChunks[mNextChunk++]);
    if (mNextChunk == mChunks.size()) {
        mChunks.clear();
        mNextChunk = 0;
    }
    ++mPipeline.mNextToWrite;
    // A worker may have waited for this chunk to be taken: the next one is
    // now let through whatever the budget.
    wakes.workers = wakes.workers || (mPipeline.mIdleWorkers > 0 && mPipeline.frontAdmitted());
    lock.unlock();
    mPipeline.wake(wakes);
    previous.reset();
    const Chunk &held = *mHeld;
    const bool deflated = held.method == zip::methodDeflated;
    chunk.data = deflated ? held.output.data() : held.input.data();
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
    std::unique_lock lock(mPipeline.mMutex);
    // An entry the writer took whole gives back only the chunk it holds.
    const bool takenWhole = mFinished && mChunks.size() == mNextChunk;
    dropped = abandon();
    // Otherwise the next entry's first chunk may now be admitted, and the
    // reader may wait for this entry's budget or be reading it.
    Wakes wakes;
    wakes.workers = mPipeline.mIdleWorkers > 0 && (!takenWhole || !dropped.empty());
    wakes.reader = !takenWhole || mPipeline.readerShouldWake();
    for (auto &chunk : dropped)
        mPipeline.recycle(chunk);
    lock.unlock();
    mPipeline.wake(wakes);
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

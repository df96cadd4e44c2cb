#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ChunkBuffer.h"
#include "packaging/EntrySource.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace voriraz {

class ChunkDeflater;

// What the pipeline is asked to prepare for one entry: the source's folder,
// shared by the files of one folder, and its name, so a job waiting to be
// read costs little.
struct PipelineJob
{
    PipelineJob() = default;
    // A job for the file at path; an empty path for a directory, which has
    // nothing to read.
    PipelineJob(const std::string &path, int mode, int method);
    PipelineJob(std::shared_ptr<const std::string> folder, std::string name, int mode, int method);

    std::string sourcePath() const;

    std::shared_ptr<const std::string> folder;
    std::string name;
    int mode = 9;   // compression level
    int method = 8; // 8 deflate, 0 stored
};

// The memory a pipeline may hold, in bytes. Input is what was read and
// waits for (or is in) compression; output is what was compressed and waits
// for the writer. The chunk the writer needs next is always let through, so
// even budgets smaller than one chunk cannot stall the pipeline.
struct PipelineBudget
{
    std::size_t input = 12u << 20;
    std::size_t output = 24u << 20;

    // The budget for this many compressing threads: input for each of them
    // to compress a source whole while a chunk is read, so sources
    // compressed whole keep every thread busy.
    static PipelineBudget forThreads(int threads);
};

// Reads and compresses the sources of a list of entries ahead of the
// writer, on worker threads, and hands each entry's chunks to the writer
// strictly in order.
//
// One reader thread opens each source in turn and cuts it into chunks of
// the entry's chunk size; worker threads deflate the chunks, each on its
// own (ChunkDeflater): every chunk but the last ends on a byte boundary
// with a block that is not final, so the chunks' raw deflate data simply
// follow one another.
//
// Memory is bounded by bytes, not by a count of chunks: an input buffer is
// given back as soon as its chunk is compressed, and compressed output,
// usually much smaller than its input, waits for the writer within its own
// budget. The workers can thus run far ahead of a chunk that is slow to
// compress, over many small files or several large chunks, at little memory.
// A job is dropped once its source is opened and an entry once the writer
// and the reader are both past it, so what the pipeline keeps per entry
// does not grow with the tree.
//
// Failures found ahead (a source that cannot be opened, fewer bytes than
// its size) are only recorded; the writer raises them when it reaches that
// entry, in order, exactly as when it reads the source itself. An entry the
// writer gives up (a failed write, a source it refuses) is dropped at once:
// the reader stops reading it and its chunks not yet compressed never are.
class CompressionPipeline
{
    struct Chunk;

public:
    // A pipeline for these jobs and no more; without a budget, the one for
    // its threads.
    CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem, TFileShareMode shareMode,
                        int threads, std::optional<PipelineBudget> budget = {});
    // A pipeline whose jobs are added one by one, while it already reads and
    // compresses the first, until seal().
    CompressionPipeline(ArchiveFileSystem &fileSystem, TFileShareMode shareMode, int threads,
                        std::optional<PipelineBudget> budget = {});
    // Stops reading and compressing and joins the threads: it waits at most
    // for the chunks being read and compressed at that moment.
    ~CompressionPipeline();
    CompressionPipeline(const CompressionPipeline &) = delete;
    CompressionPipeline &operator=(const CompressionPipeline &) = delete;

    // The preparation of the next entry of the list, in order; the writer
    // takes each entry once and is done with it when it takes the next.
    class Entry final : public EntrySource
    {
    public:
        // Waits until the source was opened (or found unopenable); false
        // also once the pipeline is interrupted.
        bool opened() override;
        int openError() override;
        std::uint64_t size() override;
        // Waits for the next chunk. The previous chunk's buffer is given
        // back first.
        bool next(ReadyChunk &chunk) override;
        bool shortRead() override;
        int readError() override;
        std::uint64_t sizeAtEnd() override;
        // Gives up the entry without waiting: the reader stops reading it,
        // chunks not yet compressed are dropped, and every buffer it holds
        // is given back (those being compressed when that ends).
        void discard() override;

    private:
        friend class CompressionPipeline;
        explicit Entry(CompressionPipeline &pipeline) : mPipeline(pipeline) {}
        // discard() with the lock held; returns the chunks to free.
        std::vector<std::unique_ptr<Chunk>> abandon();

        CompressionPipeline &mPipeline;
        bool mStarted = false;   // the reader has dealt with the open
        bool mOpened = false;
        bool mFinished = false;  // no more chunks will come
        bool mShort = false;
        bool mAbandoned = false; // given up by the writer
        // What the writer saw under the lock: from then on the open's
        // findings, or the end's, no longer change.
        bool mSeenStarted = false;
        bool mSeenFinished = false;
        int mOpenError = 0;
        int mReadError = 0;
        std::uint64_t mSize = 0;
        std::uint64_t mSizeAtEnd = 0;
        std::uint64_t mEndSequence = 0; // one past its last chunk's, once finished
        // Chunks queued for the writer, from mNextChunk on. A vector, not a
        // deque: a deque's first block alone would cost more than the entry.
        std::vector<std::unique_ptr<Chunk>> mChunks;
        std::size_t mNextChunk = 0;
        std::unique_ptr<Chunk> mHeld;
    };

    // Appends a job, before seal(); called by the thread that takes.
    void add(PipelineJob job);
    // No more jobs will come; the reader ends after the last one.
    void seal();
    // The jobs added so far.
    std::size_t jobCount() const;

    Entry &take();

    // Stops reading and compressing, from any thread: waits in opened() and
    // next() end at once, and no chunk is started any more.
    void interrupt();

    // The most bytes of input and of output held at once so far.
    std::size_t peakInputBytes() const;
    std::size_t peakOutputBytes() const;

private:
    // Whom to wake once the lock is let go: a thread woken while the lock
    // is held would only wait for it at once. Each thread wakes those it
    // owes before it waits itself.
    struct Wakes
    {
        bool worker = false;  // one worker: a chunk was queued
        bool workers = false; // all: budget was given back
        bool reader = false;
        bool writer = false;
        bool any() const { return worker || workers || reader || writer; }
    };
    void wake(const Wakes &wakes);

    struct Chunk
    {
        std::uint64_t sequence = 0; // position among all chunks, in writing order
        ChunkBuffer input;
        std::size_t inputLength = 0;
        std::size_t inputCharge = 0;
        ChunkBuffer output;
        std::size_t outputLength = 0;
        std::size_t outputCharge = 0;
        std::uint32_t crc32 = 0;
        int mode = 9;
        int method = 8;
        bool last = false;
        bool compressing = false;
        bool abandoned = false; // its entry was given up while it was compressed
        bool ready = false;
        bool failed = false;
    };

    void readAhead();
    // Opens one job's source, tells the writer, and reads it into chunks;
    // false when the pipeline stops. abandoned: the entry was given up
    // before, so nothing is opened.
    bool readSource(const PipelineJob &job, Entry &entry, bool abandoned);
    // Waits for room in the input budget and returns a chunk charged with
    // charge bytes of input; none when the entry was given up or the
    // pipeline stops. With the lock held.
    std::unique_ptr<Chunk> chargeInput(std::unique_lock<std::mutex> &lock, Entry &entry, std::size_t charge,
                                       Wakes &wakes);
    void compressChunks();
    // The next chunk a worker may compress, charged with its output; null
    // once the pipeline stops. With the lock held.
    Chunk *takeWork(std::unique_lock<std::mutex> &lock, Wakes &wakes);
    // Makes a compressed chunk ready for the writer and gives a large input
    // back, to input; a chunk whose entry was given up meanwhile goes to
    // orphan unless it is kept for reuse. With the lock held; what comes
    // back is freed outside it.
    void finishChunk(Chunk &chunk, ChunkBuffer &input, std::unique_ptr<Chunk> &orphan, Wakes &wakes);
    static void compress(Chunk &chunk, ChunkDeflater &deflater);
    // The output a chunk may need before it is compressed.
    static std::size_t outputReserve(const Chunk &chunk);
    // Whether a worker may start on the first queued chunk.
    bool frontAdmitted() const;
    // Whether what changed is worth waking the writer or the reader for.
    bool writerShouldWake() const;
    bool readerShouldWake() const;
    // Whether the reader waiting to read charge bytes may go on.
    bool readerMayGoOn(std::size_t charge) const;
    // Waits once for the reader's or the workers' news on target, a chunk,
    // or on the entry the writer is at when null.
    void waitForWriter(std::unique_lock<std::mutex> &lock, const Chunk *target);
    // Takes a chunk's memory off the budgets and keeps its large buffers
    // for reuse; with the lock held.
    void uncharge(Chunk &chunk);
    // Gives a chunk the writer is done with back, and wakes whom that lets
    // go on; with the lock held. What is not kept is left to be freed.
    void giveBack(std::unique_ptr<Chunk> &chunk, Wakes &wakes);
    // A chunk from those kept for reuse, or a new one; and keeping one
    // (chunk is then null), if it holds no pages. Both with the lock held.
    std::unique_ptr<Chunk> takeChunk();
    void recycle(std::unique_ptr<Chunk> &chunk);
    // A kept small input buffer for size bytes, or none; with the lock held.
    ChunkBuffer takeSmall(std::size_t size);
    // Whether a kept small buffer serves size bytes.
    static bool fitsSmall(const ChunkBuffer &buffer, std::size_t size);
    // The entry of a job by its position, made when first needed; and
    // dropping the entries both the writer and the reader are past. Both
    // with the lock held.
    Entry &entryAt(std::size_t index);
    void dropFinishedEntries();
    // A kept buffer for capacity bytes, or none; and keeping one given back.
    // Both with the lock held.
    ChunkBuffer takeSpare(std::size_t capacity);
    void keepSpare(ChunkBuffer &buffer);

    void start(int threads);

    // Jobs not yet opened by the reader, and the entries from mFirstEntry on
    // that the writer or the reader needs; entries are made as the reader
    // or the writer reaches them and held by pointer.
    std::deque<PipelineJob> mJobs;
    std::deque<std::unique_ptr<Entry>> mEntries;
    std::size_t mFirstEntry = 0;
    std::size_t mAdded = 0;
    std::size_t mReading = 0; // the entry the reader is at
    std::size_t mTaken = 0;
    ArchiveFileSystem &mFileSystem;
    TFileShareMode mShareMode;
    PipelineBudget mBudget;
    bool mSealed = false;

    mutable std::mutex mMutex;
    std::deque<Chunk *> mWork;
    // Chunks of given-up entries still being compressed; their worker frees them.
    std::vector<std::unique_ptr<Chunk>> mOrphans;
    std::uint64_t mNextSequence = 0; // given to the next chunk read
    std::uint64_t mNextToWrite = 0;  // sequence of the chunk the writer takes next
    std::size_t mInputBytes = 0;
    std::size_t mOutputBytes = 0;
    std::size_t mPeakInput = 0;
    std::size_t mPeakOutput = 0;
    std::size_t mReadyChunks = 0;   // compressed and not yet taken by the writer
    std::vector<ChunkBuffer> mSpare; // large buffers given back, for reuse
    std::size_t mSpareBytes = 0;
    std::vector<std::unique_ptr<Chunk>> mFreeChunks; // kept for reuse
    std::vector<ChunkBuffer> mSmallInputs;           // likewise
    int mIdleWorkers = 0; // waiting for a chunk they may compress
    bool mReaderWaiting = false;    // for room to read
    std::size_t mReaderWants = 0;   // the input it waits to read
    bool mReaderWaitsForJob = false; // for a job to be added
    bool mWriterWaiting = false;
    const Chunk *mWriterWaitsFor = nullptr;
    std::condition_variable mWorkQueued;  // workers
    std::condition_variable mInputFreed;  // reader
    std::condition_variable mEntryMoved;  // writer
    bool mStop = false;

    std::thread mReader;
    std::vector<std::thread> mWorkers;
};

} // namespace voriraz

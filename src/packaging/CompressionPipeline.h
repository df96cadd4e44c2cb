#pragma once

#include "packaging/ArchiveIo.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voriraz {

// What the pipeline is asked to prepare for one entry.
struct PipelineJob
{
    std::string sourcePath; // empty for a directory: nothing to read
    int mode = 9;           // compression level
    int method = 8;         // 8 deflate, 0 stored
};

// One chunk of an entry, compressed and ready to be written.
struct ReadyChunk
{
    const char *data = nullptr;
    std::size_t size = 0;
    std::size_t inputLength = 0;
    std::uint32_t crc32 = 0; // of this chunk's input alone
    bool failed = false;     // deflate reported an error
};

// Reads and compresses the sources of a list of entries ahead of the
// writer, on worker threads, and hands each entry's chunks to the writer
// strictly in order.
//
// One reader thread opens each source in turn and cuts it into chunks of
// the entry's chunk size; worker threads deflate the chunks. A chunk after
// the first is primed with the last 32 KiB of the one before it, so the
// ratio stays that of one stream, and every chunk but the last ends with a
// sync flush, so the chunks' raw deflate data simply follow one another.
// A fixed number of chunk buffers bounds the memory whatever the sources'
// sizes; the reader waits for the writer to give buffers back.
//
// Failures found ahead (a source that cannot be opened, fewer bytes than
// its size) are only recorded; the writer raises them when it reaches that
// entry, in order, exactly as when it reads the source itself.
class CompressionPipeline
{
    struct Slot;

public:
    CompressionPipeline(std::vector<PipelineJob> jobs, ArchiveFileSystem &fileSystem, TFileShareMode shareMode,
                        int threads);
    // Stops reading and compressing and waits for the threads.
    ~CompressionPipeline();
    CompressionPipeline(const CompressionPipeline &) = delete;
    CompressionPipeline &operator=(const CompressionPipeline &) = delete;

    // The preparation of the next entry of the list, in order; the writer
    // takes each entry once.
    class Entry
    {
    public:
        // Waits until the source was opened (or found unopenable).
        bool opened();
        std::uint64_t size();
        // The next chunk, waiting for it; false when the entry has no more.
        // The previous chunk's buffer is given back first.
        bool next(ReadyChunk &chunk);
        // Whether reading stopped before the source's size was reached.
        bool shortRead();
        // Gives back every buffer the entry still holds.
        void discard();

    private:
        friend class CompressionPipeline;
        explicit Entry(CompressionPipeline &pipeline) : mPipeline(pipeline) {}

        CompressionPipeline &mPipeline;
        bool mStarted = false;   // the reader has dealt with the open
        bool mOpened = false;
        bool mFinished = false;  // no more chunks will come
        bool mShort = false;
        std::uint64_t mSize = 0;
        // Chunks queued for the writer, from mNextChunk on. A vector, not a
        // deque: a deque's first block alone would cost more than the entry.
        std::vector<Slot *> mChunks;
        std::size_t mNextChunk = 0;
        Slot *mHeld = nullptr;
    };

    Entry &take();

    // How many buffers for chunks of any size a pipeline of this many
    // threads uses (besides 32 small ones for chunks of small files).
    static std::size_t slotCount(int threads);

private:
    struct Slot
    {
        std::size_t capacity = 0;
        std::vector<char> input;
        std::size_t inputLength = 0;
        std::vector<char> dictionary;
        std::vector<char> output;
        std::size_t outputLength = 0;
        std::uint32_t crc32 = 0;
        int mode = 9;
        int method = 8;
        bool last = false;
        bool ready = false;
        bool failed = false;
    };

    void readAhead();
    void compressChunks();
    // A free buffer for a chunk of this size, waiting for one.
    Slot *acquireSlot(std::size_t size);
    void releaseSlot(Slot *slot);

    std::vector<PipelineJob> mJobs;
    ArchiveFileSystem &mFileSystem;
    TFileShareMode mShareMode;
    std::vector<std::unique_ptr<Entry>> mEntries;
    std::size_t mTaken = 0;

    std::vector<std::unique_ptr<Slot>> mSlots;
    std::vector<Slot *> mFree;      // buffers for chunks of any size
    std::vector<Slot *> mFreeSmall; // buffers for chunks of small files
    std::deque<Slot *> mWork;
    std::mutex mMutex;
    // Each kind of thread waits on its own condition, so an event wakes only
    // the thread that can act on it.
    std::condition_variable mWorkQueued;  // workers: a chunk to compress
    std::condition_variable mSlotFreed;   // reader: a buffer to fill
    std::condition_variable mEntryMoved;  // writer: an entry opened, a chunk ready
    bool mStop = false;

    std::thread mReader;
    std::vector<std::thread> mWorkers;
};

} // namespace voriraz

#pragma once

#include <cstddef>

namespace voriraz {

// The memory of one chunk's input or output. Large buffers are mapped pages
// of their own, their size rounded up to a multiple of 256 KiB so buffers of
// like sizes can be reused for one another, and given back whole when the
// buffer goes, so memory never fragments however the sizes vary and
// whichever thread frees it; pages never written cost nothing. Small
// buffers come from the heap.
class ChunkBuffer
{
public:
    ChunkBuffer() = default;
    explicit ChunkBuffer(std::size_t capacity);
    ~ChunkBuffer();
    ChunkBuffer(ChunkBuffer &&other) noexcept;
    ChunkBuffer &operator=(ChunkBuffer &&other) noexcept;
    ChunkBuffer(const ChunkBuffer &) = delete;
    ChunkBuffer &operator=(const ChunkBuffer &) = delete;

    char *data() const { return mData; }
    std::size_t capacity() const { return mCapacity; }
    bool mapped() const { return mMapped; }
    // Makes room for capacity bytes, keeping the first keep bytes.
    void grow(std::size_t capacity, std::size_t keep);
    // Records that the first used bytes were written.
    void wrote(std::size_t used) { mWritten = used > mWritten ? used : mWritten; }
    // The memory the buffer holds: its pages written so far, or all of it
    // when it comes from the heap.
    std::size_t footprint() const;

private:
    void release();

    char *mData = nullptr;
    std::size_t mCapacity = 0;
    bool mMapped = false;
    std::size_t mWritten = 0;
};

} // namespace voriraz

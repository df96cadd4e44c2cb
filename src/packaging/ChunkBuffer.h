#pragma once

#include <cstddef>

namespace voriraz {

// The memory of one chunk's input or output. Large buffers are mapped pages
// of their own, given back whole when the buffer goes, so memory never
// fragments however the sizes vary and whichever thread frees it; pages the
// chunk never touches cost nothing. Small buffers come from the heap.
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
    // Makes room for capacity bytes, keeping the first keep bytes.
    void grow(std::size_t capacity, std::size_t keep);
    // The memory the buffer holds once its first used bytes were written.
    std::size_t footprint(std::size_t used) const;

private:
    void release();

    char *mData = nullptr;
    std::size_t mCapacity = 0;
    bool mMapped = false;
};

} // namespace voriraz

#include "packaging/ChunkBuffer.h"

#include "platform/File.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace voriraz {

namespace {

// From this size a buffer gets pages of its own.
constexpr std::size_t mappedFrom = 256 * 1024;

} // namespace

ChunkBuffer::ChunkBuffer(std::size_t capacity) : mCapacity(capacity)
{
    if (capacity == 0)
        return;
    if (capacity >= mappedFrom) {
        mCapacity = capacity = (capacity + mappedFrom - 1) / mappedFrom * mappedFrom;
        void *pages = platform::allocatePages(capacity);
        if (!pages)
            throw std::bad_alloc();
        mData = static_cast<char *>(pages);
        mMapped = true;
    } else {
        mData = static_cast<char *>(std::malloc(capacity));
        if (!mData)
            throw std::bad_alloc();
    }
}

ChunkBuffer::~ChunkBuffer()
{
    release();
}

ChunkBuffer::ChunkBuffer(ChunkBuffer &&other) noexcept
    : mData(std::exchange(other.mData, nullptr)), mCapacity(std::exchange(other.mCapacity, 0)),
      mMapped(std::exchange(other.mMapped, false)), mWritten(std::exchange(other.mWritten, 0))
{
}

ChunkBuffer &ChunkBuffer::operator=(ChunkBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        mData = std::exchange(other.mData, nullptr);
        mCapacity = std::exchange(other.mCapacity, 0);
        mMapped = std::exchange(other.mMapped, false);
        mWritten = std::exchange(other.mWritten, 0);
    }
    return *this;
}

void ChunkBuffer::release()
{
    if (mMapped)
        platform::releasePages(mData, mCapacity);
    else
        std::free(mData);
    mData = nullptr;
    mCapacity = 0;
    mMapped = false;
    mWritten = 0;
}

void ChunkBuffer::grow(std::size_t capacity, std::size_t keep)
{
    if (capacity <= mCapacity)
        return;
    ChunkBuffer larger(capacity);
    keep = std::min(keep, mCapacity);
    if (keep > 0)
        std::memcpy(larger.mData, mData, keep);
    larger.wrote(keep);
    *this = std::move(larger);
}

std::size_t ChunkBuffer::footprint() const
{
    if (!mMapped)
        return mCapacity;
    const std::size_t page = platform::pageSize();
    return std::min(mCapacity, (mWritten + page - 1) / page * page);
}

} // namespace voriraz

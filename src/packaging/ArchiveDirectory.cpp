#include "packaging/ArchiveDirectory.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace voriraz {

namespace {

std::size_t hashOf(std::string_view name)
{
    return std::hash<std::string_view> {}(name);
}

} // namespace

std::string TArchiveDirEntry::sourcePath() const
{
    std::string_view name = storedName;
    if (!name.empty() && name.back() == '/')
        name.remove_suffix(1);
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string path = sourceFolder ? *sourceFolder : std::string();
    if (!path.empty() && path.back() != '/')
        path.push_back('/');
    path.append(name);
    if (isDirectory())
        path.push_back('/');
    return path;
}

void PositionIndex::insert(std::uint64_t hash, std::size_t position)
{
    if (position >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many archive entries");
    if ((mCount + 1) * 4 > mSlots.size() * 3) {
        std::vector<Slot> old(std::max<std::size_t>(16, mSlots.size() * 2));
        old.swap(mSlots);
        for (const Slot &slot : old)
            if (slot.position != 0)
                place(slot);
    }
    place({fold(hash), static_cast<std::uint32_t>(position + 1)});
    ++mCount;
}

void PositionIndex::place(Slot slot)
{
    std::size_t i = slot.hash & (mSlots.size() - 1);
    while (mSlots[i].position != 0)
        i = (i + 1) & (mSlots.size() - 1);
    mSlots[i] = slot;
}

void PositionIndex::clear()
{
    mSlots = {};
    mCount = 0;
}

TArchiveDirArray::TArchiveDirArray(const TArchiveDirArray &other)
    : mEntries(other.mEntries), mIndex(other.mIndex), mNameBlocks(other.mNameBlocks)
{
    // The last block is shared with other, which may still write into it.
}

TArchiveDirArray &TArchiveDirArray::operator=(const TArchiveDirArray &other)
{
    if (this != &other) {
        mEntries = other.mEntries;
        mIndex = other.mIndex;
        mNameBlocks = other.mNameBlocks;
        mNameNext = nullptr;
        mNameBlockFree = 0;
    }
    return *this;
}

std::string_view TArchiveDirArray::storeName(std::string_view name)
{
    if (name.size() > mNameBlockFree) {
        const std::size_t size = std::max(nameBlockSize, name.size());
        mNameBlocks.push_back(std::make_shared_for_overwrite<char[]>(size));
        mNameNext = mNameBlocks.back().get();
        mNameBlockFree = size;
    }
    char *const at = mNameNext;
    if (!name.empty())
        std::memcpy(at, name.data(), name.size());
    mNameNext += name.size();
    mNameBlockFree -= name.size();
    return {at, name.size()};
}

std::optional<std::size_t> TArchiveDirArray::find(std::string_view storedName) const
{
    return mIndex.find(hashOf(storedName),
                       [&](std::size_t position) { return mEntries[position].storedName == storedName; });
}

TArchiveDirEntry &TArchiveDirArray::append(TArchiveDirEntry entry, std::string_view storedName)
{
    entry.storedName = storeName(storedName);
    mIndex.insert(hashOf(entry.storedName), mEntries.size());
    mEntries.push_back(std::move(entry));
    return mEntries.back();
}

void TArchiveDirArray::replaceAt(std::size_t index, TArchiveDirEntry entry)
{
    entry.storedName = mEntries[index].storedName;
    mEntries[index] = std::move(entry);
}

void TArchiveDirArray::removeAt(std::size_t index)
{
    // The name stays in its block until the directory is cleared; the index
    // is built again, as every later position moves down by one.
    mEntries.erase(mEntries.begin() + static_cast<std::ptrdiff_t>(index));
    mIndex.clear();
    for (std::size_t i = 0; i < mEntries.size(); ++i)
        mIndex.insert(hashOf(mEntries[i].storedName), i);
}

void TArchiveDirArray::clear()
{
    mEntries.clear();
    mIndex.clear();
    mNameBlocks.clear();
    mNameNext = nullptr;
    mNameBlockFree = 0;
}

} // namespace voriraz

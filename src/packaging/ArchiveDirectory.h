#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ArchiveRecords.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz {

enum class TProcessOperation : std::uint8_t { poAdd, poUpdate };

// One file or directory of the archive: a small fixed record, its name kept
// in the name store of the directory that holds it.
struct TArchiveDirEntry
{
    // The fields of both headers, as the central header holds them.
    CentralHeader header;
    // Set for the entries of the current update; only they are written.
    bool modified = true;
    // Set when a size or the header offset does not fit 32 bits; such an
    // entry is refused.
    bool zip64 = false;
    TProcessOperation operation = TProcessOperation::poAdd;
    // 0 for a directory, else the archive's compression mode.
    std::uint8_t compressionMode = 0;
    // The name written after each header: '/' between parts, a trailing '/'
    // for a directory. Kept as the file system spells it (UTF-8) and
    // converted only when written. It lives in the directory's name store
    // and stays valid as long as the directory (or a copy of it) does.
    std::string_view storedName;
    // The folder of the file or directory the data comes from, shared by the
    // entries of one folder; its own name is the last part of storedName.
    std::shared_ptr<const std::string> sourceFolder;
    std::uint64_t uncompressedSize64 = 0;
    std::uint64_t headerOffset64 = 0;

    bool isDirectory() const { return (header.externalAttributes & zip::attributeDirectory) != 0; }
    // The full path of the source; a directory's ends with '/'.
    std::string sourcePath() const;
};

// Positions of entries by a hash of their names, several positions to a hash
// allowed: open addressing over slots of 8 bytes, with no node per entry.
// Names are compared by the caller, on the positions whose hash matches.
class PositionIndex
{
public:
    void insert(std::uint64_t hash, std::size_t position);
    // The first position of this hash for which match(position) holds.
    template <class Match>
    std::optional<std::size_t> find(std::uint64_t hash, Match match) const
    {
        if (mSlots.empty())
            return std::nullopt;
        const std::uint32_t key = fold(hash);
        for (std::size_t i = key & (mSlots.size() - 1);; i = (i + 1) & (mSlots.size() - 1)) {
            const Slot &slot = mSlots[i];
            if (slot.position == 0)
                return std::nullopt;
            if (slot.hash == key && match(std::size_t {slot.position - 1}))
                return std::size_t {slot.position - 1};
        }
    }
    void clear();

private:
    struct Slot
    {
        std::uint32_t hash = 0;
        std::uint32_t position = 0; // one more than the position; 0 when free
    };
    static std::uint32_t fold(std::uint64_t hash) { return static_cast<std::uint32_t>(hash ^ (hash >> 32)); }
    void place(Slot slot);

    std::vector<Slot> mSlots; // a power of two, at most three quarters used
    std::size_t mCount = 0;
};

// The entries in order of addition, with an index by stored name. Names are
// compared exactly: names differing in letter case are different entries.
// The names are copied once into blocks of a name store, shared by the
// copies of the directory, and the entries stay where they are as the
// directory grows.
class TArchiveDirArray
{
public:
    TArchiveDirArray() = default;
    TArchiveDirArray(const TArchiveDirArray &other);
    TArchiveDirArray &operator=(const TArchiveDirArray &other);

    std::size_t size() const { return mEntries.size(); }
    bool empty() const { return mEntries.empty(); }
    TArchiveDirEntry &operator[](std::size_t i) { return mEntries[i]; }
    const TArchiveDirEntry &operator[](std::size_t i) const { return mEntries[i]; }
    auto begin() const { return mEntries.begin(); }
    auto end() const { return mEntries.end(); }

    // Position of the entry with this stored name.
    std::optional<std::size_t> find(std::string_view storedName) const;
    // Appends an entry named storedName (its own storedName is replaced by
    // the directory's copy).
    TArchiveDirEntry &append(TArchiveDirEntry entry, std::string_view storedName);
    // Puts entry in place of the one at index, under the same name.
    void replaceAt(std::size_t index, TArchiveDirEntry entry);
    void removeAt(std::size_t index);
    void clear();

private:
    std::string_view storeName(std::string_view name);

    static constexpr std::size_t nameBlockSize = 64 * 1024;
    std::deque<TArchiveDirEntry> mEntries;
    PositionIndex mIndex;
    // Blocks of names, written once and never moved; a copy of the
    // directory shares them and writes into blocks of its own.
    std::vector<std::shared_ptr<char[]>> mNameBlocks;
    char *mNameNext = nullptr;      // where the next name goes in the last block
    std::size_t mNameBlockFree = 0; // bytes left there
};

// The state of one open archive: its file, the directory being built, the
// copy taken when the update began, and the end record.
struct TArchiveDirManager
{
    std::unique_ptr<ArchiveStream> stream;
    TArchiveDirArray current;
    TArchiveDirArray backup;
    EndRecord endRecord;
    std::uint64_t centralDirectoryOffset = 0;
    int currentVolume = 0;
};

} // namespace voriraz

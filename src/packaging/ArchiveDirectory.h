#pragma once

#include "packaging/ArchiveIo.h"
#include "packaging/ArchiveRecords.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <deque>
#include <unordered_map>

namespace voriraz {

enum class TProcessOperation { poAdd, poUpdate };

// One file or directory of the archive.
struct TArchiveDirEntry
{
    // The fields of both headers, as the central header holds them.
    CentralHeader header;
    // The name written after each header: '/' between parts, a trailing '/'
    // for a directory. Kept as the file system spells it (UTF-8) and
    // converted only when written.
    std::string storedName;
    std::string comment;
    // The folder of the file or directory the data comes from, shared by the
    // entries of one folder; its own name is the last part of storedName.
    std::shared_ptr<const std::string> sourceFolder;
    // Set for the entries of the current update; only they are written.
    bool modified = true;
    TProcessOperation operation = TProcessOperation::poAdd;
    // 0 for a directory, else the archive's compression mode.
    int compressionMode = 0;
    // Set when a size or the header offset does not fit 32 bits; such an
    // entry is refused.
    bool zip64 = false;
    std::uint64_t uncompressedSize64 = 0;
    std::uint64_t headerOffset64 = 0;

    bool isDirectory() const { return (header.externalAttributes & zip::attributeDirectory) != 0; }
    // The full path of the source; a directory's ends with '/'.
    std::string sourcePath() const;
};

// The entries in order of addition, with an index by stored name. Names are
// compared exactly: names differing in letter case are different entries.
// The index holds a hash of each name, not the name again, and the entries
// stay where they are as the directory grows.
class TArchiveDirArray
{
public:
    std::size_t size() const { return mEntries.size(); }
    bool empty() const { return mEntries.empty(); }
    TArchiveDirEntry &operator[](std::size_t i) { return mEntries[i]; }
    const TArchiveDirEntry &operator[](std::size_t i) const { return mEntries[i]; }
    auto begin() const { return mEntries.begin(); }
    auto end() const { return mEntries.end(); }

    // Position of the entry with this stored name.
    std::optional<std::size_t> find(const std::string &storedName) const;
    TArchiveDirEntry &append(TArchiveDirEntry entry);
    void removeAt(std::size_t index);
    void clear();

private:
    std::deque<TArchiveDirEntry> mEntries;
    std::unordered_multimap<std::size_t, std::size_t> mIndex;
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

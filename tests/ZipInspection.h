#pragma once

// Reads a ZIP archive back field by field, independently of the writer's
// own record code, so tests can check every header the writer produced.

#include "packaging/EntrySource.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace voriraz::test {

struct InspectedHeader
{
    std::uint16_t versionMadeBy = 0; // central header only
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;     // central header only
    std::uint16_t diskNumberStart = 0;   // central header only
    std::uint16_t internalAttributes = 0; // central header only
    std::uint32_t externalAttributes = 0; // central header only
    std::uint32_t headerOffset = 0;       // central header only
    std::string name;                     // raw bytes as stored
};

struct InspectedEntry
{
    InspectedHeader central;
    InspectedHeader local;
    std::string data;     // the stored bytes after the local header's name
    std::string inflated; // data inflated (or copied for method 0)
    bool inflatedCleanly = false;
};

struct InspectedArchive
{
    std::vector<InspectedEntry> entries;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralDirectorySize = 0;
    std::uint32_t centralDirectoryOffset = 0;
    std::uint16_t commentLength = 0;
    bool hasZip64EndRecord = false;
    std::uint64_t zip64Entries = 0;
    std::uint64_t zip64CentralDirectoryOffset = 0;
    std::uint64_t zip64CentralDirectorySize = 0;
    std::uint64_t fileSize = 0;

    std::vector<std::string> names() const;
    const InspectedEntry *find(const std::string &name) const;
};

// Parses the archive; fails the current test (and returns what it has) on
// any structural fault: wrong signatures, offsets outside the file,
// counts that disagree.
// Inflates raw deflate data into out; true when the stream ended cleanly
// exactly at the end of data.
bool inflateRaw(const std::string &data, std::string &out);

InspectedArchive inspectArchive(const std::filesystem::path &path, bool inflateData = true);

// Whether an independent reader accepts the archive: "python" runs
// python3 -m zipfile -t, "unzip" runs unzip -tq, "7z" runs 7z t, "bsdtar"
// extracts every entry to nowhere. The output is appended to log.
bool readerAccepts(const std::string &reader, const std::filesystem::path &archive, std::string *log = nullptr);

// Checks an archive that packing wrote whole, failing the current test for
// each fault: every reader above accepts it; its entries follow one another
// from the start of the file to the central directory, with nothing between
// (no remains of an entry given up); each file's data, inflated, is the file
// of that name below base, its CRC-32 right. Returns the stored names.
std::vector<std::string> expectWholeArchive(const std::filesystem::path &archive, const std::filesystem::path &base);

// Extracts the archive into a directory with an independent reader, as
// readerAccepts() names them; true when the reader reports success.
bool readerExtracts(const std::string &reader, const std::filesystem::path &archive,
                    const std::filesystem::path &into, std::string *log = nullptr);

// Splits data, content deflated in chunks of chunkSize, into the deflate
// data of each chunk: every chunk compressed on its own, and all but the
// last ended on a byte boundary by an empty stored block, so that each
// piece inflates alone to its chunk. Empty when data is not that.
std::vector<std::string> chunkedDeflatePieces(const std::string &data, const std::string &content,
                                              std::size_t chunkSize);

std::uint32_t crc32Of(const std::string &bytes);

// An entry's chunks taken to the end: their bytes one after another, the
// CRC-32 and length of their input, how many came, and which were marked
// last. Stops at a chunk whose compression failed, with failed set.
struct TakenChunks
{
    std::string data;
    std::uint32_t crc32 = 0;
    std::size_t inputLength = 0;
    std::vector<bool> last;
    bool failed = false;
};
TakenChunks takeChunks(EntrySource &source);

} // namespace voriraz::test

#pragma once

#include "packaging/ArchiveRecords.h"
#include "platform/Files.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace voriraz {

// The two rules by which a source is refused before it is read. The writer
// raises them for the entry; reading ahead skips such a source, so that
// nothing is opened or read that the writer would refuse.

// A path longer than the platform accepts cannot be opened.
inline bool sourcePathTooLong(std::string_view path)
{
    return path.size() > platform::longestPath;
}

// A size or an offset that only the ZIP64 records could hold; entries that
// need them are refused in every mode.
inline bool needsZip64(std::uint64_t value)
{
    return value >= zip::max32;
}

// One chunk of an entry, compressed and ready to be written.
struct ReadyChunk
{
    const char *data = nullptr;
    std::size_t size = 0;
    std::size_t inputLength = 0;
    std::uint32_t crc32 = 0; // of this chunk's input alone
    bool failed = false;     // deflate reported an error
    bool last = false;       // the source's last chunk: its size was reached
};

// The data of one entry as the writer takes it: its source opened, then its
// chunks in order. Read and compressed ahead on other threads, or on the
// writer's own when it asks for each chunk.
class EntrySource
{
public:
    virtual ~EntrySource() = default;
    // Whether the source could be opened; false also once packing stops.
    virtual bool opened() = 0;
    // The system's error number when the source could not be opened.
    virtual int openError() = 0;
    // The source's size when it was opened.
    virtual std::uint64_t size() = 0;
    // The next chunk; false when the entry has none left or packing stops.
    // The chunk's data stays valid until the next call.
    virtual bool next(ReadyChunk &chunk) = 0;
    // Whether reading stopped before the source's size was reached, and the
    // system's error number when a read failed.
    virtual bool shortRead() = 0;
    virtual int readError() = 0;
    // The source's size once its last chunk was read: size() unless the
    // file grew or shrank meanwhile. Asked once the chunks are taken.
    virtual std::uint64_t sizeAtEnd() = 0;
    // The writer is done with the entry, or gives it up: whatever it holds
    // is given back.
    virtual void discard() = 0;
};

} // namespace voriraz

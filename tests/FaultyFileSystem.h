#pragma once

#include "packaging/ArchiveIo.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace voriraz::test {

// The real file system with failures on cue: sources that cannot be opened
// a number of times, sources that deliver fewer bytes than their size, and
// archive writes that store nothing.
class FaultyFileSystem : public ArchiveFileSystem
{
public:
    // Opening a source whose path ends with suffix fails this many times.
    std::map<std::string, int> failOpens;
    // A source whose path ends with suffix delivers only this many bytes.
    std::map<std::string, std::uint64_t> shrinkTo;
    // Consulted before each archive write with its position and bytes; true
    // makes the write store nothing.
    std::function<bool(std::uint64_t position, std::string_view data)> failWrite;
    int opens = 0;

    std::unique_ptr<ArchiveStream> createArchive(const std::string &path) override;
    std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode) override;

private:
    PosixArchiveFileSystem mReal;
};

} // namespace voriraz::test

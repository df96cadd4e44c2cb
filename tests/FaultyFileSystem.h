#pragma once

#include "packaging/ArchiveIo.h"
#include "platform/Files.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz::test {

// The real file system with failures on cue: sources that cannot be opened
// a number of times, sources that deliver fewer bytes than their size, and
// archive writes that store nothing. The archive streams are the real ones,
// so faults of the device (StreamFaults) reach their system calls.
class FaultyFileSystem : public ArchiveFileSystem
{
public:
    // Opening a source whose path ends with suffix fails this many times,
    // with openError (permission denied, as a file of another user would).
    std::map<std::string, int> failOpens;
    int openError = platform::accessDeniedError;
    // A source whose path ends with suffix delivers only this many bytes.
    std::map<std::string, std::uint64_t> shrinkTo;
    // Consulted before each archive write with its position and bytes; true
    // makes the write store nothing, with an I/O error (the
    // system's number for a failed device).
    std::function<bool(std::uint64_t position, std::string_view data)> failWrite;
    // Failures of the archive file's own system calls, for the streams
    // created from now on.
    StreamFaults device;
    // Told of every source about to be opened, on the thread that opens it,
    // before the faults above apply: to change the file meanwhile, or to
    // hold packing up.
    std::function<void(const std::string &path)> beforeOpen;
    // Told after each read of a source with the bytes it has delivered so
    // far, on the thread that reads: to change the file on the disk while
    // it is being read.
    std::function<void(const std::string &path, std::uint64_t delivered)> afterRead;
    // Every source path opened, in order.
    std::vector<std::string> opened;

    std::unique_ptr<ArchiveStream> createArchive(const std::string &path) override;
    std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode, int &error) override;

private:
    SystemArchiveFileSystem mReal;
    std::mutex mMutex; // guards opened and failOpens while sources are opened
};

} // namespace voriraz::test

#pragma once

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace voriraz {

// Sharing requested for a source file; the platform's files have no
// mandatory sharing, so it is recorded rather than enforced.
enum class TFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };

// The identity of a file on disk: its device and inode (volume and file
// index on Windows).
using FileIdentity = platform::FileIdentity;

// A source file opened for reading.
class SourceFile
{
public:
    virtual ~SourceFile() = default;
    // The size when the file was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to count bytes at the current position; fewer only at the end
    // of the file or on a read error, whose number error() then gives.
    virtual std::size_t read(char *buffer, std::size_t count) = 0;
    // Goes back to the start; false, with error() set, when that fails.
    virtual bool rewind() = 0;
    // The file's size now, which differs from size() when it changed since
    // it was opened; size() when the system cannot tell.
    virtual std::uint64_t currentSize() const = 0;
    // The system's error number of the last call that failed; 0 when none
    // did, or when a read came short only because the file ended.
    virtual int error() const = 0;
};

// The archive file, open for reading and writing. Every call reports what
// it did; one that fails leaves the system's error number in error(), so a
// byte count and an error number go together.
class ArchiveStream
{
public:
    virtual ~ArchiveStream() = default;
    // Writes count bytes at the current position and returns how many were
    // stored; fewer means the write failed (a full disk, an I/O error).
    virtual std::size_t write(const char *data, std::size_t count) = 0;
    // Writes the two blocks one after the other, as write() would, and
    // returns how many bytes of both were stored. A file may do it in one
    // call; by default it is two writes, the second only if the first was
    // stored whole.
    virtual std::size_t writeBoth(const char *first, std::size_t firstCount, const char *second,
                                  std::size_t secondCount);
    // Writes count bytes at position, leaving the current position where it
    // is; returns how many were stored. By default a seek there and back.
    virtual std::size_t writeAt(std::uint64_t position, const char *data, std::size_t count);
    virtual std::uint64_t position() const = 0;
    virtual bool seek(std::uint64_t position) = 0;
    // The file's size, or nothing when the system cannot tell it.
    virtual std::optional<std::uint64_t> size() const = 0;
    // Cuts the file at the current position.
    virtual bool truncate() = 0;
    virtual std::optional<FileIdentity> identity() const = 0;
    virtual int error() const = 0;
    // Closes the file and puts it in place of the file it was created for,
    // flushed to the disk first when durable (and the rename after it).
    // Failed, with error() set, when any step fails; the file it was created
    // for is then as it was. DoneNotFlushed, with error() set, when the
    // archive is in place but its folder could not be flushed after the
    // rename.
    virtual platform::Replacement finish(bool durable) = 0;
};

// Failures a stream of the real file system injects into its own system
// calls, for tests. Writes, sequential, gathered or positioned, store at
// most writeLimit bytes in all, as a device that fills up: the call that
// reaches the limit stores part of its bytes, the next fails with
// writeError. Each other call fails with its error number when that is not 0.
struct StreamFaults
{
    std::uint64_t writeLimit = UINT64_MAX;
    int writeError = 0;
    int seekError = 0;
    int truncateError = 0;
    int syncError = 0;
    int closeError = 0;
    int renameError = 0;
    // Flushing the folder once the archive is in place.
    int folderSyncError = 0;
};

// Where the writer opens its files; tests substitute one that fails on cue.
class ArchiveFileSystem
{
public:
    virtual ~ArchiveFileSystem() = default;
    // Creates a new, empty archive file for path: a temporary file beside
    // the file path finally names (a symbolic link is followed, so the link
    // stays), which finish() puts in its place; until then that file stays
    // as it was, and a stream destroyed unfinished removes its temporary
    // file, as does an interrupt of the process (platform/Interrupts.h).
    // Throws FileCreateError when path is a directory or another thing than
    // a file, when an existing file may not be written, or when the
    // temporary file cannot be created.
    virtual std::unique_ptr<ArchiveStream> createArchive(const std::string &path) = 0;
    // Opens a regular file for reading, or returns nothing, with the
    // system's error number in error, when that fails (the file is missing,
    // unreadable, or not a regular file any more: EINVAL).
    virtual std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode,
                                                   int &error) = 0;
};

// The real file system.
class SystemArchiveFileSystem : public ArchiveFileSystem
{
public:
    std::unique_ptr<ArchiveStream> createArchive(const std::string &path) override;
    std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode, int &error) override;

    // Test seam: the streams created from now on inject these failures.
    void setFaultsForTesting(const StreamFaults &faults) { mFaults = faults; }

private:
    StreamFaults mFaults;
};

// The identity of the file a path names, links followed; nothing when
// there is none.
std::optional<FileIdentity> fileIdentity(const std::string &path);

// The file a path finally names: the path itself, or where its symbolic
// links lead when it is one.
std::string resolveLinkedPath(const std::string &path);

// Whether path names a regular file that begins as a ZIP archive does: with
// a local header's signature, or an end record's (an empty archive).
bool looksLikeZipArchive(const std::string &path);

} // namespace voriraz

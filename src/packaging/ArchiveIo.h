#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace voriraz {

// Sharing requested for a source file; the platform's files have no
// mandatory sharing, so it is recorded rather than enforced.
enum class TFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };

// The identity of a file on disk: its device and inode.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

// A source file opened for reading.
class SourceFile
{
public:
    virtual ~SourceFile() = default;
    // The size when the file was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to count bytes at the current position; fewer only at the end
    // of the file or on a read error.
    virtual std::size_t read(char *buffer, std::size_t count) = 0;
    virtual void rewind() = 0;
};

// The archive file, open for reading and writing.
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
    virtual void seek(std::uint64_t position) = 0;
    virtual std::uint64_t size() const = 0;
    // Cuts the file at the current position.
    virtual void truncate() = 0;
    // Flushes the file's data to the disk.
    virtual void flush() = 0;
    virtual std::optional<FileIdentity> identity() const = 0;
};

// Where the writer opens its files; tests substitute one that fails on cue.
class ArchiveFileSystem
{
public:
    virtual ~ArchiveFileSystem() = default;
    // Creates the archive file, or empties it when it exists, and holds it
    // open for exclusive writing. Throws FileCreateError.
    virtual std::unique_ptr<ArchiveStream> createArchive(const std::string &path) = 0;
    // Opens a regular file for reading, or returns nothing when that fails
    // (the file is missing, unreadable, or not a regular file any more).
    virtual std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode) = 0;
};

// The real file system.
class PosixArchiveFileSystem : public ArchiveFileSystem
{
public:
    std::unique_ptr<ArchiveStream> createArchive(const std::string &path) override;
    std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode) override;
};

} // namespace voriraz

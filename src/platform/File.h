#pragma once

// An open file and the folder listing of the archive writer, over the
// system's own calls. Every call that fails returns its failure value
// (false, -1, nothing) and leaves the reason for lastSystemError() on the
// same thread, as errno does.

#include "platform/Files.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace voriraz::platform {

// The identity of a file on its volume: device and inode, or the volume's
// serial number and the file index on Windows.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

// Who else may open a file while it is open for reading.
enum class Sharing { Everything, ReadOnly, Nothing };

class File
{
public:
    File() = default;
    ~File();
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Opens a regular file for reading; a folder, device or pipe is refused
    // as an invalid argument. Its size when opened goes to *size when given,
    // which spares asking the system again.
    static File openForReading(const std::string &path, Sharing sharing, std::uint64_t *size = nullptr);
    // Creates a new, empty file with a name no other file has, in the
    // folder and beginning with the name prefix given, open for reading and
    // writing; its path goes to *created. It gets the permissions any new
    // file of the process gets (the process's umask applies).
    static File createUnique(const std::string &folder, const std::string &prefix, std::string *created);

    bool isOpen() const;
    // One read or write of the system, which may do less than asked; -1
    // when it fails.
    std::int64_t read(char *buffer, std::size_t count);
    std::int64_t write(const char *data, std::size_t count);
    // Both blocks in one call where the system can; stops after the first
    // when that was stored short.
    std::int64_t writeGathered(const char *first, std::size_t firstCount, const char *second, std::size_t secondCount);
    // At position, leaving the current position where it was.
    std::int64_t writeAt(std::uint64_t position, const char *data, std::size_t count);
    bool seek(std::uint64_t position);
    std::optional<std::uint64_t> size() const;
    // Cuts (or extends) the file to length.
    bool resize(std::uint64_t length);
    // Flushes the file's data to the disk.
    bool sync();
    std::optional<FileIdentity> identity() const;
    // Gives this new file the permissions (and, where allowed, the owner)
    // of the file at path, which it is about to replace. Windows keeps them
    // in the replacement itself.
    bool takePermissionsOf(const std::string &path);
    // Closes the file; false when the system reports an error of the
    // last writes.
    bool close();

private:
    std::intptr_t mHandle = -1;
};

// What the archive writer needs of a folder's item, links followed.
struct FolderItem
{
    std::string name;
    // What the item is, links followed. A link that leads to nothing that
    // exists is BrokenLink, one that leads round in a circle LinkLoop, and
    // an item that could not be looked at (gone since the listing, or its
    // path beyond what the system opens) Unreadable, with error set.
    enum class Kind { File, Folder, Pipe, Socket, Device, Other, BrokenLink, LinkLoop, Unreadable } kind = Kind::Other;
    // The system's error number for an Unreadable item.
    int error = 0;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    FileIdentity identity;
    bool readOnly = false;
    bool hidden = false;
    // Where a link, symbolic link or junction finally leads; for a broken
    // link what it names; empty for an item that is none.
    std::string linkTarget;
};

// The items of a folder, "." and ".." left out, in the system's order, each
// described as folderItem() does. Nothing when the folder cannot be opened
// or read to its end; the reason is then the last system error.
std::optional<std::vector<FolderItem>> listFolder(const std::string &path);

// One item of a folder, looked at again (to retry one that was Unreadable).
FolderItem folderItem(const std::string &folder, const std::string &name);

// The path with every link resolved, absolute, '/' between parts; nothing
// when it does not exist.
std::optional<std::string> realPath(const std::string &path);

// An absolute form of path, '/' between parts; one that is absolute
// already is kept as it is.
std::string absolutePath(const std::string &path);

// A path's folder and last part, split at the last separator ('/', and
// also '\' on Windows); the folder is "." when there is none.
std::pair<std::string, std::string> folderAndName(const std::string &path);

// The size of the system's memory pages.
std::size_t pageSize();

// The identity of what path names, links followed.
std::optional<FileIdentity> identityOf(const std::string &path);

// What became of a replacement: not made; made; or made, but the folder
// that holds it could not be flushed to the disk (it is in place, yet a
// crash might still lose the change). The last system error says why for
// the first and the last.
enum class Replacement { Failed, Done, DoneNotFlushed };

// Moves a file over another in one step, keeping the replaced file until
// the new one is in place; flushed to the disk when durable.
Replacement replaceWith(const std::string &source, const std::string &target, bool durable);

// Removes a file.
bool removeFile(const std::string &path);

// A file may be written by this process.
bool isWritable(const std::string &path);

// The local time, by the system's own time zone rules.
std::optional<std::tm> localTime(std::time_t time);

// Memory pages of their own for a large buffer; nullptr when there is none.
void *allocatePages(std::size_t size);
void releasePages(void *pages, std::size_t size);

} // namespace voriraz::platform

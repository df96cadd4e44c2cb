#pragma once

// The operating system's file services that the libraries use, behind one
// interface: FilesPosix.cpp implements it on Linux, FilesWin32.cpp on
// Windows, and the build picks one. Paths are UTF-8 on both sides; '/' and,
// on Windows, '\' separate their parts.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz::platform {

// A failed system call: the system's own number (errno, or GetLastError()
// on Windows) and its text for it.
struct SystemError
{
    int code = 0;
    std::string text;
    // The file, or a folder on its way, does not exist.
    bool missing = false;
    // What the path names exists but is no regular file (a folder, device,
    // pipe or socket), so it is neither read nor replaced.
    bool notRegular = false;
};

// The error of the system call that failed last on this thread.
SystemError lastSystemError();
// The system's text for one of its error numbers (as lastSystemError()
// gives them).
std::string errorText(int code);
// The system's numbers of a few errors that tests inject: a full disk, a
// refused access, a failed device.
extern const int diskFullError;
extern const int accessDeniedError;
extern const int deviceError;
// The system's text for an errno value, the same on every platform.
SystemError errnoError(int errorNumber);

// The characters that separate the parts of a path: '/', and on Windows
// '\' as well.
extern const char *const pathSeparators;

// The longest path, in bytes, that the system opens: PATH_MAX less its
// terminating null on POSIX; on Windows, where every path goes to the
// system with the "\\?\" prefix, 32,767 characters less that prefix.
extern const std::size_t longestPath;

// A path as messages show it: with '\' between its parts on Windows, where
// users type it so, and as it is elsewhere.
std::string shownPath(std::string path);

// The program's arguments after its own name, in UTF-8: on Windows taken
// from the wide command line, since argv holds them in the ANSI code page,
// which cannot hold every name.
std::vector<std::string> programArguments(int argc, char **argv);

// The program's own executable file, as an absolute path with '/' between
// its parts. Throws std::runtime_error when the system cannot say.
std::string executablePath();

enum class FileKind { Missing, Regular, Directory, Other };

// What path names, links followed. Missing when it cannot be looked at; the
// reason then goes to *error.
FileKind fileKind(const std::string &path, SystemError *error = nullptr);

// The size of what path names, links followed; nothing when it cannot be
// looked at.
std::optional<std::uint64_t> fileSize(const std::string &path);

// The size and last write time of what path names, links followed, the time
// as fine as the system keeps it (nanoseconds on POSIX, 100 ns on Windows,
// where the C library's stat gives whole seconds): a file written again with
// the same size within a second still compares different.
struct FileStamp
{
    std::uint64_t size = 0;
    std::int64_t written = 0;
    bool operator==(const FileStamp &) const = default;
};
std::optional<FileStamp> fileStamp(const std::string &path);

// The whole content of a regular file, or nothing with the reason: "Is a
// directory" for a folder, "Not a regular file" for a device, pipe or
// socket (which might never end), else the system's.
std::optional<std::string> readRegularFile(const std::string &path, SystemError &error);

// The whole content of the regular file at folder + relative (relative
// begins with '/'), read only when that file, with every link on its way
// followed, lies inside the folder; links within the folder, and links
// whose targets lie inside it, are fine. The folder's own path may hold
// links. Nothing when the file cannot be read (the reason in error, as
// readRegularFile gives it), or when it lies outside the folder: then
// nothing of it has been read, *outside holds where it lies and error says
// "Outside the folder". The kernel resolves the path beneath the folder
// where it can (Linux's openat2 with RESOLVE_BENEATH), so a link swapped in
// meanwhile cannot lead out; elsewhere the resolved path is checked before
// the file is opened and the opened file is checked to be that one.
std::optional<std::string> readRegularFileInside(const std::string &folder, const std::string &relative,
                                                 SystemError &error, std::string *outside);

// The names in a folder, "." and ".." left out, in the system's order;
// nothing with the reason when the folder cannot be listed.
std::optional<std::vector<std::string>> folderNames(const std::string &path, SystemError &error);

// Consulted before every write of a replacement with the bytes written so
// far; a non-zero errno value fails that write as a full disk would.
using WriteFault = std::function<int(std::size_t offset)>;

// Replaces the file at path by content so that readers see the old file or
// the whole new one: the content goes to a temporary file in the same
// folder, is flushed to disk, takes the old file's permissions and then
// takes its place. A link is followed, so the file it leads to is replaced
// and the link stays; a read-only file is refused, and so is anything but a
// regular file (a folder, device, pipe or socket, or a link to one), with
// notRegular set, since a rename would put a file in its place. On failure
// the old file stays as it was, the temporary file is removed and the
// reason returned.
std::optional<SystemError> replaceFile(const std::string &path, std::string_view content,
                                       const WriteFault &fault = {});

// One write to a C file descriptor of the process (1 is standard output)
// of what it takes; -1, with errno set, when it fails.
std::int64_t writeDescriptor(int fd, const char *data, std::size_t count);

// Standard output and standard error carry bytes as they are, without the
// line-end translation of Windows' text mode.
void useBinaryStandardStreams();

// A write beyond the process's file size limit fails with an error, as a
// full disk does, instead of ending the process (POSIX's SIGXFSZ), so that
// a failed save or pack still cleans up and says why.
void failOversizeWrites();

// Standard error is a terminal (a console on Windows) that a person reads.
bool standardErrorIsTerminal();

} // namespace voriraz::platform

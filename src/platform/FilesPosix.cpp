#include "platform/Files.h"
#include "platform/File.h"
#include "platform/ExclusiveFile.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

#if defined(__linux__)
#include <linux/openat2.h>
#endif

namespace voriraz::platform {

const char *const pathSeparators = "/";

const std::size_t longestPath = PATH_MAX - 1;

std::vector<std::string> programArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::string shownPath(std::string path)
{
    return path;
}

SystemError errnoError(int errorNumber)
{
    return {errorNumber, std::strerror(errorNumber), errorNumber == ENOENT};
}

SystemError lastSystemError()
{
    return errnoError(errno);
}

std::string errorText(int code)
{
    return std::strerror(code);
}

const int diskFullError = ENOSPC;
const int accessDeniedError = EACCES;
const int deviceError = EIO;

namespace {

class Descriptor
{
public:
    explicit Descriptor(int fd) : mFd(fd) {}
    ~Descriptor() { if (mFd >= 0) ::close(mFd); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return mFd; }
    int release() { const int fd = mFd; mFd = -1; return fd; }

private:
    int mFd;
};

// Writes all of bytes to fd; the errno value of a failure, else 0.
int writeAll(int fd, std::string_view bytes, std::size_t offset, const WriteFault &fault)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        if (fault) {
            if (const int injected = fault(offset + written))
                return injected;
        }
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += static_cast<std::size_t>(count);
    }
    return 0;
}

// The file a path finally names, following symbolic links, so that the
// link itself survives the replacement.
std::string linkTarget(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

// Removes the temporary file of a replacement unless it took the target's
// place.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::string pattern)
        : mPath(std::move(pattern)), mFd(createExclusiveFile(mPath)), mExists(mFd.get() >= 0),
          mInterruptToken(mExists ? rememberTemporary(mPath) : -1)
    {
    }
    ~TemporaryFile()
    {
        if (mExists)
            ::unlink(mPath.c_str());
        forgetTemporary(mInterruptToken);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool created() const { return mExists; }
    int fd() const { return mFd.get(); }
    const std::string &path() const { return mPath; }
    int close() { return ::close(mFd.release()); }
    // The file has taken the target's place: nothing to remove.
    void keep()
    {
        mExists = false;
        forgetTemporary(std::exchange(mInterruptToken, -1));
    }

private:
    std::string mPath;
    Descriptor mFd;
    bool mExists;
    int mInterruptToken;
};


constexpr int readFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;

// The content of an open file, or nothing with the reason: "Is a directory"
// for a folder, "Not a regular file" for a device, pipe or socket (which
// might never end).
std::optional<std::string> readOpenFile(int fd, SystemError &error)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = lastSystemError();
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        error = errnoError(EISDIR);
        error.notRegular = true;
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = {0, "Not a regular file", false, true};
        return std::nullopt;
    }

    // One read of the announced size; the loop only guards against short
    // reads and files that grow or shrink while being read.
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + 4096);
        const ssize_t got = ::read(fd, content.data() + filled, content.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = lastSystemError();
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);
    return content;
}

std::optional<std::string> resolvedPath(const std::string &path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

// Whether a resolved path is the resolved folder root or lies below it.
bool liesInside(const std::string &path, const std::string &root)
{
    if (root == "/")
        return true;
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/');
}

// Where an open file lies, as the system names it; empty where it cannot
// say (no /proc).
std::string openedPath(int fd)
{
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target || target[0] != '/')
        return std::string();
    return std::string(target, static_cast<std::size_t>(length));
}

// Opens folder + relative for reading with the kernel resolving it beneath
// the folder (openat2, RESOLVE_BENEATH): -1 with errno EXDEV when a link
// would lead out, ENOSYS where there is no openat2.
int openBeneath(const std::string &folder, const std::string &relative)
{
#if defined(__linux__) && defined(SYS_openat2)
    const Descriptor dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return -1;
    const std::size_t start = relative.find_first_not_of('/');
    const std::string below = start == std::string::npos ? std::string(".") : relative.substr(start);
    open_how how {};
    how.flags = static_cast<std::uint64_t>(readFlags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    // A rename elsewhere during the walk makes the kernel ask for a retry.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const long fd = ::syscall(SYS_openat2, dir.get(), below.c_str(), &how, sizeof how);
        if (fd >= 0 || (errno != EINTR && errno != EAGAIN))
            return static_cast<int>(fd);
    }
    return -1;
#else
    (void)folder;
    (void)relative;
    errno = ENOSYS;
    return -1;
#endif
}

// The errors of openBeneath that leave the answer to the resolved path: no
// openat2 (or a filter that forbids it), a link it will not follow beneath
// a folder (one leading out, or with an absolute target), or a walk that
// kept being disturbed.
bool beneathUnsettled(int error)
{
    return error == ENOSYS || error == EPERM || error == EINVAL || error == EXDEV || error == ELOOP || error == EAGAIN;
}

} // namespace

std::string executablePath()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            throw std::runtime_error(std::string("Cannot determine the program's directory. ") + std::strerror(errno));
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

FileKind fileKind(const std::string &path, SystemError *error)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (error)
            *error = lastSystemError();
        return FileKind::Missing;
    }
    if (S_ISREG(info.st_mode))
        return FileKind::Regular;
    return S_ISDIR(info.st_mode) ? FileKind::Directory : FileKind::Other;
}

std::optional<std::uint64_t> fileSize(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<FileStamp> fileStamp(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileStamp {static_cast<std::uint64_t>(info.st_size),
                      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::optional<std::string> readRegularFile(const std::string &path, SystemError &error)
{
    // Non-blocking, so that opening a named pipe does not wait for a writer;
    // the flag changes nothing for the regular files that are read.
    const Descriptor file(::open(path.c_str(), readFlags));
    if (file.get() < 0) {
        error = lastSystemError();
        return std::nullopt;
    }
    return readOpenFile(file.get(), error);
}

std::optional<std::string> readRegularFileInside(const std::string &folder, const std::string &relative,
                                                 SystemError &error, std::string *outside)
{
    int opened = openBeneath(folder, relative);
    if (opened < 0 && !beneathUnsettled(errno)) {
        error = lastSystemError();
        return std::nullopt;
    }
    if (opened < 0) {
        // The kernel could not settle it (no openat2, or a link it will not
        // follow beneath a folder, such as one with an absolute target):
        // the resolved path decides, before anything is opened.
        const std::optional<std::string> root = resolvedPath(folder);
        const std::optional<std::string> real = root ? resolvedPath(folder + relative) : std::nullopt;
        if (!real) {
            error = lastSystemError();
            return std::nullopt;
        }
        if (!liesInside(*real, *root)) {
            if (outside)
                *outside = *real;
            error = {0, "Outside the folder", false};
            return std::nullopt;
        }
        opened = ::open(real->c_str(), readFlags | O_NOFOLLOW);
        if (opened < 0) {
            error = lastSystemError();
            return std::nullopt;
        }
        // A link swapped in after the check would have led the open
        // elsewhere; the system says where the opened file lies.
        const Descriptor file(opened);
        const std::string where = openedPath(file.get());
        if (!where.empty() && !liesInside(where, *root)) {
            if (outside)
                *outside = where;
            error = {0, "Outside the folder", false};
            return std::nullopt;
        }
        return readOpenFile(file.get(), error);
    }
    const Descriptor file(opened);
    return readOpenFile(file.get(), error);
}

std::optional<std::vector<std::string>> folderNames(const std::string &path, SystemError &error)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> folder(::opendir(path.c_str()), &::closedir);
    if (!folder) {
        error = lastSystemError();
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(folder.get());
        if (!entry) {
            if (errno != 0) {
                error = lastSystemError();
                return std::nullopt;
            }
            return names;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
}

std::optional<SystemError> replaceFile(const std::string &path, std::string_view content, const WriteFault &fault)
{
    const std::string target = linkTarget(path);
    const auto [folder, name] = folderAndName(target);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // A rename puts a new file in place of whatever the name held: a
    // folder, a device or a pipe would be gone.
    if (exists && !S_ISREG(existing.st_mode))
        return SystemError {0, "Not a regular file", false, true};
    // Replacing the file through its folder would get round a file that its
    // owner made read-only; refuse as a write in place would.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return lastSystemError();

    TemporaryFile temporary((folder == "/" ? std::string() : folder) + "/." + name + ".XXXXXX");
    if (!temporary.created())
        return lastSystemError();
    if (const int failed = writeAll(temporary.fd(), content, 0, fault))
        return errnoError(failed);

    // A new file has the permissions any new file gets (it was created so);
    // an existing one keeps its own and, where allowed, its owner (only a
    // privileged process may give a file away, so a refusal is no error).
    if (exists) {
        [[maybe_unused]] const int owned = ::fchown(temporary.fd(), existing.st_uid, existing.st_gid);
        if (::fchmod(temporary.fd(), existing.st_mode & 07777) != 0)
            return lastSystemError();
    }
    if (::fsync(temporary.fd()) != 0)
        return lastSystemError();
    {
        // An interrupt never comes between the rename and forgetting the
        // temporary name.
        const InterruptsDeferred deferred;
        if (temporary.close() != 0 || ::rename(temporary.path().c_str(), target.c_str()) != 0)
            return lastSystemError();
        temporary.keep();
    }

    // Make the rename itself durable; a failure here no longer endangers
    // either version of the file.
    const Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0)
        ::fsync(folderFd.get());
    return std::nullopt;
}

std::int64_t writeDescriptor(int fd, const char *data, std::size_t count)
{
    return ::write(fd, data, count);
}

void useBinaryStandardStreams()
{
}

void failOversizeWrites()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace voriraz::platform

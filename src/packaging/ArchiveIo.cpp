#include "packaging/ArchiveIo.h"

#include "packaging/ArchiveError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace voriraz {

namespace {

class PosixSource : public SourceFile
{
public:
    PosixSource(int fd, std::uint64_t size) : mFd(fd), mSize(size) {}
    ~PosixSource() override { ::close(mFd); }

    std::uint64_t size() const override { return mSize; }

    std::size_t read(char *buffer, std::size_t count) override
    {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = ::read(mFd, buffer + done, count - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                mError = errno;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    bool rewind() override
    {
        if (::lseek(mFd, 0, SEEK_SET) == 0)
            return true;
        mError = errno;
        return false;
    }

    int error() const override { return mError; }

private:
    int mFd;
    std::uint64_t mSize;
    int mError = 0;
};

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name for a temporary file that no other process or thread picks at the
// same time: the clock, a counter and the process, mixed into letters.
std::string uniqueSuffix()
{
    static std::atomic<std::uint64_t> counter {0};
    std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())
                        ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ (static_cast<std::uint64_t>(::getpid()) << 40);
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        mix ^= mix >> 29;
        mix *= 0xBF58476D1CE4E5B9ull;
        suffix.push_back(letters[mix % 62]);
    }
    return suffix;
}

// The archive being written: a temporary file beside its target, which
// finish() renames over the target.
class PosixArchiveStream : public ArchiveStream
{
public:
    PosixArchiveStream(int fd, std::string temporaryPath, std::string target, const StreamFaults &faults)
        : mFd(fd), mTemporary(std::move(temporaryPath)), mTarget(std::move(target)), mFaults(faults)
    {
    }

    ~PosixArchiveStream() override
    {
        if (mFd >= 0)
            ::close(mFd);
        // Unfinished: what was written is dropped, the target is untouched.
        if (!mFinished)
            ::unlink(mTemporary.c_str());
    }

    std::size_t write(const char *data, std::size_t count) override { return writeBoth(data, count, nullptr, 0); }

    std::size_t writeBoth(const char *first, std::size_t firstCount, const char *second,
                          std::size_t secondCount) override
    {
        iovec parts[2] = {{const_cast<char *>(first), firstCount}, {const_cast<char *>(second), secondCount}};
        int next = 0;
        std::size_t done = 0;
        while (done < firstCount + secondCount) {
            const ssize_t put = gatherWrite(parts + next, 2 - next);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                mError = put < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(put);
            // Skips what was stored: whole blocks, then part of the next.
            auto left = static_cast<std::size_t>(put);
            while (next < 2 && left >= parts[next].iov_len) {
                left -= parts[next].iov_len;
                ++next;
            }
            if (next < 2) {
                parts[next].iov_base = static_cast<char *>(parts[next].iov_base) + left;
                parts[next].iov_len -= left;
            }
        }
        mPosition += done;
        return done;
    }

    std::size_t writeAt(std::uint64_t position, const char *data, std::size_t count) override
    {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = positionedWrite(data + done, count - done, position + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                mError = put < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(put);
        }
        return done;
    }

    std::uint64_t position() const override { return mPosition; }

    bool seek(std::uint64_t position) override
    {
        if (injected(mFaults.seekError) || ::lseek(mFd, static_cast<off_t>(position), SEEK_SET) < 0)
            return failed();
        mPosition = position;
        return true;
    }

    std::optional<std::uint64_t> size() const override
    {
        struct stat info {};
        if (::fstat(mFd, &info) != 0) {
            mError = errno;
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    bool truncate() override
    {
        // A file already of that length is left alone: on ext4, truncating
        // to zero, even a file that is empty, makes close() start writing
        // the whole archive back at once, which holds up the end of a pack.
        const std::optional<std::uint64_t> length = size();
        if (!length)
            return false;
        if (*length == mPosition)
            return true;
        if (injected(mFaults.truncateError))
            return failed();
        while (::ftruncate(mFd, static_cast<off_t>(mPosition)) != 0) {
            if (errno != EINTR)
                return failed();
        }
        return true;
    }

    std::optional<FileIdentity> identity() const override
    {
        struct stat info {};
        if (::fstat(mFd, &info) != 0) {
            mError = errno;
            return std::nullopt;
        }
        return FileIdentity {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }

    int error() const override { return mError; }

    bool finish(bool durable) override
    {
        if (mFinished || mFd < 0)
            return mFinished;
        if (durable && (injected(mFaults.syncError) || ::fsync(mFd) != 0))
            return failed();
        const int fd = std::exchange(mFd, -1);
        // The descriptor is gone whatever close() says; its error still
        // means the data may not be on the disk.
        if (::close(fd) != 0 || injected(mFaults.closeError))
            return failed();
        if (injected(mFaults.renameError) || ::rename(mTemporary.c_str(), mTarget.c_str()) != 0)
            return failed();
        mFinished = true;
        // Makes the rename itself durable. A file system that cannot flush
        // a directory says so with EINVAL; that is no failure of the archive.
        if (durable) {
            const int dirFd = ::open(directoryOf(mTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dirFd < 0)
                return failed();
            const bool synced = ::fsync(dirFd) == 0 || errno == EINVAL || errno == ENOTSUP;
            const int syncError = errno;
            ::close(dirFd);
            if (!synced) {
                mError = syncError;
                return false;
            }
        }
        return true;
    }

private:
    // The failure an injected fault stands for, as the system would set it.
    static bool injected(int error)
    {
        if (error == 0)
            return false;
        errno = error;
        return true;
    }

    bool failed() const
    {
        mError = errno;
        return false;
    }

    // How many of count bytes the device takes now; 0 with errno set when
    // it is full.
    std::size_t room(std::size_t count)
    {
        if (mFaults.writeLimit == UINT64_MAX)
            return count;
        const std::uint64_t left = mFaults.writeLimit - std::min(mFaults.writeLimit, mBytesWritten);
        if (left == 0)
            errno = mFaults.writeError ? mFaults.writeError : ENOSPC;
        return static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    }

    ssize_t gatherWrite(iovec *parts, int count)
    {
        std::size_t wanted = 0;
        for (int i = 0; i < count; ++i)
            wanted += parts[i].iov_len;
        std::size_t allowed = room(wanted);
        if (allowed == 0 && wanted > 0)
            return -1;
        // The device takes only part: the blocks are cut to what it takes.
        iovec cut[2];
        int used = 0;
        for (int i = 0; i < count && allowed > 0; ++i, ++used) {
            cut[i] = parts[i];
            cut[i].iov_len = std::min(parts[i].iov_len, allowed);
            allowed -= cut[i].iov_len;
        }
        const ssize_t put = ::writev(mFd, cut, used);
        if (put > 0)
            mBytesWritten += static_cast<std::uint64_t>(put);
        return put;
    }

    ssize_t positionedWrite(const char *data, std::size_t count, std::uint64_t position)
    {
        const std::size_t allowed = room(count);
        if (allowed == 0 && count > 0)
            return -1;
        const ssize_t put = ::pwrite(mFd, data, allowed, static_cast<off_t>(position));
        if (put > 0)
            mBytesWritten += static_cast<std::uint64_t>(put);
        return put;
    }

    int mFd;
    std::string mTemporary;
    std::string mTarget;
    StreamFaults mFaults;
    std::uint64_t mBytesWritten = 0;
    std::uint64_t mPosition = 0;
    mutable int mError = 0;
    bool mFinished = false;
};

} // namespace

std::size_t ArchiveStream::writeBoth(const char *first, std::size_t firstCount, const char *second,
                                     std::size_t secondCount)
{
    const std::size_t stored = write(first, firstCount);
    return stored < firstCount ? stored : stored + write(second, secondCount);
}

std::size_t ArchiveStream::writeAt(std::uint64_t position, const char *data, std::size_t count)
{
    const std::uint64_t back = this->position();
    if (!seek(position))
        return 0;
    const std::size_t stored = write(data, count);
    return seek(back) ? stored : 0;
}

std::optional<FileIdentity> fileIdentity(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::string resolveLinkedPath(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

std::unique_ptr<ArchiveStream> PosixArchiveFileSystem::createArchive(const std::string &path)
{
    const std::string target = resolveLinkedPath(path);
    const auto fail = [&](int error) { throw FileCreateError(path, std::strerror(error)); };
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(EISDIR);
    if (exists && !S_ISREG(existing.st_mode))
        fail(EINVAL);
    // Replacing the file through its directory would get round a file that
    // its owner made read-only; it is refused as a write in place would be.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        fail(errno);

    const std::string directory = directoryOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string prefix = (directory == "/" ? std::string() : directory) + "/."
                               + (slash == std::string::npos ? target : target.substr(slash + 1)) + ".";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = prefix + uniqueSuffix();
        fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            fail(errno);
    }
    if (fd < 0)
        fail(EEXIST);
    auto stream = std::make_unique<PosixArchiveStream>(fd, temporary, target, mFaults);
    // An existing file keeps its permissions (and, where allowed, its owner);
    // a new one gets those any new file would get.
    if (exists) {
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only a privileged process may give a file away; keeping our
            // own ownership is the ordinary outcome, not an error.
        }
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            fail(errno);
    }
    return stream;
}

std::unique_ptr<SourceFile> PosixArchiveFileSystem::openSource(const std::string &path, TFileShareMode, int &error)
{
    // Non-blocking, so that a file replaced by a pipe after the walk cannot
    // hang the open; anything but a regular file is then refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat info {};
    const bool listed = ::fstat(fd, &info) == 0;
    if (!listed || !S_ISREG(info.st_mode)) {
        error = listed ? EINVAL : errno;
        ::close(fd);
        return nullptr;
    }
    // Of the flags F_SETFL changes only O_NONBLOCK was set, so clearing
    // them all clears it without asking for them first. Read-ahead advice
    // only pays for files read in several steps, and is only advice.
    if (::fcntl(fd, F_SETFL, 0) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    if (info.st_size > 1024 * 1024)
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    error = 0;
    return std::make_unique<PosixSource>(fd, static_cast<std::uint64_t>(info.st_size));
}

} // namespace voriraz

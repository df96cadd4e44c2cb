#include "packaging/ArchiveIo.h"

#include "packaging/ArchiveError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

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
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    void rewind() override { ::lseek(mFd, 0, SEEK_SET); }

private:
    int mFd;
    std::uint64_t mSize;
};

class PosixArchiveStream : public ArchiveStream
{
public:
    explicit PosixArchiveStream(int fd) : mFd(fd) {}
    ~PosixArchiveStream() override { ::close(mFd); }

    std::size_t write(const char *data, std::size_t count) override
    {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = ::write(mFd, data + done, count - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                break;
            done += static_cast<std::size_t>(put);
        }
        mPosition += done;
        return done;
    }

    std::size_t writeBoth(const char *first, std::size_t firstCount, const char *second,
                          std::size_t secondCount) override
    {
        iovec parts[2] = {{const_cast<char *>(first), firstCount}, {const_cast<char *>(second), secondCount}};
        int next = 0;
        std::size_t done = 0;
        while (done < firstCount + secondCount) {
            const ssize_t put = ::writev(mFd, parts + next, 2 - next);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                break;
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
            const ssize_t put = ::pwrite(mFd, data + done, count - done, static_cast<off_t>(position + done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                break;
            done += static_cast<std::size_t>(put);
        }
        return done;
    }

    std::uint64_t position() const override { return mPosition; }

    void seek(std::uint64_t position) override
    {
        if (::lseek(mFd, static_cast<off_t>(position), SEEK_SET) >= 0)
            mPosition = position;
    }

    std::uint64_t size() const override
    {
        struct stat info {};
        return ::fstat(mFd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }

    void truncate() override
    {
        // A file already of that length is left alone: on ext4, truncating
        // to zero, even a file that is empty, makes close() start writing
        // the whole archive back at once, which holds up the end of a pack.
        struct stat info {};
        if (::fstat(mFd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == mPosition)
            return;
        while (::ftruncate(mFd, static_cast<off_t>(mPosition)) != 0 && errno == EINTR) {
        }
    }

    void flush() override { ::fsync(mFd); }

    std::optional<FileIdentity> identity() const override
    {
        struct stat info {};
        if (::fstat(mFd, &info) != 0)
            return std::nullopt;
        return FileIdentity {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }

private:
    int mFd;
    std::uint64_t mPosition = 0;
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
    seek(position);
    const std::size_t stored = write(data, count);
    seek(back);
    return stored;
}

std::unique_ptr<ArchiveStream> PosixArchiveFileSystem::createArchive(const std::string &path)
{
    // Opened without truncation first, so a file that another writer holds
    // is refused before anything of it is lost.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw FileCreateError(path, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throw FileCreateError(path, std::strerror(error));
    }
    // A new (empty) file is not truncated, for the reason given at truncate().
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (info.st_size != 0 && ::ftruncate(fd, 0) != 0)) {
        const int error = errno;
        ::close(fd);
        throw FileCreateError(path, std::strerror(error));
    }
    return std::make_unique<PosixArchiveStream>(fd);
}

std::unique_ptr<SourceFile> PosixArchiveFileSystem::openSource(const std::string &path, TFileShareMode)
{
    // Non-blocking, so that a file replaced by a pipe after the walk cannot
    // hang the open; anything but a regular file is then refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Of the flags F_SETFL changes only O_NONBLOCK was set, so clearing
    // them all clears it without asking for them first. Read-ahead advice
    // only pays for files read in several steps.
    ::fcntl(fd, F_SETFL, 0);
    if (info.st_size > 1024 * 1024)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixSource>(fd, static_cast<std::uint64_t>(info.st_size));
}

} // namespace voriraz

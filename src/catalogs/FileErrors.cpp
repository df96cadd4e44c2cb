#include "catalogs/FileErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voriraz {

FileOpenError::FileOpenError(const std::string &path, int errorNumber)
    : FileOpenError(path, std::string(std::strerror(errorNumber)))
{
}

FileOpenError::FileOpenError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot open file \"" + path + "\". " + reason)
{
}

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : mFd(fd) {}
    ~FileDescriptor() { if (mFd >= 0) ::close(mFd); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return mFd; }

private:
    int mFd;
};

} // namespace

std::string readWholeFile(const std::string &path)
{
    // Non-blocking, so that opening a named pipe does not wait for a writer;
    // the flag changes nothing for the regular files that are read.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        throw FileOpenError(path, errno);

    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        throw FileOpenError(path, errno);
    if (S_ISDIR(info.st_mode))
        throw FileOpenError(path, EISDIR);
    // A device or a pipe may never end (/dev/zero) or block forever.
    if (!S_ISREG(info.st_mode))
        throw FileOpenError(path, std::string("Not a regular file"));

    // One read of the announced size; the loop only guards against short
    // reads and files that grow or shrink while being read.
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + 4096);
        const ssize_t got = ::read(file.get(), content.data() + filled, content.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw FileOpenError(path, errno);
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);
    return content;
}

} // namespace voriraz

#include "platform/File.h"
#include "platform/ExclusiveFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace voriraz::platform {

namespace {

FileIdentity identityOf(const struct stat &info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Repeats a call that a signal interrupted.
template <typename Call>
auto retried(Call call)
{
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

} // namespace

File::~File()
{
    if (mHandle >= 0)
        ::close(static_cast<int>(mHandle));
}

File::File(File &&other) noexcept : mHandle(std::exchange(other.mHandle, -1)) {}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        if (mHandle >= 0)
            ::close(static_cast<int>(mHandle));
        mHandle = std::exchange(other.mHandle, -1);
    }
    return *this;
}

File File::openForReading(const std::string &path, Sharing, std::uint64_t *size)
{
    // Non-blocking, so that a pipe in place of a file cannot hang the open;
    // anything but a regular file is then refused. (The system has no
    // mandatory sharing, so the sharing asked for is not enforced.)
    File file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return file;
    file.mHandle = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return File();
    if (!S_ISREG(info.st_mode)) {
        file = File();
        errno = EINVAL;
        return file;
    }
    // O_NONBLOCK stays: it has no effect on a regular file's reads, and
    // clearing it would cost a call per file. Read-ahead advice only pays
    // for files read in several steps, and is only advice.
    if (info.st_size > 1024 * 1024)
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (size)
        *size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

int createExclusiveFile(std::string &pattern)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<std::uint64_t> counter {0};
    const std::size_t at = pattern.size() - std::min<std::size_t>(pattern.size(), 6);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t bits = 0;
        if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
            bits = (static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull)
                   ^ static_cast<std::uint64_t>(std::time(nullptr)) ^ (counter.fetch_add(1) << 20);
        for (std::size_t i = at; i < pattern.size(); ++i, bits /= 62)
            pattern[i] = letters[bits % 62];
        const int fd = ::open(pattern.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

File File::createUnique(const std::string &folder, const std::string &prefix, std::string *created)
{
    std::string path = (folder == "/" ? std::string() : folder) + "/" + prefix + "XXXXXX";
    File file;
    const int fd = createExclusiveFile(path);
    if (fd >= 0) {
        file.mHandle = fd;
        *created = path;
    }
    return file;
}

bool File::isOpen() const
{
    return mHandle >= 0;
}

std::int64_t File::read(char *buffer, std::size_t count)
{
    return retried([&] { return ::read(static_cast<int>(mHandle), buffer, count); });
}

std::int64_t File::write(const char *data, std::size_t count)
{
    return retried([&] { return ::write(static_cast<int>(mHandle), data, count); });
}

std::int64_t File::writeGathered(const char *first, std::size_t firstCount, const char *second, std::size_t secondCount)
{
    const iovec parts[2] = {{const_cast<char *>(first), firstCount}, {const_cast<char *>(second), secondCount}};
    return retried([&] { return ::writev(static_cast<int>(mHandle), parts, secondCount ? 2 : 1); });
}

std::int64_t File::writeAt(std::uint64_t position, const char *data, std::size_t count)
{
    return retried([&] { return ::pwrite(static_cast<int>(mHandle), data, count, static_cast<off_t>(position)); });
}

bool File::seek(std::uint64_t position)
{
    return ::lseek(static_cast<int>(mHandle), static_cast<off_t>(position), SEEK_SET) >= 0;
}

std::optional<std::uint64_t> File::size() const
{
    struct stat info {};
    if (::fstat(static_cast<int>(mHandle), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool File::resize(std::uint64_t length)
{
    return retried([&] { return ::ftruncate(static_cast<int>(mHandle), static_cast<off_t>(length)); }) == 0;
}

bool File::sync()
{
    return ::fsync(static_cast<int>(mHandle)) == 0;
}

std::optional<FileIdentity> File::identity() const
{
    struct stat info {};
    if (::fstat(static_cast<int>(mHandle), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

bool File::takePermissionsOf(const std::string &path)
{
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0)
        return false;
    // Only a privileged process may give a file away; keeping our own
    // ownership is the ordinary outcome, not an error.
    [[maybe_unused]] const int owned = ::fchown(static_cast<int>(mHandle), existing.st_uid, existing.st_gid);
    return ::fchmod(static_cast<int>(mHandle), existing.st_mode & 07777) == 0;
}

bool File::close()
{
    // The descriptor is gone whatever close() says; its error still means
    // the data may not be on the disk.
    return ::close(static_cast<int>(std::exchange(mHandle, -1))) == 0;
}

namespace {

// Describes the item name of the open folder at folderFd, whose path is
// folderPath: relative to the open folder, so an item whose full path is
// too long to open still shows up (and is refused with a clear error when
// packed).
FolderItem describeItem(int folderFd, const std::string &folderPath, const std::string &name)
{
    FolderItem item;
    item.name = name;
    item.hidden = name.front() == '.';
    const auto unreadable = [&item](int error) {
        item.kind = FolderItem::Kind::Unreadable;
        item.error = error;
        return item;
    };
    struct stat info {};
    if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return unreadable(errno);
    if (S_ISLNK(info.st_mode)) {
        if (::fstatat(folderFd, name.c_str(), &info, 0) != 0) {
            const int error = errno;
            if (error == ELOOP) {
                item.kind = FolderItem::Kind::LinkLoop;
                return item;
            }
            if (error != ENOENT && error != ENOTDIR)
                return unreadable(error);
            // What the link names, for the report.
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(folderFd, name.c_str(), target, sizeof target);
            item.kind = FolderItem::Kind::BrokenLink;
            item.linkTarget = length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
            return item;
        }
        char resolved[PATH_MAX];
        if (!::realpath((folderPath + "/" + name).c_str(), resolved))
            return unreadable(errno);
        item.linkTarget = resolved;
    }
    item.kind = S_ISREG(info.st_mode)                            ? FolderItem::Kind::File
                : S_ISDIR(info.st_mode)                          ? FolderItem::Kind::Folder
                : S_ISFIFO(info.st_mode)                         ? FolderItem::Kind::Pipe
                : S_ISSOCK(info.st_mode)                         ? FolderItem::Kind::Socket
                : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? FolderItem::Kind::Device
                                                                 : FolderItem::Kind::Other;
    item.size = static_cast<std::uint64_t>(info.st_size);
    item.modified = info.st_mtime;
    item.identity = identityOf(info);
    item.readOnly = (info.st_mode & S_IWUSR) == 0;
    return item;
}

} // namespace

std::optional<std::vector<FolderItem>> listFolder(const std::string &path)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> folder(::opendir(path.c_str()), ::closedir);
    if (!folder)
        return std::nullopt;
    std::vector<FolderItem> items;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(folder.get());
        if (!entry) {
            // A listing that breaks off would leave the rest out unseen.
            if (errno != 0)
                return std::nullopt;
            return items;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        items.push_back(describeItem(::dirfd(folder.get()), path, name));
    }
}

FolderItem folderItem(const std::string &folder, const std::string &name)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        FolderItem item;
        item.name = name;
        item.kind = FolderItem::Kind::Unreadable;
        item.error = errno;
        return item;
    }
    FolderItem item = describeItem(fd, folder, name);
    ::close(fd);
    return item;
}

std::optional<std::string> realPath(const std::string &path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

std::string absolutePath(const std::string &path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    return std::filesystem::absolute(path).lexically_normal().string();
}

std::pair<std::string, std::string> folderAndName(const std::string &path)
{
    const std::size_t separator = path.find_last_of("/");
    if (separator == std::string::npos)
        return {".", path};
    return {separator == 0 ? path.substr(0, 1) : path.substr(0, separator), path.substr(separator + 1)};
}

std::size_t pageSize()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::optional<FileIdentity> identityOf(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

Replacement replaceWith(const std::string &source, const std::string &target, bool durable)
{
    if (::rename(source.c_str(), target.c_str()) != 0)
        return Replacement::Failed;
    if (!durable)
        return Replacement::Done;
    // Makes the rename itself durable. A file system that cannot flush a
    // folder says so with EINVAL; that is no failure. The new file is in
    // place whatever happens here.
    const std::string folder = folderAndName(target).first;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Replacement::DoneNotFlushed;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced ? Replacement::Done : Replacement::DoneNotFlushed;
}

bool removeFile(const std::string &path)
{
    return ::unlink(path.c_str()) == 0;
}

bool isWritable(const std::string &path)
{
    return ::access(path.c_str(), W_OK) == 0;
}

std::optional<std::tm> localTime(std::time_t time)
{
    std::tm local {};
    if (!::localtime_r(&time, &local))
        return std::nullopt;
    return local;
}

void *allocatePages(std::size_t size)
{
    void *pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void releasePages(void *pages, std::size_t size)
{
    ::munmap(pages, size);
}

} // namespace voriraz::platform

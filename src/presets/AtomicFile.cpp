#include "presets/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voriraz {

namespace {

WriteFaultHook &faultHook()
{
    static WriteFaultHook hook;
    return hook;
}

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path finally names, following symbolic links, so that the
// link itself survives the replacement.
std::string resolveTarget(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

// Removes the temporary file unless the replacement went through.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::string pathPattern) : mPath(std::move(pathPattern)) {}
    ~TemporaryFile()
    {
        if (mFd >= 0)
            ::close(mFd);
        if (!mKeep && mFd != -2)
            ::unlink(mPath.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool create()
    {
        mFd = ::mkstemp(mPath.data());
        if (mFd < 0) {
            mFd = -2; // nothing was created, nothing to remove
            return false;
        }
        return true;
    }
    int closeFile()
    {
        const int result = ::close(mFd);
        mFd = -1;
        return result;
    }
    void keep() { mKeep = true; }
    int fd() const { return mFd; }
    const std::string &path() const { return mPath; }

private:
    std::string mPath;
    int mFd = -1;
    bool mKeep = false;
};

} // namespace

FileWriteError::FileWriteError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot write file \"" + path + "\". " + reason)
{
}

void setWriteFaultHookForTesting(WriteFaultHook hook)
{
    faultHook() = std::move(hook);
}

void writeFileAtomically(const std::string &path, std::string_view content)
{
    const std::string target = resolveTarget(path);
    const std::string directory = directoryOf(target);
    auto fail = [&](int errorNumber) { throw FileWriteError(path, std::strerror(errorNumber)); };

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(EISDIR);
    // Replacing the file through its directory would get round a file that
    // its owner made read-only; refuse as a write in place would.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        fail(errno);

    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    TemporaryFile temporary((directory == "/" ? std::string() : directory) + "/." + name + ".XXXXXX");
    if (!temporary.create())
        fail(errno);

    std::size_t written = 0;
    while (written < content.size()) {
        if (const WriteFaultHook &hook = faultHook()) {
            if (const int injected = hook(written))
                fail(injected);
        }
        const ssize_t count = ::write(temporary.fd(), content.data() + written, content.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        written += static_cast<std::size_t>(count);
    }

    // A new file gets the permissions any new file would get; an existing
    // one keeps its own (and, where allowed, its owner).
    mode_t mode = 0666;
    if (exists) {
        mode = existing.st_mode & 07777;
        if (::fchown(temporary.fd(), existing.st_uid, existing.st_gid) != 0) {
            // Only a privileged process may give a file away; keeping our
            // own ownership is the ordinary outcome, not an error.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(temporary.fd(), mode) != 0)
        fail(errno);
    if (::fsync(temporary.fd()) != 0)
        fail(errno);
    if (temporary.closeFile() != 0)
        fail(errno);
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        fail(errno);
    temporary.keep();

    // Make the rename itself durable; a failure here no longer endangers
    // either version of the file.
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace voriraz

#include "SystemSupport.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char **environ;

namespace fs = std::filesystem;

namespace voriraz::test {

namespace {

// Reads both pipes until the program has closed them, or the time is up.
bool readUntilClosed(std::array<int, 2> fds, std::array<std::string *, 2> into, int timeoutMs)
{
    std::array<pollfd, 2> polls {{{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}}};
    int open = 2;
    while (open > 0) {
        const int ready = ::poll(polls.data(), polls.size(), timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        for (std::size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = ::read(polls[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                polls[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

std::runtime_error systemFailure(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

ProcessRun runProcess(const ProcessRequest &request)
{
    ProcessRun run;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        run.failure = std::string("pipe: ") + std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (request.stdoutFile.empty())
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, request.stdoutFile.c_str(),
                                         O_WRONLY | O_TRUNC | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!request.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, request.workingDirectory.c_str());

    std::vector<std::string> argv {request.program};
    argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char *> pointers;
    for (std::string &argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, pointers.front(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    const bool finished =
        spawned == 0 && readUntilClosed({outPipe[0], errPipe[0]}, {&run.out, &run.err}, request.timeoutMs);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (spawned != 0) {
        run.failure = std::strerror(spawned);
        return run;
    }
    run.started = true;
    if (!finished)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.finished = finished && WIFEXITED(status);
    if (run.finished)
        run.status = WEXITSTATUS(status);
    return run;
}

std::string fileNotFoundText()
{
    return std::strerror(ENOENT);
}

std::string pathNotFoundText()
{
    return std::strerror(ENOENT);
}

fs::path makeTemporaryFolder(std::string_view prefix)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw systemFailure("cannot create a temporary directory");
    return pattern;
}

// The folders are made one below the other, each opened relative to the
// last, so no call sees more than one name.
void writeDeepFile(const fs::path &path, std::string_view bytes)
{
    int folder = ::open("/", O_DIRECTORY | O_CLOEXEC);
    const fs::path parent = path.parent_path();
    for (auto part = std::next(parent.begin()); part != parent.end() && folder >= 0; ++part) {
        if (::mkdirat(folder, part->c_str(), 0755) != 0 && errno != EEXIST)
            break;
        const int next = ::openat(folder, part->c_str(), O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    const int fd = folder < 0 ? -1 : ::openat(folder, path.filename().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0)
        ::close(fd);
    if (folder >= 0)
        ::close(folder);
    if (!written)
        throw systemFailure("cannot write " + path.string());
}

int openDescriptor(const fs::path &path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

void closeDescriptor(int fd)
{
    ::close(fd);
}

long peakMemoryKb()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::optional<std::size_t> heapBytesInUse()
{
    return mallinfo2().uordblks;
}

void makeFifo(const fs::path &path)
{
    if (::mkfifo(path.c_str(), 0644) != 0)
        throw systemFailure("mkfifo " + path.string());
}

bool makeNullDeviceNode(const fs::path &path)
{
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        return true;
    if (errno == EPERM)
        return false;
    throw systemFailure("mknod " + path.string());
}

BoundSocket::BoundSocket(const fs::path &path)
    : mFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (mFd < 0 || name.size() >= sizeof address.sun_path)
        throw std::runtime_error("cannot make a socket at " + name);
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    if (::bind(mFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(mFd);
        throw systemFailure("bind " + name);
    }
}

BoundSocket::~BoundSocket()
{
    ::close(mFd);
}

FileSizeLimit::FileSizeLimit(std::uint64_t limit, Signal signal)
    : mSignal(signal)
{
    rlimit current {};
    if (::getrlimit(RLIMIT_FSIZE, &current) != 0)
        throw systemFailure("getrlimit");
    mSaved = current.rlim_cur;
    if (mSignal == ignoreSignal)
        mHandler = std::signal(SIGXFSZ, SIG_IGN);
    current.rlim_cur = limit;
    if (::setrlimit(RLIMIT_FSIZE, &current) != 0)
        throw systemFailure("setrlimit");
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit current {};
    ::getrlimit(RLIMIT_FSIZE, &current);
    current.rlim_cur = mSaved;
    ::setrlimit(RLIMIT_FSIZE, &current);
    if (mSignal == ignoreSignal)
        std::signal(SIGXFSZ, mHandler);
}

unsigned permissionBits(const fs::path &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw systemFailure("stat " + path.string());
    return info.st_mode & 07777;
}

std::optional<std::size_t> threadCount()
{
    std::error_code error;
    std::size_t count = 0;
    for (auto task = fs::directory_iterator("/proc/self/task", error); !error && task != fs::directory_iterator();
         task.increment(error))
        ++count;
    if (error)
        return std::nullopt;
    return count;
}

unsigned setUmaskForTesting(unsigned mask)
{
    return ::umask(static_cast<mode_t>(mask));
}

bool makeDeviceNode(const fs::path &path, unsigned major, unsigned minor)
{
    return ::mknod(path.c_str(), S_IFCHR | 0644, makedev(major, minor)) == 0;
}

BackgroundProcess::BackgroundProcess(const ProcessRequest &request, const fs::path &stdoutFile,
                                     const fs::path &stderrFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
    if (!request.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, request.workingDirectory.c_str());
    // A test run in the background of a shell has SIGINT and SIGQUIT
    // ignored, and the program would inherit that.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argv {request.program};
    argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char *> pointers;
    for (std::string &argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, pointers.front(), &actions, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot start ") + request.program + ": " + std::strerror(spawned));
    mPid = pid;
}

BackgroundProcess::~BackgroundProcess()
{
    if (running()) {
        ::kill(static_cast<pid_t>(mPid), SIGKILL);
        wait(10000);
    }
}

bool BackgroundProcess::running()
{
    if (mPid < 0)
        return false;
    int status = 0;
    const pid_t ended = ::waitpid(static_cast<pid_t>(mPid), &status, WNOHANG);
    if (ended == 0)
        return true;
    if (ended == static_cast<pid_t>(mPid))
        mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    mPid = -1;
    return false;
}

void BackgroundProcess::sendSignal(int signal)
{
    if (mPid >= 0)
        ::kill(static_cast<pid_t>(mPid), signal);
}

int BackgroundProcess::wait(int timeoutMs)
{
    for (int waited = 0; running(); waited += 10) {
        if (waited >= timeoutMs) {
            ::kill(static_cast<pid_t>(mPid), SIGKILL);
            while (running())
                ::usleep(10000);
            return -1;
        }
        ::usleep(10000);
    }
    return mStatus;
}

} // namespace voriraz::test

#pragma once

// What the tests need of the operating system beyond std::filesystem:
// starting a program, a fresh temporary folder, paths longer than the
// system's usual limit, and the POSIX-only devices and limits some tests
// inject failures with. SystemSupportPosix.cpp and SystemSupportWin32.cpp
// implement it; the build picks one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz::test {

#ifdef _WIN32
inline constexpr bool onWindows = true;
#else
inline constexpr bool onWindows = false;
#endif

// A test, or the rest of one, that only means something on POSIX systems
// is skipped on Windows with its reason, so the count of skipped tests
// shows it.
#define VORIRAZ_POSIX_ONLY(reason)                                                                               \
    if constexpr (::voriraz::test::onWindows)                                                                    \
    GTEST_SKIP() << "POSIX only: " << reason

// A message with every '\' read as '/' on Windows, where a path the
// program was given with one separator and extended with the other is
// still the same path; elsewhere the message as it is.
inline std::string slashed(std::string text)
{
    if constexpr (onWindows)
        std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// The system's text for a file that is not there, and for a path whose
// folder is not there (the same "No such file or directory" on POSIX).
std::string fileNotFoundText();
std::string pathNotFoundText();

// A program that ran: its exit status, what it wrote, and whether it
// finished on its own within the time given.
struct ProcessRun
{
    bool started = false;
    bool finished = false;
    int status = -1;
    std::string out;
    std::string err;
    // Why it could not be started.
    std::string failure;
};

struct ProcessRequest
{
    std::string program;
    std::vector<std::string> arguments;
    std::filesystem::path workingDirectory;
    // Where standard output goes instead of being captured, if anywhere.
    std::string stdoutFile;
    int timeoutMs = 60000;
};

// Starts the program with its arguments (each passed as it is, no shell)
// and waits for it, reading standard output and standard error apart.
ProcessRun runProcess(const ProcessRequest &request);

// Creates a new folder with a unique name beginning with prefix under the
// system's temporary folder, and returns its path.
std::filesystem::path makeTemporaryFolder(std::string_view prefix);

// Creates a file and the folders on its way where the path is longer than
// the system accepts of an ordinary path (PATH_MAX, or 260 characters on
// Windows).
void writeDeepFile(const std::filesystem::path &path, std::string_view bytes);

// The threads this process runs now, where the system tells.
std::optional<std::size_t> threadCount();

// The peak resident memory of this process so far, in kilobytes.
long peakMemoryKb();

// The bytes the allocator has handed out and not taken back, where it
// keeps that count.
std::optional<std::size_t> heapBytesInUse();

// A C file descriptor of a new (or emptied) file, open for writing bytes
// as they are; -1 when it cannot be opened.
int openDescriptor(const std::filesystem::path &path);
void closeDescriptor(int fd);

// The following exist on POSIX systems only; their Windows side throws.

// A named pipe at path.
void makeFifo(const std::filesystem::path &path);

// A character device node at path that reads and writes like /dev/null
// (the same device numbers), for a test's own temporary folder; false when
// the process may not make one (only root may).
bool makeNullDeviceNode(const std::filesystem::path &path);

// A Unix-domain socket bound at path, closed when the object goes.
class BoundSocket
{
public:
    explicit BoundSocket(const std::filesystem::path &path);
    ~BoundSocket();
    BoundSocket(const BoundSocket &) = delete;
    BoundSocket &operator=(const BoundSocket &) = delete;

private:
    int mFd = -1;
};

// Limits the size of files this process (and what it starts) may write,
// for the scope. Writes past it then fail with EFBIG instead of raising
// SIGXFSZ; with keepSignal the signal is left as it is, so that a program
// started meanwhile meets the limit as it would outside the tests.
class FileSizeLimit
{
public:
    enum Signal { ignoreSignal, keepSignal };
    explicit FileSizeLimit(std::uint64_t limit, Signal signal = ignoreSignal);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    std::uint64_t mSaved = 0;
    Signal mSignal = ignoreSignal;
    void (*mHandler)(int) = nullptr;
};

// A device every write to fails with "No space left on device".
inline const char *const fullDevice = "/dev/full";

// The permission bits of a file (the low nine of its mode).
unsigned permissionBits(const std::filesystem::path &path);

// Sets the process's umask and returns the one it had.
unsigned setUmaskForTesting(unsigned mask);

// A device node (character device major, minor) at path; false, when the
// process may not make one (it is not root), with nothing made.
bool makeDeviceNode(const std::filesystem::path &path, unsigned major, unsigned minor);

// A program running in the background, its output going to files, with
// SIGINT, SIGTERM, SIGHUP and SIGQUIT at their defaults whatever this
// process ignores, so a test can act on it while it runs. Killed and
// reaped when the object goes while it still runs.
class BackgroundProcess
{
public:
    BackgroundProcess(const ProcessRequest &request, const std::filesystem::path &stdoutFile,
                      const std::filesystem::path &stderrFile);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess &) = delete;
    BackgroundProcess &operator=(const BackgroundProcess &) = delete;

    // Whether it still runs.
    bool running();
    void sendSignal(int signal);
    // Waits up to timeoutMs for it to end. Its exit status, or 128 + the
    // signal's number when a signal ended it, as a shell reports it; -1
    // when it still ran (it is then killed).
    int wait(int timeoutMs);

private:
    long mPid = -1;
    int mStatus = -1;
};

} // namespace voriraz::test

#include "SystemSupport.h"

#include "platform/Files.h"
#include "platform/WidePath.h"

#include <windows.h>
#include <psapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace voriraz::test {

namespace {

std::runtime_error systemFailure(const std::string &what)
{
    return std::runtime_error(what + ": Windows error " + std::to_string(GetLastError()));
}

std::runtime_error posixOnly(const char *what)
{
    return std::runtime_error(std::string(what) + " exists on POSIX systems only");
}

// One argument as the C runtime of the started program splits its command
// line: quoted, with the backslashes before a quote doubled.
void appendQuoted(std::wstring &line, const std::wstring &argument)
{
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// Reads a pipe to its end on a thread of its own, so that a program that
// fills one pipe while the other is not read cannot stall.
class PipeReader
{
public:
    PipeReader(HANDLE pipe, std::string &into)
        : mThread([pipe, &into] {
              char buffer[65536];
              DWORD got = 0;
              while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
                  into.append(buffer, got);
              CloseHandle(pipe);
          })
    {
    }
    ~PipeReader() { mThread.join(); }

private:
    std::thread mThread;
};

HANDLE inheritable(HANDLE handle)
{
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

} // namespace

ProcessRun runProcess(const ProcessRequest &request)
{
    ProcessRun run;
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, nullptr, 0) || !CreatePipe(&errRead, &errWrite, nullptr, 0)) {
        run.failure = "cannot make a pipe";
        return run;
    }
    HANDLE stdoutHandle = outWrite;
    if (!request.stdoutFile.empty()) {
        stdoutHandle = CreateFileW(platform::systemPath(request.stdoutFile).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
    }
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(stdoutHandle);
    startup.hStdError = inheritable(errWrite);

    const std::wstring program = platform::systemPath(request.program);
    std::wstring line;
    appendQuoted(line, program);
    for (const std::string &argument : request.arguments) {
        line += L' ';
        appendQuoted(line, platform::wideText(argument));
    }
    const std::wstring folder =
        request.workingDirectory.empty() ? std::wstring() : request.workingDirectory.wstring();
    PROCESS_INFORMATION process {};
    const BOOL created = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    const DWORD createError = GetLastError();
    // Only the child holds the writing ends now, so the readers end when it does.
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (stdoutHandle != outWrite && stdoutHandle != INVALID_HANDLE_VALUE)
        CloseHandle(stdoutHandle);
    {
        PipeReader outReader(outRead, run.out);
        PipeReader errReader(errRead, run.err);
        if (!created) {
            run.failure = "CreateProcessW failed with Windows error " + std::to_string(createError);
            return run;
        }
        run.started = true;
        run.finished = WaitForSingleObject(process.hProcess, static_cast<DWORD>(request.timeoutMs)) == WAIT_OBJECT_0;
        if (!run.finished)
            TerminateProcess(process.hProcess, 255);
    }
    DWORD status = 0;
    if (run.finished && GetExitCodeProcess(process.hProcess, &status))
        run.status = static_cast<int>(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

std::string fileNotFoundText()
{
    return platform::errorText(ERROR_FILE_NOT_FOUND);
}

std::string pathNotFoundText()
{
    return platform::errorText(ERROR_PATH_NOT_FOUND);
}

fs::path makeTemporaryFolder(std::string_view prefix)
{
    static std::atomic<unsigned> serial {0};
    const fs::path temporary = fs::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate = temporary
            / (std::string(prefix) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++) + "-"
               + std::to_string(GetTickCount64() % 100000));
        if (CreateDirectoryW(candidate.wstring().c_str(), nullptr))
            return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw systemFailure("cannot create a temporary directory");
}

// The "\\?\" form of the path lifts the 260-character limit of each call.
void writeDeepFile(const fs::path &path, std::string_view bytes)
{
    const fs::path parent = path.parent_path();
    fs::path folder;
    for (const fs::path &part : parent) {
        folder /= part;
        if (folder == folder.root_path())
            continue;
        const std::wstring wide = platform::systemPath(folder.string());
        if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw systemFailure("cannot create " + folder.string());
    }
    HANDLE file = CreateFileW(platform::systemPath(path.string()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE
        && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        && written == bytes.size();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!ok)
        throw systemFailure("cannot write " + path.string());
}

int openDescriptor(const fs::path &path)
{
    return ::_wopen(path.wstring().c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

void closeDescriptor(int fd)
{
    ::_close(fd);
}

long peakMemoryKb()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        throw systemFailure("GetProcessMemoryInfo");
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

std::optional<std::size_t> heapBytesInUse()
{
    return std::nullopt;
}

void makeFifo(const fs::path &)
{
    throw posixOnly("a named pipe in the file system");
}

bool makeNullDeviceNode(const fs::path &)
{
    throw posixOnly("a device node in the file system");
}

BoundSocket::BoundSocket(const fs::path &)
{
    throw posixOnly("a socket in the file system");
}

BoundSocket::~BoundSocket() = default;

FileSizeLimit::FileSizeLimit(std::uint64_t, Signal)
{
    throw posixOnly("a file size limit");
}

FileSizeLimit::~FileSizeLimit() = default;

unsigned permissionBits(const fs::path &)
{
    throw posixOnly("a file's permission bits");
}

std::optional<std::size_t> threadCount()
{
    return std::nullopt;
}

unsigned setUmaskForTesting(unsigned)
{
    throw posixOnly("the umask");
}

bool makeDeviceNode(const fs::path &, unsigned, unsigned)
{
    throw posixOnly("a device node in the file system");
}

BackgroundProcess::BackgroundProcess(const ProcessRequest &, const fs::path &, const fs::path &)
{
    throw posixOnly("signals sent to a program");
}

BackgroundProcess::~BackgroundProcess() = default;

bool BackgroundProcess::running()
{
    return false;
}

void BackgroundProcess::sendSignal(int)
{
}

int BackgroundProcess::wait(int)
{
    return mStatus;
}

} // namespace voriraz::test

#include "platform/Files.h"
#include "platform/WidePath.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace voriraz::platform {

std::wstring wideText(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string utf8Text(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

std::wstring systemPath(const std::string &path)
{
    std::wstring wide = wideText(path);
    for (wchar_t &c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    if (wide.starts_with(L"\\\\?\\"))
        return wide;
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    // A network path \\server\share takes the prefix's UNC form.
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string programPath(std::wstring_view path)
{
    std::wstring plain(path);
    if (path.starts_with(L"\\\\?\\UNC\\"))
        plain = L"\\\\" + plain.substr(8);
    else if (path.starts_with(L"\\\\?\\"))
        plain = plain.substr(4);
    std::string text = utf8Text(plain);
    for (char &c : text) {
        if (c == '\\')
            c = '/';
    }
    return text;
}

const char *const pathSeparators = "/\\";

// A UTF-8 path has at least as many bytes as its UTF-16 form has units.
const std::size_t longestPath = 32767 - 4;

std::vector<std::string> programArguments(int argc, char **argv)
{
    int count = 0;
    wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(utf8Text(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

std::string shownPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

SystemError errnoError(int errorNumber)
{
    return {errorNumber, std::strerror(errorNumber), errorNumber == ENOENT};
}

std::string errorText(int code)
{
    wchar_t *buffer = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                              | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&buffer),
                                          0, nullptr);
    std::string text = length ? utf8Text(std::wstring_view(buffer, length)) : "Error " + std::to_string(code);
    ::LocalFree(buffer);
    // The system's texts end in a full stop and a line end.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

SystemError lastSystemError()
{
    const DWORD code = ::GetLastError();
    const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    return {static_cast<int>(code), errorText(static_cast<int>(code)), missing};
}

const int diskFullError = ERROR_DISK_FULL;
const int accessDeniedError = ERROR_ACCESS_DENIED;
const int deviceError = ERROR_WRITE_FAULT;

namespace {

class Handle
{
public:
    explicit Handle(HANDLE handle) : mHandle(handle) {}
    ~Handle() { close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool valid() const { return mHandle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return mHandle; }
    bool close()
    {
        const bool closed = !valid() || ::CloseHandle(mHandle);
        mHandle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE mHandle;
};

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens what path names, links and junctions followed; folders too.
HANDLE openExisting(const std::string &path, DWORD access)
{
    return ::CreateFileW(systemPath(path).c_str(), access, shareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

int writeAll(HANDLE file, std::string_view bytes, const WriteFault &fault, SystemError &error)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        if (fault) {
            if (const int injected = fault(written)) {
                error = errnoError(injected);
                return 1;
            }
        }
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD count = 0;
        if (!::WriteFile(file, bytes.data() + written, chunk, &count, nullptr)) {
            error = lastSystemError();
            return 1;
        }
        written += count;
    }
    return 0;
}

// The file a path finally names, links followed, so that the link itself
// survives the replacement.
std::wstring finalPath(const std::string &path)
{
    const Handle file(openExisting(path, 0));
    if (!file.valid())
        return systemPath(path);
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                                         FILE_NAME_NORMALIZED);
        if (length == 0)
            return systemPath(path);
        if (length < final.size()) {
            final.resize(length);
            return final;
        }
        final.resize(length + 1);
    }
}


// The content of an open file, or nothing with the reason: "Is a directory"
// for a folder, "Not a regular file" for a device or pipe.
std::optional<std::string> readOpenFile(HANDLE file, SystemError &error)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(file, &info)) {
        error = lastSystemError();
        return std::nullopt;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = errnoError(EISDIR);
        error.notRegular = true;
        return std::nullopt;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        error = {0, "Not a regular file", false, true};
        return std::nullopt;
    }

    // One read of the announced size; the loop only guards against short
    // reads and files that grow or shrink while being read.
    std::string content((static_cast<std::size_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + 4096);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - filled, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file, content.data() + filled, chunk, &got, nullptr)) {
            error = lastSystemError();
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    content.resize(filled);
    return content;
}

// Where an open file or folder lies, every link followed, as the system
// names it ("\\?\C:\..."); nothing when it cannot say.
std::optional<std::wstring> handlePath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED);
        // A buffer too short gets the length needed; Wine says
        // ERROR_MORE_DATA instead, without the length.
        if (length == 0 && ::GetLastError() == ERROR_MORE_DATA && path.size() < 65536) {
            path.resize(path.size() * 4);
            continue;
        }
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

// Where an open file or folder lies, links followed, as its volume's serial
// number and its path on the volume ("1234ABCD:\\dir\\file"), for handles
// whose final path the system does not give; nothing when it cannot say.
std::optional<std::wstring> volumePath(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto *name = reinterpret_cast<FILE_NAME_INFO *>(buffer.data());
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(buffer.size())))
        return std::nullopt;
    wchar_t serial[16];
    ::swprintf(serial, 16, L"%08lX:", static_cast<unsigned long>(info.dwVolumeSerialNumber));
    return std::wstring(serial) + std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

// Whether a final path is the folder's or lies below it; letter case does
// not tell names apart on Windows.
bool liesInside(const std::wstring &path, std::wstring root)
{
    while (!root.empty() && root.back() == L'\\')
        root.pop_back();
    if (path.size() < root.size())
        return false;
    if (::CompareStringOrdinal(path.data(), static_cast<int>(root.size()), root.data(), static_cast<int>(root.size()), TRUE)
        != CSTR_EQUAL)
        return false;
    return path.size() == root.size() || path[root.size()] == L'\\';
}

} // namespace

std::string executablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw std::runtime_error("Cannot determine the program's directory. " + lastSystemError().text);
        if (length < buffer.size()) {
            buffer.resize(length);
            return programPath(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

FileKind fileKind(const std::string &path, SystemError *error)
{
    const Handle file(openExisting(path, 0));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
        if (error)
            *error = lastSystemError();
        return FileKind::Missing;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return FileKind::Directory;
    return ::GetFileType(file.get()) == FILE_TYPE_DISK ? FileKind::Regular : FileKind::Other;
}

std::optional<std::uint64_t> fileSize(const std::string &path)
{
    const Handle file(openExisting(path, 0));
    LARGE_INTEGER size {};
    if (!file.valid() || !::GetFileSizeEx(file.get(), &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileStamp> fileStamp(const std::string &path)
{
    const Handle file(openExisting(path, 0));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info))
        return std::nullopt;
    return FileStamp {(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                      static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32)
                                                | info.ftLastWriteTime.dwLowDateTime)};
}

std::optional<std::string> readRegularFile(const std::string &path, SystemError &error)
{
    const Handle file(openExisting(path, GENERIC_READ));
    if (!file.valid()) {
        error = lastSystemError();
        return std::nullopt;
    }
    return readOpenFile(file.get(), error);
}

std::optional<std::string> readRegularFileInside(const std::string &folder, const std::string &relative,
                                                 SystemError &error, std::string *outside)
{
    // The file is opened with every link and junction followed, and the
    // system names where the opened file lies: checked on the handle, a
    // link changed meanwhile cannot lead elsewhere. Nothing is read before.
    const Handle root(openExisting(folder, 0));
    if (!root.valid()) {
        error = lastSystemError();
        return std::nullopt;
    }
    const Handle file(openExisting(folder + relative, GENERIC_READ));
    if (!file.valid()) {
        error = lastSystemError();
        return std::nullopt;
    }
    std::optional<std::wstring> rootPath = handlePath(root.get());
    std::optional<std::wstring> filePath = rootPath ? handlePath(file.get()) : std::nullopt;
    // Where the final path is too long for the system to give (Wine stops
    // at 260 characters), both are told by their path on their volume.
    if (!rootPath || !filePath) {
        rootPath = volumePath(root.get());
        filePath = rootPath ? volumePath(file.get()) : std::nullopt;
    }
    if (!rootPath || !filePath) {
        error = lastSystemError();
        return std::nullopt;
    }
    if (!liesInside(*filePath, *rootPath)) {
        if (outside)
            *outside = programPath(*filePath);
        error = {0, "Outside the folder", false};
        return std::nullopt;
    }
    return readOpenFile(file.get(), error);
}

std::optional<std::vector<std::string>> folderNames(const std::string &path, SystemError &error)
{
    WIN32_FIND_DATAW found {};
    const std::wstring pattern = systemPath(path) + L"\\*";
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        error = lastSystemError();
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(utf8Text(name));
    } while (::FindNextFileW(search, &found));
    const DWORD stopped = ::GetLastError();
    ::FindClose(search);
    if (stopped != ERROR_NO_MORE_FILES) {
        ::SetLastError(stopped);
        error = lastSystemError();
        return std::nullopt;
    }
    return names;
}

std::optional<SystemError> replaceFile(const std::string &path, std::string_view content, const WriteFault &fault)
{
    const std::wstring target = finalPath(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // The replacement would put a file in place of a folder or device.
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return SystemError {0, "Not a regular file", false, true};
    if (exists && fileKind(programPath(target), nullptr) == FileKind::Other)
        return SystemError {0, "Not a regular file", false, true};
    // A read-only file is refused, as a write in place would be.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return lastSystemError();
    }

    const std::size_t slash = target.rfind(L'\\');
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; created == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temporary = target.substr(0, slash + 1) + L"." + target.substr(slash + 1) + L"."
                    + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount() + attempt);
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return lastSystemError();
    }
    Handle file(created);
    if (!file.valid())
        return lastSystemError();

    SystemError error;
    bool placed = false;
    if (writeAll(file.get(), content, fault, error) == 0) {
        if (!::FlushFileBuffers(file.get()) || !file.close()) {
            error = lastSystemError();
        } else if (exists) {
            // Keeps the old file's attributes and security; on failure the
            // old file stays where it was.
            placed = ::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                    nullptr, nullptr);
        } else {
            placed = ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }
        if (!placed && error.code == 0 && error.text.empty())
            error = lastSystemError();
    }
    if (placed)
        return std::nullopt;
    file.close();
    ::DeleteFileW(temporary.c_str());
    return error;
}

std::int64_t writeDescriptor(int fd, const char *data, std::size_t count)
{
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
}

void useBinaryStandardStreams()
{
    ::_setmode(1, _O_BINARY);
    ::_setmode(2, _O_BINARY);
}

void failOversizeWrites()
{
    // Windows has no file size limit per process.
}

bool standardErrorIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace voriraz::platform

#include "platform/File.h"
#include "platform/WidePath.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

namespace voriraz::platform {

namespace {

HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

constexpr std::intptr_t noHandle = -1; // INVALID_HANDLE_VALUE

std::uint64_t joined(DWORD high, DWORD low)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return {info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow)};
}

// A file time (100 ns since 1601) as seconds since 1970.
std::time_t unixTime(const FILETIME &time)
{
    return static_cast<std::time_t>((joined(time.dwHighDateTime, time.dwLowDateTime) - 116444736000000000ull) / 10000000ull);
}

DWORD clampedCount(std::size_t count)
{
    return static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
}

} // namespace

File::~File()
{
    if (mHandle != noHandle)
        ::CloseHandle(handleOf(mHandle));
}

File::File(File &&other) noexcept : mHandle(std::exchange(other.mHandle, noHandle)) {}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        if (mHandle != noHandle)
            ::CloseHandle(handleOf(mHandle));
        mHandle = std::exchange(other.mHandle, noHandle);
    }
    return *this;
}

File File::openForReading(const std::string &path, Sharing sharing, std::uint64_t *size)
{
    const DWORD share = sharing == Sharing::Everything ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                        : sharing == Sharing::ReadOnly ? FILE_SHARE_READ
                                                       : 0;
    File file;
    const HANDLE handle = ::CreateFileW(systemPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return file;
    file.mHandle = reinterpret_cast<std::intptr_t>(handle);
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(handle, &info))
        return File();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(handle) != FILE_TYPE_DISK) {
        file = File();
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return file;
    }
    if (size)
        *size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return file;
}

File File::createUnique(const std::string &folder, const std::string &prefix, std::string *created)
{
    static std::atomic<unsigned> counter {0};
    File file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + "/" + prefix + std::to_string(::GetCurrentProcessId()) + "-"
                                 + std::to_string(::GetTickCount64()) + "-" + std::to_string(counter++);
        const HANDLE handle = ::CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.mHandle = reinterpret_cast<std::intptr_t>(handle);
            *created = path;
            return file;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return file;
}

bool File::isOpen() const
{
    return mHandle != noHandle;
}

std::int64_t File::read(char *buffer, std::size_t count)
{
    DWORD got = 0;
    if (!::ReadFile(handleOf(mHandle), buffer, clampedCount(count), &got, nullptr))
        return -1;
    return got;
}

std::int64_t File::write(const char *data, std::size_t count)
{
    DWORD put = 0;
    if (!::WriteFile(handleOf(mHandle), data, clampedCount(count), &put, nullptr))
        return -1;
    return put;
}

std::int64_t File::writeGathered(const char *first, std::size_t firstCount, const char *second, std::size_t secondCount)
{
    const std::int64_t put = write(first, firstCount);
    if (put < 0 || static_cast<std::size_t>(put) < firstCount || secondCount == 0)
        return put;
    const std::int64_t more = write(second, secondCount);
    return more < 0 ? put : put + more;
}

std::int64_t File::writeAt(std::uint64_t position, const char *data, std::size_t count)
{
    // A positioned write moves the file pointer on Windows: it is put back.
    LARGE_INTEGER here {};
    if (!::SetFilePointerEx(handleOf(mHandle), LARGE_INTEGER {}, &here, FILE_CURRENT))
        return -1;
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD put = 0;
    const bool written = ::WriteFile(handleOf(mHandle), data, clampedCount(count), &put, &at);
    const DWORD error = ::GetLastError();
    if (!::SetFilePointerEx(handleOf(mHandle), here, nullptr, FILE_BEGIN))
        return -1;
    if (!written) {
        ::SetLastError(error);
        return -1;
    }
    return put;
}

bool File::seek(std::uint64_t position)
{
    LARGE_INTEGER to {};
    to.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(handleOf(mHandle), to, nullptr, FILE_BEGIN);
}

std::optional<std::uint64_t> File::size() const
{
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(handleOf(mHandle), &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::resize(std::uint64_t length)
{
    FILE_END_OF_FILE_INFO end {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(handleOf(mHandle), FileEndOfFileInfo, &end, sizeof end);
}

bool File::sync()
{
    return ::FlushFileBuffers(handleOf(mHandle));
}

std::optional<FileIdentity> File::identity() const
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(handleOf(mHandle), &info))
        return std::nullopt;
    return identityOf(info);
}

bool File::takePermissionsOf(const std::string &)
{
    return true;
}

bool File::close()
{
    return ::CloseHandle(handleOf(std::exchange(mHandle, noHandle)));
}

namespace {

// Describes the item name of the folder; the handle's information when it
// could be opened, links followed.
FolderItem describeItem(const std::wstring &folder, const std::string &folderPath, const std::wstring &name,
                        DWORD listedAttributes)
{
    FolderItem item;
    item.name = utf8Text(name.c_str());
    const std::string full = folderPath + "/" + item.name;
    // Symbolic links and junctions are followed to what they lead to.
    const bool link = (listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const HANDLE handle = ::CreateFileW((folder + L"\\" + name).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (link && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            item.kind = FolderItem::Kind::BrokenLink;
            return item;
        }
        if (link && error == ERROR_CANT_RESOLVE_FILENAME) {
            item.kind = FolderItem::Kind::LinkLoop;
            return item;
        }
        item.kind = FolderItem::Kind::Unreadable;
        item.error = static_cast<int>(error);
        return item;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = ::GetFileInformationByHandle(handle, &info);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (!known) {
        item.kind = FolderItem::Kind::Unreadable;
        item.error = static_cast<int>(error);
        return item;
    }
    if (link) {
        const std::optional<std::string> target = realPath(full);
        if (!target) {
            item.kind = FolderItem::Kind::Unreadable;
            item.error = static_cast<int>(::GetLastError());
            return item;
        }
        item.linkTarget = *target;
    }
    item.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FolderItem::Kind::Folder : FolderItem::Kind::File;
    item.size = joined(info.nFileSizeHigh, info.nFileSizeLow);
    item.modified = unixTime(info.ftLastWriteTime);
    item.identity = identityOf(info);
    item.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    item.hidden = (info.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    return item;
}

} // namespace

std::optional<std::vector<FolderItem>> listFolder(const std::string &path)
{
    WIN32_FIND_DATAW found {};
    const std::wstring folder = systemPath(path);
    const HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<FolderItem> items;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        items.push_back(describeItem(folder, path, name, found.dwFileAttributes));
    } while (::FindNextFileW(search, &found));
    // A listing that breaks off would leave the rest out unseen.
    const DWORD ended = ::GetLastError();
    ::FindClose(search);
    if (ended != ERROR_NO_MORE_FILES) {
        ::SetLastError(ended);
        return std::nullopt;
    }
    return items;
}

FolderItem folderItem(const std::string &folder, const std::string &name)
{
    const std::wstring wideName = wideText(name);
    const DWORD attributes = ::GetFileAttributesW(systemPath(folder + "/" + name).c_str());
    return describeItem(systemPath(folder), folder, wideName,
                        attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes);
}

std::optional<std::string> realPath(const std::string &path)
{
    const HANDLE handle = ::CreateFileW(systemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
        if (length < final.size())
            break;
        final.resize(length + 1);
    }
    ::CloseHandle(handle);
    if (length == 0)
        return std::nullopt;
    final.resize(length);
    return programPath(final);
}

std::string absolutePath(const std::string &path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '/' || path[2] == '\\');
    if (drive)
        return path;
    return programPath(systemPath(path));
}

std::pair<std::string, std::string> folderAndName(const std::string &path)
{
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos)
        return {".", path};
    return {separator == 0 ? path.substr(0, 1) : path.substr(0, separator), path.substr(separator + 1)};
}

std::size_t pageSize()
{
    SYSTEM_INFO info {};
    ::GetSystemInfo(&info);
    return info.dwPageSize;
}

std::optional<FileIdentity> identityOf(const std::string &path)
{
    const HANDLE handle = ::CreateFileW(systemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return identityOf(info);
}

Replacement replaceWith(const std::string &source, const std::string &target, bool durable)
{
    const std::wstring from = systemPath(source);
    const std::wstring to = systemPath(target);
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    // A folder is never replaced by a file.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return Replacement::Failed;
    }
    // An existing file is replaced keeping its security, and stays where it
    // was when that fails (held open without sharing, say). Only when
    // ReplaceFileW failed after taking the old file away does the new one
    // still need moving into its place.
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return Replacement::Done;
        const DWORD error = ::GetLastError();
        if (::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ::SetLastError(error);
            return Replacement::Failed;
        }
    }
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0))
               ? Replacement::Done
               : Replacement::Failed;
}

bool removeFile(const std::string &path)
{
    return ::DeleteFileW(systemPath(path).c_str());
}

bool isWritable(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return attributes != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::tm> localTime(std::time_t time)
{
    // Through the Windows time zone rules, not the C runtime's TZ.
    const std::uint64_t ticks = static_cast<std::uint64_t>(time) * 10000000ull + 116444736000000000ull;
    const FILETIME utc {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal {};
    SYSTEMTIME local {};
    if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return std::nullopt;
    std::tm result {};
    result.tm_year = local.wYear - 1900;
    result.tm_mon = local.wMonth - 1;
    result.tm_mday = local.wDay;
    result.tm_hour = local.wHour;
    result.tm_min = local.wMinute;
    result.tm_sec = local.wSecond;
    result.tm_wday = local.wDayOfWeek;
    return result;
}

void *allocatePages(std::size_t size)
{
    return ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void releasePages(void *pages, std::size_t)
{
    ::VirtualFree(pages, 0, MEM_RELEASE);
}

} // namespace voriraz::platform

#pragma once

#include "packaging/ArchiveDirectory.h"
#include "packaging/ArchiveIo.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace voriraz {

enum class TStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum class TOverwriteMode { omAlways, omNever };

// Search attribute bits of the directory listing.
namespace searchAttr {
constexpr int readOnly = 0x1;
constexpr int hidden = 0x2;
constexpr int system = 0x4;
constexpr int volumeLabel = 0x8;
constexpr int directory = 0x10;
constexpr int archive = 0x20;
constexpr int normal = 0x80;
constexpr int compressed = 0x800;
constexpr int notContentIndexed = 0x2000;
constexpr int all = 10431;
} // namespace searchAttr

// What one selection walks and how it names what it finds.
struct SelectionRequest
{
    std::vector<std::string> masks;
    int searchAttr = searchAttr::all;
    bool recurse = true;
    // Masks or full paths of what is left out; relative ones are taken
    // relative to the base directory.
    std::vector<std::string> exclusions;
    // The archive being written, never added to itself.
    std::optional<FileIdentity> archive;
    // The file the archive will replace, when there is one: finding it in
    // the tree refuses the archive (ArchiveTargetError).
    std::optional<FileIdentity> target;
    // Absolute, or relative to the process's working directory.
    std::string baseDir;
    TStorePathMode storePath = TStorePathMode::spRelativePath;
    TOverwriteMode overwriteMode = TOverwriteMode::omAlways;
    int compressionMode = 9;
    int method = 8;
    // Told of each entry appended to the directory as it is found, and of
    // each that replaces an entry of the same name.
    std::function<void(const TArchiveDirEntry &)> appended;
    std::function<void()> replaced;
    // Told of each link whose target lies outside the base directory, with
    // its name relative to it and where it leads; such links are neither
    // followed nor stored.
    std::function<void(const std::string &name, const std::string &target)> linkOutside;
    // When set, the walk stops at the next directory entry once it is true.
    const std::atomic<bool> *cancelled = nullptr;
};

// Walks the base directory and appends what it finds to the directory, in
// this order: the files of a directory first, then each subdirectory's own
// entry followed by everything below it. Each listing is sorted the way a
// case-insensitive file system lists it (ASCII letters folded to upper case,
// ties broken by byte order), so the order does not depend on the disk.
//
// Regular files and directories are taken; pipes, sockets and device files
// are skipped, as opening them would block or never end. Symbolic links that
// lead to a place inside the base directory (where it finally is, links
// resolved) are followed, except into a directory that is already on the
// path being walked, so cycles end; links that lead outside it are neither
// followed nor stored, only reported, so nothing outside the tree is ever
// listed or read. A missing or unreadable directory yields nothing. An
// existing entry of the same stored name is replaced under omAlways and kept
// under omNever.
//
// Entries get the fields of a new entry: stored name, DOS time (the file's
// last-write time in local time, or the time of packing for directories and
// for dates the DOS format cannot hold), attributes (0x10 for a directory;
// 0x20 for a file, plus 0x01 when its owner may not write it and 0x02 when
// its name begins with '.'), size, and the placeholder CRC-32.
//
// Throws MaskError for an exclusion that is not a valid mask, and
// ArchiveTargetError when the walk finds the archive's target. Selections of
// all archive objects in the process run one at a time.
void selectFiles(const SelectionRequest &request, TArchiveDirArray &directory);

// Test seam: when set, told of every directory the walk is about to list.
void setListingHookForTesting(std::function<void(const std::string &directory)> hook);

// DOS time (low 16 bits) and date (high 16 bits) of a time in local time, or
// nothing when the DOS format cannot hold it (before 1980, after 2107).
std::optional<std::uint32_t> dosDateTime(std::time_t time);

} // namespace voriraz

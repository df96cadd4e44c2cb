#pragma once

#include "packaging/ArchiveDirectory.h"
#include "packaging/ArchiveError.h"
#include "packaging/ArchiveIo.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
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

// Why the walk leaves an item out without asking anybody.
enum class LeftOutKind {
    LinkOutside, // a link whose target lies outside the base directory
    LinkNowhere, // a link to nothing that exists, or a loop of links
    NotAFile,    // a named pipe, a socket or a device
};

// Something of the tree the walk cannot take as it is: an item it cannot
// look at, a folder it cannot list, a path too long to open, a name no
// archive should hold. Its error and arguments are those of an archive
// error (ArchiveError.h), to be raised with the archive's component name.
struct WalkFailure
{
    NativeError error = NativeError::CannotOpenFile;
    // What fills the message's "%s", in order.
    std::vector<std::string> arguments;
    // The system's error number, and what it concerns ("" for none).
    SystemReason reason;
    // The folder of the item and its stored name ('/' at the end for a
    // folder), as an entry of it would have.
    std::shared_ptr<const std::string> folder;
    std::string storedName;
    bool isDirectory = false;
};

// What the walk does with a failure: looks again, leaves the item out (a
// folder with everything below it), or stops there, having found nothing
// more.
enum class WalkDecision { Retry, LeaveOut, Stop };

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
    // The previous archive that the new one replaces, when it lies in the
    // tree: its identity and its path, links resolved. The walk leaves it
    // out, as it does the archive being written; the same file found under
    // another path (a hard link) refuses the archive like the target.
    std::optional<FileIdentity> previousArchive;
    std::string previousArchivePath;
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
    // Told of each item left out without a question, with its name relative
    // to the base directory and why ("a link leading outside the folder, to
    // "/etc"", "a named pipe, not a file"). Links leading outside are
    // neither followed nor stored, so nothing outside is listed or read.
    std::function<void(LeftOutKind kind, const std::string &name, const std::string &reason)> leftOut;
    // Asked about each failure; without it every failure is left out
    // unreported.
    std::function<WalkDecision(const WalkFailure &)> failed;
    // When set, the walk stops at the next directory entry once it is true.
    const std::atomic<bool> *cancelled = nullptr;
};

// Walks the base directory and appends what it finds to the directory, in
// this order: the files of a directory first, then each subdirectory's own
// entry followed by everything below it. Each listing is sorted the way a
// case-insensitive file system lists it (ASCII letters folded to upper case,
// ties broken by byte order), so the order does not depend on the disk.
//
// Regular files and directories are taken. Pipes, sockets and devices
// (opening them would block or never end), links that lead nowhere or round
// in a loop, and links whose target lies outside the base directory (where
// it finally is, links resolved) are left out and told to leftOut. Links
// that lead inside are followed, except into a directory that is already on
// the path being walked: that one is stored but not walked again, so cycles
// end. An item that cannot be looked at, a subdirectory that cannot be
// listed or whose path is longer than the system opens, and a name that
// unsafeNameReason() refuses go to failed, which decides: retry, leave the
// item out (a directory with all below it), or stop the walk. An existing
// entry of the same stored name is replaced under omAlways and kept under
// omNever.
//
// Entries get the fields of a new entry: stored name, DOS time (the file's
// last-write time in local time, or the time of packing for directories and
// for dates the DOS format cannot hold), attributes (0x10 for a directory;
// 0x20 for a file, plus 0x01 when its owner may not write it and 0x02 when
// its name begins with '.'), size, and the placeholder CRC-32.
//
// Throws SourceFolderError when the base directory is missing, is no
// directory or cannot be listed (nothing is appended then), MaskError for an
// exclusion that is not a valid mask, and ArchiveTargetError when the walk
// finds the archive's target. Selections of all archive objects in the
// process run one at a time.
void selectFiles(const SelectionRequest &request, TArchiveDirArray &directory);

// Test seam: when set, told of every directory the walk is about to list;
// a non-zero result fails that listing with that system error number.
void setListingHookForTesting(std::function<int(const std::string &directory)> hook);

// DOS time (low 16 bits) and date (high 16 bits) of a time in local time, or
// nothing when the DOS format cannot hold it (before 1980, after 2107).
std::optional<std::uint32_t> dosDateTime(std::time_t time);

} // namespace voriraz

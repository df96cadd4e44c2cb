#pragma once

#include "packaging/ArchiveWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace voriraz {

// The archive writer as the editor configures it for "Create mod": named
// ArchiveWriter1, deflate at level 9, names in the OEM code page, the file
// flushed to disk once written, no ZIP64. Handlers are left as they are.
void configureModArchiveWriter(TArchiveWriter &writer);

// What packing the mod folder did.
struct ModArchiveReport
{
    // False when packing was aborted or cancelled: the file at the archive's
    // path was left as it was (or none was made).
    bool written = false;
    // Whether a file was at the archive's path before.
    bool replacedFile = false;
    std::size_t entries = 0;
    std::uint64_t archiveBytes = 0;
    // What was left out: the first hundred, and how many of each kind in
    // all: files and folders given up after a failure, links leading
    // outside the folder, links leading nowhere (or round in a loop), and
    // pipes, sockets and devices.
    std::vector<TSkippedItem> skipped;
    std::size_t failedFiles = 0;
    std::size_t linksOutside = 0;
    std::size_t linksNowhere = 0;
    std::size_t notFiles = 0;
    // What the user should know of an archive written (TBaseArchiver::Warnings()).
    std::vector<std::string> warnings;

    std::size_t leftOut() const { return failedFiles + linksOutside + linksNowhere + notFiles; }
};

// Packs sourceDir, the modification tree, into a new archive at
// archivePath, which it replaces once the archive is complete: adds every
// file and directory below sourceDir ("*.*", all search attributes, no
// exclusion) and closes the archive. A previous archive at archivePath that
// lies in the tree is left out of it and replaced. Throws SourceFolderError
// before anything is created when sourceDir is missing, is no folder or
// cannot be listed, and what creating or writing the archive throws
// (FileCreateError, ArchiveTargetError, EArchiveError, StreamWriteError),
// the file at archivePath then left as it was and the writer closed.
ModArchiveReport writeModArchive(TArchiveWriter &writer, const std::string &archivePath,
                                 const std::string &sourceDir);

} // namespace voriraz

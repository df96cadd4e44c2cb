#pragma once

#include "packaging/ArchiveWriter.h"

#include <string>

namespace voriraz {

// The archive writer as the editor configures it for "Create mod": named
// ArchiveWriter1, deflate at level 9, names in the OEM code page, the file
// flushed to disk once written, no ZIP64. Handlers are left as they are.
void configureModArchiveWriter(TArchiveWriter &writer);

// Packs sourceDir, the modification tree, into a new archive at
// archivePath, replacing any file there: creates the archive, adds every
// file and directory below sourceDir ("*.*", all search attributes, no
// exclusion) and closes it. Throws what creating or writing the archive
// throws (FileCreateError, EArchiveError, StreamWriteError); the archive
// then stays open until the writer is closed or opens the next one.
void writeModArchive(TArchiveWriter &writer, const std::string &archivePath, const std::string &sourceDir);

} // namespace voriraz

#pragma once

#include "packaging/BaseArchiver.h"

#include <string>

namespace voriraz {

// Writes a new ZIP archive from a directory tree:
//
//   TArchiveWriter writer;
//   writer.FileName = "/path/Mod.pak";
//   writer.CreateArchive(fmCreate);
//   writer.BaseDir = "/path/data/mod";
//   writer.AddByMask("*.*", searchAttr::all, "");
//   writer.Close();
class TArchiveWriter : public TBaseArchiver
{
public:
    // Opens a new, empty archive for FileName, closing an archive that is
    // still open first. It is written to a temporary file beside FileName's
    // target, which Close() puts in place; FileName itself is not touched
    // before. Throws EArchiveError 10 when FileName has no file-name part,
    // FileCreateError when the file cannot be created, and
    // std::invalid_argument for any mode but fmCreate: existing archives are
    // not read.
    void CreateArchive(std::uint16_t openMode = fmCreate);

    // Adds every file and directory under BaseDir that matches mask and
    // searchAttributes, except the archive itself and what exclusionMask
    // (empty for none) leaves out, in one update. Links leading outside
    // BaseDir are left out and reported (Skipped(), OnSkip). The update is
    // abandoned and the error raised again when the selection or the commit
    // throws. Throws EArchiveError 13 when no archive is open, MaskError for
    // an invalid mask, ArchiveTargetError when the file the archive would
    // replace is one of the tree (the archive is then dropped at Close()),
    // and what the commit lets escape (EArchiveError 46, StreamWriteError).
    void AddByMask(const std::string &mask, int searchAttributes, const std::string &exclusionMask);
};

} // namespace voriraz

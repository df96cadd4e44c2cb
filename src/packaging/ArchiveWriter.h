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
    // Creates FileName (emptying an existing file) and opens it as a new,
    // empty archive, closing an archive that is still open first. Throws
    // EArchiveError 10 when FileName has no file-name part, FileCreateError
    // when the file cannot be created, and std::invalid_argument for any
    // mode but fmCreate: existing archives are not read.
    void CreateArchive(std::uint16_t openMode = fmCreate);

    // Adds every file and directory under BaseDir that matches mask and
    // searchAttributes, except the archive itself and what exclusionMask
    // (empty for none) leaves out, in one update. The update is abandoned
    // and the error raised again when the selection or the commit throws.
    // Throws EArchiveError 13 when no archive is open, MaskError for an
    // invalid mask, and what the commit lets escape (EArchiveError 46,
    // StreamWriteError).
    void AddByMask(const std::string &mask, int searchAttributes, const std::string &exclusionMask);
};

} // namespace voriraz

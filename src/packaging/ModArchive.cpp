#include "packaging/ModArchive.h"

namespace voriraz {

void configureModArchiveWriter(TArchiveWriter &writer)
{
    writer.Name = "ArchiveWriter1";
    writer.SetCompressionLevel(TCompressionLevel::clMax);
    writer.Options = TArchiverOptions {};
    writer.Options.FlushBuffers = true;
    writer.Options.OEMFileNames = true;
    writer.Zip64Mode = TZip64Mode::zmDisabled;
}

void writeModArchive(TArchiveWriter &writer, const std::string &archivePath, const std::string &sourceDir)
{
    writer.FileName = archivePath;
    writer.CreateArchive(fmCreate);
    // The base directory is set once the archive is open; opening does not use it.
    writer.BaseDir = sourceDir;
    writer.AddByMask("*.*", searchAttr::all, "");
    writer.Close();
}

} // namespace voriraz

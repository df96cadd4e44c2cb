#include "packaging/ModArchive.h"

#include "platform/Files.h"

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

ModArchiveReport writeModArchive(TArchiveWriter &writer, const std::string &archivePath, const std::string &sourceDir)
{
    ModArchiveReport report;
    report.replacedFile = platform::fileKind(archivePath) != platform::FileKind::Missing;
    writer.FileName = archivePath;
    writer.CreateArchive(fmCreate);
    try {
        // The base directory is set once the archive is open; opening does not use it.
        writer.BaseDir = sourceDir;
        writer.AddByMask("*.*", searchAttr::all, "");
        report.written = !writer.Aborted();
        report.entries = writer.Directory().size();
        report.skipped = writer.Skipped();
        report.failedFiles = writer.SkippedCount(TSkippedItem::Kind::Failed);
        report.linksOutside = writer.SkippedCount(TSkippedItem::Kind::LinkOutside);
        writer.Close();
    } catch (...) {
        writer.Discard();
        throw;
    }
    if (report.written)
        report.archiveBytes = platform::fileSize(archivePath).value_or(0);
    return report;
}

} // namespace voriraz

#include "packaging/ModArchive.h"

#include "platform/Files.h"

#include <cerrno>

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
    // A mod folder that is not there is told before anything is made: an
    // empty archive would take the place of a good one.
    platform::SystemError missing;
    const platform::FileKind source = platform::fileKind(sourceDir, &missing);
    if (source == platform::FileKind::Missing)
        throw SourceFolderError(sourceDir, missing.text);
    if (source != platform::FileKind::Directory)
        throw SourceFolderError(sourceDir, platform::errnoError(ENOTDIR).text);

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
        report.linksNowhere = writer.SkippedCount(TSkippedItem::Kind::LinkNowhere);
        report.notFiles = writer.SkippedCount(TSkippedItem::Kind::NotAFile);
        writer.Close();
        report.warnings = writer.Warnings();
    } catch (...) {
        writer.Discard();
        throw;
    }
    if (report.written)
        report.archiveBytes = platform::fileSize(archivePath).value_or(0);
    return report;
}

} // namespace voriraz

#include "packaging/ArchiveWriter.h"

#include "platform/File.h"

#include <stdexcept>

namespace voriraz {

void TArchiveWriter::CreateArchive(std::uint16_t openMode)
{
    if (platform::folderAndName(FileName).second.empty())
        throw error(NativeError::BlankFileName);
    if (openMode != fmCreate)
        throw std::invalid_argument("Only new archives can be created");
    openArchive(openMode);
}

void TArchiveWriter::AddByMask(const std::string &mask, int searchAttributes, const std::string &exclusionMask)
{
    if (!IsOpen())
        throw error(NativeError::ArchiveNotOpen);
    SelectionRequest request;
    request.masks = {mask};
    request.searchAttr = searchAttributes;
    request.recurse = Options.Recurse;
    if (!exclusionMask.empty())
        request.exclusions.push_back(exclusionMask);
    request.baseDir = BaseDir;
    request.storePath = Options.StorePath;
    request.overwriteMode = Options.OverwriteMode;
    request.compressionMode = CompressionMode();
    request.method = method();

    BeginUpdate();
    try {
        prepareSelection(request);
        prepareWhileFinding(request);
        selectFiles(request, manager().current);
        EndUpdate();
    } catch (const ArchiveTargetError &) {
        AbandonUpdate();
        refuseArchive();
        throw;
    } catch (...) {
        AbandonUpdate();
        throw;
    }
}

} // namespace voriraz

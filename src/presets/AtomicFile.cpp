#include "presets/AtomicFile.h"

#include "platform/Files.h"

namespace voriraz {

namespace {

WriteFaultHook &faultHook()
{
    static WriteFaultHook hook;
    return hook;
}

} // namespace

FileWriteError::FileWriteError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot write file \"" + path + "\". " + reason)
{
}

void setWriteFaultHookForTesting(WriteFaultHook hook)
{
    faultHook() = std::move(hook);
}

NotRegularFileError::NotRegularFileError(const std::string &path)
    : std::runtime_error("\"" + path + "\" is not a regular file")
{
}

void refuseIrregularTarget(const std::string &path)
{
    const platform::FileKind kind = platform::fileKind(path);
    if (kind != platform::FileKind::Missing && kind != platform::FileKind::Regular)
        throw NotRegularFileError(path);
}

void writeFileAtomically(const std::string &path, std::string_view content)
{
    if (const std::optional<platform::SystemError> error = platform::replaceFile(path, content, faultHook())) {
        if (error->notRegular)
            throw NotRegularFileError(path);
        throw FileWriteError(path, error->text);
    }
}

} // namespace voriraz

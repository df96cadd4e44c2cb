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

void writeFileAtomically(const std::string &path, std::string_view content)
{
    if (const std::optional<platform::SystemError> error = platform::replaceFile(path, content, faultHook()))
        throw FileWriteError(path, error->text);
}

} // namespace voriraz

#include "packaging/ArchiveError.h"

#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace voriraz {

namespace {

constexpr std::array<std::pair<NativeError, std::string_view>, 16> texts = {{
    {NativeError::InvalidCompressionMode, "Invalid compression mode. Mode must be in [0-9] range"},
    {NativeError::BlankFileName, "File name is blank. Specify appropriate file name"},
    {NativeError::ArchiveNotOpen, "Archive is not open"},
    {NativeError::ReadOnlyArchive, "File is open in read-only mode"},
    {NativeError::CannotOpenFile, "Cannot open file \"%s\""},
    {NativeError::InvalidCompressedSize, "Invalid compressed size, rfs.size = %d, count = %d"},
    {NativeError::Zip64SizeNotEnabled, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {NativeError::Zip64NotEnabled, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {NativeError::Aborted, "Operation aborted"},
    {NativeError::StreamWriteFailed, "Write to stream error"},
    {NativeError::FileNameTooLong, "File name is too long: \r\n\"%s\""},
    {NativeError::InvalidFileName, "File name is not valid UTF-8: \"%s\""},
    {NativeError::DuplicateName, "Cannot store file \"%s\": the archive holds a name of the same bytes already, for file \"%s\""},
    {NativeError::CannotListFolder, "Cannot list folder \"%s\""},
    {NativeError::UnsafeName, "Cannot store file \"%s\": %s"},
    {NativeError::SourceChanged, "File \"%s\" changed size while it was read: %d bytes when opened, %d at the end"},
}};

std::string composeMessage(NativeError error, std::string_view componentName, const std::string &text)
{
    char code[16];
    std::snprintf(code, sizeof code, "%05d", static_cast<int>(error));
    std::string message;
    if (!componentName.empty())
        message.append(componentName).append(": ");
    return message.append(text).append(" - Native error: ").append(code);
}

std::string describeReason(const SystemReason &reason)
{
    if (reason.error == 0)
        return {};
    return platform::errorText(reason.error) + ": \"" + reason.subject + "\"";
}

std::string withReason(const std::string &message, const std::string &reason)
{
    return reason.empty() ? message : message + " (" + reason + ")";
}

} // namespace

EArchiveError::EArchiveError(NativeError nativeError, std::string_view componentName, const std::string &text,
                             const SystemReason &reason)
    : std::runtime_error(withReason(composeMessage(nativeError, componentName, text), describeReason(reason)))
    , mNativeError(nativeError)
    , mMessage(composeMessage(nativeError, componentName, text))
    , mReason(describeReason(reason))
    , mSystemError(reason.error)
{
}

bool EArchiveError::retryCanHelp() const
{
    switch (mNativeError) {
    case NativeError::Aborted:
    case NativeError::FileNameTooLong:
    case NativeError::InvalidFileName:
    case NativeError::DuplicateName:
    case NativeError::UnsafeName:
        return false;
    default:
        return true;
    }
}

std::string_view nativeErrorText(NativeError error)
{
    for (const auto &[code, text] : texts)
        if (code == error)
            return text;
    return {};
}

EArchiveError archiveError(NativeError error, std::string_view componentName, const ErrorArguments &arguments,
                           const SystemReason &reason)
{
    const std::string_view pattern = nativeErrorText(error);
    std::string text;
    std::size_t paths = 0;
    int numbers = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            if (!arguments.paths.empty())
                text.append(arguments.paths[std::min(paths++, arguments.paths.size() - 1)]);
            ++i;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd') {
            text.append(std::to_string(numbers++ == 0 ? arguments.first : arguments.second));
            ++i;
        } else {
            text.push_back(pattern[i]);
        }
    }
    return EArchiveError(error, componentName, text, reason);
}

FileCreateError::FileCreateError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot create file \"" + path + "\". " + reason)
{
}

StreamWriteError::StreamWriteError(const SystemReason &reason)
    : std::runtime_error(withReason("Stream write error", describeReason(reason)))
{
}

SourceFolderError::SourceFolderError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot pack the mod folder \"" + path + "\": " + reason)
{
}

ArchiveTargetError::ArchiveTargetError(const std::string &path)
    : std::runtime_error("The archive would replace \"" + path + "\", a file of the mod folder.")
{
}

} // namespace voriraz

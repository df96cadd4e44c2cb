#include "packaging/ArchiveError.h"

#include <array>
#include <cstdio>
#include <utility>

namespace voriraz {

namespace {

constexpr std::array<std::pair<NativeError, std::string_view>, 11> texts = {{
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

} // namespace

EArchiveError::EArchiveError(NativeError nativeError, std::string_view componentName, const std::string &text)
    : std::runtime_error(composeMessage(nativeError, componentName, text))
    , mNativeError(nativeError)
{
}

int EArchiveError::errorCode() const
{
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (texts[i].first == mNativeError)
            return static_cast<int>(i);
    return -1;
}

std::string_view nativeErrorText(NativeError error)
{
    for (const auto &[code, text] : texts)
        if (code == error)
            return text;
    return {};
}

EArchiveError archiveError(NativeError error, std::string_view componentName, std::string_view path, long long first,
                           long long second)
{
    const std::string_view pattern = nativeErrorText(error);
    std::string text;
    int numbers = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            text.append(path);
            ++i;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd') {
            text.append(std::to_string(numbers++ == 0 ? first : second));
            ++i;
        } else {
            text.push_back(pattern[i]);
        }
    }
    return EArchiveError(error, componentName, text);
}

FileCreateError::FileCreateError(const std::string &path, const std::string &reason)
    : std::runtime_error("Cannot create file \"" + path + "\". " + reason)
{
}

} // namespace voriraz

#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// The failures of the archive writer, by their native error code.
enum class NativeError : int {
    InvalidCompressionMode = 5,
    BlankFileName = 10,
    ArchiveNotOpen = 13,
    ReadOnlyArchive = 32,
    CannotOpenFile = 33,
    InvalidCompressedSize = 34,
    Zip64SizeNotEnabled = 41,
    Zip64NotEnabled = 43,
    Aborted = 45,
    StreamWriteFailed = 46,
    FileNameTooLong = 61,
};

// An archive failure. The message is "<component name>: <text> - Native
// error: <code in five digits>", without the name part when the component has
// no name; the text is the one of the native error with its placeholders
// filled in.
class EArchiveError : public std::runtime_error
{
public:
    EArchiveError(NativeError nativeError, std::string_view componentName, const std::string &text);

    NativeError nativeError() const { return mNativeError; }
    int nativeErrorCode() const { return static_cast<int>(mNativeError); }
    // The index of the message text in the writer's table of texts.
    int errorCode() const;

private:
    NativeError mNativeError;
};

// The message text of a native error, with "%s" where the source path goes
// and "%d" where numbers go.
std::string_view nativeErrorText(NativeError error);

// Builds the error with its text filled in: every "%s" with path, and the
// two "%d" (native error 34) with the numbers given.
EArchiveError archiveError(NativeError error, std::string_view componentName, std::string_view path = {},
                           long long first = 0, long long second = 0);

// A deflate call that reported an error; it ends reading the source.
class ECompressionError : public std::runtime_error
{
public:
    ECompressionError() : std::runtime_error("error") {}
};

// The archive file could not be created: "Cannot create file "<path>". <reason>".
class FileCreateError : public std::runtime_error
{
public:
    FileCreateError(const std::string &path, const std::string &reason);
};

// "Stream write error": a record after the central directory could not be
// written whole.
class StreamWriteError : public std::runtime_error
{
public:
    StreamWriteError() : std::runtime_error("Stream write error") {}
};

} // namespace voriraz

#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
    InvalidFileName = 62,
    DuplicateName = 63,
    CannotListFolder = 64,
    UnsafeName = 65,
    SourceChanged = 66,
};

// What the system said about a failure: its error number and the file it
// concerned, kept beside the native error as a pair.
struct SystemReason
{
    int error = 0; // errno; 0 when the system reported nothing
    std::string subject;
};

// An archive failure. The message is "<component name>: <text> - Native
// error: <code in five digits>", without the name part when the component has
// no name; the text is the one of the native error with its placeholders
// filled in. Where the system gave a reason, what() adds it in parentheses:
// "... - Native error: 00033 (Permission denied: "Maps/x.xdb")".
class EArchiveError : public std::runtime_error
{
public:
    EArchiveError(NativeError nativeError, std::string_view componentName, const std::string &text,
                  const SystemReason &reason = {});

    NativeError nativeError() const { return mNativeError; }
    int nativeErrorCode() const { return static_cast<int>(mNativeError); }
    // The message without the reason.
    const std::string &message() const { return mMessage; }
    // "<the system's text for the error>: "<subject>"", or empty.
    const std::string &reason() const { return mReason; }
    int systemError() const { return mSystemError; }
    // Whether trying the same entry again could end otherwise: not for a
    // name or a path that cannot be stored, nor after an abort.
    bool retryCanHelp() const;

private:
    NativeError mNativeError;
    std::string mMessage;
    std::string mReason;
    int mSystemError = 0;
};

// The message text of a native error, with "%s" where paths go and "%d"
// where numbers go.
std::string_view nativeErrorText(NativeError error);

// The arguments of a native error's text.
struct ErrorArguments
{
    // For the "%s" in order; the last one given also fills any further.
    std::vector<std::string_view> paths;
    // For the two "%d" of native errors 34 and 66, in order.
    long long first = 0;
    long long second = 0;
};

// Builds the error with its text filled in.
EArchiveError archiveError(NativeError error, std::string_view componentName, const ErrorArguments &arguments = {},
                           const SystemReason &reason = {});

// The archive file could not be created: "Cannot create file "<path>". <reason>".
class FileCreateError : public std::runtime_error
{
public:
    FileCreateError(const std::string &path, const std::string &reason);
};

// The archive would take the place of a file of the tree being packed:
// "The archive would replace "<path>", a file of the mod folder."
class ArchiveTargetError : public std::runtime_error
{
public:
    explicit ArchiveTargetError(const std::string &path);
};

// The folder to pack is missing, is no folder, or cannot be listed:
// "Cannot pack the mod folder "<path>": <reason>". Nothing is packed.
class SourceFolderError : public std::runtime_error
{
public:
    SourceFolderError(const std::string &path, const std::string &reason);
};

// "Stream write error": a record after the central directory could not be
// written whole; the system's reason follows in parentheses where it gave one.
class StreamWriteError : public std::runtime_error
{
public:
    explicit StreamWriteError(const SystemReason &reason = {});
};

} // namespace voriraz

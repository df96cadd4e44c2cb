#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// A file that could not be written: "Cannot write file "<path>". <reason>".
class FileWriteError : public std::runtime_error
{
public:
    FileWriteError(const std::string &path, const std::string &reason);
};

// A save target that exists but is no regular file (a folder, a device, a
// pipe or a socket, or a link to one): "\"<path>\" is not a regular file".
// Nothing is written: replacing it would destroy what it is.
class NotRegularFileError : public std::runtime_error
{
public:
    explicit NotRegularFileError(const std::string &path);
};

// Throws NotRegularFileError when something that is no regular file exists
// at path (links followed); a regular file, or nothing, passes.
void refuseIrregularTarget(const std::string &path);

// Replaces the file at path by content so that readers see either the old
// file or the whole new one, never a part: the content goes to a temporary
// file in the same directory, is flushed to disk, takes the old file's
// permissions and then replaces it. A symbolic link is followed, so the file
// it points to is replaced and the link stays. A target that is no regular
// file is refused with NotRegularFileError. On any failure the old file is
// left byte for byte as it was, the temporary file is removed and
// FileWriteError is thrown.
void writeFileAtomically(const std::string &path, std::string_view content);

// Test seam: when set, consulted before every write to a temporary file with
// the number of bytes written so far; a non-zero result fails that write
// with this error number, as a full disk or an I/O error would.
using WriteFaultHook = std::function<int(std::size_t offset)>;
void setWriteFaultHookForTesting(WriteFaultHook hook);

} // namespace voriraz

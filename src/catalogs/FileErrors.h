#pragma once

#include <stdexcept>
#include <string>

namespace voriraz {

// A file that could not be opened or read: "Cannot open file "<path>". <reason>",
// the reason being the system's text for the error number.
class FileOpenError : public std::runtime_error
{
public:
    FileOpenError(const std::string &path, const std::string &reason);
};

// Reads a whole file in one piece. Throws FileOpenError when the file is
// missing, is not a regular file (reason "Is a directory" for a directory,
// "Not a regular file" for a device, pipe or socket) or cannot be read.
std::string readWholeFile(const std::string &path);

} // namespace voriraz

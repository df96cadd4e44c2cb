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

// A file of the data folder that a link takes outside it: "Cannot open file
// "<path>". It lies outside the data folder, at "<where>"". The message
// names paths only, never anything the file holds.
class OutsideDataFolderFileError : public FileOpenError
{
public:
    OutsideDataFolderFileError(const std::string &path, const std::string &where);
};

// Reads the whole file dataFolder + relative (relative begins with '/'),
// such as a catalog, an icon or a creature file, only when it lies inside
// the data folder with every link on its way followed. Throws FileOpenError
// as readWholeFile does, or OutsideDataFolderFileError without having read
// anything of the file.
std::string readDataFile(const std::string &dataFolder, const std::string &relative);

} // namespace voriraz

#pragma once

// Shared by the POSIX file services: a new file under a name of its own.

#include <string>

namespace voriraz::platform {

// Creates a new file at pattern, whose last six characters ("XXXXXX") are
// replaced by letters and digits that no file in its folder has, and opens
// it for reading and writing; returns its descriptor, or -1 with errno set.
// Created with O_EXCL and mode 0666, so the kernel applies the process's
// umask as for any new file: the umask, which is the whole process's, is
// neither read nor changed.
int createExclusiveFile(std::string &pattern);

} // namespace voriraz::platform

#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace voriraz::test {

// Every file below a directory with its bytes, every symbolic link with its
// target, and every directory or special file with an empty text, by path
// relative to the directory: two equal snapshots mean that nothing on disk
// was added, removed or changed.
using TreeSnapshot = std::map<std::string, std::string>;

inline TreeSnapshot snapshotOf(const std::filesystem::path &root)
{
    TreeSnapshot snapshot;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string relative = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            snapshot[relative + " ->"] = std::filesystem::read_symlink(entry.path()).string();
            continue;
        }
        if (entry.is_directory()) {
            snapshot[relative + "/"];
            continue;
        }
        // A pipe or device is only noted: reading it could block or never end.
        if (!entry.is_regular_file()) {
            snapshot[relative + " (special)"];
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        snapshot[relative] = bytes.str();
    }
    return snapshot;
}

// The paths whose presence or bytes differ between two snapshots.
inline std::vector<std::string> changedPaths(const TreeSnapshot &before, const TreeSnapshot &after)
{
    std::vector<std::string> changed;
    for (const auto &[path, bytes] : before) {
        const auto now = after.find(path);
        if (now == after.end() || now->second != bytes)
            changed.push_back(path);
    }
    for (const auto &[path, bytes] : after) {
        if (!before.count(path))
            changed.push_back(path);
    }
    return changed;
}

} // namespace voriraz::test

#pragma once

// A directory tree that a target writes its input into, so that the input
// reaches the library through the same file reading the editor uses.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz::fuzz {

class ScratchTree
{
public:
    // Made in /dev/shm where there is one: the tree is rewritten on every
    // run, and memory is much faster than a disk for that.
    ScratchTree()
    {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100 && mPath.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("voriraz-fuzz-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                mPath = candidate.string();
        }
        if (mPath.empty())
            throw std::runtime_error("cannot create a scratch directory in " + base.string());
    }
    ~ScratchTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    ScratchTree(const ScratchTree &) = delete;
    ScratchTree &operator=(const ScratchTree &) = delete;

    const std::string &path() const { return mPath; }

    // Replaces the file at path (relative to the tree) by bytes.
    void write(const std::string &relative, std::string_view bytes) const
    {
        const std::filesystem::path file = mPath + "/" + relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + file.string());
    }

    std::string read(const std::string &relative) const
    {
        std::ifstream in(mPath + "/" + relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string mPath;
};

} // namespace voriraz::fuzz

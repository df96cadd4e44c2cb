#pragma once

#include "presets/PresetControls.h"

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace voriraz::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return mPath; }
    std::filesystem::path operator/(std::string_view relative) const { return mPath / relative; }

private:
    std::filesystem::path mPath;
};

// A path as the program forms it below a folder it was given: the folder
// as given, '/', then the rest. On Windows, where std::filesystem joins with
// '\\', that is how the program's messages name the file.
inline std::string programPath(const std::filesystem::path &given, std::string_view rest)
{
    return given.string() + "/" + std::string(rest);
}

// A UTF-8 name as a path. std::filesystem takes a narrow string in the
// ANSI code page on Windows, but the program's names are UTF-8.
inline std::filesystem::path utf8Path(std::string_view name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

// Writes bytes to a file, creating its parent directories.
void writeFile(const std::filesystem::path &path, std::string_view bytes);
std::string readFile(const std::filesystem::path &path);

// The names in a directory (not below it): to see, say, that no temporary
// file was left beside an archive.
std::set<std::string> namesIn(const std::filesystem::path &dir);

// Copies a directory tree (used to give each test its own copy of a fixture).
void copyTree(const std::filesystem::path &from, const std::filesystem::path &to);

// The message of the exception that fn throws; fails the test when it throws nothing.
template<typename Fn>
std::string messageOf(Fn &&fn);

} // namespace voriraz::test

#include <gtest/gtest.h>
#include <stdexcept>

template<typename Fn>
std::string voriraz::test::messageOf(Fn &&fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        return e.what();
    }
    ADD_FAILURE() << "expected an exception";
    return {};
}

namespace voriraz::test {

// The catalogs of the small test trees: creatures CRT_NONE, CRT_KRELL,
// CRT_OSSIK, CRT_VARM; skills SKL_NONE, SKL_TALLOW, SKL_GRIT; masteries
// MST_NONE, MST_LOW, MST_HIGH; primary masteries PSM_A, PSM_B.
PresetCatalogs smallCatalogs();

// Paints a 32 × 32 icon for every entry of the icon catalogs in a data
// folder, as the build paints the sample tree's, so fixture trees need no
// pictures of their own.
void paintCatalogIcons(const std::filesystem::path &dataFolder);

// The item lists of a data folder's preset controls, read from its catalogs.
PresetCatalogs catalogsOf(const std::filesystem::path &dataFolder);

// The presets of a data folder, in the window's order.
std::vector<std::filesystem::path> presetsOf(const std::filesystem::path &dataFolder);

// A baseline JPEG of the given size, filled with one colour.
std::string jpegBytes(int width, int height, unsigned char r = 200, unsigned char g = 80, unsigned char b = 40,
                      bool greyscale = false);

// A JPEG with detail everywhere: red rising from left to right, green from
// top to bottom, and a chequer of 24-pixel squares in blue.
std::string patternJpegBytes(int width, int height);

} // namespace voriraz::test

#include "TestSupport.h"

#include "SystemSupport.h"

#include "catalogs/CatalogFill.h"
#include "presets/PresetDirectory.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace voriraz::test {

TempDir::TempDir()
    : mPath(makeTemporaryFolder("voriraz-test-"))
{
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(mPath, ignored);
}

void writeFile(const fs::path &path, std::string_view bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::set<std::string> namesIn(const fs::path &dir)
{
    std::set<std::string> names;
    for (const auto &item : fs::directory_iterator(dir))
        names.insert(item.path().filename().string());
    return names;
}

void copyTree(const fs::path &from, const fs::path &to)
{
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

} // namespace voriraz::test

#include <cstdio>
#include <jpeglib.h>

#include <functional>
#include <vector>

namespace voriraz::test {

namespace {

// Encodes a picture row by row: fillRow(y, row) fills one row of width
// pixels of `components` bytes each.
std::string encodeJpeg(int width, int height, bool greyscale,
                       const std::function<void(int, std::vector<unsigned char> &)> &fillRow)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = greyscale ? 1 : 3;
    info.in_color_space = greyscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * info.input_components);
    while (info.next_scanline < info.image_height) {
        fillRow(static_cast<int>(info.next_scanline), row);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char *>(buffer), size);
    jpeg_destroy_compress(&info);
    free(buffer);
    return bytes;
}

} // namespace

std::string jpegBytes(int width, int height, unsigned char r, unsigned char g, unsigned char b, bool greyscale)
{
    return encodeJpeg(width, height, greyscale, [&](int, std::vector<unsigned char> &row) {
        for (int x = 0; x < width; ++x) {
            if (greyscale) {
                row[x] = r;
            } else {
                row[x * 3] = r;
                row[x * 3 + 1] = g;
                row[x * 3 + 2] = b;
            }
        }
    });
}

std::string patternJpegBytes(int width, int height)
{
    return encodeJpeg(width, height, false, [&](int y, std::vector<unsigned char> &row) {
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<unsigned char>(x * 255 / width);
            row[x * 3 + 1] = static_cast<unsigned char>(y * 255 / height);
            row[x * 3 + 2] = ((x / 24 + y / 24) % 2) ? 230 : 20;
        }
    });
}

} // namespace voriraz::test

namespace voriraz::test {

void paintCatalogIcons(const fs::path &dataFolder)
{
    const std::string icon = jpegBytes(32, 32);
    for (const IconCatalogKind &kind : {catalogKinds::creatures, catalogKinds::artifacts, catalogKinds::spells,
                                        catalogKinds::perks, catalogKinds::skills}) {
        for (const std::string &entry : readCatalog(dataFolder.string() + kind.catalogFile))
            writeFile(dataFolder.string() + kind.iconFolder + entry + ".jpg", icon);
    }
}

PresetCatalogs catalogsOf(const fs::path &data)
{
    return {readCatalog((data / "creatures.txt").string()), readCatalog((data / "skills.txt").string()),
            readCatalog((data / "mastery.txt").string()), readCatalog((data / "primary_mastery.txt").string())};
}

std::vector<fs::path> presetsOf(const fs::path &data)
{
    std::vector<fs::path> paths;
    const std::string directory = presetsDirectoryOf(DataFolder {data.string()});
    for (const std::string &name : listPresetFiles(directory))
        paths.push_back(fs::path(directory) / name);
    return paths;
}

PresetCatalogs smallCatalogs()
{
    return {
        {"CRT_NONE", "CRT_KRELL", "CRT_OSSIK", "CRT_VARM"},
        {"SKL_NONE", "SKL_TALLOW", "SKL_GRIT"},
        {"MST_NONE", "MST_LOW", "MST_HIGH"},
        {"PSM_A", "PSM_B"},
    };
}

} // namespace voriraz::test

#include "SystemSupport.h"
#include "TestSupport.h"
#include "TreeSnapshot.h"

#include "catalogs/CatalogFill.h"

#include <gtest/gtest.h>

#include <jerror.h>
#include <jpeglib.h>

#include <cstdio>
#include <functional>
#include <vector>

using namespace voriraz;
using namespace voriraz::test;

namespace {

enum class Kind { Progressive, Cmyk };

// A 64 × 64 JPEG of one colour, progressive or in CMYK (written as Adobe
// writes it, every channel inverted).
std::string specialJpeg(Kind kind)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 64;
    info.image_height = 64;
    const bool cmyk = kind == Kind::Cmyk;
    info.input_components = cmyk ? 4 : 3;
    info.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    if (kind == Kind::Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(64 * static_cast<std::size_t>(info.input_components));
    for (std::size_t x = 0; x < 64; ++x) {
        if (cmyk) {
            const unsigned char inverted[] = {255 - 0, 255 - 120, 255 - 200, 255 - 0};
            std::copy(inverted, inverted + 4, row.begin() + static_cast<std::ptrdiff_t>(x * 4));
        } else {
            const unsigned char rgb[] = {200, 80, 40};
            std::copy(rgb, rgb + 3, row.begin() + static_cast<std::ptrdiff_t>(x * 3));
        }
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char *>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

// A baseline JPEG whose frame header claims another size; the scan data
// that follows is that of the real 64 × 64 picture.
std::string withFrameSize(int width, int height)
{
    std::string bytes = jpegBytes(64, 64);
    const std::size_t frame = bytes.find("\xFF\xC0");
    // Marker, length (2), precision (1), then height and width, big-endian.
    bytes[frame + 5] = static_cast<char>(height >> 8);
    bytes[frame + 6] = static_cast<char>(height & 0xFF);
    bytes[frame + 7] = static_cast<char>(width >> 8);
    bytes[frame + 8] = static_cast<char>(width & 0xFF);
    return bytes;
}

class RecordingSink : public CatalogSink
{
public:
    void setEntries(const CatalogList &list) override { entries = list; }
    void addIcon(std::size_t index, const Bitmap &icon) override
    {
        indexes.push_back(index);
        centres.push_back({icon.rgb[(16 * 32 + 16) * 3], icon.rgb[(16 * 32 + 16) * 3 + 1],
                           icon.rgb[(16 * 32 + 16) * 3 + 2]});
        EXPECT_EQ(icon.width, iconSize);
        EXPECT_EQ(icon.height, iconSize);
    }

    void addPlaceholderIcon(std::size_t index, const std::string &) override { placeholders.push_back(index); }
    CatalogList entries;
    std::vector<std::size_t> placeholders;
    std::vector<std::size_t> indexes;
    std::vector<std::array<int, 3>> centres;
};

struct BadIconRow
{
    const char *name;
    std::function<std::string()> bytes;
    // The error, or empty when the picture decodes into an icon.
    std::string message;
};
void PrintTo(const BadIconRow &row, std::ostream *out) { *out << row.name; }

class BadIcon : public ::testing::TestWithParam<BadIconRow>
{
protected:
    TempDir tree;
};

// The second of three spells has the damaged icon: the others keep their
// icons, and the damaged one either becomes an icon too or gets a
// placeholder, its message kept for the user; no file changes either way.
TEST_P(BadIcon, GetsAPlaceholderWithItsMessageOrDecodes)
{
    const BadIconRow &row = GetParam();
    writeFile(tree / "data/spells.txt", "SPL_A\nSPL_B\nSPL_C\n");
    writeFile(tree / "data/img/spells/SPL_A.jpg", jpegBytes(32, 32));
    writeFile(tree / "data/img/spells/SPL_B.jpg", row.bytes());
    writeFile(tree / "data/img/spells/SPL_C.jpg", jpegBytes(32, 32));
    const TreeSnapshot before = snapshotOf(tree.path());

    CatalogFill fill(tree.path().string());
    RecordingSink sink;
    EXPECT_NO_THROW(fill.fillIconCatalog(catalogKinds::spells, sink));
    if (row.message.empty()) {
        EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0, 1, 2}));
        EXPECT_EQ(fill.iconProblems(), std::vector<std::string>());
    } else {
        std::string message = row.message;
        if (const std::size_t at = message.find("{icon}"); at != std::string::npos)
            message.replace(at, 6, programPath(tree.path(), "data/img/spells/SPL_B.jpg"));
        EXPECT_EQ(fill.iconProblems(), std::vector<std::string> {message});
        EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0, 2}));
        EXPECT_EQ(sink.placeholders, std::vector<std::size_t> {1});
    }
    EXPECT_EQ(sink.entries, (CatalogList {"SPL_A", "SPL_B", "SPL_C"}));
    EXPECT_EQ(changedPaths(before, snapshotOf(tree.path())), std::vector<std::string>());
}

std::string jpegError(int code, const std::string &text)
{
    return "JPEG error #" + std::to_string(code) + " in \"{icon}\": " + text;
}

const BadIconRow badIcons[] = {
    {"ZeroBytes", [] { return std::string(); }, jpegError(JERR_INPUT_EMPTY, "Empty input file")},
    {"TruncatedInTheHeader", [] { return jpegBytes(64, 64).substr(0, 40); }, jpegError(JERR_NO_IMAGE, "JPEG datastream contains no image")},
    {"TruncatedInTheScan", [] { const std::string b = jpegBytes(64, 64); return b.substr(0, b.size() - 60); }, ""},
    {"Progressive", [] { return specialJpeg(Kind::Progressive); }, ""},
    // libjpeg has no conversion from CMYK to RGB.
    {"Cmyk", [] { return specialJpeg(Kind::Cmyk); }, jpegError(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request")},
    {"TwentyThousandPixelsSquare", [] { return withFrameSize(20000, 20000); },
     "Image too large: \"{icon}\" is 20000 x 20000 pixels (at most 4096 x 4096)"},
    {"OnePixelTooWide", [] { return withFrameSize(4097, 32); },
     "Image too large: \"{icon}\" is 4097 x 32 pixels (at most 4096 x 4096)"},
    {"OnePixelTooHigh", [] { return withFrameSize(32, 4097); },
     "Image too large: \"{icon}\" is 32 x 4097 pixels (at most 4096 x 4096)"},
    {"AsWideAsAllowed", [] { return jpegBytes(4096, 32); }, ""},
};

INSTANTIATE_TEST_SUITE_P(Fill, BadIcon, ::testing::ValuesIn(badIcons),
                         [](const auto &row) { return std::string(row.param.name); });

// The size is read from the header and refused before libjpeg or the
// bitmap allocate anything for the pixels (20,000 squared would be 1.2 GB).
TEST(BadIconSize, AHugeHeaderIsRefusedWithoutAllocatingThePicture)
{
    TempDir tree;
    writeFile(tree / "huge.jpg", withFrameSize(20000, 20000));
    JpegDecoder decoder;
    Bitmap bitmap;
    bitmap.width = 7;
    const long before = peakMemoryKb();
    for (int i = 0; i < 3; ++i) {
        decoder.loadFile((tree / "huge.jpg").string());
        EXPECT_THROW(decoder.decode(bitmap), ImageTooLargeError);
    }
    EXPECT_LT(peakMemoryKb() - before, 64 * 1024);
    EXPECT_EQ(bitmap.width, 7) << "the bitmap is left as it was";

    // The decoder still decodes the next picture.
    writeFile(tree / "fine.jpg", jpegBytes(40, 40, 10, 200, 30));
    decoder.loadFile((tree / "fine.jpg").string());
    decoder.decode(bitmap);
    EXPECT_EQ(bitmap.width, 40);
    EXPECT_NEAR(bitmap.rgb[1], 200, 8);
}

} // namespace

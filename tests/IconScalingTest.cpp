#include "TestSupport.h"

#include "catalogs/CatalogFill.h"
#include "catalogs/JpegDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace voriraz;
using namespace voriraz::test;

namespace {

struct ScaleRow
{
    const char *name;
    int width;
    int height;
    // The size libjpeg decodes to when asked for at least 32 pixels both ways.
    int scaledWidth;
    int scaledHeight;
    // The largest difference of one colour of one icon pixel from the icon
    // of a full decode.
    int largest;
};
void PrintTo(const ScaleRow &row, std::ostream *out) { *out << row.name; }

class IconScale : public ::testing::TestWithParam<ScaleRow>
{
protected:
    Bitmap decode(unsigned minimumSide)
    {
        JpegDecoder decoder;
        decoder.loadFile((dir / "icon.jpg").string());
        Bitmap bitmap;
        decoder.decode(bitmap, minimumSide);
        return bitmap;
    }

    TempDir dir;
};

// A large picture is decoded at a fraction of its size, which is where the
// time of a start-up with large icons went; the icon made from it is the
// one a full decode gives. Where the blocks of the scaled decode line up
// with the icon's pixels, that is so up to rounding; elsewhere an icon
// pixel that holds a sharp colour edge may differ (colour is stored at half
// resolution and the scaled decode averages it over larger blocks), while
// the icon as a whole stays within a few levels.
TEST_P(IconScale, GivesTheIconOfAFullDecodeOfTheSameFile)
{
    const ScaleRow &row = GetParam();
    writeFile(dir / "icon.jpg", patternJpegBytes(row.width, row.height));

    Bitmap full = decode(0);
    ASSERT_EQ(full.width, row.width);
    ASSERT_EQ(full.height, row.height);
    Bitmap scaled = decode(iconSize);
    EXPECT_EQ(scaled.width, row.scaledWidth);
    EXPECT_EQ(scaled.height, row.scaledHeight);

    scaleDownTo(full, iconSize);
    scaleDownTo(scaled, iconSize);
    ASSERT_EQ(scaled.rgb.size(), full.rgb.size());
    int largest = 0;
    long total = 0;
    for (std::size_t i = 0; i < full.rgb.size(); ++i) {
        const int difference = std::abs(int(full.rgb[i]) - int(scaled.rgb[i]));
        largest = std::max(largest, difference);
        total += difference;
    }
    EXPECT_LE(largest, row.largest);
    EXPECT_LE(static_cast<double>(total) / static_cast<double>(full.rgb.size()), 4.0);
}

const ScaleRow scaleRows[] = {
    {"LargestAllowed", 4096, 4096, 512, 512, 2},
    {"WideBlocksLinedUp", 2048, 1024, 256, 128, 2},
    {"OddSizes", 1000, 618, 125, 78, 80},
    {"WideAndLow", 2000, 40, 1750, 35, 80},
    {"JustOverTwiceTheIcon", 70, 65, 35, 33, 80},
    {"OnePixelOver", 33, 33, 33, 33, 0},
    {"IconSize", 32, 32, 32, 32, 0},
};

INSTANTIATE_TEST_SUITE_P(Decode, IconScale, ::testing::ValuesIn(scaleRows),
                         [](const auto &row) { return std::string(row.param.name); });

// A picture smaller than an icon is never scaled up; it comes out at its
// own size, which the fill refuses with that size.
TEST(IconScaleSmall, APictureSmallerThanAnIconComesOutAtFullSize)
{
    TempDir dir;
    writeFile(dir / "small.jpg", patternJpegBytes(200, 20));
    JpegDecoder decoder;
    decoder.loadFile((dir / "small.jpg").string());
    Bitmap bitmap;
    decoder.decode(bitmap, iconSize);
    EXPECT_EQ(bitmap.width, 200);
    EXPECT_EQ(bitmap.height, 20);
}

} // namespace

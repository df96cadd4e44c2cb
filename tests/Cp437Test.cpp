#include "packaging/NameEncoding.h"
#include "platform/OemCodePage.h"

#include <gtest/gtest.h>

using namespace voriraz;

namespace {

struct NameRow
{
    const char *name;
    std::string input;
    bool oem;
    // The stored bytes and the UTF-8 flag, or nothing for a refused name.
    std::optional<std::string> bytes;
    bool utf8 = false;
};

class StoredNames : public ::testing::TestWithParam<NameRow>
{
};

std::string everyAsciiCharacter()
{
    std::string all;
    for (int c = 1; c < 128; ++c)
        all.push_back(static_cast<char>(c));
    return all;
}

} // namespace

TEST_P(StoredNames, AreEncodedAsReadersDecodeThem)
{
    const NameRow &row = GetParam();
    if (row.oem && platform::oemCodePage() != 437)
        GTEST_SKIP() << "the rows are code page 437's; the system's OEM code page is " << platform::oemCodePage();
    const std::optional<EncodedName> encoded = encodeName(row.input, row.oem);
    ASSERT_EQ(encoded.has_value(), row.bytes.has_value());
    if (!encoded)
        return;
    EXPECT_EQ(encoded->bytes, *row.bytes);
    EXPECT_EQ(encoded->utf8, row.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cp437, StoredNames,
    ::testing::Values(
        NameRow {"AsciiIsUnchanged", everyAsciiCharacter(), true, everyAsciiCharacter()},
        NameRow {"AccentsTakeTheirByte", "h\xC3\xA9ros/\xC3\xBC\xC3\x91", true, "h\x82ros/\x81\xA5"},
        NameRow {"BoxCornerAlphaPeseta", "\xE2\x95\x94\xCE\xB1\xE2\x82\xA7", true, "\xC9\xE0\x9E"},
        // One character the code page lacks sends the whole name as UTF-8.
        NameRow {"CjkGoesAsUtf8", "\xE6\x97\xA5\xE6\x9C\xAC.txt", true, "\xE6\x97\xA5\xE6\x9C\xAC.txt", true},
        NameRow {"MixedGoesWholeAsUtf8", "\xC3\xA9-\xE2\x82\xAC", true, "\xC3\xA9-\xE2\x82\xAC", true},
        NameRow {"EmojiGoesAsUtf8", "\xF0\x9F\x98\x80.xdb", true, "\xF0\x9F\x98\x80.xdb", true},
        NameRow {"WithoutOemEveryNameIsUtf8", "plain.txt", false, "plain.txt", true},
        NameRow {"WithoutOemAccentsStayUtf8", "h\xC3\xA9ros", false, "h\xC3\xA9ros", true},
        NameRow {"TruncatedSequence", "a\xC3", true, std::nullopt},
        NameRow {"StrayContinuationBytes", "\x80\xBF", true, std::nullopt},
        NameRow {"Latin1Byte", "bad\xFF.txt", true, std::nullopt},
        NameRow {"OverlongSlash", "a\xC0\xAF" "b", true, std::nullopt},
        NameRow {"OverlongA", "\xC1\x81", true, std::nullopt},
        NameRow {"Surrogate", "\xED\xA0\x80", true, std::nullopt},
        NameRow {"BeyondUnicode", "\xF4\x90\x80\x80", true, std::nullopt},
        NameRow {"InvalidEvenWithoutOem", "bad\xFF", false, std::nullopt}),
    [](const ::testing::TestParamInfo<NameRow> &row) { return std::string(row.param.name); });

TEST(Cp437, PrintableNamesShowInvalidBytesAsEscapes)
{
    EXPECT_EQ(printableName("h\xC3\xA9ros"), "h\xC3\xA9ros");
    EXPECT_EQ(printableName("bad\xFF.txt"), "bad\\xFF.txt");
    EXPECT_EQ(printableName("\xC3"), "\\xC3");
    EXPECT_EQ(printableName("\xED\xA0\x80"), "\\xED\\xA0\\x80");
}

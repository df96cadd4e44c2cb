#include "text/AsciiCase.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace voriraz;

namespace {

struct Sequence {
    const char *name;
    std::string bytes;
    char32_t codePoint; // of the first sequence; 0 when it is not valid
    std::size_t length; // 0 when it is not valid
};

class Utf8SequenceTest : public ::testing::TestWithParam<Sequence>
{
};

TEST_P(Utf8SequenceTest, DecodesStrictly)
{
    const Sequence &row = GetParam();
    char32_t codePoint = 0;
    const std::size_t length = decodeUtf8Char(row.bytes.data(), row.bytes.data() + row.bytes.size(), codePoint);
    EXPECT_EQ(length, row.length);
    if (row.length != 0) {
        EXPECT_EQ(static_cast<std::uint32_t>(codePoint), static_cast<std::uint32_t>(row.codePoint));
    }
}

const Sequence kSequences[] = {
    {"Ascii", "A", 0x41, 1},
    {"Nul", std::string(1, '\0'), 0, 1},
    {"LastOfOneByte", "\x7F", 0x7F, 1},
    {"FirstOfTwoBytes", "\xC2\x80", 0x80, 2},
    {"LastOfTwoBytes", "\xDF\xBF", 0x7FF, 2},
    {"FirstOfThreeBytes", "\xE0\xA0\x80", 0x800, 3},
    {"LastBeforeSurrogates", "\xED\x9F\xBF", 0xD7FF, 3},
    {"FirstAfterSurrogates", "\xEE\x80\x80", 0xE000, 3},
    {"LastOfThreeBytes", "\xEF\xBF\xBF", 0xFFFF, 3},
    {"FirstOfFourBytes", "\xF0\x90\x80\x80", 0x10000, 4},
    {"LastCodePoint", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
    {"OnlyTheFirstSequence", "\xC3\xA9\xC3\xA9", 0xE9, 2},
    {"OverlongTwoBytes", "\xC0\xAF", 0, 0},
    {"OverlongTwoBytesC1", "\xC1\xBF", 0, 0},
    {"OverlongThreeBytes", "\xE0\x9F\xBF", 0, 0},
    {"OverlongFourBytes", "\xF0\x8F\xBF\xBF", 0, 0},
    {"EncodedSurrogate", "\xED\xA0\x80", 0, 0},
    {"AboveUnicode", "\xF4\x90\x80\x80", 0, 0},
    {"LeadF5", "\xF5\x80\x80\x80", 0, 0},
    {"StrayContinuation", "\x80", 0, 0},
    {"TruncatedAtTheEnd", "\xE2\x82", 0, 0},
    {"ContinuationMissing", "\xE2" "A\xAC", 0, 0},
    {"ByteFF", "\xFF", 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Sequences, Utf8SequenceTest, ::testing::ValuesIn(kSequences),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(Utf8Test, EncodingAndDecodingAgreeOnEveryKindOfCodePoint)
{
    for (char32_t c : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
        std::string bytes;
        appendUtf8(bytes, c);
        char32_t back = 0;
        EXPECT_EQ(decodeUtf8Char(bytes.data(), bytes.data() + bytes.size(), back), bytes.size()) << std::hex << static_cast<std::uint32_t>(c);
        EXPECT_EQ(static_cast<std::uint32_t>(back), static_cast<std::uint32_t>(c));
    }
}

// The search takes ASCII eight bytes at a time; a broken byte is found
// wherever it falls in or after such a block.
TEST(Utf8Test, FirstInvalidByteIsFoundAtEveryPosition)
{
    for (std::size_t at = 0; at < 20; ++at) {
        std::string text(24, 'a');
        text[at] = '\x80';
        EXPECT_EQ(firstInvalidUtf8(text), at);
    }
    EXPECT_EQ(firstInvalidUtf8("plain \xC3\xA9 and \xF0\x9F\x98\x80 text"), std::string_view::npos);
    EXPECT_EQ(firstInvalidUtf8(""), std::string_view::npos);
    EXPECT_EQ(firstInvalidUtf8("abcdefg\xE2\x82"), 7u);
}

TEST(Utf8Test, DisplayShowsEachBrokenByteAsAReplacementCharacter)
{
    EXPECT_EQ(utf8ForDisplay("a\xC3\xA9" "b\xC3z\xED\xA0\x80"), "a\xC3\xA9" "b\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(firstInvalidUtf8(utf8ForDisplay("\xFF\xFE\x80\xC0\xAF")), std::string_view::npos);
}

TEST(Utf8Test, MatchingKeepsEachBrokenByteDistinctAndApartFromEveryCharacter)
{
    EXPECT_EQ(codePointsForMatching("a\xC3\xA9\xC3"), std::u32string({U'a', 0xE9, 0xDCC3}));
    EXPECT_NE(codePointsForMatching("\x80"), codePointsForMatching("\x81"));
    EXPECT_NE(codePointsForMatching("\xC3"), codePointsForMatching("\xC3\x83"));
}

TEST(Utf8Test, FirstCharactersNeverCutsASequence)
{
    EXPECT_EQ(firstCharacters("\xC3\xA9t\xC3\xA9", 3), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(firstCharacters("\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 1), "\xF0\x9F\x98\x80");
    EXPECT_EQ(firstCharacters("\xC3\xC3\xA9", 1), "\xC3");
    EXPECT_EQ(firstCharacters("ab", 40), "ab");
    EXPECT_EQ(firstCharacters("ab", 0), "");
}

TEST(AsciiCaseTest, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(foldAsciiCase('a'), 'A');
    EXPECT_EQ(foldAsciiCase('z'), 'Z');
    EXPECT_EQ(foldAsciiCase('_'), '_');
    EXPECT_EQ(foldAsciiCase('`'), '`');
    EXPECT_EQ(foldAsciiCase('{'), '{');
    EXPECT_EQ(foldAsciiCase('\xE9'), '\xE9');
    EXPECT_TRUE(foldAsciiCase(U'q') == U'Q');
    EXPECT_TRUE(foldAsciiCase(char32_t(0xE9)) == char32_t(0xE9));
    EXPECT_TRUE(equalsIgnoringAsciiCase("Windows-1252", "WINDOWS-1252"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("utf-8", "utf-8 "));
}

} // namespace

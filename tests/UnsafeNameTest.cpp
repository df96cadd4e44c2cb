// Names that would land elsewhere on extraction are refused, each with its
// reason; names that Windows and macOS take for one are packed, with a
// warning.

#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/NameRules.h"

#include <gtest/gtest.h>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string backslash = "a name with a backslash would be a folder on Windows";
const std::string colon = "a colon in the first part of a name would make it a drive on Windows";
const std::string dotDot = "a part \"..\" would lead out of the folder the archive is extracted into";

struct NameRow
{
    const char *name;
    std::string stored;
    std::string reason; // empty: the name may be stored
};

void PrintTo(const NameRow &row, std::ostream *out) { *out << row.name; }

class UnsafeName : public ::testing::TestWithParam<NameRow>
{
};

} // namespace

TEST_P(UnsafeName, IsRefusedWithItsReason)
{
    const NameRow &row = GetParam();
    EXPECT_EQ(unsafeNameReason(row.stored).value_or(""), row.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Packing, UnsafeName,
    ::testing::Values(NameRow {"BackslashesLeadingUp", "..\\..\\evil.txt", backslash},
                      NameRow {"DriveAndBackslashes", "C:\\Windows\\x.txt", backslash},
                      NameRow {"BackslashInAFolderName", "Maps/a\\b/", backslash},
                      NameRow {"ColonInTheFirstPart", "C:x.txt", colon},
                      NameRow {"ColonInTheFirstFolder", "a:b/c.txt", colon},
                      NameRow {"ColonFurtherDown", "Maps/a:b.txt", ""},
                      NameRow {"DotDotPart", "Maps/../x.txt", dotDot},
                      NameRow {"DotDotFolder", "../", dotDot},
                      NameRow {"DotPart", "Maps/./x.txt", "a part \".\" names no file of its own"},
                      NameRow {"Escape", "ctl\x1b[31m.txt", "a name with a control character (U+001B) cannot be shown or typed"},
                      NameRow {"LineFeed", "two\nlines.txt", "a name with a control character (U+000A) cannot be shown or typed"},
                      NameRow {"Delete", "del\x7f.txt", "a name with a control character (U+007F) cannot be shown or typed"},
                      NameRow {"C1Control", "next\xC2\x85line.txt", "a name with a control character (U+0085) cannot be shown or typed"},
                      NameRow {"DotsInNames", "...", ""},
                      NameRow {"HiddenFile", "Maps/.hidden", ""},
                      NameRow {"DotDotInAName", "..x/y..", ""},
                      NameRow {"NotUtf8LeftToTheEncoding", "bad\xFF.txt", ""},
                      NameRow {"Plain", "Maps/DuelMode/Heroes/hero.xdb", ""}),
    [](const ::testing::TestParamInfo<NameRow> &row) { return std::string(row.param.name); });

// In a real tree: each such file (or folder, with all below it) is asked
// about with Abort and Ignore, left out on Ignore, and the archive holds the
// rest whole.
TEST(UnsafeNames, AreLeftOutOfTheArchiveOneQuestionEach)
{
    VORIRAZ_POSIX_ONLY("backslashes, colons and control characters in file names");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "..\\..\\evil.txt", "would be two folders up");
    writeFile(base / "C:\\Windows\\x.txt", "would be on a drive");
    writeFile(base / "a:b.txt", "a stream on Windows");
    writeFile(base / "ctl\x1b.txt", "an escape");
    writeFile(base / "sub\\folder/inside.txt", "in a folder refused as a whole");
    writeFile(base / "Maps/a:b.txt", "a colon further down is fine");
    writeFile(base / "plain.txt", "plain");
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    std::vector<std::string> questions;
    writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons buttons) {
        questions.push_back(text);
        EXPECT_EQ(buttons, TPromptButtons::AbortIgnore) << text;
        return TPromptAnswer::Ignore;
    };
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());
    ASSERT_EQ(questions.size(), 5u);
    EXPECT_EQ(questions[0], "ArchiveWriter1: Cannot store file \"" + programPath(base, "..\\..\\evil.txt") + "\": "
                                + backslash + " - Native error: 00065");
    EXPECT_EQ(questions[3], "ArchiveWriter1: Cannot store file \"" + programPath(base, "ctl\\x1B.txt")
                                + "\": a name with a control character (U+001B) cannot be shown or typed - Native "
                                  "error: 00065");
    EXPECT_EQ(report.failedFiles, 5u);
    EXPECT_EQ(report.skipped.back().name, "sub\\folder/");
    EXPECT_EQ(expectWholeArchive(dir / "out.pak", base),
              (std::vector<std::string> {"plain.txt", "Maps/", "Maps/a:b.txt"}));
}

namespace {

struct TwinRow
{
    const char *name;
    std::string first;
    std::string second;
    bool oneName;
};

void PrintTo(const TwinRow &row, std::ostream *out) { *out << row.name; }

class NameTwins : public ::testing::TestWithParam<TwinRow>
{
};

} // namespace

TEST_P(NameTwins, AreOneNameWhereCaseAndNormalisationDoNotCount)
{
    const TwinRow &row = GetParam();
    EXPECT_EQ(NameCollisions::foldKey(row.first) == NameCollisions::foldKey(row.second), row.oneName);
    NameCollisions names;
    names.add("other.txt");
    names.add(row.first);
    names.add(row.second);
    const auto groups = names.groups();
    if (row.oneName)
        EXPECT_EQ(groups, (std::vector<std::vector<std::string>> {{row.first, row.second}}));
    else
        EXPECT_TRUE(groups.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Packing, NameTwins,
    ::testing::Values(TwinRow {"LetterCase", "Maps/Hero.xdb", "maps/HERO.XDB", true},
                      TwinRow {"AccentedLetterCase", "\xC3\xA9t\xC3\xA9.txt", "\xC3\x89T\xC3\x89.txt", true},
                      TwinRow {"ComposedAndDecomposed", "\xC3\xA9.txt", "e\xCC\x81.txt", true},
                      TwinRow {"MarksInEitherOrder", "a\xCC\xA3\xCC\x81", "a\xCC\x81\xCC\xA3", true},
                      TwinRow {"HangulSyllableAndItsLetters", "\xEA\xB0\x81", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", true},
                      TwinRow {"GreekFinalSigma", "\xCE\xA3", "\xCF\x83", true},
                      TwinRow {"DifferentNames", "a.txt", "b.txt", false},
                      TwinRow {"AccentOrNone", "\xC3\xA9.txt", "e.txt", false},
                      TwinRow {"NotUtf8", "bad\xFF.txt", "BAD\xFF.TXT", true}),
    [](const ::testing::TestParamInfo<TwinRow> &row) { return std::string(row.param.name); });

// Twins are packed, both, and the report says which are one name elsewhere.
TEST(NameTwinsInATree, ArePackedAndWarnedAbout)
{
    VORIRAZ_POSIX_ONLY("names that differ only in letter case, which Windows takes for one file");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "Readme.txt", "one");
    writeFile(base / "README.txt", "two");
    writeFile(base / utf8Path("\xC3\xA9.txt"), "composed");
    writeFile(base / utf8Path("e\xCC\x81.txt"), "decomposed");
    writeFile(base / "plain.txt", "plain");
    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());
    EXPECT_EQ(expectWholeArchive(dir / "out.pak", base).size(), 5u);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string> {
                  "e\xCC\x81.txt and \xC3\xA9.txt differ only in letter case or Unicode normalisation: one name on "
                  "Windows and macOS, where extracting keeps only one",
                  "README.txt and Readme.txt differ only in letter case or Unicode normalisation: one name on Windows "
                  "and macOS, where extracting keeps only one"}));
    EXPECT_EQ(report.leftOut(), 0u);
}

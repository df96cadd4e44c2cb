#include "SystemSupport.h"
#include "TestSupport.h"

#include "catalogs/ApplicationDir.h"
#include "catalogs/CatalogFill.h"
#include "catalogs/CatalogList.h"
#include "catalogs/FileErrors.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

using namespace voriraz;
using voriraz::test::programPath;
using voriraz::test::pathNotFoundText;
using voriraz::test::fileNotFoundText;
using voriraz::test::jpegBytes;
using voriraz::test::messageOf;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace {

struct SplitCase
{
    const char *name;
    std::string text;
    CatalogList entries;
};

class CatalogSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CatalogSplitting, GivesTheEntriesOfEveryLineEndStyle)
{
    EXPECT_EQ(splitCatalog(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Catalog, CatalogSplitting,
    ::testing::Values(
        SplitCase {"CrLf", "alpha\r\nbeta\r\ngamma\r\n", {"alpha", "beta", "gamma"}},
        SplitCase {"LfOnly", "alpha\nbeta\ngamma\n", {"alpha", "beta", "gamma"}},
        SplitCase {"CrOnly", "alpha\rbeta\rgamma\r", {"alpha", "beta", "gamma"}},
        SplitCase {"LastLineWithoutBreak", "alpha\r\nbeta", {"alpha", "beta"}},
        SplitCase {"LfCrEndsTwoLines", "alpha\n\rbeta", {"alpha", "", "beta"}},
        SplitCase {"EmptyLinesKept", "alpha\r\n\r\nbeta\r\n\r\n", {"alpha", "", "beta", ""}},
        SplitCase {"SpacesKept", "  alpha \r\n\tbeta\r\n", {"  alpha ", "\tbeta"}},
        SplitCase {"DuplicatesKept", "a\na\n", {"a", "a"}},
        SplitCase {"NulEndsTheText", std::string("alpha\r\nbe\0ta\r\ngamma", 19), {"alpha", "be"}},
        SplitCase {"EmptyFile", "", {}},
        SplitCase {"OnlyABreak", "\r\n", {""}},
        SplitCase {"MixedEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(Catalog, MissingFileNamesThePathAndTheReason)
{
    TempDir dir;
    const std::string path = (dir / "data/perks.txt").string();
    EXPECT_EQ(messageOf([&] { readCatalog(path); }), "Cannot open file \"" + path + "\". " + pathNotFoundText());
}

TEST(Catalog, DirectoryInPlaceOfTheFileCannotBeOpened)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "data/perks.txt");
    EXPECT_EQ(messageOf([&] { readCatalog((dir / "data/perks.txt").string()); }),
              "Cannot open file \"" + (dir / "data/perks.txt").string() + "\". Is a directory");
}

TEST(IdentifierLookup, IgnoresCaseAndTakesTheFirstEqualEntry)
{
    const CatalogList entries {"Empty", "Ghoul_Ashen", "GHOUL_ASHEN", "Zirrak", "Ärmel"};
    EXPECT_EQ(findEntryIgnoringCase(entries, "ghoul_ashen"), 1);
    EXPECT_EQ(findEntryIgnoringCase(entries, "ZIRRAK"), 3);
    EXPECT_EQ(findEntryIgnoringCase(entries, "ärmel"), 4);
    EXPECT_EQ(findEntryIgnoringCase(entries, "ÄRMEL"), 4);
    EXPECT_EQ(findEntryIgnoringCase(entries, "Zirrak "), -1);
    EXPECT_EQ(findEntryIgnoringCase(entries, "Zirra"), -1);
    EXPECT_EQ(findEntryIgnoringCase(entries, ""), -1);
    EXPECT_EQ(findEntryIgnoringCase({"a", ""}, ""), 1);
}

TEST(ApplicationDirectory, IsTheExecutablesDirectoryWithoutTrailingSeparator)
{
    EXPECT_EQ(applicationDirOf("/opt/voriraz/bin/voriraz"), "/opt/voriraz/bin");
    EXPECT_EQ(applicationDirOf("/voriraz"), "");
    EXPECT_EQ(applicationDirOf("voriraz"), "");
    const std::string running = applicationDir();
    EXPECT_FALSE(running.empty());
    EXPECT_NE(running.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(running));
}

// Records what a fill hands over.
class RecordingSink : public CatalogSink
{
public:
    void setEntries(const CatalogList &list) override { entries = list; }
    void addIcon(std::size_t index, const Bitmap &icon) override
    {
        indexes.push_back(index);
        sizes.emplace_back(icon.width, icon.height);
        firstPixels.push_back(icon.rgb.at(0));
    }

    void addPlaceholderIcon(std::size_t index, const std::string &) override { placeholders.push_back(index); }
    CatalogList entries;
    std::vector<std::size_t> placeholders;
    std::vector<std::size_t> indexes;
    std::vector<std::pair<int, int>> sizes;
    std::vector<unsigned char> firstPixels;
};

class IconFill : public ::testing::Test
{
protected:
    void writeCatalog(const std::string &text) { writeFile(dir / "data/spells.txt", text); }
    void writeIcon(const std::string &entry, const std::string &bytes) { writeFile(dir / ("data/img/spells/" + entry + ".jpg"), bytes); }
    std::string iconPath(const std::string &entry) const { return programPath(dir.path(), "data/img/spells/" + entry + ".jpg"); }
    // Fills the spells, which an icon problem does not stop; the messages of
    // the icons that got placeholders.
    std::vector<std::string> problems()
    {
        fill.fillIconCatalog(catalogKinds::spells, sink);
        return fill.iconProblems();
    }

    TempDir dir;
    CatalogFill fill {dir.path().string()};
    RecordingSink sink;
};

TEST_F(IconFill, HandsOverEveryEntryThenEveryIconInOrder)
{
    writeCatalog("Ember\r\n Frost \r\n.\r\nEmber\r\n");
    writeIcon("Ember", jpegBytes(32, 32, 250, 0, 0));
    writeIcon(" Frost ", jpegBytes(32, 32, 0, 0, 250));
    writeIcon(".", jpegBytes(32, 32, 10, 10, 10));
    fill.fillIconCatalog(catalogKinds::spells, sink);

    EXPECT_EQ(sink.entries, (CatalogList {"Ember", " Frost ", ".", "Ember"}));
    EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0, 1, 2, 3}));
    // Each entry gets its own file's picture, decoded in colour; the
    // duplicate gets its own copy of the same icon.
    EXPECT_GT(sink.firstPixels[0], 200);
    EXPECT_LT(sink.firstPixels[1], 30);
    EXPECT_EQ(sink.firstPixels[3], sink.firstPixels[0]);
}

TEST_F(IconFill, EmptyCatalogIsNoError)
{
    writeCatalog("");
    fill.fillIconCatalog(catalogKinds::spells, sink);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(sink.indexes.empty());
}

// An icon that cannot be shown is no reason to stop: its entry gets a
// placeholder, the message names the file, and the fill goes on.
TEST_F(IconFill, MissingIconGetsAPlaceholderAndTheOthersTheirIcons)
{
    writeCatalog("Ember\nFrost\nGale\n");
    writeIcon("Ember", jpegBytes(32, 32));
    writeIcon("Gale", jpegBytes(32, 32));
    EXPECT_EQ(problems(), (std::vector<std::string> {"Cannot open file \"" + iconPath("Frost") + "\". " + fileNotFoundText()}));
    EXPECT_EQ(sink.entries.size(), 3u);
    EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0, 2}));
    EXPECT_EQ(sink.placeholders, (std::vector<std::size_t> {1}));
}

TEST_F(IconFill, IconNamedWithoutTheEntrysCaseIsMissing)
{
    VORIRAZ_POSIX_ONLY("file names that differ only in case name different files");
    writeCatalog("Ember\n");
    writeIcon("ember", jpegBytes(32, 32));
    EXPECT_EQ(problems(), (std::vector<std::string> {"Cannot open file \"" + iconPath("Ember") + "\". No such file or directory"}));
    EXPECT_EQ(sink.placeholders, (std::vector<std::size_t> {0}));
}

// Among hundreds of icons, the message says which file it is about.
TEST_F(IconFill, DataThatIsNotJpegGivesLibjpegsMessageCodeTextAndTheFile)
{
    writeCatalog("Ember\nFrost\n");
    writeIcon("Ember", jpegBytes(32, 32));
    writeIcon("Frost", "GIF89a not a jpeg at all");
    EXPECT_EQ(problems(), (std::vector<std::string> {"JPEG error #" + std::to_string(JERR_NO_SOI) + " in \"" + iconPath("Frost")
                                                     + "\": Not a JPEG file: starts with 0x47 0x49"}));
    EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0}));
    EXPECT_EQ(sink.placeholders, (std::vector<std::size_t> {1}));
}

TEST_F(IconFill, EmptyIconFileIsAJpegErrorNamingTheFile)
{
    writeCatalog("Ember\n");
    writeIcon("Ember", "");
    EXPECT_EQ(problems(), (std::vector<std::string> {"JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + " in \""
                                                     + iconPath("Ember") + "\": Empty input file"}));
}

TEST_F(IconFill, IconSmallerThan32InEitherDimensionIsRefusedWithItsFileAndSize)
{
    writeCatalog("Ember\nFrost\n");
    writeIcon("Ember", jpegBytes(32, 31));
    writeIcon("Frost", jpegBytes(31, 32));
    EXPECT_EQ(problems(), (std::vector<std::string> {
                              "Invalid image size: \"" + iconPath("Ember") + "\" is 32 x 31 pixels (an icon needs at least 32 x 32)",
                              "Invalid image size: \"" + iconPath("Frost") + "\" is 31 x 32 pixels (an icon needs at least 32 x 32)"}));
    EXPECT_TRUE(sink.indexes.empty());
    EXPECT_EQ(sink.placeholders, (std::vector<std::size_t> {0, 1}));
}

// An empty line is the empty slot's entry where its picture ".jpg" exists,
// shown with it; without the picture it is a slip in the file. Empty lines
// at the end stay ignored.
TEST_F(IconFill, EmptyLineIsAnEntryOnlyWithItsPicture)
{
    writeCatalog("\nEmber\n\n\n");
    writeIcon("Ember", jpegBytes(32, 32));
    EXPECT_EQ(messageOf([&] { problems(); }), programPath(dir.path(), "data/spells.txt") + ", line 1: empty entry");
    EXPECT_TRUE(sink.entries.empty());

    writeIcon("", jpegBytes(32, 32, 10, 10, 10));
    EXPECT_EQ(problems(), std::vector<std::string>());
    EXPECT_EQ(sink.entries, (CatalogList {"", "Ember"}));
    EXPECT_EQ(sink.indexes, (std::vector<std::size_t> {0, 1}));
    EXPECT_LT(sink.firstPixels[0], 30) << "the empty slot shows its own picture";

    // The mastery catalogs have no pictures: an empty line stays an error.
    writeFile(dir / "data/mastery.txt", "MST_LOW\n\nMST_HIGH\n");
    EXPECT_EQ(messageOf([&] { fill.readNames(catalogKinds::mastery); }),
              programPath(dir.path(), "data/mastery.txt") + ", line 2: empty entry");
}

TEST_F(IconFill, LargerAndGreyscaleIconsBecomeOneColourIconOf32)
{
    writeCatalog("Ember\nFrost\n");
    writeIcon("Ember", jpegBytes(64, 40, 0, 200, 0));
    writeIcon("Frost", jpegBytes(32, 32, 128, 0, 0, true));
    fill.fillIconCatalog(catalogKinds::spells, sink);
    EXPECT_EQ(sink.sizes, (std::vector<std::pair<int, int>> {{32, 32}, {32, 32}}));
    EXPECT_LT(sink.firstPixels[0], 30);
    EXPECT_NEAR(sink.firstPixels[1], 128, 3);
}

TEST_F(IconFill, OneFillServesSeveralKindsAfterAnError)
{
    writeCatalog("Ember\n");
    writeIcon("Ember", "not a jpeg");
    EXPECT_EQ(problems().size(), 1u);
    // The decoder recovers from the failed picture and decodes the next.
    writeIcon("Ember", jpegBytes(32, 32));
    RecordingSink second;
    fill.fillIconCatalog(catalogKinds::spells, second);
    EXPECT_EQ(second.indexes.size(), 1u);
    EXPECT_EQ(fill.iconProblems().size(), 1u) << "problems gather over the whole fill";
}

} // namespace

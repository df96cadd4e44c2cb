#include "SystemSupport.h"
#include "TestSupport.h"
#include "TreeSnapshot.h"

#include "catalogs/CatalogFill.h"
#include "catalogs/FileErrors.h"
#include "catalogs/CatalogList.h"
#include "catalogs/IconName.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

class RecordingSink : public CatalogSink
{
public:
    void setEntries(const CatalogList &list) override { entries = list; }
    void addIcon(std::size_t index, const Bitmap &) override { icons.push_back(index); }

    void addPlaceholderIcon(std::size_t index, const std::string &) override { placeholders.push_back(index); }
    CatalogList entries;
    std::vector<std::size_t> placeholders;
    std::vector<std::size_t> icons;
};

// A data tree with the artifact catalog given and a good icon for every
// safe entry, and a good picture just outside the icon folder, where an
// entry such as "../ART_OUTSIDE" would lead.
class BadCatalog : public ::testing::Test
{
protected:
    void writeArtifacts(const std::string &catalog, const std::vector<std::string> &iconNames)
    {
        writeFile(tree / "data/artifacts.txt", catalog);
        for (const std::string &name : iconNames)
            writeFile(tree / ("data/img/artifacts/" + name + ".jpg"), jpegBytes(32, 32));
        writeFile(tree / "data/img/ART_OUTSIDE.jpg", jpegBytes(32, 32));
        writeFile(tree / "data/ART_OUTSIDE.jpg", jpegBytes(32, 32));
    }

    std::string catalogPath() const { return programPath(tree.path(), "data/artifacts.txt"); }

    // Fills the artifacts, returning the message of the error, if any.
    std::string fill()
    {
        before = snapshotOf(tree.path());
        CatalogFill catalogFill(tree.path().string());
        try {
            catalogFill.fillIconCatalog(catalogKinds::artifacts, sink);
        } catch (const std::exception &e) {
            iconProblems = catalogFill.iconProblems();
            return e.what();
        }
        iconProblems = catalogFill.iconProblems();
        return {};
    }

    void expectNothingChanged() const
    {
        EXPECT_EQ(changedPaths(before, snapshotOf(tree.path())), std::vector<std::string>());
    }

    TempDir tree;
    RecordingSink sink;
    TreeSnapshot before;
    std::vector<std::string> iconProblems;
};

// Lines that cannot be entries stop the fill before any control gets an
// item, with the catalog and the line: a NUL byte no longer cuts the
// catalog short without a word, and an empty line is no entry unless its
// icon ".jpg" exists (none does here).
struct CatalogFaultRow
{
    const char *name;
    std::string text;
    std::string message; // after "<catalog>, "
};
void PrintTo(const CatalogFaultRow &row, std::ostream *out) { *out << row.name; }

class CatalogFault : public BadCatalog, public ::testing::WithParamInterface<CatalogFaultRow> {};

TEST_P(CatalogFault, StopsTheFillWithTheCatalogAndTheLine)
{
    writeArtifacts(GetParam().text, {"ART_A", "ART_B", "ART_C"});
    EXPECT_EQ(fill(), catalogPath() + ", " + GetParam().message);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(sink.icons.empty());
    expectNothingChanged();
}

const CatalogFaultRow catalogFaults[] = {
    {"EmptyLine", "ART_A\r\n\r\nART_B\r\n", "line 2: empty entry"},
    {"EmptyFirstLine", "\nART_A\n", "line 1: empty entry"},
    {"EmptyLineAfterAByteOrderMark", "\xEF\xBB\xBF\nART_A\n", "line 1: empty entry"},
    {"BlankLine", "ART_A\nART_B\n \t \nART_C\n", "line 3: entry of blanks only"},
    {"LfCrCountsTwoLines", "ART_A\n\rART_B\n", "line 2: empty entry"},
    {"NulInALine", std::string("ART_A\nART_B\nAR\0T_C\n", 19), "line 3: NUL byte in the text"},
    {"NulAtTheStartOfALine", std::string("ART_A\r\n\0../ART_OUTSIDE\r\n", 24), "line 2: NUL byte in the text"},
    {"NulAfterTheLastBreak", std::string("ART_A\nART_B\n\0", 13), "line 3: NUL byte in the text"},
    // Latin-1 text, as editors on Windows save it: the window would show and
    // save a replacement mark in place of the letter.
    {"NotUtf8", "ART_A\nART_\xC4RMEL\nART_C\n", "line 2: not UTF-8 text; save the catalog as UTF-8"},
    {"Utf16LittleEndian", std::string("\xFF\xFE" "A\0R\0T\0_\0A\0\n\0", 14),
     "line 1: the file is UTF-16 text; save it as UTF-8"},
    {"Utf16BigEndian", std::string("\xFE\xFF\0A\0\n", 6), "line 1: the file is UTF-16 text; save it as UTF-8"},
};

INSTANTIATE_TEST_SUITE_P(Fill, CatalogFault, ::testing::ValuesIn(catalogFaults),
                         [](const auto &row) { return std::string(row.param.name); });

struct TolerableCatalogRow
{
    const char *name;
    std::string text;
};
void PrintTo(const TolerableCatalogRow &row, std::ostream *out) { *out << row.name; }

class TolerableCatalog : public BadCatalog, public ::testing::WithParamInterface<TolerableCatalogRow> {};

// What editors leave in a file is no part of any entry: a byte-order mark
// before the first, empty and blank lines after the last.
TEST_P(TolerableCatalog, GivesTheEntriesAlone)
{
    writeArtifacts(GetParam().text, {"ART_A", "ART_B"});
    EXPECT_EQ(fill(), "");
    EXPECT_EQ(sink.entries, (CatalogList {"ART_A", "ART_B"}));
    EXPECT_EQ(sink.icons, (std::vector<std::size_t> {0, 1}));
    expectNothingChanged();
}

const TolerableCatalogRow tolerableCatalogs[] = {
    {"ByteOrderMark", "\xEF\xBB\xBF" "ART_A\r\nART_B\r\n"},
    {"ByteOrderMarkAndNoBreakAtTheEnd", "\xEF\xBB\xBF" "ART_A\nART_B"},
    {"EmptyLinesAtTheEnd", "ART_A\nART_B\n\n\n"},
    {"BlankLinesAtTheEnd", "ART_A\r\nART_B\r\n  \r\n\t\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Fill, TolerableCatalog, ::testing::ValuesIn(tolerableCatalogs),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(CatalogText, Utf8IsWellFormedSequencesOnly)
{
    for (const char *good : {"", "CRT_A", "\xC3\x84rmel", "\xE2\x82\xAC", "\xF0\x9F\x90\x89"})
        EXPECT_TRUE(isUtf8(good)) << good;
    // A Latin-1 letter, a stray continuation byte, an overlong slash, a
    // surrogate, a cut sequence, and a code point past U+10FFFF.
    for (const char *bad : {"\xC4", "a\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(isUtf8(bad)) << bad;
}

TEST(CatalogText, OnlyAByteOrderMarkIsAnEmptyCatalog)
{
    EXPECT_EQ(parseCatalog("\xEF\xBB\xBF", "c.txt"), CatalogList {});
    EXPECT_EQ(parseCatalog("\xEF\xBB\xBF\r\n", "c.txt"), CatalogList {});
    // Only the first mark is the file's; one later on is part of its line.
    EXPECT_EQ(parseCatalog("a\n\xEF\xBB\xBF" "b\n", "c.txt"), (CatalogList {"a", "\xEF\xBB\xBF" "b"}));
}

TEST_F(BadCatalog, AOneMegabyteLineIsRefusedWithAShortenedEntryInsteadOfAMegabyteMessage)
{
    const std::string line(1 << 20, 'Q');
    writeArtifacts("ART_A\n" + line + "\nART_C\n", {"ART_A", "ART_C"});
    EXPECT_EQ(fill(), catalogPath() + ", line 2: \"" + std::string(40, 'Q')
                          + "...\" cannot name an icon file: an identifier may be at most 251 bytes long, not 1048576");
    EXPECT_EQ(sink.entries.size(), 3u);
    EXPECT_EQ(sink.icons, std::vector<std::size_t> {0});
    expectNothingChanged();
}

TEST_F(BadCatalog, AnEntryAsLongAsAFileNameAllowsStillNamesItsIcon)
{
    const std::string longest(maxIconNameLength, 'L');
    writeArtifacts("ART_A\n" + longest + "\n" + longest + "M\n", {"ART_A", longest});
    EXPECT_EQ(fill(), catalogPath() + ", line 3: \"" + std::string(40, 'L')
                          + "...\" cannot name an icon file: an identifier may be at most 251 bytes long, not 252");
    EXPECT_EQ(sink.icons, (std::vector<std::size_t> {0, 1}));
    EXPECT_EQ(iconProblems, std::vector<std::string>());
    expectNothingChanged();
}

struct UnsafeEntryRow
{
    const char *name;
    std::string entry;
    std::string shown;
};
void PrintTo(const UnsafeEntryRow &row, std::ostream *out) { *out << row.name; }

class UnsafeEntry : public BadCatalog, public ::testing::WithParamInterface<UnsafeEntryRow> {};

// The entry would lead to a readable picture outside the icon folder (or
// names a subfolder); it is refused before any file is opened for it.
TEST_P(UnsafeEntry, IsRefusedAtItsLineAndNoIconOutsideTheFolderIsRead)
{
    const UnsafeEntryRow &row = GetParam();
    fs::create_directories(tree / "data/img/artifacts/sub");
    writeFile(tree / "data/img/artifacts/sub/ART_B.jpg", jpegBytes(32, 32));
    writeArtifacts("ART_A\r\nART_B\r\n" + row.entry + "\r\nART_C\r\n", {"ART_A", "ART_B", "ART_C"});

    EXPECT_EQ(fill(), catalogPath() + ", line 3: \"" + row.shown
                          + "\" cannot name an icon file: an identifier may not hold \"/\", \"\\\" or \"..\"");
    EXPECT_EQ(sink.entries.at(2), row.entry);
    EXPECT_EQ(sink.icons, (std::vector<std::size_t> {0, 1}));
    expectNothingChanged();
}

const UnsafeEntryRow unsafeEntries[] = {
    {"ParentFolder", "../ART_OUTSIDE", "../ART_OUTSIDE"},
    {"TwoFoldersUp", "../../ART_OUTSIDE", "../../ART_OUTSIDE"},
    {"Subfolder", "sub/ART_B", "sub/ART_B"},
    {"AbsolutePath", "/etc/hostname", "/etc/hostname"},
    {"WindowsSeparator", "..\\ART_OUTSIDE", "..\\ART_OUTSIDE"},
    {"BackslashAlone", "sub\\ART_B", "sub\\ART_B"},
    {"DotDotAlone", "..", ".."},
    {"DotDotInside", "ART..OUTSIDE", "ART..OUTSIDE"},
    {"LongTraversalShortened", std::string(60, '.') + "/x", std::string(40, '.') + "..."},
};

INSTANTIATE_TEST_SUITE_P(Fill, UnsafeEntry, ::testing::ValuesIn(unsafeEntries),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(BadCatalog, BlanksAroundAnEntryAndASingleDotStillNameFilesInTheFolder)
{
    writeArtifacts(" ART_A \n.\nART.B\n", {" ART_A ", ".", "ART.B"});
    EXPECT_EQ(fill(), "");
    EXPECT_EQ(sink.icons, (std::vector<std::size_t> {0, 1, 2}));
    expectNothingChanged();
}

// Devices and pipes are no files to read: /dev/zero never ends, and a pipe
// without a writer would block the start-up for good.
TEST_F(BadCatalog, ACatalogThatIsAPipeIsRefusedWithoutWaiting)
{
    VORIRAZ_POSIX_ONLY("a named pipe in the file system");
    writeArtifacts("", {});
    fs::remove(tree / "data/artifacts.txt");
    makeFifo(catalogPath());
    EXPECT_EQ(fill(), "Cannot open file \"" + catalogPath() + "\". Not a regular file");
    EXPECT_TRUE(sink.entries.empty());
    expectNothingChanged();
}

// An icon that is a pipe, or a link to a device outside the data folder, is
// never read: its entry gets a placeholder and the message says why.
TEST_F(BadCatalog, AnIconThatIsAPipeOrLinkedToADeviceGetsAPlaceholder)
{
    VORIRAZ_POSIX_ONLY("a named pipe and a link to a device file");
    writeArtifacts("ART_A\nART_B\nART_C\n", {"ART_A"});
    fs::create_symlink("/dev/zero", tree / "data/img/artifacts/ART_B.jpg");
    makeFifo(tree / "data/img/artifacts/ART_C.jpg");
    EXPECT_EQ(fill(), "");
    EXPECT_EQ(iconProblems, (std::vector<std::string> {
                                "Cannot open file \"" + (tree / "data/img/artifacts/ART_B.jpg").string()
                                    + "\". It lies outside the data folder, at \"/dev/zero\"",
                                "Cannot open file \"" + (tree / "data/img/artifacts/ART_C.jpg").string() + "\". Not a regular file"}));
    EXPECT_EQ(sink.icons, std::vector<std::size_t> {0});
    EXPECT_EQ(sink.placeholders, (std::vector<std::size_t> {1, 2}));
    expectNothingChanged();
}

TEST(IconName, MessageCountsCharactersNotBytesWhenItShortensAnEntry)
{
    const std::string umlauts = [] {
        std::string text;
        for (int i = 0; i < 45; ++i)
            text += "\xC3\xA4";
        return text + "/";
    }();
    EXPECT_EQ(messageOf([&] { checkIconName(umlauts, "c.txt", 7); }),
              "c.txt, line 7: \"" + umlauts.substr(0, 80) + "...\" cannot name an icon file: an identifier may not "
              "hold \"/\", \"\\\" or \"..\"");
    EXPECT_NO_THROW(checkIconName(umlauts.substr(0, 90), "c.txt", 7));

    // The lead byte takes its three continuation bytes; the other stray
    // continuation bytes count one character each.
    const std::string stray = "\xF4" + std::string(300, '\x89') + "..";
    EXPECT_EQ(messageOf([&] { checkIconName(stray, "c.txt", 1); }),
              "c.txt, line 1: \"" + stray.substr(0, 43) + "...\" cannot name an icon file: an identifier may not "
              "hold \"/\", \"\\\" or \"..\"");
}

} // namespace

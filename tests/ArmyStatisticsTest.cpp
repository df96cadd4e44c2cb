#include "TestSupport.h"

#include "editing/ArmyStatistics.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::messageOf;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace {

class Statistics : public ::testing::Test
{
protected:
    void SetUp() override
    {
        creature("Krell", "10", "100", "25");
        creature("Ossik", "3", "40", "12");
        creature("Varm", "500", "9000", "1500");
        table({entry("Krell"), entry("Ossik"), entry("Varm")});
    }

    void creature(const std::string &name, const std::string &exp, const std::string &power, const std::string &gold)
    {
        writeFile(dir / ("data/Creatures/" + name + ".xdb"),
                  "<Creature><Exp>" + exp + "</Exp><Speed>4</Speed><Power>" + power + "</Power>"
                  "<Cost><Wood>1</Wood><Gold>" + gold + "</Gold></Cost></Creature>");
    }
    static std::string entry(const std::string &id, const std::string &file = "")
    {
        return "<Item><ID>" + id + "</ID><Obj href=\"/Creatures/" + (file.empty() ? id : file)
               + ".xdb#xpointer(/Creature)\"/></Item>";
    }
    void table(const std::vector<std::string> &entries)
    {
        // One entry per line, from line 2 on.
        std::string xml = "<Table_Creature><objects>";
        for (const std::string &e : entries)
            xml += "\n" + e;
        writeFile(dir / "data/GameMechanics/RefTables/Creatures.xdb", xml + "\n</objects></Table_Creature>");
    }

    ArmyTotals compute() { return statistics.compute(slots, &warnings); }
    std::string failure() { return messageOf([&] { compute(); }); }
    void occupy(int slot, const std::string &id, const std::string &count) { slots[slot - 1] = {1, id, count}; }

    TempDir dir;
    ArmyStatistics statistics {dir.path().string()};
    ArmySlotStates slots {};
    std::vector<std::string> warnings;
};

TEST_F(Statistics, EmptyArmyReadsNothingAndTotalsZero)
{
    std::filesystem::remove_all(dir / "data");
    slots[2] = {0, "Krell", "5"};
    slots[3] = {-1, "", "abc"};
    EXPECT_EQ(compute(), (ArmyTotals {0, 0, 0}));
}

TEST_F(Statistics, EachSlotMultipliesItsOwnCountAcrossGaps)
{
    occupy(1, "Krell", "2");
    occupy(3, "Ossik", "10");
    occupy(5, "Krell", "1");
    slots[1] = {0, "", "junk"};
    EXPECT_EQ(compute(), (ArmyTotals {2 * 10 + 10 * 3 + 10, 2 * 25 + 10 * 12 + 25, 2 * 100 + 10 * 40 + 100}));
}

// A creature the table carries twice would count twice; the first entry
// counts, and each later one is a warning naming both lines.
TEST_F(Statistics, TheFirstMatchingTableEntryCountsAndCaseMatters)
{
    table({entry("Krell"), entry("krell", "Varm"), entry("Krell", "Ossik"), "<!-- no ID -->", "<Item><Obj href=\"x\"/></Item>"});
    occupy(1, "Krell", "1");
    EXPECT_EQ(compute(), (ArmyTotals {10, 25, 100}));
    EXPECT_EQ(warnings, std::vector<std::string> {
                            "GameMechanics/RefTables/Creatures.xdb: ID \"Krell\" on line 4 repeats line 2; the totals use line 2"});
    EXPECT_EQ(statistics.referenceTableWarnings(), warnings);
    EXPECT_EQ(statistics.referenceCount("Krell"), 2u);
    occupy(1, "KRELL", "1");
    EXPECT_EQ(compute(), (ArmyTotals {0, 0, 0})) << "an unknown identifier contributes nothing";
    EXPECT_EQ(warnings, std::vector<std::string> {"Army slot 1: creature \"KRELL\" has no entry in "
                                                  "GameMechanics/RefTables/Creatures.xdb; the totals leave this stack out"});
}

// Totals that leave a stack out say so: a creature the catalog lacks (the
// slot shows no selection) and one the table lacks.
TEST_F(Statistics, TotalsSayWhichStacksTheyLeaveOut)
{
    occupy(1, "Krell", "2");
    slots[1] = {-1, "CRT_RAVIXX", "46"};
    occupy(3, "Ghost", "1");
    slots[3] = {-1, "", "5"}; // no selection, nothing known about it: an empty slot
    EXPECT_EQ(compute(), (ArmyTotals {20, 50, 200}));
    EXPECT_EQ(warnings, (std::vector<std::string> {
                            "Army slot 2: creature \"CRT_RAVIXX\" is not in creatures.txt; the totals leave this stack out",
                            "Army slot 3: creature \"Ghost\" has no entry in GameMechanics/RefTables/Creatures.xdb; "
                            "the totals leave this stack out"}));
    occupy(3, "Ossik", "1");
    slots[1] = {};
    compute();
    EXPECT_EQ(warnings, std::vector<std::string>()) << "whole totals warn of nothing";
}

struct HrefRow
{
    const char *name;
    std::string href;
};
void PrintTo(const HrefRow &row, std::ostream *out) { *out << row.name; }

class Href : public Statistics, public ::testing::WithParamInterface<HrefRow> {};

// The file is the href up to its "#", whatever follows it or whether
// anything does: never a path cut at a fixed length.
TEST_P(Href, NamesTheFileBeforeItsPointer)
{
    table({"<Item><ID>Krell</ID><Obj href=\"" + GetParam().href + "\"/></Item>"});
    occupy(1, "Krell", "1");
    EXPECT_EQ(compute(), (ArmyTotals {10, 25, 100}));
}

const HrefRow hrefs[] = {
    {"WithTheCreaturePointer", "/Creatures/Krell.xdb#xpointer(/Creature)"},
    {"WithoutPointer", "/Creatures/Krell.xdb"},
    {"WithAnotherPointer", "/Creatures/Krell.xdb#xpointer(/Other)"},
    {"WithAShortPointer", "/Creatures/Krell.xdb#x"},
    {"WithAnEmptyPointer", "/Creatures/Krell.xdb#"},
};

INSTANTIATE_TEST_SUITE_P(Statistics, Href, ::testing::ValuesIn(hrefs),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(Statistics, CountsAreConvertedStrictly)
{
    occupy(1, "Krell", "-3");
    EXPECT_EQ(compute(), (ArmyTotals {-30, -75, -300}));
    occupy(1, "Krell", "$10");
    EXPECT_EQ(compute().experience, 160);
    occupy(1, "Krell", "3 ");
    EXPECT_EQ(failure(), "'3 ' is not a valid integer value");
    occupy(1, "Krell", "");
    EXPECT_EQ(failure(), "'' is not a valid integer value");
}

TEST_F(Statistics, CountIsConvertedBeforeTheValue)
{
    creature("Krell", "", "100", "25");
    occupy(1, "Krell", "x");
    EXPECT_EQ(failure(), "'x' is not a valid integer value");
    occupy(1, "Krell", "1");
    EXPECT_EQ(failure(), "Could not convert variant of type (Null) into type (String)");
}

TEST_F(Statistics, MissingValuesAndReferencesAreNullConversions)
{
    writeFile(dir / "data/Creatures/Krell.xdb", "<Creature><Exp>1</Exp><Power>1</Power></Creature>");
    occupy(1, "Krell", "1");
    EXPECT_EQ(failure(), "Could not convert variant of type (Null) into type (String)");

    table({"<Item><ID>Krell</ID><Obj/></Item>"});
    EXPECT_EQ(failure(), "Could not convert variant of type (Null) into type (String)");
}

TEST_F(Statistics, ValueThatIsNotAnIntegerIsNamed)
{
    creature("Ossik", "3", "4.5", "12");
    occupy(2, "Ossik", "1");
    EXPECT_EQ(failure(), "'4.5' is not a valid integer value");
}

TEST_F(Statistics, HrefWithOnlyAPointerNamesTheDataFolderAndFailsToLoad)
{
    table({"<Item><ID>Krell</ID><Obj href=\"#xpointer(/Creature)\"/></Item>"});
    occupy(1, "Krell", "1");
    const std::string message = failure();
    EXPECT_NE(message.find("\nLine: 0\n"), std::string::npos) << message;
    EXPECT_NE(message.find(voriraz::test::programPath(dir.path(), "data")), std::string::npos) << message;
}

struct OutsideLinkRow
{
    const char *name;
    std::string href;
};
void PrintTo(const OutsideLinkRow &row, std::ostream *out) { *out << row.name; }

class OutsideLink : public Statistics, public ::testing::WithParamInterface<OutsideLinkRow> {};

// Each link would reach a well-formed creature file outside the data folder
// (or a file whose first line the parse error would quote); none is read,
// and the message names the link, never anything of the file.
TEST_P(OutsideLink, IsRefusedWithTheLinkAndNothingIsRead)
{
    const std::string creatureXml = "<Creature><Exp>7777</Exp><Power>1</Power><Cost><Gold>1</Gold></Cost></Creature>";
    writeFile(dir / "Outside.xdb", creatureXml);
    writeFile(dir / "data_other/Outside.xdb", creatureXml);
    writeFile(dir / "data/GameMechanics/Krell.xdb", creatureXml);
    table({entry("Ossik"), "<Item><ID>Krell</ID><Obj href=\"" + GetParam().href + "\"/></Item>"});
    occupy(1, "Ossik", "1");
    occupy(2, "Krell", "1");
    EXPECT_EQ(failure(), "Creature file \"" + GetParam().href + "\" lies outside the data folder");
}

const OutsideLinkRow outsideLinks[] = {
    {"UpAndOut", "/../Outside.xdb#xpointer(/Creature)"},
    {"SystemFile", "/../../../../../../../../etc/passwd#xpointer(/Creature)"},
    {"DownThenFurtherUp", "/GameMechanics/../../Outside.xdb#xpointer(/Creature)"},
    {"UpAndBackIn", "/GameMechanics/../GameMechanics/Krell.xdb#xpointer(/Creature)"},
    {"NoLeadingSeparator", "_other/Outside.xdb#xpointer(/Creature)"},
    {"WindowsSeparators", "\\..\\Outside.xdb#xpointer(/Creature)"},
    {"ParentAtTheEnd", "/GameMechanics/..#xpointer(/Creature)"},
};

INSTANTIATE_TEST_SUITE_P(Statistics, OutsideLink, ::testing::ValuesIn(outsideLinks),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(Statistics, ALongOutsideLinkIsShortenedInItsMessage)
{
    const std::string href = "/.." + std::string(1000, '/') + "etc/passwd#xpointer(/Creature)";
    table({"<Item><ID>Krell</ID><Obj href=\"" + href + "\"/></Item>"});
    occupy(1, "Krell", "1");
    EXPECT_EQ(failure(), "Creature file \"" + href.substr(0, 120) + "...\" lies outside the data folder");
}

TEST(DataFolderPath, StaysInsideOnlyBelowTheFolder)
{
    for (const char *inside : {"", "/", "/GameMechanics/Creature/Krell.xdb", "/a/./b", "/a..b/..c/d..", "//x"})
        EXPECT_TRUE(staysInsideDataFolder(inside)) << inside;
    for (const char *outside : {"..", "/..", "/../x", "/a/../b", "/a/..", "x", "_other/x", "\\..\\x", "./x"})
        EXPECT_FALSE(staysInsideDataFolder(outside)) << outside;
}

TEST_F(Statistics, MissingTableIsALoadError)
{
    std::filesystem::remove(dir / "data/GameMechanics/RefTables/Creatures.xdb");
    occupy(1, "Krell", "1");
    EXPECT_NE(failure().find("Creatures.xdb"), std::string::npos);
}

TEST_F(Statistics, TableWithoutObjectsContributesNothing)
{
    writeFile(dir / "data/GameMechanics/RefTables/Creatures.xdb", "<Table_Creature/>");
    occupy(1, "Krell", "1");
    EXPECT_EQ(compute(), (ArmyTotals {0, 0, 0}));
}

TEST_F(Statistics, ChangesOnDiskShowAtTheNextComputation)
{
    occupy(1, "Krell", "1");
    EXPECT_EQ(compute().experience, 10);
    creature("Krell", "11", "100", "25");
    EXPECT_EQ(compute().experience, 11);
    table({entry("Krell", "Ossik")});
    EXPECT_EQ(compute().experience, 3);
}

TEST_F(Statistics, TableRewrittenWithTheSameSizeIsReadAgain)
{
    occupy(1, "Krell", "1");
    EXPECT_EQ(compute().experience, 10);
    // Same length, same second: only the bytes tell the two tables apart.
    table({entry("Krell", "Ossik"), entry("Ossik"), entry("Varm")});
    EXPECT_EQ(compute().experience, 3);
}

TEST_F(Statistics, EntryWhoseIdHoldsElementsStopsEveryScanAfterEarlierMatches)
{
    table({"<Item><ID>Ossik</ID><Obj/></Item>", entry("Krell"), "<Item><ID><Deep/></ID></Item>", entry("Varm")});
    occupy(1, "Krell", "1");
    EXPECT_EQ(failure(), "Element does not contain a single text node");
    occupy(1, "Varm", "1");
    EXPECT_EQ(failure(), "Element does not contain a single text node") << "the entry after it is never reached";
    occupy(1, "Ossik", "1");
    EXPECT_EQ(failure(), "Could not convert variant of type (Null) into type (String)")
        << "a match without href comes before the broken entry";
    slots[0] = {};
    EXPECT_EQ(compute(), (ArmyTotals {0, 0, 0})) << "no occupied slot reads no table";
}

TEST_F(Statistics, TotalsOutsideTheIntegerRangeAreRefusedNotWrapped)
{
    creature("Varm", "2147483647", "1", "1");
    occupy(1, "Varm", "1");
    EXPECT_EQ(compute().experience, 2147483647);
    occupy(2, "Krell", "1");
    EXPECT_EQ(failure(), "The army's total experience leaves the range of 32-bit integers (-2147483648 to 2147483647)");
    occupy(2, "Varm", "-1");
    EXPECT_EQ(compute().experience, 0);
    occupy(1, "Varm", "2");
    occupy(2, "Varm", "-2");
    EXPECT_NE(failure().find("total experience"), std::string::npos) << "a product alone may overflow";
}

} // namespace

// Links in a data folder: the editor reads a creature file, a creature
// folder, the reference table, a catalog or an icon only where it lies
// inside the data folder once every link is followed, and no message
// quotes a byte of a file outside it.

#include "SystemSupport.h"
#include "TestSupport.h"

#include "catalogs/CatalogFill.h"
#include "editing/ArmyStatistics.h"

#include <gtest/gtest.h>

#include <functional>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

// What a file outside the data folder holds: a parse error would quote its
// first line, a catalog would list it, a creature would count 7777.
const std::string secretLine = "root:x:0:0:root:/root:/bin/bash";
const std::string outsideCreature =
    "<Creature><Exp>7777</Exp><Power>7777</Power><Cost><Gold>7777</Gold></Cost></Creature>";

class DataFolderLinks : public ::testing::Test
{
public:
    void SetUp() override
    {
        writeFile(data / "creatures.txt", "CRT_NONE\nCRT_KRELL\n");
        writeFile(data / "skills.txt", "SKL_NONE\n");
        for (const char *kind : {"artifacts", "spells", "perks"})
            writeFile(data / (std::string(kind) + ".txt"), "X_A\n");
        writeFile(data / "mastery.txt", "MST_LOW\n");
        writeFile(data / "primary_mastery.txt", "PSM_A\n");
        paintCatalogIcons(data);
        writeFile(data / "GameMechanics/RefTables/Creatures.xdb",
                  "<Table><objects><Item><ID>CRT_KRELL</ID>"
                  "<Obj href=\"/GameMechanics/Creature/Krell.xdb#xpointer(/Creature)\"/></Item></objects></Table>");
        writeFile(data / "GameMechanics/Creature/Krell.xdb",
                  "<Creature><Exp>10</Exp><Power>100</Power><Cost><Gold>25</Gold></Cost></Creature>");
        writeFile(outside / "passwd", secretLine + "\n");
        writeFile(outside / "Krell.xdb", outsideCreature);
        writeFile(outside / "icon.jpg", jpegBytes(32, 32));
        writeFile(outside / "catalog.txt", "CRT_NONE\nCRT_KRELL\n");
    }

    // Replaces a file or folder of the data folder by a link to target.
    void link(const std::string &relative, const fs::path &target)
    {
        fs::remove_all(data / relative);
        if (fs::is_directory(target))
            fs::create_directory_symlink(target, data / relative);
        else
            fs::create_symlink(target, data / relative);
    }

    ArmyTotals totals()
    {
        ArmySlotStates slots {};
        slots[0] = {1, "CRT_KRELL", "2"};
        ArmyStatistics statistics(DataFolder {data.string()});
        return statistics.compute(slots);
    }

    StartupCatalogs catalogs()
    {
        CatalogFill fill(DataFolder {data.string()});
        return readStartupCatalogs(fill);
    }

    TempDir dir;
    fs::path data = dir / "data";
    fs::path outside = dir / "outside";
};

struct EscapeRow
{
    const char *name;
    std::function<void(DataFolderLinks &)> plant;
    // What the editor does instead of reading the file; the message.
    std::function<std::string(DataFolderLinks &)> outcome;
    std::string expected; // "{data}" and "{outside}" stand for the folders
};
void PrintTo(const EscapeRow &row, std::ostream *out) { *out << row.name; }

class LinkOut : public DataFolderLinks, public ::testing::WithParamInterface<EscapeRow> {};

TEST_P(LinkOut, IsNotReadAndNoMessageQuotesTheFile)
{
    VORIRAZ_POSIX_ONLY("symbolic links");
    GetParam().plant(*this);
    const std::string message = GetParam().outcome(*this);
    std::string expected = GetParam().expected;
    // Where a link leads is named as the system resolves it.
    for (const auto &[name, folder] :
         {std::pair {std::string("{data}"), data}, std::pair {std::string("{outside}"), fs::canonical(outside)}}) {
        for (std::size_t at; (at = expected.find(name)) != std::string::npos;)
            expected.replace(at, name.size(), folder.string());
    }
    EXPECT_EQ(message, expected);
    EXPECT_EQ(message.find("root:x"), std::string::npos);
    EXPECT_EQ(message.find("7777"), std::string::npos);
}

std::string failureOf(const std::function<void()> &read)
{
    try {
        read();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "read";
}

const std::string krellOutside = "Creature file \"/GameMechanics/Creature/Krell.xdb#xpointer(/Creature)\" lies outside the data folder";

const EscapeRow escapes[] = {
    {"CreatureFileToAWellFormedFile", [](DataFolderLinks &t) { t.link("GameMechanics/Creature/Krell.xdb", t.outside / "Krell.xdb"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.totals(); }); }, krellOutside},
    {"CreatureFileToASystemFile", [](DataFolderLinks &t) { t.link("GameMechanics/Creature/Krell.xdb", t.outside / "passwd"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.totals(); }); }, krellOutside},
    {"CreatureFolder", [](DataFolderLinks &t) { t.link("GameMechanics/Creature", t.outside); },
     [](DataFolderLinks &t) { return failureOf([&] { t.totals(); }); }, krellOutside},
    {"RelativeLinkClimbingOut", [](DataFolderLinks &t) { t.link("GameMechanics/Creature/Krell.xdb", "../../../outside/Krell.xdb"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.totals(); }); }, krellOutside},
    {"ReferenceTable", [](DataFolderLinks &t) { t.link("GameMechanics/RefTables/Creatures.xdb", t.outside / "passwd"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.totals(); }); },
     "Cannot open file \"{data}/GameMechanics/RefTables/Creatures.xdb\". It lies outside the data folder, at "
     "\"{outside}/passwd\".\nLine: 0\n"},
    {"Catalog", [](DataFolderLinks &t) { t.link("creatures.txt", t.outside / "catalog.txt"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.catalogs(); }); },
     "Cannot open file \"{data}/creatures.txt\". It lies outside the data folder, at \"{outside}/catalog.txt\""},
    {"CatalogToASystemFile", [](DataFolderLinks &t) { t.link("perks.txt", t.outside / "passwd"); },
     [](DataFolderLinks &t) { return failureOf([&] { t.catalogs(); }); },
     "Cannot open file \"{data}/perks.txt\". It lies outside the data folder, at \"{outside}/passwd\""},
    {"IconGetsAPlaceholder", [](DataFolderLinks &t) { t.link("img/creatures/CRT_KRELL.jpg", t.outside / "icon.jpg"); },
     [](DataFolderLinks &t) {
         const std::vector<std::string> problems = t.catalogs().iconProblems;
         return problems.size() == 1 ? problems[0] : "problems: " + std::to_string(problems.size());
     },
     "Cannot open file \"{data}/img/creatures/CRT_KRELL.jpg\". It lies outside the data folder, at \"{outside}/icon.jpg\""},
    {"IconFolder",
     [](DataFolderLinks &t) {
         writeFile(t.outside / "X_A.jpg", jpegBytes(32, 32));
         t.link("img/perks", t.outside);
     },
     [](DataFolderLinks &t) {
         const std::vector<std::string> problems = t.catalogs().iconProblems;
         return problems.size() == 1 ? problems[0] : "problems: " + std::to_string(problems.size());
     },
     "Cannot open file \"{data}/img/perks/X_A.jpg\". It lies outside the data folder, at \"{outside}/X_A.jpg\""},
};

INSTANTIATE_TEST_SUITE_P(DataFolderLinks, LinkOut, ::testing::ValuesIn(escapes),
                         [](const auto &row) { return std::string(row.param.name); });

// Links that stay inside are fine, whatever their form, and so is a data
// folder that is itself a link.
TEST_F(DataFolderLinks, LinksThatStayInsideAreFollowed)
{
    VORIRAZ_POSIX_ONLY("symbolic links");
    fs::rename(data / "GameMechanics/Creature/Krell.xdb", data / "GameMechanics/Krell.xdb");
    // An absolute target inside (the kernel's own check refuses those, so
    // the resolved path decides).
    fs::create_symlink(data / "GameMechanics/Krell.xdb", data / "GameMechanics/Creature/Krell.xdb");
    EXPECT_EQ(totals(), (ArmyTotals {20, 50, 200}));
    link("GameMechanics/Creature/Krell.xdb", "../Krell.xdb");
    EXPECT_EQ(totals(), (ArmyTotals {20, 50, 200}));

    fs::rename(data, dir / "real");
    fs::create_directory_symlink(dir / "real", data);
    EXPECT_EQ(totals(), (ArmyTotals {20, 50, 200}));
    EXPECT_EQ(catalogs().iconProblems, std::vector<std::string>());
}

} // namespace

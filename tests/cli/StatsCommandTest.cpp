#include "CliTestSupport.h"

#include "catalogs/ErrorText.h"
#include "cli/CheckCommand.h"
#include "cli/DataTree.h"
#include "cli/StatsCommand.h"
#include "editing/ArmyStatistics.h"
#include "presets/PresetLoading.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

// The totals the window shows for a preset, from the library calls
// FileListBox1Click and UpdateArmyStatistics make, as the command prints
// them; or the window's error.
std::string windowTotals(const fs::path &data, const std::string &name)
{
    const DataFolder folder {data.string()};
    const cli::DataTree tree(folder);
    try {
        PresetDocument document;
        PresetControls controls;
        loadPreset(document, (data / presetsFolder / name).string(), tree.presetCatalogs(), controls);
        const ArmyTotals totals = ArmyStatistics(folder).compute(armySlotStates(controls, tree.presetCatalogs().creatures));
        return "Total experience: " + std::to_string(totals.experience) + "\nTotal cost (gold): "
               + std::to_string(totals.gold) + "\nTotal power: " + std::to_string(totals.power) + "\n";
    } catch (const std::exception &e) {
        return shownErrorText(e.what());
    }
}

TEST(Stats, SampleTreeTotalsAreTheArmyStatisticsResults)
{
    for (const std::string &name : presetNames(sampleData)) {
        const Outcome run = runCommand(cli::StatsCommand(), {name, "--data", pathArg(sampleData)});
        EXPECT_EQ(run.out, windowTotals(sampleData, name)) << name;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, cli::exitStatus::success);
    }
    // One written out, so a change in both would not go unnoticed.
    EXPECT_EQ(runCommand(cli::StatsCommand(), {"hero_ossiwend.xdb", "--data", pathArg(sampleData)}).out,
              "Total experience: 96\nTotal cost (gold): 348\nTotal power: 1056\n");
}

TEST(Stats, CleanFixtureTotals)
{
    const DataCopy tree(brokenFixture);
    const Outcome run = runCommand(cli::StatsCommand(), {"--data", tree.arg(), "clean.xdb"});
    // 12 Krell (10, 25, 100) and 3 Ossik (3, 12, 40); the empty slot counts nothing.
    EXPECT_EQ(run.out, "Total experience: 129\nTotal cost (gold): 336\nTotal power: 1320\n");
    EXPECT_EQ(run.status, cli::exitStatus::success);
}

struct ErrorRow
{
    const char *name;
    const char *preset;
    std::string message;
};
void PrintTo(const ErrorRow &row, std::ostream *out) { *out << row.name; }

const std::string nullToString = "Could not convert variant of type (Null) into type (String)";

class StatsError : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(StatsError, IsTheErrorTheWindowShows)
{
    const DataCopy tree(brokenFixture);
    const Outcome run = runCommand(cli::StatsCommand(), {"--data", tree.arg(), GetParam().preset});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "voriraz-cli: " + std::string(GetParam().preset) + ": " + GetParam().message + "\n");
    EXPECT_EQ(GetParam().message, windowTotals(tree.folder(), GetParam().preset));
    EXPECT_EQ(run.status, cli::exitStatus::problems);
}

INSTANTIATE_TEST_SUITE_P(Stats, StatsError, ::testing::Values(
    ErrorRow {"MissingExp", "no-exp.xdb", nullToString},
    ErrorRow {"MissingPower", "no-power.xdb", nullToString},
    ErrorRow {"MissingGold", "no-gold.xdb", nullToString},
    ErrorRow {"MissingHref", "no-href.xdb", nullToString},
    ErrorRow {"CountNotAnInteger", "bad-count.xdb", "'12 ' is not a valid integer value."},
    ErrorRow {"Overflow", "overflow-total.xdb",
              "The army's total experience leaves the range of 32-bit integers (-2147483648 to 2147483647)"},
    ErrorRow {"LoadStops", "conversion.xdb", nullToString},
    ErrorRow {"TooManyItems", "too-many-army.xdb", "The preset has 9 army items, but the editor has only 8 army slots."},
    ErrorRow {"NotWellFormed", "malformed.xdb",
              "End tag 'DuelHeroPreset' does not match the start tag 'Editable'.\nLine: 4\n</DuelHeroPreset>."}),
    RowName());

// Totals that leave a stack out are still the totals scripts read, with
// the exit status of totals; what they leave out is said beside them.
TEST(Stats, TotalsThatLeaveAStackOutSaySoOnTheErrorStream)
{
    const DataCopy tree(brokenFixture);
    Outcome run = runCommand(cli::StatsCommand(), {"--data", tree.arg(), "no-reference.xdb"});
    EXPECT_EQ(run.out, "Total experience: 10\nTotal cost (gold): 25\nTotal power: 100\n");
    EXPECT_EQ(run.err, "voriraz-cli: no-reference.xdb: warning: Army slot 2: creature \"CRT_GHOST\" has no entry in "
                       "GameMechanics/RefTables/Creatures.xdb; the totals leave this stack out\n");
    EXPECT_EQ(run.status, cli::exitStatus::success);

    run = runCommand(cli::StatsCommand(), {"--data", tree.arg(), "unknown-ids.xdb"});
    EXPECT_EQ(run.out, "Total experience: 50\nTotal cost (gold): 125\nTotal power: 500\n");
    EXPECT_EQ(run.err, "voriraz-cli: unknown-ids.xdb: warning: Army slot 2: creature \"CRT_DRAGON\" is not in "
                       "creatures.txt; the totals leave this stack out\n");
    EXPECT_EQ(run.status, cli::exitStatus::success);
}

// A creature the table carries twice counts once; stats and check say
// which entry the totals pass over.
TEST(Stats, ACreatureTheTableCarriesTwiceCountsOnceWithAWarning)
{
    const DataCopy tree(brokenFixture);
    const fs::path table = tree.folder() / "GameMechanics/RefTables/Creatures.xdb";
    std::string xml = readFile(table);
    xml.insert(xml.find("</objects>"), "    <Item>\n            <ID>CRT_KRELL</ID>\n"
                                       "            <Obj href=\"/GameMechanics/Creature/Varm.xdb#xpointer(/Creature)\"/>\n"
                                       "        </Item>\n    ");
    writeFile(table, xml);
    const std::size_t line = static_cast<std::size_t>(std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(
                                                                                   xml.rfind("CRT_KRELL")), '\n')) + 1;
    const std::string warning = "GameMechanics/RefTables/Creatures.xdb: ID \"CRT_KRELL\" on line " + std::to_string(line)
                                + " repeats line 5; the totals use line 5";

    Outcome run = runCommand(cli::StatsCommand(), {"--data", tree.arg(), "clean.xdb"});
    EXPECT_EQ(run.out, "Total experience: 129\nTotal cost (gold): 336\nTotal power: 1320\n") << "as without the second entry";
    EXPECT_EQ(run.err, "voriraz-cli: clean.xdb: warning: " + warning + "\n");
    EXPECT_EQ(run.status, cli::exitStatus::success);

    run = runCommand(cli::CheckCommand(), {"--data", tree.arg(), "clean.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: warning: " + warning + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, cli::exitStatus::success);
}

TEST(Stats, TakesExactlyOnePreset)
{
    for (const cli::Arguments &presets : {cli::Arguments {}, cli::Arguments {"clean.xdb", "no-exp.xdb"}}) {
        const Outcome run = runCommand(cli::StatsCommand(), concat({"--data", pathArg(brokenFixture)}, presets));
        EXPECT_EQ(run.err, "voriraz-cli: stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".\n");
        EXPECT_EQ(run.status, cli::exitStatus::trouble);
    }
}

} // namespace

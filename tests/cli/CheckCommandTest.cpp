#include "CliTestSupport.h"
#include "SystemSupport.h"

#include "catalogs/ErrorText.h"
#include "cli/CheckCommand.h"
#include "cli/DataTree.h"
#include "presets/PresetLoading.h"

#include <gtest/gtest.h>

#include <map>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const std::string nullToString = "Could not convert variant of type (Null) into type (String)";
const std::string overflow = "The army's total experience leaves the range of 32-bit integers (-2147483648 to 2147483647)";
const std::string kept = ", a save that keeps the layout keeps it";
const std::string dropped = " (asked first; resave needs --drop-unknown)" + kept;

// One preset of the broken tree and every line check prints for it.
struct CheckRow
{
    const char *name;
    std::string preset;
    std::vector<std::string> lines;
};
void PrintTo(const CheckRow &row, std::ostream *out) { *out << row.name; }

const std::vector<CheckRow> brokenPresets {
    {"Clean", "clean.xdb", {}},
    {"ConversionErrors", "conversion.xdb", {
        "Editable/Knowledge: " + nullToString,
        "Editable/FirstAidTent: Could not convert variant of type (OleStr) into type (Boolean)",
        "armySlots/Item[1]/Count: " + nullToString,
        "Editable/perkIDs/Item[2]: " + nullToString,
        "Editable/spellIDs/Item[2]: Element does not contain a single text node.",
    }},
    {"IdentifiersMissingFromCatalogs", "unknown-ids.xdb", {
        "PrimarySkillMastery: primary mastery \"PSM_Z\" is not in primary_mastery.txt; the window refuses to save the preset",
        "Editable/skills/Item[1]/SkillID: skill \"SKL_FLYING\" is not in skills.txt; a save drops this skill item" + dropped,
        "Editable/skills/Item[2]/Mastery: mastery \"MST_ULTRA\" is not in mastery.txt; a save drops this skill item" + dropped,
        "armySlots/Item[2]/Creature: creature \"CRT_DRAGON\" is not in creatures.txt; a save drops this army item" + dropped,
        "artifactIDs/Item[2]: artifact \"ART_Z\" is not in artifacts.txt; a save keeps it as written",
        "artifactIDs/#comment[3]: artifact \" spare \" is not in artifacts.txt; a save keeps it as written",
        "Editable/perkIDs/Item[1]: perk \"PRK_Z\" is not in perks.txt; a save keeps it as written",
        "Editable/spellIDs/Item[1]: spell \"SPL_Z\" is not in spells.txt; a save keeps it as written",
        "artifactIDs/#comment[3]: a comment read as an artifact line; a save writes it as an Item" + kept,
    }},
    // What the default save changes that the save keeping the layout keeps.
    {"LetterCaseAndEmptySlots", "respelt.xdb", {
        "PrimarySkillMastery: primary mastery \"psm_b\" is \"PSM_B\" in primary_mastery.txt; a save writes \"PSM_B\", "
        "a save that keeps the layout keeps \"psm_b\"",
        "Editable/skills/Item[1]/SkillID: skill \"skl_grit\" is \"SKL_GRIT\" in skills.txt; a save writes \"SKL_GRIT\", "
        "a save that keeps the layout keeps \"skl_grit\"",
        "Editable/skills/Item[1]/Mastery: mastery \"mst_high\" is \"MST_HIGH\" in mastery.txt; a save writes \"MST_HIGH\", "
        "a save that keeps the layout keeps \"mst_high\"",
        "armySlots/Item[1]/Creature: creature \"crt_krell\" is \"CRT_KRELL\" in creatures.txt; a save writes \"CRT_KRELL\", "
        "a save that keeps the layout keeps \"crt_krell\"",
        "artifactIDs/Item[2]: artifact \"art_b\" is \"ART_B\" in artifacts.txt; a save keeps it as written",
        "Editable/skills/Item[2]: an empty skill slot; a save leaves it out and the skill items after it move up" + kept,
        "armySlots/Item[2]: an empty army slot; a save leaves it out and the stacks after it move up" + kept,
    }},
    {"NodesTheDefaultSaveWritesAnew", "hidden-nodes.xdb", {
        "Editable/skills/Item[1]/#comment[2]: a save drops this node of the skill item" + kept,
        "armySlots/Item[1]/Count[3]: a second Count \"7\"; the editor reads the first, \"5\", a save drops this one" + kept,
        "armySlots/Item[2]: a save drops the attributes of this element (reserve), a save that keeps the layout keeps them",
        "armySlots/Item[2]/Banner[3]: a save drops this node of the army item" + kept,
        "Editable/perkIDs/Perk[2]: an element read as a perk line; a save writes it as an Item" + kept,
        "isUntransferable/Item[3]: a flag \"1\" without an artifact line; a save drops it" + kept,
    }},
    // The window's live checks of repeated entries, in its words.
    {"RepeatedEntries", "duplicates.xdb", {
        "Editable/skills/Item[2]: Skill slot 2: SKL_GRIT is already in slot 1.",
        "Editable/perkIDs/Item[2]: Perks, line 2: PRK_A is already on line 1.",
        "artifactIDs/Item[3]: Artifacts, line 3: ART_A is already on line 1.",
        "Editable/spellIDs/Item[2]: Spells, line 2: SPL_B is already on line 1.",
    }},
    {"MoreThanFiveSkills", "too-many-skills.xdb", {
        "Editable/skills: The preset has 6 skill items, but the editor has only 5 skill slots.",
    }},
    {"MoreThanEightArmyItems", "too-many-army.xdb", {
        "armySlots: The preset has 9 army items, but the editor has only 8 army slots.",
    }},
    {"CountsThatAreNotIntegers", "bad-count.xdb", {
        "armySlots/Item[3]: an empty army slot; a save leaves it out and the stacks after it move up" + kept,
        "armySlots/Item[1]/Count: '12 ' is not a valid integer value.",
        "armySlots/Item[2]/Count: 'ten' is not a valid integer value.",
        "armySlots/Item[3]/Count: 'none' is not a valid integer value.",
        "save refused: Army slot 1: \"12 \" is not a whole number from 0 to 2147483647.",
        "save refused: Army slot 2: \"ten\" is not a whole number from 0 to 2147483647.",
    }},
    {"CreatureMissingFromTheReferenceTable", "no-reference.xdb", {
        "armySlots/Item[2]/Creature: creature \"CRT_GHOST\" has no entry in GameMechanics/RefTables/Creatures.xdb; "
        "the army totals count nothing for it",
    }},
    {"MissingExp", "no-exp.xdb", {"armySlots/Item[1]: army totals for creature \"CRT_NOEXP\": " + nullToString}},
    {"MissingPower", "no-power.xdb", {"armySlots/Item[2]: army totals for creature \"CRT_NOPOWER\": " + nullToString}},
    {"MissingGold", "no-gold.xdb", {"armySlots/Item[1]: army totals for creature \"CRT_NOGOLD\": " + nullToString}},
    {"MissingHref", "no-href.xdb", {"armySlots/Item[1]: army totals for creature \"CRT_NOHREF\": " + nullToString}},
    {"OverflowOfOneItem", "overflow-item.xdb", {"armySlots/Item[1]: army totals for creature \"CRT_GIANT\": " + overflow}},
    {"OverflowOfTheTotal", "overflow-total.xdb", {"armySlots: army totals: " + overflow}},
    {"NotWellFormed", "malformed.xdb", {
        "line 4: End tag 'DuelHeroPreset' does not match the start tag 'Editable'."
    }},
};

std::string expectedOutput(const CheckRow &row)
{
    std::string out;
    for (const std::string &line : row.lines)
        out += row.preset + ": " + line + "\n";
    return out;
}

class CheckFinds : public ::testing::TestWithParam<CheckRow> {};

TEST_P(CheckFinds, EveryPlantedFaultOfItsPresetOneLineEach)
{
    const DataCopy tree(brokenFixture);
    const Outcome run = runCommand(cli::CheckCommand(), {"--data", tree.arg(), GetParam().preset});
    EXPECT_EQ(run.out, expectedOutput(GetParam()));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, GetParam().lines.empty() ? cli::exitStatus::success : cli::exitStatus::problems);
}

INSTANTIATE_TEST_SUITE_P(Check, CheckFinds, ::testing::ValuesIn(brokenPresets), RowName());

TEST(Check, WithoutPresetsChecksEveryPresetOfTheTreeInTheWindowsOrder)
{
    const DataCopy tree(brokenFixture);
    std::map<std::string, const CheckRow *> rows;
    for (const CheckRow &row : brokenPresets)
        rows[row.preset] = &row;
    std::string expected;
    for (const std::string &name : presetNames(tree.folder())) {
        ASSERT_TRUE(rows.count(name)) << name << " has no row in brokenPresets";
        expected += expectedOutput(*rows[name]);
    }
    ASSERT_EQ(rows.size(), presetNames(tree.folder()).size());

    const Outcome run = runCommand(cli::CheckCommand(), {"--data", tree.arg()});
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.status, cli::exitStatus::problems);
}

TEST(Check, TheFirstLoadFindingIsTheErrorTheWindowsLoadStopsWith)
{
    const DataCopy tree(brokenFixture);
    const cli::DataTree data(DataFolder {tree.folder().string()});
    for (const std::string &name : presetNames(tree.folder())) {
        PresetDocument document;
        PresetControls controls;
        std::string windowError;
        try {
            loadPreset(document, tree.preset(name).string(), data.presetCatalogs(), controls);
            continue;
        } catch (const std::exception &e) {
            windowError = cli::shownErrorOnOneLine(e);
        }
        const Outcome run = runCommand(cli::CheckCommand(), {"--data", tree.arg(), name});
        const std::string firstLine = run.out.substr(0, run.out.find('\n'));
        EXPECT_TRUE(firstLine.ends_with(": " + windowError)) << name << ": " << firstLine << " / " << windowError;
    }
}

// The sample tree's odd presets are there to show what the saves do with
// what the editor does not own; check says it, one line each.
TEST(Check, SampleTreeFindingsAreWhatTheDefaultSaveChanges)
{
    const Outcome run = runCommand(cli::CheckCommand(), {"--data", pathArg(sampleData)});
    EXPECT_EQ(run.out,
              "Hero_Brezzomir.xdb: Editable/skills/Item[2]: an empty skill slot; a save leaves it out and the skill items "
              "after it move up" + kept + "\n"
              "Hero_Brezzomir.xdb: armySlots/Item[2]: an empty army slot; a save leaves it out and the stacks after it move up"
              + kept + "\n"
              "hero_tzelmarok.xdb: armySlots/Item[2]/Creature: creature \"crt_ferrlir\" is \"CRT_FERRLIR\" in creatures.txt; "
              "a save writes \"CRT_FERRLIR\", a save that keeps the layout keeps \"crt_ferrlir\"\n"
              "hero_tzelmarok.xdb: artifactIDs/Item[2]: artifact \"art_bruwob_staff\" is \"ART_BRUWOB_STAFF\" in artifacts.txt; "
              "a save keeps it as written\n"
              "hero_yvvarith.xdb: Editable/skills/Item[1]/Slot[3]: a save drops this node of the skill item" + kept + "\n"
              "hero_yvvarith.xdb: Editable/skills/Item[2]/#comment[1]: a save drops this node of the skill item" + kept + "\n"
              "hero_yvvarith.xdb: armySlots/Item[1]/Banner[3]: a save drops this node of the army item" + kept + "\n"
              "hero_yvvarith.xdb: armySlots/Item[2]/#comment[1]: a save drops this node of the army item" + kept + "\n"
              "hero_yvvarith.xdb: armySlots/Item[3]: a save drops the attributes of this element (reserve), a save that "
              "keeps the layout keeps them\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    for (const char *clean : {"hero_aunvelka.xdb", "hero_ossiwend.xdb", "hero_quillitrand.xdb"})
        EXPECT_EQ(runCommand(cli::CheckCommand(), {"--data", pathArg(sampleData), clean}).status, cli::exitStatus::success);
}

TEST(Check, DataFolderDefaultsToTheOneBesideTheProgram)
{
    // The test program lies beside the sample data tree, as voriraz-cli does.
    const Outcome run = runCommand(cli::CheckCommand(), {"hero_aunvelka.xdb"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, cli::exitStatus::success);
}

TEST(Check, WritesNothing)
{
    const DataCopy tree(brokenFixture);
    std::map<std::string, std::string> before;
    for (const std::string &name : presetNames(tree.folder()))
        before[name] = readFile(tree.preset(name));
    runCommand(cli::CheckCommand(), {"--data", tree.arg()});
    for (const auto &[name, bytes] : before)
        EXPECT_EQ(readFile(tree.preset(name)), bytes) << name;
}

TEST(Check, MissingPresetStopsBeforeCheckingAnything)
{
    const DataCopy tree(brokenFixture);
    const Outcome run = runCommand(cli::CheckCommand(), {"--data", tree.arg(), "clean.xdb", "absent.xdb"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "voriraz-cli: preset \"absent.xdb\" not found in the presets folder \""
                           + programPath(tree.folder(), presetsFolder) + "\"\n");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
}

TEST(Check, PresetsFolderThatCannotBeListed)
{
    const DataCopy tree(brokenFixture);
    std::filesystem::remove_all(tree.folder() / "mod");
    const Outcome run = runCommand(cli::CheckCommand(), {"--data", tree.arg()});
    EXPECT_EQ(run.err, "voriraz-cli: I/O error: cannot list the directory \"" + programPath(tree.folder(), presetsFolder)
                           + "\". " + pathNotFoundText() + ".\n");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
}

} // namespace

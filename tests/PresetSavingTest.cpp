#include "SystemSupport.h"
#include "TestSupport.h"

#include "editing/CollectionEditing.h"
#include "presets/AtomicFile.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using namespace voriraz;
using voriraz::test::messageOf;
using voriraz::test::onWindows;
using voriraz::test::permissionBits;
using voriraz::test::readFile;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace {

const PresetCatalogs catalogs = voriraz::test::smallCatalogs();

const std::string goldenDir = std::string(VORIRAZ_TEST_DATA) + "/save/";

class PresetSave : public ::testing::Test
{
protected:
    void SetUp() override { path = (dir / "hero.xdb").string(); }
    void TearDown() override { setWriteFaultHookForTesting(nullptr); }

    void loadFrom(const std::string &xml)
    {
        writeFile(path, xml);
        loadPreset(document, path, catalogs, controls);
    }
    void save() { savePreset(document, path, catalogs, controls, true); }
    PresetControls reload()
    {
        PresetDocument fresh;
        PresetControls reloaded;
        loadPreset(fresh, path, catalogs, reloaded);
        return reloaded;
    }

    TempDir dir;
    std::string path;
    PresetDocument document;
    PresetControls controls;
};

TEST_F(PresetSave, WritesEveryEditedValueAndLeavesTheRestOfTheFileAlone)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    controls.primaryMastery = 1;
    controls.creatures = {0, 2, 0, 0, 3, 0, 0, -1};
    controls.counts = {"", "20", "", "4", "5", "", "", "9"};
    controls.warMachines = {false, false, false};
    controls.attributes = {"5", "6", "-7", "8"};
    controls.skills = {2, 1, 0, 1, 0};
    controls.skillMasteries = {1, -1, 2, 2, -1};
    controls.perks.lines = {"PRK_TWO", "PRK_THREE"};
    controls.spells.lines = {"SPL_ONE"};
    controls.artifacts.lines = {"ART_B", "ART_A", "ART_C"};
    controls.artifactFlags = {"1", "0"};
    save();
    if (std::getenv("VORIRAZ_WRITE_GOLDEN"))
        writeFile(goldenDir + "full/expected.xdb", readFile(path));
    EXPECT_EQ(readFile(path), readFile(goldenDir + "full/expected.xdb"));
}

TEST_F(PresetSave, ArmySlotsCloseUpAndReloadInOrder)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    controls.creatures = {0, 2, 0, 0, 3, 0, 0, 0};
    controls.counts = {"", "20", "", "", "5", "", "", ""};
    save();
    const PresetControls reloaded = reload();
    EXPECT_EQ(reloaded.creatures, (std::array<int, 8> {2, 3, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reloaded.counts, (std::array<std::string, 8> {"20", "5", "", "", "", "", "", ""}));
}

TEST_F(PresetSave, WhatWasSavedIsWhatLoadsAgain)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    controls.primaryMastery = 1;
    controls.warMachines = {true, false, true};
    controls.attributes = {"10", "0", "-1", "2147483647"};
    controls.skills = {1, 2, 0, 0, 0};
    controls.skillMasteries = {0, 2, -1, -1, -1};
    controls.creatures = {3, 2, 1, 3, 2, 1, 3, 2};
    controls.counts = {"1", "2", "3", "4", "5", "6", "7", "8"};
    controls.perks.lines = {"PRK_X"};
    controls.spells.lines = {"SPL_X", "SPL_Y"};
    controls.artifacts.lines = {"ART_C", "ART_A"};
    controls.artifactFlags = {"0", "1"};
    save();
    PresetControls expected = controls;
    expected.perks.selected = expected.spells.selected = expected.artifacts.selected = -1;
    EXPECT_EQ(reload(), expected);
}

TEST_F(PresetSave, PresetWithoutListsGainsThemAtTheEndOfTheirParents)
{
    loadFrom("<Hero><Editable><Offence>1</Offence><Defence>1</Defence><Spellpower>1</Spellpower>"
             "<Knowledge>1</Knowledge><Ballista>1</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>0</AmmoCart>"
             "</Editable><PrimarySkillMastery>PSM_A</PrimarySkillMastery></Hero>");
    controls.perks.lines = {"PRK_A"};
    controls.artifacts.lines = {"ART_A", "ART_B"};
    save();
    const std::string saved = readFile(path);
    EXPECT_NE(saved.find("<spellIDs/>\r\n    </Editable>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<isUntransferable>\r\n        <Item>0</Item>\r\n        <Item>0</Item>\r\n    </isUntransferable>\r\n</Hero>"),
              std::string::npos) << saved;
    EXPECT_EQ(reload().artifacts.lines, controls.artifacts.lines);
}

TEST_F(PresetSave, SavingTheSameValuesAgainGivesTheSameFileWithOrWithoutAReload)
{
    loadFrom("<Hero><Editable><Offence>1</Offence><Defence>1</Defence><Spellpower>1</Spellpower>"
             "<Knowledge>1</Knowledge><Ballista>1</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>0</AmmoCart>"
             "<skills/><perkIDs/><spellIDs/></Editable><PrimarySkillMastery>PSM_A</PrimarySkillMastery>"
             "<armySlots/><artifactIDs/><isUntransferable/></Hero>");
    controls.perks.lines = {"PRK_A"};
    controls.skills = {1, 2, 0, 0, 0};
    controls.skillMasteries = {1, 2, -1, -1, -1};
    controls.creatures = {1, 0, 3, 0, 0, 0, 0, 0};
    controls.counts = {"5", "", "7", "", "", "", "", ""};
    controls.artifacts.lines = {"ART_A", "ART_B"};
    save();
    const std::string first = readFile(path);
    save();
    save();
    EXPECT_EQ(readFile(path), first) << "three saves in a row";

    const PresetControls saved = controls;
    loadPreset(document, path, catalogs, controls);
    save();
    EXPECT_EQ(readFile(path), first) << "a save after a reload";

    // Fewer items than before, then as many again: nothing of the longer
    // lists stays behind.
    controls.artifacts.lines = {};
    controls.creatures = {0, 0, 0, 0, 0, 0, 0, 0};
    save();
    controls = saved;
    save();
    EXPECT_EQ(readFile(path), first);
}

TEST_F(PresetSave, EachArtifactKeepsItsOwnFlagAndNewLinesGetZero)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    controls.artifacts.lines = {"ART_A", "ART_B", "ART_C"};
    controls.artifactFlags = {"1", "", "0"};
    save();
    const std::string saved = readFile(path);
    EXPECT_NE(saved.find("<isUntransferable>\r\n        <Item>1</Item>\r\n        <Item>0</Item>\r\n        <Item>0</Item>"),
              std::string::npos) << saved;
    EXPECT_EQ(reload().artifactFlags, (std::vector<std::string> {"1", "0", "0"}));
}

struct Refusal
{
    const char *name;
    std::function<void(PresetControls &)> edit;
    const char *message;
};

void PrintTo(const Refusal &refusal, std::ostream *out) { *out << refusal.name; }

class PresetSaveRefusal : public PresetSave, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(PresetSaveRefusal, NamesTheFieldAndValueAndChangesNothing)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string before = readFile(path);
    const std::string tree = document.SaveToBytes();
    GetParam().edit(controls);
    EXPECT_EQ(messageOf([&] { save(); }), GetParam().message);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(document.SaveToBytes(), tree) << "the tree is untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Values, PresetSaveRefusal,
    ::testing::Values(
        Refusal {"CountNotANumber", [](PresetControls &c) { c.counts[2] = "abc"; c.creatures[2] = 1; },
                 "Army slot 3: \"abc\" is not a whole number from 0 to 2147483647."},
        Refusal {"CountTooLarge", [](PresetControls &c) { c.counts[0] = "99999999999"; },
                 "Army slot 1: \"99999999999\" is not a whole number from 0 to 2147483647."},
        Refusal {"CountNegative", [](PresetControls &c) { c.counts[0] = "-3"; },
                 "Army slot 1: \"-3\" is not a whole number from 0 to 2147483647."},
        Refusal {"CountEmptyWithACreature", [](PresetControls &c) { c.counts[0] = ""; },
                 "Army slot 1: \"\" is not a whole number from 0 to 2147483647."},
        Refusal {"CountWithBlanks", [](PresetControls &c) { c.counts[0] = " 5"; },
                 "Army slot 1: \" 5\" is not a whole number from 0 to 2147483647."},
        Refusal {"AttributeEmpty", [](PresetControls &c) { c.attributes[0] = ""; },
                 "Offence: \"\" is not a whole number from -2147483648 to 2147483647."},
        Refusal {"AttributeHexadecimal", [](PresetControls &c) { c.attributes[3] = "$F"; },
                 "Knowledge: \"$F\" is not a whole number from -2147483648 to 2147483647."},
        Refusal {"AttributeBelowTheRange", [](PresetControls &c) { c.attributes[1] = "-2147483649"; },
                 "Defence: \"-2147483649\" is not a whole number from -2147483648 to 2147483647."},
        Refusal {"PerkPlaceholder", [](PresetControls &c) { c.perks.lines.push_back(placeholder::perk); },
                 "Perks, line 2: no perk has been chosen for this line; pick one or delete the line."},
        Refusal {"EveryProblemOnALineOfItsOwn",
                 [](PresetControls &c) {
                     c.attributes[2] = "x";
                     c.artifacts.lines.insert(c.artifacts.lines.begin(), placeholder::artifact);
                     c.spells.lines = {placeholder::spell};
                 },
                 "Spellpower: \"x\" is not a whole number from -2147483648 to 2147483647.\n"
                 "Artifacts, line 1: no artifact has been chosen for this line; pick one or delete the line.\n"
                 "Spells, line 1: no spell has been chosen for this line; pick one or delete the line."}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(PresetSaveValues, WholeNumbersAtTheEdgesOfTheirRangesAreAccepted)
{
    PresetControls controls;
    controls.attributes = {"-2147483648", "2147483647", "0", "007"};
    controls.creatures[0] = 1;
    controls.counts[0] = "2147483647";
    controls.creatures[1] = 0;
    controls.counts[1] = "whatever"; // no creature: the slot is not written
    EXPECT_TRUE(refusedValues(controls).empty());
}

TEST_F(PresetSave, ValueElementHoldingElementsIsRefusedBeforeTheTreeChanges)
{
    std::string xml = readFile(goldenDir + "full/input.xdb");
    xml.replace(xml.find("<AmmoCart>false</AmmoCart>"), 26, "<AmmoCart>false</AmmoCart><AmmoCart/>");
    loadFrom(xml);
    const std::string tree = document.SaveToBytes();
    // The first AmmoCart is read and written; make it hold an element now.
    document.DocumentElement().child("Editable").child("AmmoCart").append_child("Wheel");
    const std::string changed = document.SaveToBytes();
    EXPECT_EQ(messageOf([&] { save(); }), "Element does not contain a single text node");
    EXPECT_EQ(document.SaveToBytes(), changed);
    EXPECT_NE(changed, tree);
}

TEST(PresetDrops, UnknownItemsStillUnchosenAreDroppedAndNamed)
{
    PresetControls controls;
    controls.skills = {-1, 2, 2, 0, 0};
    controls.skillMasteries = {1, -1, -1, -1, -1};
    controls.creatures = {1, -1, -1, 0, 0, 0, 0, 0};
    UnknownIdentifiers unknown;
    unknown.skills[0] = "SKL_FOO";
    unknown.masteries[1] = "MST_BOGUS";
    unknown.creatures[2] = "CRT_X";
    unknown.creatures[4] = "CRT_PICKED_SINCE";
    const std::vector<DroppedItem> items = droppedItems(controls, unknown);
    const std::vector<DroppedItem> expected {{DroppedItem::Kind::Skill, 1, "SKL_FOO"},
                                             {DroppedItem::Kind::Skill, 2, "MST_BOGUS"},
                                             {DroppedItem::Kind::Army, 3, "CRT_X"}};
    EXPECT_EQ(items, expected) << "slot 3 has no unknown mastery, slot 5 shows an entry again";
    EXPECT_EQ(dropQuestion(items), "Saving drops 2 skill items and 1 army stack that the catalogs do not know: "
                                   "SKL_FOO (slot 1), MST_BOGUS (slot 2), CRT_X (slot 3). Save anyway?");
    EXPECT_EQ(dropQuestion({items[2]}), "Saving drops 1 army stack that the catalogs do not know: CRT_X (slot 3). Save anyway?");
    EXPECT_EQ(dropWarning(items[0]), "drops skill item SKL_FOO (slot 1), which the catalogs do not know");
}

TEST_F(PresetSave, RefusedWithoutADocument)
{
    EXPECT_EQ(messageOf([&] { save(); }), "No active document");
}

TEST_F(PresetSave, RefusedAfterALoadThatStoppedPartWay)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string before = readFile(path);
    const std::string message = messageOf([&] { savePreset(document, path, catalogs, controls, false); });
    EXPECT_NE(message.find("not loaded completely"), std::string::npos) << message;
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(document.SaveToBytes().find("isUntransferable"), std::string::npos) << "the tree is untouched";
}

TEST_F(PresetSave, RefusedWithoutAPrimaryMasteryInsteadOfWritingAnUnloadablePreset)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string before = readFile(path);
    controls.primaryMastery = -1;
    const std::string message = messageOf([&] { save(); });
    EXPECT_NE(message.find("primary skill mastery"), std::string::npos) << message;
    EXPECT_EQ(readFile(path), before);
}

TEST_F(PresetSave, FailedWriteLeavesTheOldFileByteForByte)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string before = readFile(path);
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    controls.attributes[0] = "99";
    // The whole document goes in one write; fail the very first one.
    setWriteFaultHookForTesting([](std::size_t) { return ENOSPC; });
    EXPECT_EQ(messageOf([&] { save(); }), "Cannot write file \"" + path + "\". No space left on device");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file is left";

    setWriteFaultHookForTesting(nullptr);
    save();
    EXPECT_NE(readFile(path).find("<Offence>99</Offence>"), std::string::npos);
    if constexpr (!onWindows) { // Windows has no permission bits beyond read-only
        EXPECT_EQ(permissionBits(path), 0640u) << "the file keeps its permissions";
    }
}

TEST_F(PresetSave, MissingDirectoryIsReportedWithTheFileName)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string elsewhere = (dir / "gone/hero.xdb").string();
    EXPECT_EQ(messageOf([&] { savePreset(document, elsewhere, catalogs, controls, true); }),
              "Cannot write file \"" + elsewhere + "\". " + voriraz::test::pathNotFoundText());
}

} // namespace

#include "TestSupport.h"

#include "editing/CollectionEditing.h"
#include "presets/AtomicFile.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

using namespace voriraz;
using voriraz::test::messageOf;
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
    controls.creatures = {0, 2, 1, 0, 3, 0, 0, -1};
    controls.counts = {"", "20", "", "4", "5", "", "", "9"};
    controls.warMachines = {false, false, false};
    controls.attributes = {"5", "6", "", "8"};
    controls.skills = {2, 1, 0, 1, 0};
    controls.skillMasteries = {1, -1, 2, 2, -1};
    controls.perks.lines = {"PRK_TWO", "PRK_THREE"};
    controls.spells.lines = {"SPL_ONE"};
    controls.artifacts.lines = {"ART_B", placeholder::artifact, "ART_C"};
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
    controls.attributes = {"10", "0", "-1", "$F"};
    controls.skills = {1, 2, 0, 0, 0};
    controls.skillMasteries = {0, 2, -1, -1, -1};
    controls.creatures = {3, 2, 1, 3, 2, 1, 3, 2};
    controls.counts = {"1", "2", "3", "4", "5", "6", "7", "8"};
    controls.perks.lines = {"PRK_X"};
    controls.spells.lines = {"SPL_X", "SPL_Y"};
    controls.artifacts.lines = {};
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

TEST_F(PresetSave, SecondSaveWithoutReloadKeepsTheFormattingOfTheFirst)
{
    loadFrom("<Hero><Editable><Offence>1</Offence><Defence>1</Defence><Spellpower>1</Spellpower>"
             "<Knowledge>1</Knowledge><Ballista>1</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>0</AmmoCart>"
             "<perkIDs/><spellIDs/><skills/></Editable><PrimarySkillMastery>PSM_A</PrimarySkillMastery>"
             "<armySlots/><artifactIDs/><isUntransferable/></Hero>");
    controls.perks.lines = {"PRK_A"};
    save();
    save();
    const std::string saved = readFile(path);
    EXPECT_NE(saved.find("<perkIDs>\r\n            \r\n            <Item>PRK_A</Item>\r\n        </perkIDs>"), std::string::npos)
        << saved;
    EXPECT_EQ(reload().perks.lines, controls.perks.lines);
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
    ::chmod(path.c_str(), 0640);
    controls.attributes[0] = "99";
    // The whole document goes in one write; fail the very first one.
    setWriteFaultHookForTesting([](std::size_t) { return ENOSPC; });
    EXPECT_EQ(messageOf([&] { save(); }), "Cannot write file \"" + path + "\". No space left on device");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file is left";

    setWriteFaultHookForTesting(nullptr);
    save();
    EXPECT_NE(readFile(path).find("<Offence>99</Offence>"), std::string::npos);
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the file keeps its permissions";
}

TEST_F(PresetSave, MissingDirectoryIsReportedWithTheFileName)
{
    loadFrom(readFile(goldenDir + "full/input.xdb"));
    const std::string elsewhere = (dir / "gone/hero.xdb").string();
    EXPECT_EQ(messageOf([&] { savePreset(document, elsewhere, catalogs, controls, true); }),
              "Cannot write file \"" + elsewhere + "\". No such file or directory");
}

} // namespace

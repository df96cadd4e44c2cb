#include "TestSupport.h"
#include "editing/PresetSession.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace voriraz;
using namespace voriraz::test;

namespace {

const char *const heroXml =
    "<Hero><Editable><Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>"
    "<Ballista>true</Ballista><FirstAidTent>false</FirstAidTent><AmmoCart>false</AmmoCart>"
    "<skills><Item><Mastery>MST_LOW</Mastery><SkillID>SKL_TALLOW</SkillID></Item></skills>"
    "<perkIDs><Item>PRK_A</Item></perkIDs><spellIDs/></Editable>"
    "<PrimarySkillMastery>PSM_A</PrimarySkillMastery>"
    "<armySlots><Item><Creature>CRT_KRELL</Creature><Count>5</Count></Item></armySlots>"
    "<artifactIDs><Item>ART_A</Item><Item>ART_B</Item></artifactIDs>"
    "<isUntransferable><Item>0</Item><Item>1</Item></isUntransferable></Hero>";

// Values the checks find nothing in.
PresetControls cleanValues()
{
    PresetControls v;
    v.attributes = {"1", "2", "3", "4"};
    v.primaryMastery = 0;
    v.skills = {1, 2, 0, 0, 0};
    v.skillMasteries = {1, 2, -1, -1, -1};
    v.creatures = {1, 2, 0, 0, 0, 0, 0, 0};
    v.counts = {"5", "7", "", "", "", "", "", ""};
    v.artifacts.lines = {"ART_A", "ART_B"};
    v.spells.lines = {"SPL_A"};
    v.perks.lines = {"PRK_A", "PRK_B"};
    return v;
}

struct CheckCase
{
    const char *name;
    std::function<void(PresetControls &)> change;
    std::vector<Problem> expected;
};

class LiveChecks : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(LiveChecks, FindEachProblemAtItsValueWithTheSavesWords)
{
    PresetControls values = cleanValues();
    GetParam().change(values);
    EXPECT_EQ(checkValues(values, smallCatalogs(), {}, true), GetParam().expected);
}

const CheckCase checkCases[] = {
    {"Clean", [](PresetControls &) {}, {}},
    {"LettersInAnAttribute", [](PresetControls &v) { v.attributes[1] = "abc"; },
     {{{ValueField::Attribute, 1}, "Defence: \"abc\" is not a whole number from -2147483648 to 2147483647."}}},
    {"HugeAttribute", [](PresetControls &v) { v.attributes[3] = "99999999999"; },
     {{{ValueField::Attribute, 3}, "Knowledge: \"99999999999\" is not a whole number from -2147483648 to 2147483647."}}},
    {"NegativeCount", [](PresetControls &v) { v.counts[1] = "-3"; },
     {{{ValueField::Count, 1}, "Army slot 2: \"-3\" is not a whole number from 0 to 2147483647."}}},
    {"CountWithoutCreature", [](PresetControls &v) { v.counts[4] = "9"; },
     {{{ValueField::Count, 4}, "Army slot 5: a count is given but no creature; a save leaves the slot out."}}},
    {"MasteryWithoutSkill", [](PresetControls &v) { v.skillMasteries[2] = 1; },
     {{{ValueField::SkillMastery, 2}, "Skill slot 3: a mastery is chosen but no skill; a save leaves the slot out."}}},
    {"SkillWithoutMastery", [](PresetControls &v) { v.skillMasteries[1] = -1; },
     {{{ValueField::SkillMastery, 1}, "Skill slot 2: no mastery is chosen for SKL_GRIT; a save leaves the slot out."}}},
    {"SameSkillTwice", [](PresetControls &v) { v.skills[1] = 1; },
     {{{ValueField::Skill, 1}, "Skill slot 2: SKL_TALLOW is already in slot 1."}}},
    {"NoPrimaryMastery", [](PresetControls &v) { v.primaryMastery = -1; },
     {{{ValueField::PrimaryMastery, 0}, refusal::noPrimaryMastery}}},
    {"PerkPlaceholder", [](PresetControls &v) { v.perks.lines.push_back(placeholder::perk); },
     {{{ValueField::Perk, 2}, "Perks, line 3: no perk has been chosen for this line; pick one or delete the line."}}},
    {"DuplicatePerkIgnoringCase", [](PresetControls &v) { v.perks.lines.push_back("prk_a"); },
     {{{ValueField::Perk, 2}, "Perks, line 3: prk_a is already on line 1."}}},
    {"DuplicateArtifactAndSpell", [](PresetControls &v) {
         v.artifacts.lines.push_back("ART_B");
         v.spells.lines.push_back("SPL_A");
     },
     {{{ValueField::Artifact, 2}, "Artifacts, line 3: ART_B is already on line 2."},
      {{ValueField::Spell, 1}, "Spells, line 2: SPL_A is already on line 1."}}},
    {"TwoPlaceholdersAreNoDuplicate", [](PresetControls &v) {
         v.spells.lines = {placeholder::spell, placeholder::spell};
     },
     {{{ValueField::Spell, 0}, "Spells, line 1: no spell has been chosen for this line; pick one or delete the line."},
      {{ValueField::Spell, 1}, "Spells, line 2: no spell has been chosen for this line; pick one or delete the line."}}},
    {"ProblemsFollowThePages", [](PresetControls &v) {
         v.spells.lines.push_back("");
         v.counts[0] = "x";
         v.attributes[0] = "";
     },
     {{{ValueField::Attribute, 0}, "Offence: \"\" is not a whole number from -2147483648 to 2147483647."},
      {{ValueField::Count, 0}, "Army slot 1: \"x\" is not a whole number from 0 to 2147483647."},
      {{ValueField::Spell, 1}, "Spells, line 2: no spell has been chosen for this line; pick one or delete the line."}}},
};

INSTANTIATE_TEST_SUITE_P(Session, LiveChecks, ::testing::ValuesIn(checkCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(LiveChecksOfLoadedItems, NameTheItemsASaveDropsAndAnIncompleteLoad)
{
    PresetControls values = cleanValues();
    values.skills[3] = -1;
    values.creatures[6] = -1;
    UnknownIdentifiers unknown;
    unknown.skills[3] = "SKL_GONE";
    unknown.creatures[6] = "CRT_GONE";
    EXPECT_EQ(checkValues(values, smallCatalogs(), unknown, false),
              (std::vector<Problem> {
                  {{}, refusal::incompleteLoad},
                  {{ValueField::Skill, 3}, "A save drops skill item SKL_GONE (slot 4), which the catalogs do not know."},
                  {{ValueField::Creature, 6}, "A save drops army stack CRT_GONE (slot 7), which the catalogs do not know."},
              }));
}

// The texts of the items of a saved file's flag list.
std::vector<std::string> flagsIn(const std::string &xml)
{
    std::vector<std::string> flags;
    const std::size_t begin = xml.find("<isUntransferable>");
    const std::size_t end = xml.find("</isUntransferable>");
    for (std::size_t at = xml.find("<Item>", begin); begin != std::string::npos && at < end; at = xml.find("<Item>", at + 1)) {
        const std::size_t text = at + 6;
        flags.push_back(xml.substr(text, xml.find("</Item>", text) - text));
    }
    return flags;
}

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(preset, heroXml);
        session.addObserver([this](unsigned changes) { heard.push_back(changes); });
        session.load(preset.string());
        heard.clear();
    }

    const TempDir dir;
    const fs::path preset = dir / "hero.xdb";
    PresetSession session {smallCatalogs()};
    std::vector<unsigned> heard;
};

TEST_F(Session, OwnsTheLoadedValuesAndTellsItsObserversOfEachChange)
{
    EXPECT_EQ(session.values().attributes[0], "1");
    EXPECT_EQ(session.values().creatures[0], 1);
    EXPECT_TRUE(session.problems().empty());
    EXPECT_FALSE(session.isModified());

    session.setCreature(1, 3);
    session.setWarMachine(2, true);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NE(heard[0] & PresetSession::ArmyChanged, 0u);
    EXPECT_EQ(heard[1] & PresetSession::ArmyChanged, 0u);
    EXPECT_TRUE(session.isModified());
    session.setWarMachine(2, true);
    EXPECT_EQ(heard.size(), 2u) << "no change, no notification";
}

TEST_F(Session, UndoesAndRedoesStepByStepMergingTheTypingOfOneField)
{
    // Each row: the edit, then the number of steps undo can take back.
    const std::pair<std::function<void()>, std::size_t> edits[] = {
        {[&] { session.setAttribute(0, ""); }, 1},    // typing "12" over "1":
        {[&] { session.setAttribute(0, "1"); }, 1},   // one step
        {[&] { session.setAttribute(0, "12"); }, 1},
        {[&] { session.endTyping(); session.setAttribute(0, "123"); }, 2},
        {[&] { session.setCount(0, "50"); }, 3},
        {[&] { session.setAttribute(0, "9"); }, 4},   // back in the first field: a new step
        {[&] { session.setSkillMastery(0, 2); }, 5},
        {[&] { session.edit([](PresetControls &v) { v.perks.selected = 0; }); }, 5}, // a selection: no step
    };
    for (const auto &[edit, steps] : edits) {
        edit();
        EXPECT_EQ(session.undoCount(), steps);
    }
    const PresetControls edited = session.values();
    while (session.canUndo())
        session.undo();
    EXPECT_TRUE(sameValues(session.values(), session.savedValues()));
    EXPECT_FALSE(session.isModified());
    session.redo();
    EXPECT_EQ(session.values().attributes[0], "12");
    while (session.canRedo())
        session.redo();
    EXPECT_TRUE(sameValues(session.values(), edited));

    session.undo();
    session.setWarMachine(0, false);
    EXPECT_FALSE(session.canRedo()) << "a new edit drops the steps undone";
}

TEST_F(Session, ChecksLiveAfterEveryChangeIncludingUndo)
{
    session.setCount(0, "lots");
    ASSERT_EQ(session.problems().size(), 1u);
    EXPECT_EQ(session.problems()[0].place, (ValuePlace {ValueField::Count, 0}));
    session.undo();
    EXPECT_TRUE(session.problems().empty());
}

TEST_F(Session, TheUntransferableFlagIsAnUndoableValueSavedPerLine)
{
    EXPECT_FALSE(PresetSession::isUntransferable(session.values(), 0));
    EXPECT_TRUE(PresetSession::isUntransferable(session.values(), 1));
    session.setArtifactFlag(0, true);
    session.setArtifactFlag(1, false);
    session.setArtifactFlag(5, true); // no such line
    EXPECT_EQ(session.undoCount(), 2u);
    session.save();
    EXPECT_EQ(flagsIn(readFile(preset)), (std::vector<std::string> {"1", "0"})) << readFile(preset);
    session.undo();
    EXPECT_TRUE(PresetSession::isUntransferable(session.values(), 1));
    EXPECT_TRUE(session.isModified());
}

TEST_F(Session, NoticesTheFileChangingOnDisk)
{
    EXPECT_FALSE(session.fileChangedOnDisk());
    session.setAttribute(2, "30");
    session.save();
    EXPECT_FALSE(session.fileChangedOnDisk()) << "its own save";
    writeFile(preset, std::string(heroXml) + "\n<!-- changed -->\n");
    EXPECT_TRUE(session.fileChangedOnDisk());
    session.rememberDiskStamp();
    EXPECT_FALSE(session.fileChangedOnDisk());
    // Written again at once with as many bytes: only the time, finer than a
    // second, tells.
    writeFile(preset, std::string(heroXml) + "\n<!-- changes -->\n");
    EXPECT_TRUE(session.fileChangedOnDisk()) << "the same size within the same second";
    session.rememberDiskStamp();
    fs::remove(preset);
    EXPECT_TRUE(session.fileChangedOnDisk());
    session.rememberDiskStamp();
    EXPECT_FALSE(session.fileOnDisk());
}

TEST_F(Session, AFailedLoadKeepsWhatItSetAndStartsANewHistory)
{
    session.setAttribute(0, "77");
    writeFile(dir / "broken.xdb", "<Hero><Editable><Offence>8</Offence><Defence></Defence></Editable></Hero>");
    EXPECT_ANY_THROW(session.load((dir / "broken.xdb").string()));
    EXPECT_EQ(session.values().attributes[0], "8");
    EXPECT_FALSE(session.canUndo());
    EXPECT_NE(heard.back() & PresetSession::FileChanged, 0u);
}

} // namespace

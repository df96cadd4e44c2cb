// The default save and the save that keeps the layout, side by side on the
// presets users write by hand: what each one keeps, what the default one
// changes, and that each reads back as it promises before it writes.

#include "TestSupport.h"

#include "editing/PresetSession.h"
#include "presets/ReadBack.h"

#include <gtest/gtest.h>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const PresetCatalogs catalogs = smallCatalogs();

std::string hero(const std::string &editable, const std::string &root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Hero>\n  <Editable>\n"
           "    <Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>\n"
           "    <Ballista>true</Ballista><FirstAidTent>false</FirstAidTent><AmmoCart>true</AmmoCart>\n"
           + editable + "  </Editable>\n  <PrimarySkillMastery>PSM_A</PrimarySkillMastery>\n" + root + "</Hero>\n";
}

std::string army(const std::string &items)
{
    return "  <armySlots>\n" + items + "  </armySlots>\n";
}

struct ModesRow
{
    const char *name;
    std::string preset;
    // What the default save's file holds, and no longer holds.
    std::vector<std::string> defaultWrites;
    std::vector<std::string> defaultDrops;
};
void PrintTo(const ModesRow &row, std::ostream *out) { *out << row.name; }

class SaveModes : public ::testing::TestWithParam<ModesRow>
{
protected:
    // Loads the row's preset into a session of the given mode and saves it
    // with the loaded values and an Offence of 9; the file's text.
    std::string saved(bool keepLayout, const std::string &offence = std::string())
    {
        writeFile(dir / "hero.xdb", GetParam().preset);
        PresetSession session(catalogs);
        session.setKeepLayout(keepLayout);
        PresetControls controls;
        session.load((dir / "hero.xdb").string(), controls);
        loaded = controls;
        if (!offence.empty())
            controls.attributes[0] = offence;
        session.save(controls);
        return readFile(dir / "hero.xdb");
    }
    PresetControls reload()
    {
        PresetSession session(catalogs);
        PresetControls controls;
        session.load((dir / "hero.xdb").string(), controls);
        return controls;
    }

    TempDir dir;
    PresetControls loaded;
};

TEST_P(SaveModes, KeepingTheLayoutKeepsEverythingAndTheDefaultSaveWhatItSays)
{
    const ModesRow &row = GetParam();

    // Without edits, the save keeping the layout gives the file back.
    EXPECT_EQ(saved(true), row.preset);

    // The default save: what it writes anew, what it leaves out, and the
    // values it promises, again at the next save.
    const std::string once = saved(false);
    for (const std::string &text : row.defaultWrites)
        EXPECT_NE(once.find(text), std::string::npos) << text << " in\n" << once;
    for (const std::string &text : row.defaultDrops)
        EXPECT_EQ(once.find(text), std::string::npos) << text << " in\n" << once;
    const PresetControls afterDefault = reload();
    EXPECT_EQ(firstDifference(afterDefault, valuesReadBack(loaded, writtenSlotItems(loaded), catalogs)), "");
    // Saved again after a load: the same values; and from then on the same
    // file (the first save's formatting of lists it added does not load).
    std::string previous;
    for (int save = 0; save < 2; ++save) {
        PresetSession again(catalogs);
        PresetControls controls;
        again.load((dir / "hero.xdb").string(), controls);
        EXPECT_EQ(firstDifference(controls, afterDefault), "");
        again.save(controls);
        if (save == 1)
            EXPECT_EQ(readFile(dir / "hero.xdb"), previous) << "a further save changes nothing more";
        previous = readFile(dir / "hero.xdb");
    }

    // An edit in either mode reads back with the edit and every other value.
    for (const bool keepLayout : {false, true}) {
        SCOPED_TRACE(keepLayout ? "keeping the layout" : "default");
        const std::string text = saved(keepLayout, "9");
        const PresetControls edited = reload();
        EXPECT_EQ(edited.attributes[0], "9");
        PresetControls expected = loaded;
        expected.attributes[0] = "9";
        PresetDocument original;
        original.LoadFromBytes(row.preset);
        const SlotItems items = keepLayout ? slotItemsOf(original) : writtenSlotItems(loaded);
        EXPECT_EQ(firstDifference(edited, valuesReadBack(expected, items, catalogs)), "") << text;
        if (keepLayout) {
            std::string wanted = row.preset;
            wanted.replace(wanted.find("<Offence>1<"), 11, "<Offence>9<");
            EXPECT_EQ(text, wanted) << "only the edit changes";
        }
    }
}

const ModesRow modesRows[] = {
    {"UnknownCreature",
     hero("", army("    <Item><Creature>CRT_RAVIXX</Creature><Count>46</Count></Item>\n"
                   "    <Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>\n")),
     {"<Creature>CRT_KRELL</Creature>", "<Count>2</Count>"}, {"CRT_RAVIXX"}},
    {"LetterCase",
     hero("    <skills><Item><Mastery>mst_low</Mastery><SkillID>skl_grit</SkillID></Item></skills>\n",
          army("    <Item><Creature>crt_krell</Creature><Count>2</Count></Item>\n")),
     {"<Creature>CRT_KRELL</Creature>", "<Mastery>MST_LOW</Mastery>", "<SkillID>SKL_GRIT</SkillID>"},
     {"crt_krell", "skl_grit", "mst_low"}},
    {"EmptySlotBetweenStacks",
     hero("", army("    <Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>\n"
                   "    <Item><Creature>CRT_NONE</Creature><Count>0</Count></Item>\n"
                   "    <Item><Creature>CRT_OSSIK</Creature><Count>3</Count></Item>\n")),
     {"<Count>2</Count>", "<Creature>CRT_OSSIK</Creature>"}, {"CRT_NONE"}},
    {"SecondCount",
     hero("", army("    <Item><Creature>CRT_KRELL</Creature><Count>5</Count><Count>7</Count></Item>\n")),
     {"<Count>5</Count>"}, {"<Count>7</Count>"}},
    // Read as a line, written as an item: once, not once more at every save.
    {"CommentInTheArtifactList",
     hero("", "  <artifactIDs><Item>ART_A</Item><!-- spare --></artifactIDs>\n"),
     {"<Item> spare </Item>"}, {"<!-- spare -->"}},
    // Read as a stack, written as an item: once, not twice.
    {"ArmyItemOfAnotherName",
     hero("", army("    <Stack><Creature>CRT_KRELL</Creature><Count>2</Count></Stack>\n")),
     {"<Item>"}, {"<Stack>"}},
    {"PerkOfAnotherName",
     hero("    <perkIDs><Perk>PRK_A</Perk><Item>PRK_B</Item></perkIDs>\n", ""),
     {"<Item>PRK_A</Item>"}, {"<Perk>"}},
    {"FlagsBeyondTheArtifacts",
     hero("", "  <artifactIDs><Item>ART_A</Item></artifactIDs>\n"
              "  <isUntransferable><Item>1</Item><Item>1</Item><Item>0</Item></isUntransferable>\n"),
     {"<isUntransferable>"}, {"<Item>0</Item>"}},
    {"FlagOfAnotherName",
     hero("", "  <artifactIDs><Item>ART_A</Item><Item>ART_B</Item></artifactIDs>\n"
              "  <isUntransferable><Flag>1</Flag><Item>1</Item></isUntransferable>\n"),
     {"<Item>1</Item>"}, {"<Flag>"}},
    {"AttributesOfItems",
     hero("", army("    <Item reserve=\"true\"><Creature>CRT_KRELL</Creature><Count unit=\"head\">2</Count></Item>\n")
              + "  <artifactIDs><Item id=\"7\">ART_A</Item></artifactIDs>\n"),
     {"<Count>2</Count>", "<Item>ART_A</Item>"}, {"reserve", "unit", "id="}},
    {"CdataValues",
     hero("    <perkIDs><Item><![CDATA[PRK_A]]></Item></perkIDs>\n",
          army("    <Item><Creature><![CDATA[CRT_KRELL]]></Creature><Count>2</Count></Item>\n")),
     {"<Item>PRK_A</Item>", "<Creature>CRT_KRELL</Creature>"}, {"CDATA"}},
};

INSTANTIATE_TEST_SUITE_P(Save, SaveModes, ::testing::ValuesIn(modesRows),
                         [](const auto &row) { return std::string(row.param.name); });

// A save proves itself before the file is replaced: bytes that would load
// with another value, or not at all, are refused with the value named.
TEST(ReadBack, RefusesBytesThatWouldLoadOtherwise)
{
    const std::string text = hero("", army("    <Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>\n")
                                          + "  <artifactIDs><Item>ART_A</Item></artifactIDs>\n"
                                            "  <isUntransferable><Item>1</Item></isUntransferable>\n");
    PresetDocument document;
    document.LoadFromBytes(text);
    PresetControls saved;
    readPreset(document, catalogs, saved);
    const SlotItems items = writtenSlotItems(saved);
    EXPECT_NO_THROW(checkReadBack(text, catalogs, saved, items));

    struct Wrong
    {
        std::string from;
        std::string to;
        std::string named;
    };
    const Wrong wrongs[] = {
        {"<Offence>1<", "<Offence>5<", "Offence"},
        {"PSM_A", "PSM_B", "Primary skill mastery"},
        {"<Count>2<", "<Count>3<", "Army slot 1"},
        {"<Item>ART_A</Item>", "<Item>ART_B</Item>", "Artifacts, line 1"},
        {"<Item>1</Item></isUntransferable>", "<Item>0</Item></isUntransferable>", "Artifacts, line 1, untransferable flag"},
    };
    for (const Wrong &wrong : wrongs) {
        std::string bytes = text;
        bytes.replace(bytes.find(wrong.from), wrong.from.size(), wrong.to);
        EXPECT_EQ(messageOf([&] { checkReadBack(bytes, catalogs, saved, items); }),
                  "The file to be written would not read back as saved (" + wrong.named + "); nothing was saved");
    }
    std::string broken = text;
    broken.replace(broken.find("<Count>2</Count>"), 16, "<Count>2</Count");
    EXPECT_TRUE(messageOf([&] { checkReadBack(broken, catalogs, saved, items); })
                    .starts_with("The file to be written would not load again ("));
}

// The old flags come from the values the file was last written with, not
// from the tree: after a default save failed (leaving the tree ahead of the
// file), a save keeping the layout still writes a changed flag.
TEST(ReadBack, AFlagChangedAfterAFailedSaveIsWrittenByTheSaveKeepingTheLayout)
{
    const TempDir dir;
    const std::string text = hero("", "  <artifactIDs><Item>ART_A</Item><Item>ART_B</Item></artifactIDs>\n"
                                      "  <isUntransferable><Item>0</Item><Item>0</Item></isUntransferable>\n");
    writeFile(dir / "hero.xdb", text);
    PresetSession session(catalogs);
    PresetControls controls;
    session.load((dir / "hero.xdb").string(), controls);
    controls.artifactFlags = {"0", "1"};
    // The default save fails on its way to the disk: the folder is not there.
    EXPECT_THROW(session.save(controls, (dir / "gone/hero.xdb").string()), std::runtime_error);
    EXPECT_TRUE(session.isModified(controls));

    session.setKeepLayout(true);
    session.save(controls);
    EXPECT_FALSE(session.isModified(controls));
    PresetSession reader(catalogs);
    PresetControls read;
    reader.load((dir / "hero.xdb").string(), read);
    EXPECT_EQ(read.artifactFlags, (std::vector<std::string> {"0", "1"}));
}

} // namespace

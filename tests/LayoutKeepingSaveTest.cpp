#include "TestSupport.h"

#include "editing/PresetSession.h"
#include "presets/XmlEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace voriraz;
using voriraz::test::readFile;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace fs = std::filesystem;

namespace {

const fs::path sampleData = VORIRAZ_SAMPLE_DATA;

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of `after` that differ from those of `before` at the same place;
// both must have as many lines.
std::vector<std::string> changedLines(const std::string &before, const std::string &after)
{
    const std::vector<std::string> a = linesOf(before);
    const std::vector<std::string> b = linesOf(after);
    EXPECT_EQ(a.size(), b.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i])
            changed.push_back(b[i]);
    }
    return changed;
}

// The values as a tree save writes them: written skill and army slots
// closed up, the lists' selections and empty flags left out.
PresetControls asWritten(PresetControls controls)
{
    PresetControls written = controls;
    written.skills.fill(-1);
    written.skillMasteries.fill(-1);
    written.creatures.fill(-1);
    written.counts.fill("");
    for (int n = 0, to = 0; n < skillSlotCount; ++n) {
        if (controls.skills[n] > 0 && controls.skillMasteries[n] >= 0) {
            written.skills[to] = controls.skills[n];
            written.skillMasteries[to++] = controls.skillMasteries[n];
        }
    }
    for (int n = 0, to = 0; n < armySlotCount; ++n) {
        if (controls.creatures[n] > 0 && !controls.counts[n].empty()) {
            written.creatures[to] = controls.creatures[n];
            written.counts[to++] = controls.counts[n];
        }
    }
    written.artifactFlags.clear();
    for (std::size_t line = 0; line < controls.artifacts.lines.size(); ++line)
        written.artifactFlags.push_back(artifactFlag(controls, line));
    return written;
}

class KeptLayout : public ::testing::Test
{
protected:
    // A preset of the small catalogs, written to hero.xdb and loaded.
    void load(const std::string &xml, const std::string &bytes = std::string())
    {
        writeFile(path(), bytes.empty() ? xml : bytes);
        session.setKeepLayout(true);
        session.load(path(), controls);
    }
    std::string save()
    {
        session.save(controls);
        return readFile(path());
    }
    std::string path() const { return (dir / "hero.xdb").string(); }

    TempDir dir;
    PresetSession session {voriraz::test::smallCatalogs()};
    PresetControls controls;
};

const std::string heroLf =
    "<?xml version='1.0'?>\n"
    "<Hero>\n"
    "  <Editable>\n"
    "    <Offence>1</Offence> <!-- attack -->\n"
    "    <Defence>2</Defence>\n"
    "    <Spellpower>3</Spellpower>\n"
    "    <Knowledge>4</Knowledge>\n"
    "    <Ballista>TRUE</Ballista>\n"
    "    <FirstAidTent>0</FirstAidTent>\n"
    "    <AmmoCart>false</AmmoCart>\n"
    "    <skills>\n"
    "      <Item><Mastery>MST_LOW</Mastery><SkillID>skl_grit</SkillID></Item>\n"
    "    </skills>\n"
    "    <spellIDs/>\n"
    "  </Editable>\n"
    "  <PrimarySkillMastery>PSM_A</PrimarySkillMastery>\n"
    "  <armySlots>\n"
    "    <Item>\n"
    "      <Creature>crt_krell</Creature>\n"
    "      <Count>10</Count>\n"
    "    </Item>\n"
    "  </armySlots>\n"
    "  <artifactIDs>\n"
    "    <Item>ART_A</Item>\n"
    "    <Item>ART_B</Item>\n"
    "    <Item>ART_C</Item>\n"
    "  </artifactIDs>\n"
    "  <isUntransferable>\n"
    "    <Item>0</Item>\n"
    "    <Item>1</Item>\n"
    "    <Item>0</Item>\n"
    "  </isUntransferable>\n"
    "</Hero>\n";

TEST(KeptLayoutSamples, EverySamplePresetSavedWithoutEditsIsTheSameFile)
{
    TempDir dir;
    for (const fs::path &preset : voriraz::test::presetsOf(sampleData)) {
        SCOPED_TRACE(preset.filename().string());
        const fs::path copy = dir.path() / preset.filename();
        fs::copy_file(preset, copy);
        PresetSession session(voriraz::test::catalogsOf(sampleData));
        session.setKeepLayout(true);
        PresetControls controls;
        session.load(copy.string(), controls);
        session.save(controls);
        EXPECT_EQ(readFile(copy), readFile(preset));
        session.save(controls);
        EXPECT_EQ(readFile(copy), readFile(preset)) << "and again";
    }
}

TEST(KeptLayoutSamples, EditingOneCountChangesThatLineAlone)
{
    TempDir dir;
    const fs::path original = sampleData / "mod/Maps/DuelMode/Heroes/hero_aunvelka.xdb";
    const fs::path copy = dir / "hero.xdb";
    fs::copy_file(original, copy);
    PresetSession session(voriraz::test::catalogsOf(sampleData));
    session.setKeepLayout(true);
    PresetControls controls;
    session.load(copy.string(), controls);
    controls.counts[1] = "4321";
    session.save(controls);
    const std::vector<std::string> changed = changedLines(readFile(original), readFile(copy));
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], "            <Count>4321</Count>\r");

    // The default save rewrites the whole file into one line per list.
    PresetSession plain(voriraz::test::catalogsOf(sampleData));
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    plain.load(copy.string(), controls);
    controls.counts[1] = "4321";
    plain.save(controls);
    EXPECT_LT(linesOf(readFile(copy)).size(), linesOf(readFile(original)).size());
}

// Random edits of every kind, saved with and without the layout kept: the
// two files load as the same values, and the kept layout stays stable.
TEST(KeptLayoutSamples, EveryEditLoadsAsTheSameValuesAsTheTreeSave)
{
    TempDir dir;
    const PresetCatalogs catalogs = voriraz::test::catalogsOf(sampleData);
    std::mt19937 random(20261208);
    auto below = [&](std::size_t n) { return static_cast<int>(random() % n); };
    auto line = [&](const char *prefix) { return std::string(prefix) + std::to_string(below(5)); };
    for (const fs::path &preset : voriraz::test::presetsOf(sampleData)) {
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(preset.filename().string() + " round " + std::to_string(round));
            const fs::path kept = dir / "kept.xdb";
            const fs::path tree = dir / "tree.xdb";
            fs::copy_file(preset, kept, fs::copy_options::overwrite_existing);
            fs::copy_file(preset, tree, fs::copy_options::overwrite_existing);
            PresetSession keptSession(catalogs);
            keptSession.setKeepLayout(true);
            PresetSession treeSession(catalogs);
            PresetControls controls;
            keptSession.load(kept.string(), controls);
            treeSession.load(tree.string(), controls);

            // Two saves in a row in the kept session, with edits between.
            for (int save = 0; save < 2; ++save) {
                for (int edit = below(6); edit >= 0; --edit) {
                    switch (below(9)) {
                    case 0: controls.attributes[below(4)] = std::to_string(below(40) - 5); break;
                    case 1: controls.warMachines[below(3)] = below(2); break;
                    case 2: controls.primaryMastery = below(catalogs.primaryMasteries.size()); break;
                    case 3: {
                        const int n = below(5);
                        controls.skills[n] = below(catalogs.skills.size());
                        controls.skillMasteries[n] = below(catalogs.masteries.size() + 1) - 1;
                        break;
                    }
                    case 4: {
                        const int n = below(8);
                        controls.creatures[n] = below(catalogs.creatures.size());
                        controls.counts[n] = std::to_string(below(100));
                        break;
                    }
                    case 5: {
                        auto &lines = controls.artifacts.lines;
                        const std::size_t at = lines.empty() ? 0 : static_cast<std::size_t>(below(lines.size() + 1));
                        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line("ART_NEW_"));
                        controls.artifactFlags.insert(controls.artifactFlags.begin()
                                                          + static_cast<std::ptrdiff_t>(std::min(at, controls.artifactFlags.size())),
                                                      below(2) ? "1" : "0");
                        break;
                    }
                    case 6:
                        if (!controls.artifacts.lines.empty()) {
                            const std::size_t at = static_cast<std::size_t>(below(controls.artifacts.lines.size()));
                            controls.artifacts.lines.erase(controls.artifacts.lines.begin() + static_cast<std::ptrdiff_t>(at));
                            if (at < controls.artifactFlags.size())
                                controls.artifactFlags.erase(controls.artifactFlags.begin() + static_cast<std::ptrdiff_t>(at));
                        }
                        break;
                    case 7:
                        if (!controls.perks.lines.empty())
                            controls.perks.lines[static_cast<std::size_t>(below(controls.perks.lines.size()))] = line("PRK_X");
                        controls.spells.lines.push_back(line("SPL_X"));
                        break;
                    case 8:
                        if (!controls.spells.lines.empty())
                            controls.spells.lines.erase(controls.spells.lines.begin());
                        controls.perks.lines.clear();
                        break;
                    }
                }
                if (!refusedValues(controls).empty() || controls.primaryMastery < 0)
                    continue;
                // Now and then a save of the whole tree comes between.
                keptSession.setKeepLayout(below(4) != 0);
                keptSession.save(controls);
                treeSession.save(controls);
                PresetSession reader(catalogs);
                PresetControls fromKept;
                PresetControls fromTree;
                reader.load(kept.string(), fromKept);
                reader.load(tree.string(), fromTree);
                EXPECT_TRUE(sameValues(asWritten(fromKept), asWritten(fromTree))) << readFile(kept) << "\n----\n" << readFile(tree);
            }
            keptSession.setKeepLayout(true);
            keptSession.save(controls);
            const std::string keptText = readFile(kept);
            keptSession.save(controls);
            EXPECT_EQ(readFile(kept), keptText) << "a save without edits changes nothing";
        }
    }
}

TEST_F(KeptLayout, ValuesEqualInMeaningKeepTheirSpelling)
{
    load(heroLf);
    EXPECT_EQ(save(), heroLf);
    controls.counts[0] = "11";
    EXPECT_EQ(changedLines(heroLf, save()), (std::vector<std::string> {"      <Count>11</Count>"}))
        << "crt_krell keeps its letter case while the same creature stays chosen";
    controls.warMachines[0] = false;
    controls.creatures[0] = 2;
    EXPECT_EQ(changedLines(heroLf, save()),
              (std::vector<std::string> {"    <Ballista>false</Ballista>", "      <Creature>CRT_OSSIK</Creature>",
                                         "      <Count>11</Count>"}));
}

TEST_F(KeptLayout, NewItemsTakeTheLayoutOfTheirSiblings)
{
    load(heroLf);
    controls.creatures[1] = 3;
    controls.counts[1] = "7";
    controls.skills[1] = 1;
    controls.skillMasteries[1] = 2;
    controls.artifacts.lines.push_back("ART_D");
    const std::string saved = save();
    EXPECT_NE(saved.find("      <Count>10</Count>\n"
                         "    </Item>\n"
                         "    <Item>\n"
                         "      <Creature>CRT_VARM</Creature>\n"
                         "      <Count>7</Count>\n"
                         "    </Item>\n"
                         "  </armySlots>"),
              std::string::npos) << saved;
    EXPECT_NE(saved.find("<Item><Mastery>MST_LOW</Mastery><SkillID>skl_grit</SkillID></Item>\n"
                         "      <Item><Mastery>MST_HIGH</Mastery><SkillID>SKL_TALLOW</SkillID></Item>\n"
                         "    </skills>"),
              std::string::npos) << saved;
    EXPECT_NE(saved.find("    <Item>ART_C</Item>\n    <Item>ART_D</Item>\n  </artifactIDs>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("    <Item>0</Item>\n    <Item>0</Item>\n  </isUntransferable>"), std::string::npos) << saved;
}

TEST_F(KeptLayout, ARemovedItemTakesItsLineAndItsFlagAlong)
{
    load(heroLf);
    controls.artifacts.lines.erase(controls.artifacts.lines.begin() + 1);
    controls.artifactFlags.erase(controls.artifactFlags.begin() + 1);
    std::string expected = heroLf;
    expected.erase(expected.find("    <Item>ART_B</Item>\n"), 23);
    expected.erase(expected.find("    <Item>1</Item>\n"), 19);
    EXPECT_EQ(save(), expected);

    controls.artifacts.lines.clear();
    controls.artifactFlags.clear();
    const std::string emptied = save();
    EXPECT_NE(emptied.find("  <artifactIDs>\n  </artifactIDs>\n  <isUntransferable>\n  </isUntransferable>\n"), std::string::npos)
        << emptied;
}

TEST_F(KeptLayout, ListsTheFileLacksAreAddedOnlyWhenTheyGetItems)
{
    std::string xml = heroLf;
    xml.erase(xml.find("  <isUntransferable>"), xml.find("</Hero>") - xml.find("  <isUntransferable>"));
    load(xml);
    EXPECT_EQ(save(), xml) << "missing flags read as 0 and are written as nothing";

    controls.perks.lines = {"PRK_A"};
    controls.artifactFlags[2] = "1";
    const std::string saved = save();
    EXPECT_NE(saved.find("    <spellIDs/>\n    <perkIDs>\n      <Item>PRK_A</Item>\n    </perkIDs>\n  </Editable>"),
              std::string::npos) << saved;
    EXPECT_NE(saved.find("  </artifactIDs>\n  <isUntransferable>\n    <Item>0</Item>\n    <Item>0</Item>\n    <Item>1</Item>\n"
                         "  </isUntransferable>\n</Hero>"),
              std::string::npos) << saved;
}

TEST_F(KeptLayout, AnEmptyElementTagListIsOpenedForItsItems)
{
    load(heroLf);
    controls.spells.lines = {"SPL_A", "SPL_B"};
    const std::string saved = save();
    EXPECT_NE(saved.find("    <spellIDs>\n      <Item>SPL_A</Item>\n      <Item>SPL_B</Item>\n    </spellIDs>\n"), std::string::npos)
        << saved;
}

TEST_F(KeptLayout, AFileWithoutLineBreaksGetsNoneInside)
{
    const std::string compact =
        "<Hero><Editable><Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>"
        "<Ballista>1</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>0</AmmoCart></Editable>"
        "<PrimarySkillMastery>PSM_B</PrimarySkillMastery><armySlots></armySlots></Hero>";
    load(compact);
    controls.creatures[0] = 1;
    controls.counts[0] = "3";
    EXPECT_EQ(save(), "<Hero><Editable><Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>"
                      "<Ballista>1</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>0</AmmoCart></Editable>"
                      "<PrimarySkillMastery>PSM_B</PrimarySkillMastery><armySlots><Item><Creature>CRT_KRELL</Creature>"
                      "<Count>3</Count></Item></armySlots></Hero>");
}

TEST_F(KeptLayout, EncodingsMarkupAndReferencesComeBackAsTheyWere)
{
    // windows-1252 with a byte the code page leaves undefined, references,
    // single quotes and CDATA around the values the editor changes.
    std::string xml = heroLf;
    xml.replace(xml.find("<?xml version='1.0'?>"), 21, "<?xml version='1.0' encoding='windows-1252'?>");
    xml.replace(xml.find("<Hero>"), 6, "<Hero name='\xe9t\x81' note=\"a &amp; b\">");
    xml.replace(xml.find("<Defence>2</Defence>"), 20, "<Defence><![CDATA[2]]></Defence>");
    xml.replace(xml.find("<Item>ART_A</Item>"), 18, "<Item>ART&#95;A</Item>");
    load(xml);
    EXPECT_EQ(save(), xml);
    controls.attributes[1] = "\xc3\xa9"; // refused: no number
    EXPECT_THROW(save(), SaveRefusedError);
    controls.attributes[1] = "9";
    controls.artifacts.lines[1] = "ART_\xe2\x82\xac"; // the euro sign, 0x80 in windows-1252
    const std::string saved = save();
    EXPECT_NE(saved.find("<Defence>9</Defence>"), std::string::npos);
    EXPECT_NE(saved.find("<Item>ART&#95;A</Item>"), std::string::npos);
    EXPECT_NE(saved.find("<Item>ART_\x80</Item>"), std::string::npos);

    // UTF-16 with a byte order mark.
    const std::string utf16 = encodeXmlSource(heroLf, XmlEncoding::Utf16LE, true);
    load(heroLf, utf16);
    EXPECT_EQ(save(), utf16);
    controls.attributes[0] = "5";
    EXPECT_EQ(decodeXmlSource(save()).utf8, std::string(heroLf).replace(heroLf.find("<Offence>1<"), 11, "<Offence>5<"));
}

TEST_F(KeptLayout, RefusedAndFailedSavesChangeNothing)
{
    load(heroLf);
    controls.counts[0] = "ten";
    EXPECT_THROW(save(), SaveRefusedError);
    EXPECT_EQ(readFile(path()), heroLf);
    controls.counts[0] = "10";
    EXPECT_EQ(save(), heroLf);
}

} // namespace

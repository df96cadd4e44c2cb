#include "TestSupport.h"

#include "presets/PresetLoading.h"
#include "presets/XmlParseError.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::messageOf;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace {

const PresetCatalogs catalogs = voriraz::test::smallCatalogs();

std::string preset(const std::string &editableExtra, const std::string &rootExtra,
                   const std::string &knowledge = "<Knowledge>4</Knowledge>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Hero>\n <Editable>\n"
           "  <Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower>" + knowledge + "\n"
           "  <Ballista>true</Ballista><FirstAidTent>0</FirstAidTent><AmmoCart>TRUE</AmmoCart>\n"
           + editableExtra + " </Editable>\n <PrimarySkillMastery>psm_b</PrimarySkillMastery>\n" + rootExtra + "</Hero>\n";
}

std::string items(const std::string &list, const std::vector<std::string> &texts)
{
    std::string xml = "<" + list + ">";
    for (const std::string &text : texts)
        xml += "<Item>" + text + "</Item>";
    return xml + "</" + list + ">";
}

const std::string fullEditable =
    "  <skills><Item><Mastery>MST_HIGH</Mastery><SkillID>SKL_GRIT</SkillID></Item>"
    "<Item><SkillID>skl_tallow</SkillID><Mastery>MST_LOW</Mastery></Item></skills>\n"
    "  " + items("perkIDs", {"PRK_ONE", "PRK_TWO"}) + items("spellIDs", {"SPL_ONE"}) + "\n";
const std::string fullRoot =
    " <armySlots><Item><Creature>CRT_OSSIK</Creature><Count>12</Count></Item>"
    "<Item><Creature>crt_krell</Creature><Count>-3</Count></Item>"
    "<Item><Creature>CRT_UNKNOWN</Creature><Count>5 </Count></Item></armySlots>\n"
    " " + items("artifactIDs", {"ART_A", "ART_B", "ART_A"}) + items("isUntransferable", {"1", "1", "1"}) + "\n";

// Controls as they look with a different preset shown before the load.
PresetControls previousPreset()
{
    PresetControls c;
    c.attributes = {"9", "9", "9", "9"};
    c.primaryMastery = 0;
    c.warMachines = {false, true, false};
    c.skills = {1, 1, 1, 1, 1};
    c.skillMasteries = {0, 0, 0, 0, 0};
    c.creatures = {3, 3, 3, 3, 3, 3, 3, 3};
    c.counts = {"7", "7", "7", "7", "7", "7", "7", "7"};
    c.artifacts = {{"OLD_ART"}, 0};
    c.spells = {{"OLD_SPELL"}, 0};
    c.perks = {{"OLD_PERK"}, 0};
    return c;
}

class PresetLoad : public ::testing::Test
{
protected:
    std::string load(const std::string &xml)
    {
        writeFile(dir / "hero.xdb", xml);
        return messageOf([&] {
            loadPreset(document, (dir / "hero.xdb").string(), catalogs, controls);
            throw std::runtime_error("loaded");
        });
    }

    TempDir dir;
    PresetDocument document;
    PresetControls controls = previousPreset();
};

TEST_F(PresetLoad, FillsEveryControlAndResetsUnusedSlots)
{
    ASSERT_EQ(load(preset(fullEditable, fullRoot)), "loaded");
    PresetControls expected;
    expected.attributes = {"1", "2", "3", "4"};
    expected.primaryMastery = 1;
    expected.warMachines = {true, false, true};
    expected.skills = {2, 1, 0, 0, 0};
    expected.skillMasteries = {2, 1, -1, -1, -1};
    expected.creatures = {2, 1, -1, 0, 0, 0, 0, 0};
    expected.counts = {"12", "-3", "5 ", "", "", "", "", ""};
    expected.artifacts = {{"ART_A", "ART_B", "ART_A"}, -1};
    expected.spells = {{"SPL_ONE"}, -1};
    expected.perks = {{"PRK_ONE", "PRK_TWO"}, -1};
    expected.artifactFlags = {"1", "1", "1"};
    EXPECT_EQ(controls, expected);
}

TEST_F(PresetLoad, EachArtifactLineGetsItsFlagAndLinesWithoutOneReadZero)
{
    auto flagsOf = [&](const std::string &flagList) {
        EXPECT_EQ(load(preset("", " " + items("artifactIDs", {"ART_A", "ART_B", "ART_C"}) + flagList + "\n")), "loaded");
        return controls.artifactFlags;
    };
    const std::vector<std::string> zeros {"0", "0", "0"};
    EXPECT_EQ(flagsOf(items("isUntransferable", {"1", "0", "1", "1"})), (std::vector<std::string> {"1", "0", "1"}));
    EXPECT_EQ(flagsOf(items("isUntransferable", {"1"})), (std::vector<std::string> {"1", "0", "0"})) << "a short list";
    EXPECT_EQ(flagsOf(""), zeros) << "no list";
    EXPECT_EQ(document.SaveToBytes().find("isUntransferable"), std::string::npos) << "reading the flags creates nothing";
    EXPECT_EQ(flagsOf("<isUntransferable><!-- x --><Item>1</Item><Item/><Item><![CDATA[1]]></Item></isUntransferable>"),
              (std::vector<std::string> {"1", "0", "1"}))
        << "only elements count, an empty flag reads as 0, a CDATA section as its text";
}

// A flag whose content is not one text node is the error of every other
// value, never a quiet 0: a 1 would turn into a 0 at the next save.
struct OddFlagRow
{
    const char *name;
    std::string content;
};
void PrintTo(const OddFlagRow &row, std::ostream *out) { *out << row.name; }

class OddFlag : public PresetLoad, public ::testing::WithParamInterface<OddFlagRow> {};

TEST_P(OddFlag, StopsTheLoadAsInEveryOtherList)
{
    const std::string artifacts = items("artifactIDs", {"ART_A", "ART_B"});
    const std::string flags = "<isUntransferable><Item>" + GetParam().content + "</Item><Item>1</Item></isUntransferable>";
    EXPECT_EQ(load(preset("", " " + artifacts + flags + "\n")), "Element does not contain a single text node");
    EXPECT_EQ(controls.artifactFlags, previousPreset().artifactFlags) << "the flags keep what they held";

    // The same content in the perk list fails the same way.
    EXPECT_EQ(load(preset("<perkIDs><Item>" + GetParam().content + "</Item></perkIDs>", "")),
              "Element does not contain a single text node");

    // A report names the flag and reads on.
    writeFile(dir / "hero.xdb", preset("", " " + artifacts + flags + "\n"));
    PresetLoadReport report;
    loadPreset(document, (dir / "hero.xdb").string(), catalogs, controls, &report);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].element, "isUntransferable/Item[1]");
    EXPECT_EQ(report.problems[0].message, "Element does not contain a single text node");
    EXPECT_EQ(controls.artifactFlags, (std::vector<std::string> {"0", "1"}));
}

const OddFlagRow oddFlags[] = {
    {"CommentAfter", "1<!--x-->"},
    {"CommentBefore", "<!--y-->1"},
    {"ProcessingInstruction", "1<?p?>"},
    {"TwoCdataSections", "<![CDATA[1]]><![CDATA[]]>"},
    {"Element", "<a>1</a>"},
};

INSTANTIATE_TEST_SUITE_P(PresetLoad, OddFlag, ::testing::ValuesIn(oddFlags),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(PresetLoad, ReturnsTheIdentifiersNoCatalogKnowsBySlot)
{
    const std::string editable =
        "  <skills><Item><Mastery>MST_LOW</Mastery><SkillID>SKL_GRIT</SkillID></Item>"
        "<Item><Mastery>MST_LOW</Mastery><SkillID>SKL_FOO</SkillID></Item>"
        "<Item><Mastery>MST_ULTRA</Mastery><SkillID>SKL_TALLOW</SkillID></Item></skills>\n";
    writeFile(dir / "hero.xdb", preset(editable, fullRoot));
    const UnknownIdentifiers unknown = loadPreset(document, (dir / "hero.xdb").string(), catalogs, controls);
    UnknownIdentifiers expected;
    expected.skills[1] = "SKL_FOO";
    expected.masteries[2] = "MST_ULTRA";
    expected.creatures[2] = "CRT_UNKNOWN";
    EXPECT_EQ(unknown, expected);
}

TEST_F(PresetLoad, MissingListsReadAsEmptyAndAreCreatedInTheTree)
{
    ASSERT_EQ(load(preset("", "")), "loaded");
    EXPECT_EQ(controls.skills, (std::array<int, 5> {0, 0, 0, 0, 0}));
    EXPECT_EQ(controls.creatures, (std::array<int, 8> {0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(controls.artifacts.lines.empty());
    EXPECT_TRUE(controls.perks.lines.empty());
    const std::string saved = document.SaveToBytes();
    for (const char *container : {"<skills/>", "<armySlots/>", "<artifactIDs/>", "<perkIDs/>", "<spellIDs/>"})
        EXPECT_NE(saved.find(container), std::string::npos) << container;
    EXPECT_EQ(saved.find("isUntransferable"), std::string::npos) << "the load never reads it";
}

TEST_F(PresetLoad, EmptyKnowledgeStopsAfterTheFirstThreeAttributes)
{
    EXPECT_EQ(load(preset(fullEditable, fullRoot, "<Knowledge/>")),
              "Could not convert variant of type (Null) into type (String)");
    PresetControls expected = previousPreset();
    expected.attributes = {"1", "2", "3", "9"};
    EXPECT_EQ(controls, expected);
    EXPECT_TRUE(document.IsActive()) << "the document keeps the new tree";
}

TEST_F(PresetLoad, EmptyPerkStopsWithThePerksBeforeIt)
{
    const std::string editable = "  " + items("perkIDs", {"PRK_ONE", "", "PRK_THREE"}) + items("spellIDs", {"SPL_ONE"});
    EXPECT_EQ(load(preset(editable, fullRoot)), "Could not convert variant of type (Null) into type (String)");
    EXPECT_EQ(controls.perks, (LineList {{"PRK_ONE"}, -1}));
    EXPECT_EQ(controls.spells, previousPreset().spells);
    EXPECT_EQ(controls.artifacts.lines.size(), 3u);
}

TEST_F(PresetLoad, UnreadableBooleanStopsAtThatMachine)
{
    std::string xml = preset(fullEditable, fullRoot);
    xml.replace(xml.find("<FirstAidTent>0"), 15, "<FirstAidTent>yes");
    EXPECT_EQ(load(xml), "Could not convert variant of type (OleStr) into type (Boolean)");
    EXPECT_EQ(controls.warMachines, (std::array<bool, 3> {true, true, false}));
    EXPECT_EQ(controls.primaryMastery, 1);
}

TEST_F(PresetLoad, SkillItemWithoutMasteryKeepsTheSkillSetBeforeTheError)
{
    const std::string editable = "  <skills><Item><SkillID>SKL_GRIT</SkillID></Item></skills>";
    EXPECT_EQ(load(preset(editable, fullRoot)), "Could not convert variant of type (Null) into type (String)");
    EXPECT_EQ(controls.skills, (std::array<int, 5> {2, 0, 0, 0, 0}));
    EXPECT_EQ(controls.skillMasteries, (std::array<int, 5> {-1, -1, -1, -1, -1}));
    EXPECT_EQ(controls.creatures, previousPreset().creatures);
}

TEST_F(PresetLoad, MalformedFileChangesNoControlAndEmptiesTheDocument)
{
    const std::string message = load("<Hero><Editable></Hero>");
    EXPECT_NE(message.find("\nLine: 1\n<Hero><Editable></Hero>"), std::string::npos) << message;
    EXPECT_EQ(controls, previousPreset());
    EXPECT_FALSE(document.IsActive());
}

TEST_F(PresetLoad, MoreItemsThanSlotsAreRefusedBeforeAnyControlChanges)
{
    std::string skills = "  <skills>";
    for (int i = 0; i < 6; ++i)
        skills += "<Item><Mastery>MST_LOW</Mastery><SkillID>SKL_GRIT</SkillID></Item>";
    skills += "</skills>\n";
    EXPECT_EQ(load(preset(skills, fullRoot)),
              "The preset has 6 skill items, but the editor has only 5 skill slots");
    EXPECT_EQ(controls, previousPreset());

    std::string army = " <armySlots>";
    for (int i = 0; i < 8; ++i)
        army += "<Item><Creature>CRT_KRELL</Creature><Count>1</Count></Item>";
    EXPECT_EQ(load(preset("", army + "<!-- one more node --></armySlots>\n")),
              "The preset has 9 army items, but the editor has only 8 army slots");
    EXPECT_EQ(controls, previousPreset());

    EXPECT_EQ(load(preset("", army + "</armySlots>\n")), "loaded") << "exactly eight fit";
}

TEST_F(PresetLoad, NoPathWithNothingLoadedBeforeIsBlank)
{
    EXPECT_EQ(messageOf([&] { loadPreset(document, "", catalogs, controls); }), "FileName cannot be blank");
    EXPECT_EQ(controls, previousPreset());
}

TEST_F(PresetLoad, PrimaryMasteryMissingFromTheFileStopsAfterTheAttributes)
{
    std::string xml = preset(fullEditable, fullRoot);
    xml.erase(xml.find(" <PrimarySkillMastery>"), std::string(" <PrimarySkillMastery>psm_b</PrimarySkillMastery>\n").size());
    EXPECT_EQ(load(xml), "Could not convert variant of type (Null) into type (String)");
    EXPECT_EQ(controls.attributes, (std::array<std::string, 4> {"1", "2", "3", "4"}));
    EXPECT_EQ(controls.primaryMastery, 0);
}

} // namespace

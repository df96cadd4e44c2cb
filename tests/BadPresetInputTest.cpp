#include "SystemSupport.h"
#include "TestSupport.h"
#include "TreeSnapshot.h"

#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"
#include "presets/XmlCheck.h"
#include "presets/XmlParseError.h"

#include <gtest/gtest.h>


#include <chrono>
#include <functional>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const PresetCatalogs catalogs = smallCatalogs();

const std::string goodPreset =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<Hero>\r\n"
    "    <Editable>\r\n"
    "        <Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>\r\n"
    "        <Ballista>true</Ballista><FirstAidTent>false</FirstAidTent><AmmoCart>true</AmmoCart>\r\n"
    "        <skills><Item><Mastery>MST_LOW</Mastery><SkillID>SKL_GRIT</SkillID></Item></skills>\r\n"
    "        <perkIDs><Item>PRK_ONE</Item></perkIDs><spellIDs><Item>SPL_ONE</Item></spellIDs>\r\n"
    "    </Editable>\r\n"
    "    <PrimarySkillMastery>PSM_B</PrimarySkillMastery>\r\n"
    "    <armySlots><Item><Creature>CRT_KRELL</Creature><Count>12</Count></Item></armySlots>\r\n"
    "    <artifactIDs><Item>ART_A</Item></artifactIDs>\r\n"
    "</Hero>\r\n";

std::string repeated(const std::string &text, std::size_t times)
{
    std::string out;
    out.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

std::string utf16le(const std::string &ascii)
{
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct BadPresetRow
{
    const char *name;
    std::function<std::string()> bytes;
    std::string message;
};
void PrintTo(const BadPresetRow &row, std::ostream *out) { *out << row.name; }

class BadPreset : public ::testing::TestWithParam<BadPresetRow>
{
protected:
    TempDir tree;
};

// The load stops with the message, the controls show nothing of the file, and
// neither the bad preset nor its neighbour changes on disk, not even after a
// save is attempted on the document the failed load left behind.
TEST_P(BadPreset, IsRefusedWithAClearMessageAndNoFileChanges)
{
    const BadPresetRow &row = GetParam();
    writeFile(tree / "Heroes/bad.xdb", row.bytes());
    writeFile(tree / "Heroes/good.xdb", goodPreset);
    const TreeSnapshot before = snapshotOf(tree.path());

    PresetDocument document;
    PresetControls controls;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(messageOf([&] { loadPreset(document, (tree / "Heroes/bad.xdb").string(), catalogs, controls); }),
              row.message);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_TRUE(controls == PresetControls()) << "the controls changed";
    EXPECT_THROW(savePreset(document, "", catalogs, controls, false), std::runtime_error);

    EXPECT_EQ(changedPaths(before, snapshotOf(tree.path())), std::vector<std::string>());
}

const BadPresetRow badPresets[] = {
    {"NotXml", [] { return std::string("Heroes of the plain text kind\r\nhave no markup at all.\r\n"); },
     "Syntax error: text or markup that XML does not allow here.\nLine: 1\nHeroes of the plain text kind"},
    {"Truncated", [] { return goodPreset.substr(0, goodPreset.find("<Defence>") + 5); },
     "Start tag \'Defe\' is not terminated.\nLine: 4\n        <Offence>1</Offence><Defe"},
    {"FiftyMegabytesWithTheEndCutOff",
     [] {
         std::string text = goodPreset.substr(0, goodPreset.find("</Hero>"));
         text += repeated("    <Biography>A long life told line by line.</Biography>\r\n", 50'000'000 / 60);
         return text;
     },
     "Start tag \'Hero\' has no matching end tag.\nLine: 2\n<Hero>"},
    {"HundredThousandLevelsDeep",
     [] {
         const std::string head = goodPreset.substr(0, goodPreset.find("</Hero>"));
         return head + repeated("<Lore>", 100'000) + repeated("</Lore>", 100'000) + "</Hero>\r\n";
     },
     "Element \'Lore\' is nested more than 1000 levels deep.\nLine: 12\n<Lore><Lore><Lore><Lore><Lore><Lore><Lor"},
    {"BillionLaughs",
     [] {
         std::string dtd = "<?xml version=\"1.0\"?>\r\n<!DOCTYPE Hero [\r\n  <!ENTITY lol \"lol\">\r\n";
         for (int i = 1; i <= 9; ++i) {
             dtd += "  <!ENTITY lol" + std::to_string(i) + " \"";
             for (int j = 0; j < 10; ++j)
                 dtd += i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
             dtd += "\">\r\n";
         }
         return dtd + "]>\r\n<Hero><Editable><Offence>&lol9;</Offence></Editable></Hero>\r\n";
     },
     "Reference to entity \'lol9\', declared in the document type definition, which this editor does not "
     "expand.\nLine: 14\n<Hero><Editable><Offence>&lol9;</Offence"},
    {"Utf16WithOddLength", [] { return "\xFF\xFE" + utf16le(goodPreset) + "x"; }, "Invalid UTF-16 data in the document.\nLine: 13\n\xEF\xBF\xBD"},
    {"Utf16DeclaringUtf8",
     [] { return "\xFF\xFE" + utf16le(goodPreset.substr(0, goodPreset.find('\n') + 1) + "<Hero/>"); }, "Switch from current encoding to specified encoding not supported.\nLine: 1\n"
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
    {"NulByteInAValue",
     [] {
         std::string text = goodPreset;
         return text.replace(text.find("<Offence>1") + 9, 1, std::string("1\0" "0", 3));
     },
     "Invalid character U+0000 in the document.\nLine: 4\n        <Offence>1"},
    {"NulBytesOnly", [] { return std::string(64, '\0'); }, "Invalid character U+0000 in the document.\nLine: 1\n"},
};

INSTANTIATE_TEST_SUITE_P(Load, BadPreset, ::testing::ValuesIn(badPresets),
                         [](const auto &row) { return std::string(row.param.name); });

// The first value that is no single text stops the load there: the
// attributes read before it show, the file stays as it was.
TEST(BadPresetValue, TextBesideChildrenWhereAValueIsExpectedStopsTheLoadAtThatElement)
{
    TempDir tree;
    std::string text = goodPreset;
    text.replace(text.find("<Spellpower>3</Spellpower>"), 26, "<Spellpower>3<Bonus>1</Bonus></Spellpower>");
    writeFile(tree / "bad.xdb", text);
    const TreeSnapshot before = snapshotOf(tree.path());

    PresetDocument document;
    PresetControls controls;
    EXPECT_EQ(messageOf([&] { loadPreset(document, (tree / "bad.xdb").string(), catalogs, controls); }),
              "Element does not contain a single text node");
    EXPECT_EQ(controls.attributes, (std::array<std::string, 4> {"1", "2", "", ""}));
    EXPECT_EQ(changedPaths(before, snapshotOf(tree.path())), std::vector<std::string>());
}

PresetControls loadedFrom(const std::filesystem::path &path)
{
    PresetDocument document;
    PresetControls controls;
    loadPreset(document, path.string(), catalogs, controls);
    return controls;
}

TEST(BadPresetValue, Utf16WithByteOrderMarkLoadsLikeTheSameTextInUtf8)
{
    TempDir tree;
    std::string declared = goodPreset;
    declared.replace(declared.find("UTF-8"), 5, "UTF-16");
    writeFile(tree / "utf8.xdb", goodPreset);
    writeFile(tree / "utf16le.xdb", "\xFF\xFE" + utf16le(declared));
    const TreeSnapshot before = snapshotOf(tree.path());

    const PresetControls expected = loadedFrom(tree / "utf8.xdb");
    EXPECT_EQ(expected.attributes[3], "4");
    EXPECT_TRUE(loadedFrom(tree / "utf16le.xdb") == expected);
    EXPECT_EQ(changedPaths(before, snapshotOf(tree.path())), std::vector<std::string>());
}

TEST(BadPresetValue, AFiftyMegabytePresetLoadsInBoundedTime)
{
    TempDir tree;
    std::string text = goodPreset;
    text.insert(text.find("</Hero>"), "<Biography>" + std::string(50'000'000, 'x') + "</Biography>\r\n");
    writeFile(tree / "big.xdb", text);
    writeFile(tree / "small.xdb", goodPreset);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(loadedFrom(tree / "big.xdb") == loadedFrom(tree / "small.xdb"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}

// Entities are never expanded: refusing the billion laughs costs about the
// size of the file, not gigabytes.
TEST(BadPresetValue, BillionLaughsIsRefusedWithoutExpandingAnything)
{
    const long before = peakMemoryKb();
    PresetDocument document;
    const std::string bytes = badPresets[4].bytes();
    for (int i = 0; i < 100; ++i)
        EXPECT_THROW(document.LoadFromBytes(bytes), XmlParseError);
    EXPECT_LT(peakMemoryKb() - before, 64 * 1024);
}

// In an attribute value expat expands an entity before anyone can refuse
// it; its own limit on the expansion keeps that to a few megabytes.
TEST(BadPresetValue, BillionLaughsInAnAttributeIsRefusedWithinBoundedMemory)
{
    std::string bytes = badPresets[4].bytes();
    bytes.replace(bytes.find("<Hero>"), 6, "<Hero lore=\"&lol9;\">");
    const long before = peakMemoryKb();
    PresetDocument document;
    try {
        document.LoadFromBytes(bytes);
        FAIL() << "accepted";
    } catch (const XmlFaultError &error) {
        EXPECT_EQ(error.fault(), XmlFault::DtdEntity);
        EXPECT_EQ(error.line(), 14u);
    }
    EXPECT_LT(peakMemoryKb() - before, 64 * 1024);
}

std::string nested(std::size_t levels)
{
    return repeated("<e>", levels) + "x" + repeated("</e>", levels);
}

// The limit lies where the message says; a document just inside it loads,
// saves (every walk of the tree still fits the stack) and loads again.
TEST(BadPresetValue, ElementsNestOneThousandLevelsDeepButNoDeeper)
{
    PresetDocument document;
    document.LoadFromBytes(nested(maxElementDepth));
    const std::string saved = document.SaveToBytes();
    EXPECT_EQ(saved, nested(maxElementDepth) + "\r\n");
    document.LoadFromBytes(saved);

    EXPECT_EQ(messageOf([&] { document.LoadFromBytes(nested(maxElementDepth + 1)); }),
              "Element 'e' is nested more than 1000 levels deep.\nLine: 1\n" + repeated("<e>", 13) + "<");
    EXPECT_FALSE(document.IsActive());
}

} // namespace

#include "SystemSupport.h"
#include "TestSupport.h"

#include "presets/PresetDocument.h"
#include "presets/XmlParseError.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::messageOf;
using voriraz::test::readFile;
using voriraz::test::TempDir;
using voriraz::test::writeFile;

namespace {

using Node = PresetDocument::Node;

PresetDocument loaded(std::string_view xml, PresetDocument::Formatting formatting = PresetDocument::Formatting::AutoIndent)
{
    PresetDocument document(formatting);
    document.LoadFromBytes(xml);
    return document;
}

TEST(DocumentFormatting, NewArmyItemInAnEmptyListIsIndentedWithCrLf)
{
    PresetDocument document = loaded("<Hero><armySlots/></Hero>");
    const Node army = document.FindOrCreateChild(document.DocumentElement(), "armySlots");
    const Node item = document.AppendChild(army, "Item");
    document.SetNodeValue(document.AppendChild(item, "Creature"), "Krell");
    document.SetNodeValue(document.AppendChild(item, "Count"), "12");

    EXPECT_EQ(document.SaveToBytes(),
              "<Hero><armySlots>\r\n"
              "        <Item>\r\n"
              "            <Creature>Krell</Creature>\r\n"
              "            <Count>12</Count>\r\n"
              "        </Item>\r\n"
              "    </armySlots></Hero>\r\n");
}

TEST(DocumentFormatting, LaterChildFollowsThePreviousLineBreak)
{
    // Loaded elements carry no whitespace, so a new last child starts right
    // after its elder sibling with one unit; only created elements get lines.
    PresetDocument document = loaded("<Hero>\n  <Editable>\n    <Offence>1</Offence>\n  </Editable>\n</Hero>");
    const Node editable = document.FindOrCreateChild(document.DocumentElement(), "Editable");
    document.FindOrCreateChild(editable, "perkIDs");
    document.FindOrCreateChild(editable, "spellIDs");
    EXPECT_EQ(document.SaveToBytes(),
              "<Hero><Editable><Offence>1</Offence>    <perkIDs/>\r\n"
              "        <spellIDs/>\r\n"
              "    </Editable></Hero>\r\n");
}

TEST(DocumentFormatting, ChildOfTheDocumentElementHasDepthZeroIndentation)
{
    PresetDocument document = loaded("<Hero/>");
    document.SetChildValue(document.DocumentElement(), "PrimarySkillMastery", "Deft");
    EXPECT_EQ(document.SaveToBytes(), "<Hero>\r\n    <PrimarySkillMastery>Deft</PrimarySkillMastery>\r\n</Hero>\r\n");
}

TEST(DocumentFormatting, ScratchDocumentAddsNoFormatting)
{
    PresetDocument document = loaded("<Table/>", PresetDocument::Formatting::None);
    document.SetNodeValue(document.AppendChild(document.FindOrCreateChild(document.DocumentElement(), "objects"), "Item"), "x");
    EXPECT_EQ(document.SaveToBytes(), "<Table><objects><Item>x</Item></objects></Table>\r\n");
}

TEST(DocumentFormatting, SecondSaveAppendsBehindTheFormattingLeftByTheFirst)
{
    PresetDocument document = loaded("<Hero><perkIDs/></Hero>");
    const Node perks = document.FindOrCreateChild(document.DocumentElement(), "perkIDs");
    for (int save = 0; save < 2; ++save) {
        const std::size_t count = document.ChildCount(perks);
        for (std::size_t i = 0; i < count; ++i)
            document.RemoveChildNamed(perks, "Item");
        document.SetNodeValue(document.AppendChild(perks, "Item"), "Swift");
    }
    EXPECT_EQ(document.SaveToBytes(),
              "<Hero><perkIDs>\r\n        \r\n        <Item>Swift</Item>\r\n    </perkIDs></Hero>\r\n");
}

TEST(DocumentLoading, KeepsEverythingButWhitespaceBetweenElements)
{
    const std::string source =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<!DOCTYPE Hero [<!ELEMENT Hero ANY>]>\r\n"
        "<!-- before -->\r\n"
        "<Hero id=\"7\" xmlns:v=\"urn:v\">\r\n"
        "    <?tool keep?>\r\n"
        "    <Bio><![CDATA[a < b & c]]></Bio>\r\n"
        "    <Name lang='en'> Aunvel  ka </Name>\r\n"
        "    <v:Extra a=\"&quot;&lt;&amp;\"/>\r\n"
        "    <Empty></Empty>\r\n"
        "</Hero>\r\n"
        "<!-- after -->\r\n";
    EXPECT_EQ(loaded(source).SaveToBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<!DOCTYPE Hero [<!ELEMENT Hero ANY>]>\r\n"
              "<!-- before -->\r\n"
              "<Hero id=\"7\" xmlns:v=\"urn:v\"><?tool keep?><Bio><![CDATA[a < b & c]]></Bio>"
              "<Name lang=\"en\"> Aunvel  ka </Name><v:Extra a=\"&quot;&lt;&amp;\"/><Empty/></Hero>\r\n"
              "<!-- after -->\r\n");
}

TEST(DocumentLoading, AddsNoDeclarationTheFileDidNotHave)
{
    EXPECT_EQ(loaded("<Hero>x</Hero>").SaveToBytes(), "<Hero>x</Hero>\r\n");
}

TEST(DocumentLoading, CarriageReturnFromACharacterReferenceSurvivesASave)
{
    PresetDocument document = loaded("<Hero><Bio>one&#13;two</Bio></Hero>");
    EXPECT_EQ(document.NodeValue(document.DocumentElement().first_child()), XmlValue("one\rtwo"));
    PresetDocument again = loaded(document.SaveToBytes());
    EXPECT_EQ(again.NodeValue(again.DocumentElement().first_child()), XmlValue("one\rtwo"));
}

TEST(DocumentLoading, KeepsUtf16AndItsByteOrderMark)
{
    auto utf16 = [](const std::u16string &text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    };
    PresetDocument document = loaded(utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Hero>Zé</Hero>"));
    EXPECT_EQ(document.NodeValue(document.DocumentElement()), XmlValue("Zé"));
    EXPECT_EQ(document.SaveToBytes(), utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Hero>Zé</Hero>\r\n"));
}

TEST(DocumentSaving, CharactersTheEncodingLacksBecomeCharacterReferences)
{
    PresetDocument ascii = loaded("<?xml version=\"1.0\" encoding=\"US-ASCII\"?><Hero a=\"&#233;\">caf&#xE9;</Hero>");
    EXPECT_EQ(ascii.SaveToBytes(), "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\r\n<Hero a=\"&#233;\">caf&#233;</Hero>\r\n");

    PresetDocument latin1 = loaded("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Hero>caf\xE9</Hero>");
    latin1.SetNodeValue(latin1.DocumentElement(), "5 \xE2\x82\xAC, caf\xC3\xA9");
    EXPECT_EQ(latin1.SaveToBytes(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<Hero>5 &#8364;, caf\xE9</Hero>\r\n");
}

TEST(DocumentLoading, EmptyPathReloadsThePreviousFileOrIsRefused)
{
    TempDir dir;
    PresetDocument document;
    EXPECT_EQ(messageOf([&] { document.LoadDocument(""); }), "FileName cannot be blank");
    EXPECT_EQ(messageOf([&] { document.DocumentElement(); }), "No active document");

    writeFile(dir / "a.xdb", "<A/>");
    document.LoadDocument((dir / "a.xdb").string());
    writeFile(dir / "a.xdb", "<B/>");
    document.LoadDocument("");
    EXPECT_STREQ(document.DocumentElement().name(), "B");
}

TEST(DocumentLoading, ParseFailureGivesReasonLineAndSourceAndEmptiesTheDocument)
{
    TempDir dir;
    PresetDocument document;
    writeFile(dir / "good.xdb", "<A/>");
    document.LoadDocument((dir / "good.xdb").string());

    writeFile(dir / "bad.xdb", "<Hero>\r\n  <Offence>1</Offense>\r\n</Hero>");
    try {
        document.LoadDocument((dir / "bad.xdb").string());
        FAIL() << "expected a parse error";
    } catch (const XmlParseError &e) {
        EXPECT_EQ(e.line(), 2u);
        EXPECT_EQ(std::string(e.what()), e.reason() + "\nLine: 2\n  <Offence>1</Offense>");
    }
    EXPECT_FALSE(document.IsActive());
    EXPECT_EQ(messageOf([&] { document.DocumentElement(); }), "No active document");
    EXPECT_EQ(messageOf([&] { document.SaveDocument(""); }), "No active document");
}

TEST(DocumentLoading, UndefinedEntityIsRefusedInsteadOfBeingWrittenBackAltered)
{
    PresetDocument document;
    const std::string message = messageOf([&] { document.LoadFromBytes("<Hero>&nbsp;</Hero>"); });
    EXPECT_NE(message.find("nbsp"), std::string::npos) << message;
    EXPECT_NE(message.find("\nLine: 1\n<Hero>&nbsp;</Hero>"), std::string::npos) << message;
}

TEST(DocumentLoading, MissingFileIsAnErrorOfTheSameShape)
{
    TempDir dir;
    PresetDocument document;
    const std::string path = (dir / "none.xdb").string();
    EXPECT_EQ(messageOf([&] { document.LoadDocument(path); }),
              "Cannot open file \"" + path + "\". " + voriraz::test::fileNotFoundText() + ".\nLine: 0\n");
}

TEST(DocumentValues, EmptyElementReadsAsAbsentAndGainsATextNode)
{
    PresetDocument document = loaded("<Hero><A/><B></B><C>  </C><D>x</D><E><![CDATA[y]]></E></Hero>");
    const Node root = document.DocumentElement();
    EXPECT_EQ(document.FindChildValue(root, "A"), std::nullopt);
    EXPECT_EQ(document.ChildCount(root.child("A")), 1u);
    EXPECT_EQ(document.FindChildValue(root, "B"), std::nullopt);
    EXPECT_EQ(document.FindChildValue(root, "C"), std::nullopt);
    EXPECT_EQ(document.FindChildValue(root, "D"), XmlValue("x"));
    EXPECT_EQ(document.FindChildValue(root, "E"), XmlValue("y"));
    EXPECT_EQ(document.FindChildValue(root, "Missing"), std::nullopt);
    EXPECT_EQ(document.ChildCount(root), 5u) << "FindChildValue creates nothing";
}

TEST(DocumentValues, ElementWithChildrenIsNotASingleTextNode)
{
    PresetDocument document = loaded("<Hero><A><B/></A><C>x<!--c--></C></Hero>");
    const Node root = document.DocumentElement();
    for (const char *name : {"A", "C"}) {
        EXPECT_EQ(messageOf([&] { document.FindChildValue(root, name); }), "Element does not contain a single text node");
        EXPECT_EQ(messageOf([&] { document.SetChildValue(root, name, "v"); }), "Element does not contain a single text node");
    }
}

TEST(DocumentValues, SettingValuesKeepsTheNodeKindAndConvertsTypes)
{
    PresetDocument document = loaded("<Hero><Bio><![CDATA[old]]></Bio><Flag>1</Flag></Hero>");
    const Node root = document.DocumentElement();
    document.SetChildValue(root, "Bio", "new & <b>");
    document.SetChildValue(root, "Flag", false);
    document.SetChildValue(root, "Zero", 0);
    document.SetChildValue(root, "Empty", "");
    EXPECT_EQ(document.SaveToBytes(),
              "<Hero><Bio><![CDATA[new & <b>]]></Bio><Flag>false</Flag>    <Zero>0</Zero>\r\n"
              "    <Empty></Empty>\r\n</Hero>\r\n");
    EXPECT_EQ(document.FindChildValue(root, "Empty"), std::nullopt);
}

TEST(DocumentNavigation, CountsAndIndexesEveryKindOfChildNode)
{
    PresetDocument document = loaded("<L>text<Item>a</Item><!--c--><Item>b</Item><?pi x?></L>");
    const Node list = document.DocumentElement();
    ASSERT_EQ(document.ChildCount(list), 5u);
    EXPECT_EQ(document.NodeValue(document.ChildAt(list, 0)), XmlValue("text"));
    EXPECT_EQ(document.NodeValue(document.ChildAt(list, 1)), XmlValue("a"));
    EXPECT_EQ(document.NodeValue(document.ChildAt(list, 2)), XmlValue("c"));
    EXPECT_EQ(document.NodeValue(document.ChildAt(list, 3)), XmlValue("b"));
    EXPECT_EQ(document.NodeValue(document.ChildAt(list, 1)), XmlValue("a")) << "stepping back works too";
    EXPECT_FALSE(document.ChildAt(list, 5));
}

TEST(DocumentEditing, RemoveChildNamedTakesOnlyTheFirstElement)
{
    PresetDocument document = loaded("<L>t<Item>a</Item><Other/><Item>b</Item></L>");
    const Node list = document.DocumentElement();
    document.RemoveChildNamed(list, "Item");
    document.RemoveChildNamed(list, "Missing");
    EXPECT_EQ(document.SaveToBytes(), "<L>t<Other/><Item>b</Item></L>\r\n");
}

TEST(DocumentSaving, EmptyPathWritesTheLoadedFile)
{
    TempDir dir;
    writeFile(dir / "hero.xdb", "<?xml version=\"1.0\"?>\n<Hero>\n  <A>1</A>\n</Hero>\n");
    PresetDocument document;
    document.LoadDocument((dir / "hero.xdb").string());
    document.SetChildValue(document.DocumentElement(), "A", "2");
    document.SaveDocument("");
    EXPECT_EQ(readFile(dir / "hero.xdb"), "<?xml version=\"1.0\"?>\r\n<Hero><A>2</A></Hero>\r\n");
}

} // namespace

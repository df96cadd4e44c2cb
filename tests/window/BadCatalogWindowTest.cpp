#include "SystemSupport.h"
#include "window/WindowFixture.h"

#include <filesystem>

namespace fs = std::filesystem;
using namespace voriraz;
using namespace voriraz::test;

namespace {

class BadCatalogStartup : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }
};

// An artifact entry that leads out of the icon folder, to a picture that
// decodes well, stops the start-up at that entry with the error box: the
// artifact picker holds every entry, only the icons before it are loaded,
// and nothing after the artifacts is filled.
TEST_F(BadCatalogStartup, AnEntryLeadingOutOfTheIconFolderStopsStartUpWithItsLine)
{
    writeFile(tree / "data/artifacts.txt", "ART_A\n../creatures/CRT_KRELL\nART_C\n");
    ASSERT_TRUE(fs::exists(tree / "data/img/creatures/CRT_KRELL.jpg"));
    writePreset("a.xdb", presetXml());
    open(tree.path());

    EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString(
                                tree.path().string() + "/data/artifacts.txt, line 2: \"../creatures/CRT_KRELL\" cannot "
                                "name an icon file: an identifier may not hold \"/\", \"\\\" or \"..\"")});
    EXPECT_EQ(window->ComboBoxEx9->count(), 3);
    EXPECT_EQ(window->ImageList2.size(), 1);
    EXPECT_EQ(window->ComboBoxEx10->count(), 0);
    EXPECT_EQ(window->FileListBox1->count(), 0);
}

TEST_F(BadCatalogStartup, AnIconHeaderBeyondTheSizeLimitGetsAPlaceholderWithTheSize)
{
    std::string huge = jpegBytes(32, 32);
    const std::size_t frame = huge.find("\xFF\xC0");
    huge[frame + 5] = static_cast<char>(20000 >> 8);
    huge[frame + 6] = static_cast<char>(20000 & 0xFF);
    const fs::path icon = tree / "data/img/spells/SPL_B.jpg";
    writeFile(icon, huge);
    open(tree.path());

    EXPECT_EQ(errorTexts(), QStringList {"FileName cannot be blank."}) << "the empty presets folder, as ever";
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(slashed(prompts->messages[0].text.toStdString()),
              slashed("1 icon could not be shown; its entry has a placeholder:\nImage too large: \"" + icon.string()
                      + "\" is 32 x 20000 pixels (at most 4096 x 4096)"));
    EXPECT_EQ(window->ImageList3.size(), 3);
    EXPECT_EQ(window->ComboBoxEx16->count(), 3) << "the fill goes on";
}

// A catalog saved with a byte-order mark starts as any other: the mark is
// in no identifier and no icon's file name.
TEST_F(BadCatalogStartup, AByteOrderMarkIsNoPartOfTheFirstEntry)
{
    writeFile(tree / "data/creatures.txt", "\xEF\xBB\xBF" "CRT_NONE\r\nCRT_KRELL\r\nCRT_OSSIK\r\nCRT_VARM\r\n");
    writeFile(tree / "data/skills.txt", "\xEF\xBB\xBF" "SKL_NONE\nSKL_TALLOW\nSKL_GRIT\n\n");
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "<Item><Creature>CRT_NONE</Creature><Count>1</Count></Item>"));
    open(tree.path());

    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(window->ComboBoxEx1->itemText(0), "CRT_NONE");
    EXPECT_EQ(window->ComboBoxEx11->count(), 3) << "the empty line at the end is no entry";
    EXPECT_EQ(window->ImageList1.size(), 4);
    EXPECT_EQ(window->Label8->text(), "0");
}

// An empty line stops start-up with the catalog and its line, not with an
// icon file named ".jpg".
TEST_F(BadCatalogStartup, AnEmptyLineStopsStartUpWithTheCatalogAndTheLine)
{
    writeFile(tree / "data/spells.txt", "SPL_A\r\n\r\nSPL_B\r\n");
    writePreset("a.xdb", presetXml());
    open(tree.path());

    EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString(tree.path().string()
                                                               + "/data/spells.txt, line 2: empty entry.")});
    EXPECT_EQ(window->ComboBoxEx9->count(), 3) << "the artifacts before are filled";
    EXPECT_EQ(window->ComboBoxEx10->count(), 0);
    EXPECT_EQ(window->ComboBoxEx16->count(), 0);
    EXPECT_EQ(window->FileListBox1->count(), 0);
}

} // namespace

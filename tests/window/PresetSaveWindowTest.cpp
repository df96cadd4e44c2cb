#include "SystemSupport.h"
#include "window/WindowFixture.h"

#include "presets/AtomicFile.h"

#include <QTest>

#include <cerrno>

using namespace voriraz;
using namespace voriraz::test;

namespace {

class PresetSaveWindow : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }
    void TearDown() override { setWriteFaultHookForTesting(nullptr); }

    std::string file(const char *name) const { return readFile(presets() / name); }
    void typeInto(QLineEdit *edit, const QString &text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(PresetSaveWindow, EditsEverythingSavesAndReloadsWhatWasSaved)
{
    writePreset("a.xdb", readFile(std::string(VORIRAZ_TEST_DATA) + "/save/full/input.xdb"));
    openMini();
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();

    typeInto(window->Edit1, "5");
    typeInto(window->Edit2, "6");
    typeInto(window->Edit3, "7");
    typeInto(window->Edit4, "8");
    pick(window->ComboBox1, 1);
    QTest::mouseClick(window->CheckBox1, Qt::LeftButton);
    window->CheckBox2->setChecked(false);
    pick(window->ComboBoxEx1, 0);
    typeInto(window->Edit_Count_1, "20");
    pick(window->ComboBoxEx2, 2);
    typeInto(window->Edit_Count_4, "5");
    pick(window->ComboBoxEx5, 3);
    // A creature in a slot without a count: the totals say so, and the save
    // refuses it.
    pick(window->ComboBoxEx3, 1);
    EXPECT_EQ(errorTexts(), (QStringList {"'' is not a valid integer value."}));
    prompts->errors.clear();
    pick(window->ComboBoxEx11, 2);
    pick(window->ComboBox2, 1);
    pick(window->ComboBoxEx12, 1);
    pick(window->ComboBox4, 2);
    pick(window->ComboBoxEx14, 1);
    pick(window->ComboBox5, 2);

    // Perks: replace PRK_ONE by two entries; spells: one; artifacts: B, a placeholder, C.
    clickLine(window->ListBox3, 0);
    prompts->answerNext(true);
    click(window->SpeedButton9);
    for (int entry : {1, 2}) {
        click(window->SpeedButton8);
        pick(window->ComboBoxEx16, entry);
    }
    click(window->SpeedButton3);
    pick(window->ComboBox1, 1);
    pick(window->ComboBoxEx10, 0);
    // Add takes the picker's choice, the placeholder only while it shows none.
    click(window->SpeedButton1);
    clickLine(window->ListBox1, 0);
    pick(window->ComboBoxEx9, 1);
    click(window->SpeedButton1);
    pick(window->ComboBoxEx9, 2);
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();

    // The slot without a count and the placeholder line refuse the save,
    // which writes nothing; once both are mended it goes through.
    const std::string original = file("a.xdb");
    click(window->SpeedButton7);
    EXPECT_EQ(errorTexts(), (QStringList {"Army slot 3: \"\" is not a whole number from 0 to 2147483647.\n"
                                          "Artifacts, line 2: no artifact has been chosen for this line; pick one or delete the line."}));
    EXPECT_EQ(file("a.xdb"), original);
    prompts->errors.clear();
    pick(window->ComboBoxEx3, 0);
    clickLine(window->ListBox1, 1);
    pick(window->ComboBoxEx9, 0);

    const QStringList totalsBefore {window->Label8->text(), window->Label9->text(), window->Label10->text()};
    click(window->SpeedButton7);
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(QStringList({window->Label8->text(), window->Label9->text(), window->Label10->text()}), totalsBefore);

    const std::string saved = file("a.xdb");
    for (const char *part : {"<Offence>5</Offence><Defence>6</Defence><Spellpower>7</Spellpower><Knowledge>8</Knowledge>",
                             "<Ballista>false</Ballista><FirstAidTent>false</FirstAidTent><AmmoCart>false</AmmoCart>",
                             "<PrimarySkillMastery>PSM_B</PrimarySkillMastery>",
                             "<Creature>CRT_OSSIK</Creature>\r\n            <Count>20</Count>",
                             "<Creature>CRT_VARM</Creature>\r\n            <Count>5</Count>",
                             "<Mastery>MST_LOW</Mastery>\r\n                <SkillID>SKL_GRIT</SkillID>",
                             "<Mastery>MST_HIGH</Mastery>\r\n                <SkillID>SKL_TALLOW</SkillID>",
                             "<Item>PRK_B</Item>\r\n            <Item>PRK_C</Item>",
                             "<Item>SPL_A</Item>",
                             "<Item>ART_B</Item>\r\n        <Item>ART_A</Item>\r\n        <Item>ART_C</Item>",
                             "<isUntransferable>\r\n        <Item>0</Item>\r\n        <Item>0</Item>\r\n        <Item>0</Item>",
                             "<Lore><![CDATA[Walks <softly> & far.]]></Lore>",
                             "<!-- A duel hero, kept as the game wrote it. -->"})
        EXPECT_NE(saved.find(part), std::string::npos) << part;
    EXPECT_EQ(saved.find("CRT_KRELL"), std::string::npos) << "a creature without a count is not written";

    clickFile(0);
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(window->ComboBoxEx1->currentText(), "CRT_OSSIK");
    EXPECT_EQ(window->ComboBoxEx2->currentText(), "CRT_VARM");
    EXPECT_EQ(window->ComboBoxEx3->currentIndex(), 0);
    EXPECT_EQ(window->ComboBoxEx12->currentText(), "SKL_TALLOW");
    EXPECT_EQ(window->ComboBox3->currentText(), "MST_HIGH");
    EXPECT_EQ(window->ListBox1->count(), 3);
}

TEST_F(PresetSaveWindow, SavesToTheSelectedFileAndTouchesNoControl)
{
    writePreset("a.xdb", presetXml("1,1,1,1"));
    writePreset("b.xdb", presetXml("2,2,2,2", "PSM_A", "", "<Item><Creature>CRT_KRELL</Creature><Count>3</Count></Item>"));
    openMini();
    clickFile(1);
    const std::string untouched = file("a.xdb");
    typeInto(window->Edit1, "42");
    click(window->SpeedButton7);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_NE(file("b.xdb").find("<Offence>42</Offence>"), std::string::npos);
    EXPECT_EQ(file("a.xdb"), untouched);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 1);
    EXPECT_EQ(window->Edit1->text(), "42");
}

TEST_F(PresetSaveWindow, RefusedAfterALoadThatStoppedPartWay)
{
    writePreset("a.xdb", presetXml("1,1,1,1", "PSM_A", "", "", "<Item>ART_A</Item>"));
    writePreset("b.xdb", presetXml("2,2,2,"));
    openMini();
    clickFile(1);
    ASSERT_EQ(prompts->errors.size(), 1u);
    const std::string before = file("b.xdb");
    click(window->SpeedButton7);
    ASSERT_EQ(prompts->errors.size(), 2u);
    EXPECT_TRUE(errorTexts()[1].contains("not loaded completely")) << errorTexts()[1].toStdString();
    EXPECT_EQ(file("b.xdb"), before);

    // Fixing the file and loading it again makes saving possible.
    writePreset("b.xdb", presetXml("2,2,2,2"));
    clickFile(0);
    clickFile(1);
    click(window->SpeedButton7);
    EXPECT_EQ(prompts->errors.size(), 2u);
}

TEST_F(PresetSaveWindow, BadCountCanBeFixedAndSavedAfterTheTotalsFailed)
{
    writePreset("a.xdb", presetXml("1,1,1,1", "PSM_A", "", "<Item><Creature>CRT_KRELL</Creature><Count>3 </Count></Item>"));
    openMini();
    ASSERT_EQ(errorTexts(), (QStringList {"'3 ' is not a valid integer value."}));
    typeInto(window->Edit_Count_0, "3");
    click(window->SpeedButton7);
    EXPECT_EQ(prompts->errors.size(), 1u);
    EXPECT_NE(file("a.xdb").find("<Count>3</Count>"), std::string::npos);
}

TEST_F(PresetSaveWindow, RefusedWithoutAPrimaryMastery)
{
    writePreset("a.xdb", presetXml("1,1,1,1", "PSM_UNKNOWN"));
    openMini();
    EXPECT_EQ(window->ComboBox1->currentIndex(), -1);
    const std::string before = file("a.xdb");
    click(window->SpeedButton7);
    ASSERT_EQ(prompts->errors.size(), 1u);
    EXPECT_TRUE(errorTexts()[0].contains("primary skill mastery")) << errorTexts()[0].toStdString();
    EXPECT_EQ(file("a.xdb"), before);
}

TEST_F(PresetSaveWindow, FailedWriteKeepsTheOldFileAndNamesIt)
{
    writePreset("a.xdb", presetXml());
    openMini();
    const std::string before = file("a.xdb");
    typeInto(window->Edit1, "77");
    setWriteFaultHookForTesting([](std::size_t) { return EIO; });
    click(window->SpeedButton7);
    const std::string path = (presets() / "a.xdb").string();
    ASSERT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(slashed(errorTexts()[0].toStdString()), slashed("Cannot write file \"" + path + "\". Input/output error."));
    EXPECT_EQ(file("a.xdb"), before);
}

TEST_F(PresetSaveWindow, NothingLoadedMeansNoActiveDocument)
{
    openMini();
    ASSERT_EQ(errorTexts(), (QStringList {"FileName cannot be blank."}));
    click(window->SpeedButton7);
    EXPECT_EQ(errorTexts().last(), "No active document.");
}

} // namespace

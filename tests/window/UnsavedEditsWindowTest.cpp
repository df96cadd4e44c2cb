#include "window/WindowFixture.h"

#include <QSettings>
#include <QTest>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const std::string armyOfTwo = "<Item><Creature>CRT_KRELL</Creature><Count>3</Count></Item>"
                              "<Item><Creature>CRT_OSSIK</Creature><Count>4</Count></Item>";

class UnsavedEdits : public WindowTest
{
protected:
    void SetUp() override
    {
        MiniTree::write(tree.path());
        writePreset("a.xdb", presetXml("1,1,1,1", "PSM_A", "", armyOfTwo, "<Item>ART_A</Item>"));
        writePreset("b.xdb", presetXml("2,2,2,2", "PSM_B"));
        openMini();
        ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    }

    std::string file(const char *name) const { return readFile(presets() / name); }
    void typeInto(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(UnsavedEdits, TheTitleNamesThePresetAndMarksEditsUntilTheyAreUndoneOrSaved)
{
    EXPECT_EQ(window->windowTitle(), "a.xdb[*] - Voriraz Editor v0.2");
    EXPECT_FALSE(window->isWindowModified());
    typeInto(window->Edit2, "7");
    EXPECT_TRUE(window->isWindowModified());
    typeInto(window->Edit2, "1");
    EXPECT_FALSE(window->isWindowModified()) << "the values are the file's again";

    pick(window->ComboBoxEx1, 3);
    EXPECT_TRUE(window->isWindowModified());
    click(window->SpeedButton7);
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_EQ(window->Label11->text(), "Saved a.xdb");
    window->statusCaption().restore();
    EXPECT_EQ(window->Label11->text(), "Duel hero preset editor");

    clickFile(1);
    EXPECT_EQ(window->windowTitle(), "b.xdb[*] - Voriraz Editor v0.2");
    EXPECT_TRUE(prompts->unsavedQuestions.empty()) << "nothing was left unsaved";
}

TEST_F(UnsavedEdits, SwitchingPresetsAsksAndCancelKeepsPresetAndEdits)
{
    typeInto(window->Edit1, "9");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Cancel);
    clickFile(1);
    ASSERT_EQ(prompts->unsavedQuestions.size(), 1u);
    EXPECT_EQ(prompts->unsavedQuestions[0].text, "Save the changes to a.xdb?");
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
    EXPECT_EQ(window->Edit1->text(), "9");
    EXPECT_TRUE(window->isWindowModified());

    prompts->unsavedAnswers.push_back(UnsavedAnswer::Discard);
    clickFile(1);
    EXPECT_EQ(window->Edit1->text(), "2");
    EXPECT_EQ(file("a.xdb").find("<Offence>9<"), std::string::npos);
    EXPECT_FALSE(window->isWindowModified());
}

TEST_F(UnsavedEdits, SaveOnSwitchingSavesThenLoadsAndARefusedSaveStays)
{
    typeInto(window->Edit1, "9");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Save);
    clickFile(1);
    EXPECT_NE(file("a.xdb").find("<Offence>9</Offence>"), std::string::npos);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 1);
    EXPECT_EQ(window->Edit1->text(), "2");

    // Back to a; a value the game could not read refuses the save, and the
    // window stays on a with the edit.
    clickFile(0);
    const std::string before = file("a.xdb");
    typeInto(window->Edit_Count_1, "many");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Save);
    clickFile(1);
    EXPECT_EQ(errorTexts().value(0), "Army slot 2: \"many\" is not a whole number from 0 to 2147483647.");
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
    EXPECT_EQ(window->Edit_Count_1->text(), "many");
    EXPECT_EQ(file("a.xdb"), before);
}

TEST_F(UnsavedEdits, ClosingAsksAndCancelOrAFailedSaveKeepsTheWindow)
{
    typeInto(window->Edit3, "x");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());

    prompts->unsavedAnswers.push_back(UnsavedAnswer::Save);
    click(window->SpeedButton5);
    EXPECT_TRUE(window->isVisible()) << "the save was refused";
    EXPECT_EQ(prompts->errors.size(), 1u);

    typeInto(window->Edit3, "5");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Save);
    EXPECT_TRUE(window->close());
    EXPECT_NE(file("a.xdb").find("<Spellpower>5</Spellpower>"), std::string::npos);
}

TEST_F(UnsavedEdits, ClosingWithoutEditsAsksNothing)
{
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(prompts->unsavedQuestions.empty());
}

TEST_F(UnsavedEdits, KeysSaveAndDelete)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    typeInto(window->Edit4, "6");
    QTest::keyClick(window->Edit4, Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(file("a.xdb").find("<Knowledge>6</Knowledge>"), std::string::npos);

    window->PageControl1->setCurrentWidget(window->TabSheet3);
    clickLine(window->ListBox1, 0);
    QTest::keyClick(window->ListBox1, Qt::Key_Delete);
    EXPECT_TRUE(prompts->questions.empty()) << "Undo takes a delete back; nothing is asked";
    EXPECT_EQ(window->ListBox1->count(), 0);
    EXPECT_TRUE(window->isWindowModified());
}

TEST_F(UnsavedEdits, ItemsTheCatalogsLackAreDroppedOnlyWhenTheUserSaysYes)
{
    writePreset("c.xdb", presetXml("1,1,1,1", "PSM_A",
                                   "<Item><Mastery>MST_LOW</Mastery><SkillID>SKL_FOO</SkillID></Item>",
                                   "<Item><Creature>CRT_DRAGON</Creature><Count>1</Count></Item>" + armyOfTwo));
    window->FileListBox1->setDirectory(presets().string());
    clickFile(2);
    const std::string before = file("c.xdb");
    prompts->answerNext(false);
    click(window->SpeedButton7);
    ASSERT_EQ(prompts->questions.size(), 1u);
    EXPECT_EQ(prompts->questions[0].title, "Save preset");
    EXPECT_EQ(prompts->questions[0].text, "Saving drops 1 skill item and 1 army stack that the catalogs do not know: "
                                          "SKL_FOO (slot 1), CRT_DRAGON (slot 1). Save anyway?");
    EXPECT_EQ(file("c.xdb"), before);

    prompts->answerNext(true);
    click(window->SpeedButton7);
    EXPECT_EQ(file("c.xdb").find("CRT_DRAGON"), std::string::npos);
    EXPECT_NE(file("c.xdb").find("CRT_OSSIK"), std::string::npos);
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
}

TEST_F(UnsavedEdits, UntransferableFlagsFollowTheirArtifactLines)
{
    std::string xml = presetXml("1,1,1,1", "PSM_A", "", "", "<Item>ART_A</Item><Item>ART_B</Item><Item>ART_C</Item>");
    xml.replace(xml.find("\n</Hero>"), 0, "<isUntransferable><Item>1</Item><Item>0</Item><Item>1</Item></isUntransferable>");
    writePreset("a.xdb", xml);
    clickFile(1);
    clickFile(0);
    // Delete ART_A, add a line and pick ART_B for it, re-pick ART_C as ART_A.
    clickLine(window->ListBox1, 0);
    prompts->answerNext(true);
    click(window->SpeedButton2);
    click(window->SpeedButton1);
    pick(window->ComboBoxEx9, 1);
    clickLine(window->ListBox1, 1);
    pick(window->ComboBoxEx9, 0);
    click(window->SpeedButton7);
    const std::string saved = file("a.xdb");
    EXPECT_NE(saved.find("<Item>ART_B</Item>\r\n        <Item>ART_A</Item>\r\n        <Item>ART_B</Item>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<isUntransferable>\r\n        <Item>0</Item>\r\n        <Item>1</Item>\r\n        <Item>0</Item>"),
              std::string::npos) << saved;
}

TEST_F(UnsavedEdits, KeepingTheLayoutIsRememberedAndSavesOnlyWhatChanged)
{
    const std::string layout = "<?xml version=\"1.0\"?>\n<Hero>\n  <Editable>\n    <Offence>1</Offence>\n"
                               "    <Defence>1</Defence>\n    <Spellpower>1</Spellpower>\n    <Knowledge>1</Knowledge>\n"
                               "    <Ballista>true</Ballista>\n    <FirstAidTent>false</FirstAidTent>\n    <AmmoCart>true</AmmoCart>\n"
                               "  </Editable>\n  <PrimarySkillMastery>PSM_A</PrimarySkillMastery>\n  <armySlots>\n"
                               "    <Item>\n      <Creature>CRT_KRELL</Creature>\n      <Count>3</Count>\n    </Item>\n"
                               "  </armySlots>\n</Hero>\n";
    writePreset("a.xdb", layout);
    EXPECT_FALSE(window->keepLayout());
    window->KeepLayoutAction->trigger();
    EXPECT_TRUE(window->keepLayout());
    EXPECT_TRUE(QSettings().value("save/keepLayout").toBool());
    clickFile(1);
    clickFile(0);
    click(window->SpeedButton7);
    EXPECT_EQ(file("a.xdb"), layout);
    typeInto(window->Edit_Count_0, "30");
    click(window->SpeedButton7);
    std::string expected = layout;
    expected.replace(expected.find("<Count>3<"), 9, "<Count>30<");
    EXPECT_EQ(file("a.xdb"), expected);

    // A new window starts with the remembered choice; setKeepLayout() is
    // for this run only.
    window.reset();
    openMini();
    EXPECT_TRUE(window->keepLayout());
    window->setKeepLayout(false);
    EXPECT_TRUE(QSettings().value("save/keepLayout").toBool());
    window->KeepLayoutAction->trigger();
    window->KeepLayoutAction->trigger();
    EXPECT_FALSE(QSettings().value("save/keepLayout").toBool());
}

} // namespace

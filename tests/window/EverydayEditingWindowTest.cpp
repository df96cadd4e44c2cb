#include "SystemSupport.h"
#include "window/WindowFixture.h"

#include <QListView>
#include <QTest>

#include <filesystem>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

class EverydayEditing : public WindowTest
{
protected:
    void SetUp() override
    {
        MiniTree::write(tree.path());
        writePreset("a.xdb", presetXml("1,1,1,1", "PSM_A", "<Item><Mastery>MST_LOW</Mastery><SkillID>SKL_GRIT</SkillID></Item>",
                                       "<Item><Creature>CRT_KRELL</Creature><Count>3</Count></Item>", "<Item>ART_A</Item>",
                                       "<Item>PRK_A</Item>", "<Item>SPL_A</Item>"));
        writePreset("b.xdb", presetXml("2,2,2,2", "PSM_B"));
        openMini();
        ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    }

    std::string file(const std::string &name) const { return readFile(presets() / name); }
    QStringList listed() const
    {
        QStringList names;
        for (const std::string &line : window->FileListBox1->lines())
            names.append(QString::fromStdString(line));
        return names;
    }
    void typeInto(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        // Leaving the field ends the visit.
        emit edit->editingFinished();
    }
    void saveAs(const fs::path &target)
    {
        prompts->saveFiles.push_back(QString::fromStdString(target.string()));
        window->SaveAsAction->trigger();
    }
    // Waits for the list to show the names, as the disk changes under it.
    bool listShows(const QStringList &names) { return QTest::qWaitFor([&] { return listed() == names; }, 3000); }
};

TEST_F(EverydayEditing, SaveAsWritesANewFileAndEditsItFromThenOn)
{
    const std::string original = file("a.xdb");
    typeInto(window->Edit1, "8");
    saveAs(presets() / "c");
    EXPECT_EQ(file("a.xdb"), original);
    EXPECT_NE(file("c.xdb").find("<Offence>8</Offence>"), std::string::npos);
    EXPECT_EQ(prompts->proposedFiles.back().section('/', -1), "a.xdb");
    EXPECT_EQ(listed(), (QStringList {"a.xdb", "b.xdb", "c.xdb"}));
    EXPECT_EQ(window->FileListBox1->selectedLine(), 2);
    EXPECT_EQ(window->windowTitle(), "c.xdb[*] - Voriraz Editor v0.2");
    EXPECT_FALSE(window->isWindowModified());

    // What Save as wrote is what Save writes.
    typeInto(window->Edit2, "5");
    click(window->SpeedButton7);
    EXPECT_NE(file("c.xdb").find("<Offence>8</Offence><Defence>5</Defence>"), std::string::npos);
    EXPECT_EQ(file("a.xdb"), original);
}

TEST_F(EverydayEditing, SaveAsOverAnotherFileAsksAndARefusedValueWritesNothing)
{
    const std::string b = file("b.xdb");
    typeInto(window->Edit1, "8");
    prompts->answerNext(false);
    saveAs(presets() / "b.xdb");
    ASSERT_EQ(prompts->questions.size(), 1u);
    EXPECT_EQ(prompts->questions[0].text, "b.xdb already exists. Replace it?");
    EXPECT_EQ(file("b.xdb"), b);

    prompts->answerNext(true);
    saveAs(presets() / "b.xdb");
    EXPECT_NE(file("b.xdb").find("<Offence>8</Offence>"), std::string::npos);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 1);

    typeInto(window->Edit1, "eight");
    window->SaveAsAction->trigger();
    EXPECT_EQ(errorTexts(), (QStringList {"Offence: \"eight\" is not a whole number from -2147483648 to 2147483647."}));
    EXPECT_TRUE(prompts->proposedFiles.size() == 2u) << "no dialog for values that cannot be saved";
}

// The list cannot show a file of another folder: it shows no selection,
// the title names the file in full, and Ctrl+S writes to that file.
TEST_F(EverydayEditing, SaveAsOutsideThePresetsFolderLeavesTheListWithoutSelection)
{
    TempDir elsewhere;
    const std::string a = file("a.xdb");
    saveAs(elsewhere / "mine.xdb");
    EXPECT_TRUE(fs::exists(elsewhere / "mine.xdb"));
    EXPECT_EQ(listed(), (QStringList {"a.xdb", "b.xdb"}));
    EXPECT_EQ(window->FileListBox1->selectedLine(), -1);
    EXPECT_EQ(window->windowTitle(), QString::fromStdString((elsewhere / "mine.xdb").string()) + "[*] - Voriraz Editor v0.2");

    typeInto(window->Edit1, "9");
    QTest::keySequence(window.get(), QKeySequence::Save);
    EXPECT_NE(readFile(elsewhere / "mine.xdb").find("<Offence>9</Offence>"), std::string::npos);
    EXPECT_EQ(file("a.xdb"), a);
    EXPECT_EQ(window->FileListBox1->selectedLine(), -1);

    // Choosing a preset of the list again asks nothing (saved) and shows it.
    clickFile(1);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 1);
    EXPECT_EQ(window->windowTitle(), "b.xdb[*] - Voriraz Editor v0.2");
}

// A pipe or a folder where the new file would go is refused before the
// question about replacing it, and stays what it is.
TEST_F(EverydayEditing, SaveAsOntoSomethingThatIsNoFileIsRefused)
{
    TempDir elsewhere;
    fs::create_directory(elsewhere / "folder.xdb");
    saveAs(elsewhere / "folder.xdb");
    EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString("\"" + (elsewhere / "folder.xdb").string() + "\" is not a regular file.")});
    EXPECT_TRUE(prompts->questions.empty());
    EXPECT_TRUE(fs::is_directory(elsewhere / "folder.xdb"));
    EXPECT_EQ(window->windowTitle(), "a.xdb[*] - Voriraz Editor v0.2");
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
}

TEST_F(EverydayEditing, DuplicateMakesNumberedCopiesAndLoadsThem)
{
    window->DuplicatePreset(0);
    window->DuplicatePreset(0);
    EXPECT_EQ(listed(), (QStringList {"a.xdb", "a_copy.xdb", "a_copy2.xdb", "b.xdb"}));
    EXPECT_EQ(file("a_copy.xdb"), file("a.xdb"));
    EXPECT_EQ(window->FileListBox1->selectedLine(), 2);
    EXPECT_EQ(window->windowTitle(), "a_copy2.xdb[*] - Voriraz Editor v0.2");

    window->OpenPresetFolder();
    ASSERT_EQ(prompts->openedFolders.size(), 1u);
    EXPECT_EQ(slashed(prompts->openedFolders[0].toStdString()), slashed(presets().string()));
}

TEST_F(EverydayEditing, EveryKindOfChangeIsUndoneAndRedoneStepByStep)
{
    const PresetControls loaded = window->PresetSession1.values();
    typeInto(window->Edit1, "12");                 // an attribute, typed in one visit
    pick(window->ComboBox1, 1);                    // the primary mastery
    pick(window->ComboBoxEx12, 1);                 // a skill and its mastery
    pick(window->ComboBox3, 2);
    click(window->CheckBox2);                      // a war machine
    typeInto(window->Edit_Count_1, "40");          // an army slot's count and creature
    pick(window->ComboBoxEx2, 2);
    click(window->SpeedButton1);                   // Add, pick and Delete in a list
    pick(window->ComboBoxEx9, 2);
    clickLine(window->ListBox3, 0);
    click(window->SpeedButton9);
    const PresetControls edited = window->PresetSession1.values();
    EXPECT_EQ(window->PresetSession1.undoCount(), 10u);
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();

    for (int step = 0; step < 10; ++step)
        window->UndoAction->trigger();
    EXPECT_TRUE(sameValues(window->PresetSession1.values(), loaded));
    EXPECT_FALSE(window->isWindowModified()) << "undone back to the file";
    EXPECT_EQ(window->Edit1->text(), "1");

    window->RedoAction->trigger();
    EXPECT_EQ(window->Edit1->text(), "12");
    EXPECT_TRUE(window->isWindowModified());
    for (int step = 1; step < 10; ++step)
        window->RedoAction->trigger();
    EXPECT_TRUE(sameValues(window->PresetSession1.values(), edited));
    EXPECT_EQ(window->Label8->text(), "150") << "the totals follow the army: 3 Krell and 40 Ossik";

    click(window->SpeedButton7);
    EXPECT_FALSE(window->isWindowModified());
    window->UndoAction->trigger();
    EXPECT_TRUE(window->isWindowModified()) << "one step away from what was saved";

    prompts->unsavedAnswers.push_back(UnsavedAnswer::Cancel);
    clickFile(1);
    EXPECT_EQ(prompts->unsavedQuestions.size(), 1u);
}

TEST_F(EverydayEditing, UndoKeysInAFieldTakeBackItsTypingFirstThenTheWindowsSteps)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    typeInto(window->Edit1, "12");
    window->Edit2->setFocus();
    QTest::keyClicks(window->Edit2, "7");
    QTest::keyClick(window->Edit2, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->Edit2->text(), "1") << "the field's own typing first";
    EXPECT_EQ(window->Edit1->text(), "12");
    QTest::keyClick(window->Edit2, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->Edit1->text(), "1") << "then the window's history";
    QTest::keyClick(window->Edit2, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->Edit1->text(), "12");
}

TEST_F(EverydayEditing, LoadingAnotherPresetStartsANewHistory)
{
    typeInto(window->Edit1, "12");
    prompts->unsavedAnswers.push_back(UnsavedAnswer::Discard);
    clickFile(1);
    EXPECT_EQ(window->PresetSession1.undoCount(), 0u);
    window->UndoAction->trigger();
    EXPECT_EQ(window->Edit1->text(), "2");
}

TEST_F(EverydayEditing, TheListFollowsFilesAddedRemovedAndRenamedByOthers)
{
    writePreset("c.xdb", presetXml());
    EXPECT_TRUE(listShows({"a.xdb", "b.xdb", "c.xdb"}));
    clickFile(1);
    fs::rename(presets() / "c.xdb", presets() / "0.xdb");
    EXPECT_TRUE(listShows({"0.xdb", "a.xdb", "b.xdb"}));
    EXPECT_EQ(window->FileListBox1->selectedLine(), 2) << "b stays selected";
    fs::remove(presets() / "0.xdb");
    EXPECT_TRUE(listShows({"a.xdb", "b.xdb"}));
    EXPECT_EQ(window->FileListBox1->selectedLine(), 1);
}

TEST_F(EverydayEditing, AnEditedFileChangedOnDiskIsLoadedAgainOnlyWhenNothingIsLost)
{
    writePreset("a.xdb", presetXml("5,5,5,5"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Edit1->text() == "5"; }, 3000)) << "no edits: loaded again";
    EXPECT_TRUE(window->Label11->text().contains("changed on the disk")) << window->Label11->text().toStdString();

    typeInto(window->Edit1, "9");
    prompts->answerNext(false);
    writePreset("a.xdb", presetXml("6,6,6,6"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts->questions.size() == 1; }, 3000));
    EXPECT_EQ(prompts->questions[0].text, "a.xdb was changed by another program. Load it again and lose your edits?");
    EXPECT_EQ(window->Edit1->text(), "9");

    prompts->answerNext(true);
    writePreset("a.xdb", presetXml("7,7,7,7"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Edit1->text() == "7"; }, 3000));

    // The window's own saves are no change from outside.
    typeInto(window->Edit2, "3");
    click(window->SpeedButton7);
    QTest::qWait(400);
    EXPECT_EQ(prompts->questions.size(), 2u);
    EXPECT_EQ(window->Edit2->text(), "3");
}

TEST_F(EverydayEditing, TypingInAnOpenPickerFiltersItsEntries)
{
    IconComboBox *picker = window->ComboBoxEx1;
    auto *view = qobject_cast<QListView *>(picker->view());
    ASSERT_NE(view, nullptr);
    picker->showPopup();
    QTest::keyClicks(view, "ss");
    EXPECT_EQ(picker->filter(), "ss");
    QStringList shown;
    for (int row = 0; row < picker->count(); ++row) {
        if (!view->isRowHidden(row))
            shown.append(picker->itemText(row));
    }
    EXPECT_EQ(shown, (QStringList {"CRT_OSSIK"})) << "a middle substring, ignoring case";
    EXPECT_EQ(picker->itemIcon(2).isNull(), false);
    EXPECT_TRUE(window->Label11->text().contains("1 of 4")) << window->Label11->text().toStdString();

    QTest::keyClicks(view, "zz");
    int visible = 0;
    for (int row = 0; row < picker->count(); ++row)
        visible += !view->isRowHidden(row);
    EXPECT_EQ(visible, 0) << "nothing found";

    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(picker->filter(), "");
    for (int row = 0; row < picker->count(); ++row)
        EXPECT_FALSE(view->isRowHidden(row));
    picker->hidePopup();
}

} // namespace

#include "window/WindowFixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const std::string sampleData = VORIRAZ_SAMPLE_DATA;

class PresetLoadWindow : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }

    QStringList totals() const { return {window->Label8->text(), window->Label9->text(), window->Label10->text()}; }
};

TEST_F(PresetLoadWindow, StartUpShowsTheFirstSamplePresetWithItsTotals)
{
    copyTree(sampleData, tree / "data");
    open(tree.path());
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(window->FileListBox1->currentItem()->text(), "hero_aunvelka.xdb");
    EXPECT_EQ(window->Edit1->text(), "4");
    EXPECT_EQ(window->ComboBox1->currentText(), "PSM_HONED");
    EXPECT_EQ(window->ComboBoxEx1->currentText(), "CRT_RAVIX");
    EXPECT_EQ(window->Edit_Count_0->text(), "46");
    EXPECT_EQ(totals(), (QStringList {"12788", "39158", "206527"}));
    EXPECT_TRUE(window->presetLoadComplete());
}

TEST_F(PresetLoadWindow, EverySamplePresetLoadsWithoutAnError)
{
    copyTree(sampleData, tree / "data");
    open(tree.path());
    for (int row = 0; row < window->FileListBox1->count(); ++row) {
        clickFile(row);
        EXPECT_TRUE(prompts->errors.empty()) << window->FileListBox1->item(row)->text().toStdString() << ": "
                                             << errorTexts().join('\n').toStdString();
        EXPECT_TRUE(window->presetLoadComplete());
        EXPECT_NE(window->Label8->text(), "---");
    }
}

TEST_F(PresetLoadWindow, FillsEveryControlFromTheClickedFile)
{
    writePreset("a.xdb", presetXml());
    writePreset("b.xdb", presetXml("7,8,9,10", "psm_a",
                                   "<Item><Mastery>MST_HIGH</Mastery><SkillID>SKL_GRIT</SkillID></Item>"
                                   "<Item><Mastery>mst_low</Mastery><SkillID>SKL_UNKNOWN</SkillID></Item>",
                                   "<Item><Creature>CRT_OSSIK</Creature><Count>2</Count></Item>"
                                   "<Item><Creature>crt_varm</Creature><Count>1</Count></Item>"
                                   "<Item><Creature>CRT_GONE</Creature><Count>5</Count></Item>",
                                   "<Item>ART_B</Item><Item>art_c</Item>", "<Item>PRK_A</Item>", "<Item>SPL_C</Item>"));
    openMini();
    clickFile(1);
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();

    EXPECT_EQ(window->Edit4->text(), "10");
    EXPECT_EQ(window->ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(window->CheckBox1->isChecked());
    EXPECT_FALSE(window->CheckBox2->isChecked());
    EXPECT_EQ(window->ComboBoxEx11->currentIndex(), 2);
    EXPECT_EQ(window->ComboBox2->currentIndex(), 2);
    EXPECT_EQ(window->ComboBoxEx12->currentIndex(), -1) << "an unknown skill shows no selection";
    EXPECT_EQ(window->ComboBox3->currentIndex(), 1);
    EXPECT_EQ(window->ComboBoxEx13->currentIndex(), 0);
    EXPECT_EQ(window->ComboBox4->currentIndex(), -1);
    EXPECT_EQ(window->ComboBoxEx2->currentText(), "CRT_VARM") << "found without regard to case";
    EXPECT_EQ(window->ComboBoxEx3->currentIndex(), -1);
    EXPECT_EQ(window->Edit_Count_2->text(), "5") << "the count of an unknown creature is still shown";
    EXPECT_EQ(window->ComboBoxEx4->currentIndex(), 0);
    EXPECT_EQ(window->Edit_Count_3->text(), "");
    EXPECT_EQ(window->ListBox1->count(), 2);
    EXPECT_EQ(window->ListBox1->item(1)->text(), "art_c") << "lines keep the file's text";
    EXPECT_EQ(window->ListBox1->currentRow(), -1);
    EXPECT_EQ(totals(), (QStringList {"506", "1524", "9080"}));
}

TEST_F(PresetLoadWindow, SettingControlsDuringALoadRunsNoHandler)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "<Item><Creature>CRT_KRELL</Creature><Count>1</Count></Item>",
                                   "<Item>ART_A</Item>"));
    openMini();
    QSignalSpy picked(window->ComboBoxEx1, &QComboBox::activated);
    QSignalSpy listClicked(window->ListBox1, &ListBox::userClicked);
    clickFile(0);
    EXPECT_EQ(picked.count(), 0);
    EXPECT_EQ(listClicked.count(), 0);
    EXPECT_EQ(window->ComboBoxEx9->currentIndex(), -1) << "the pickers of the lists are not touched";
}

TEST_F(PresetLoadWindow, ArrowKeysLoadEachFilePassedOver)
{
    writePreset("a.xdb", presetXml("1,1,1,1"));
    writePreset("b.xdb", presetXml("2,2,2,2"));
    writePreset("c.xdb", presetXml("3,3,3,3"));
    openMini();
    window->FileListBox1->setFocus();
    QTest::keyClick(window->FileListBox1, Qt::Key_Down);
    EXPECT_EQ(window->Edit1->text(), "2");
    QTest::keyClick(window->FileListBox1, Qt::Key_Down);
    EXPECT_EQ(window->Edit1->text(), "3");
}

TEST_F(PresetLoadWindow, EmptyKnowledgeLeavesAMixtureAndSkipsTheTotals)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "<Item><Creature>CRT_KRELL</Creature><Count>1</Count></Item>",
                                   "<Item>ART_A</Item>"));
    writePreset("b.xdb", presetXml("7,8,9,", "PSM_A", "", "<Item><Creature>CRT_VARM</Creature><Count>1</Count></Item>"));
    openMini();
    clickFile(1);
    EXPECT_EQ(errorTexts(), (QStringList {"Could not convert variant of type (Null) into type (String)"}));
    EXPECT_EQ(window->Edit1->text(), "7");
    EXPECT_EQ(window->Edit3->text(), "9");
    EXPECT_EQ(window->Edit4->text(), "4");
    EXPECT_EQ(window->ComboBox1->currentText(), "PSM_B");
    EXPECT_EQ(window->ComboBoxEx1->currentText(), "CRT_KRELL");
    EXPECT_EQ(window->ListBox1->count(), 1);
    EXPECT_EQ(totals(), (QStringList {"10", "25", "100"}));
    EXPECT_FALSE(window->presetLoadComplete());
}

TEST_F(PresetLoadWindow, EmptyPerkKeepsThePerksBeforeItAndThePreviousSpells)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "", "", "", "<Item>SPL_A</Item><Item>SPL_B</Item>"));
    writePreset("b.xdb", presetXml("5,5,5,5", "PSM_A", "", "", "<Item>ART_C</Item>",
                                   "<Item>PRK_A</Item><Item/><Item>PRK_B</Item>", "<Item>SPL_C</Item>"));
    openMini();
    clickFile(1);
    EXPECT_EQ(errorTexts(), (QStringList {"Could not convert variant of type (Null) into type (String)"}));
    EXPECT_EQ(window->ListBox3->count(), 1);
    EXPECT_EQ(window->ListBox2->count(), 2);
    EXPECT_EQ(window->ListBox1->item(0)->text(), "ART_C");
}

TEST_F(PresetLoadWindow, MalformedPresetShowsWhereAndEmptiesTheDocument)
{
    writePreset("a.xdb", presetXml());
    writePreset("b.xdb", "<Hero>\n<Editable>\n</Hero>\n");
    openMini();
    clickFile(1);
    ASSERT_EQ(prompts->errors.size(), 1u);
    EXPECT_TRUE(errorTexts()[0].contains("\nLine: 3\n</Hero>")) << errorTexts()[0].toStdString();
    EXPECT_EQ(window->Edit1->text(), "1");
    click(window->SpeedButton7);
    EXPECT_EQ(errorTexts().last(), "No active document.");
}

TEST_F(PresetLoadWindow, TooManySkillItemsAreRefusedBeforeAnyControlChanges)
{
    std::string skills;
    for (int i = 0; i < 6; ++i)
        skills += "<Item><Mastery>MST_LOW</Mastery><SkillID>SKL_GRIT</SkillID></Item>";
    writePreset("a.xdb", presetXml());
    writePreset("b.xdb", presetXml("9,9,9,9", "PSM_A", skills));
    openMini();
    clickFile(1);
    EXPECT_EQ(errorTexts(), (QStringList {"The preset has 6 skill items, but the editor has only 5 skill slots."}));
    EXPECT_EQ(window->Edit1->text(), "1");
    EXPECT_EQ(window->ComboBoxEx16->currentIndex(), -1) << "nothing spills into the perk picker";
}

TEST_F(PresetLoadWindow, StatisticsFailureLeavesControlsLoadedAndLabelsAsTheyWere)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "<Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>"));
    writePreset("b.xdb", presetXml("5,6,7,8", "PSM_A", "", "<Item><Creature>CRT_OSSIK</Creature><Count>3 </Count></Item>"));
    openMini();
    EXPECT_EQ(totals(), (QStringList {"20", "50", "200"}));
    clickFile(1);
    EXPECT_EQ(errorTexts(), (QStringList {"'3 ' is not a valid integer value."}));
    EXPECT_EQ(window->Edit_Count_0->text(), "3 ");
    EXPECT_EQ(totals(), (QStringList {"20", "50", "200"}));
    EXPECT_TRUE(window->presetLoadComplete()) << "the controls hold the file, so it may be fixed and saved";
}

// The totals follow every change of the army: a pick, and each key typed
// in a count. A count half typed is no error box: the totals show "---" in
// the warning colour, the reason in their tooltip, until it is whole.
TEST_F(PresetLoadWindow, TotalsFollowEveryPickAndEveryKeyTypedInACount)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "", "<Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>"));
    openMini();
    QTest::keyClicks(window->Edit_Count_0, "0");
    EXPECT_EQ(window->Label8->text(), "200") << "20 krell";
    EXPECT_EQ(window->Label9->text(), "500");
    EXPECT_EQ(window->Label10->text(), "2000");
    pick(window->ComboBoxEx1, 2);
    EXPECT_EQ(window->Label8->text(), "60");
    pick(window->ComboBoxEx2, 3);
    EXPECT_EQ(errorTexts(), (QStringList {"'' is not a valid integer value."})) << "a pick with an empty count, as ever";
    EXPECT_EQ(window->Label8->text(), "60");

    QTest::keyClicks(window->Edit_Count_1, "1");
    EXPECT_EQ(window->Label8->text(), "560") << "one varm more";
    QTest::keyClick(window->Edit_Count_1, Qt::Key_Backspace);
    EXPECT_EQ(window->Label8->text(), "---");
    EXPECT_EQ(window->Label8->toolTip(), "'' is not a valid integer value.");
    EXPECT_EQ(window->Label8->palette().color(QPalette::WindowText), totalsWarningColour);
    QTest::keyClicks(window->Edit_Count_1, "-");
    EXPECT_EQ(window->Label8->text(), "---");
    QTest::keyClicks(window->Edit_Count_1, "2");
    EXPECT_EQ(window->Label8->text(), "-940");
    EXPECT_EQ(window->Label8->toolTip(), "");
    EXPECT_EQ(window->Label8->palette().color(QPalette::WindowText), window->Label1->palette().color(QPalette::WindowText));
    EXPECT_EQ(window->Label8->font(), window->Label1->font()) << "and the look of the other labels";
    EXPECT_EQ(prompts->errors.size(), 1u) << "typing shows no box";
}

// A stack whose creature the catalog lacks is left out of the totals, and
// they say so: the warning colour, and a tooltip naming the stack.
TEST_F(PresetLoadWindow, TotalsWithoutAnUnknownStackSayWhichOne)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_B", "",
                                   "<Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>"
                                   "<Item><Creature>CRT_RAVIXX</Creature><Count>46</Count></Item>"));
    openMini();
    EXPECT_EQ(window->Label8->text(), "20");
    const QString tip = "Army slot 2: creature \"CRT_RAVIXX\" is not in creatures.txt; the totals leave this stack out";
    for (const QWidget *shown : std::initializer_list<const QWidget *> {window->Label8, window->Label9, window->Label10, window->GroupBox7})
        EXPECT_EQ(shown->toolTip(), tip) << shown->objectName().toStdString();
    EXPECT_EQ(window->Label9->palette().color(QPalette::WindowText), totalsWarningColour);

    pick(window->ComboBoxEx2, 2);
    EXPECT_EQ(window->Label8->text(), "158");
    EXPECT_EQ(window->Label8->toolTip(), "") << "a creature chosen for the slot: whole totals";
    EXPECT_NE(window->Label9->palette().color(QPalette::WindowText), totalsWarningColour);
}

} // namespace

#include "window/WindowFixture.h"

#include "editing/CollectionEditing.h"

#include <QSignalSpy>

using namespace voriraz;
using namespace voriraz::test;

namespace {

// One collection group of the window, to run the same checks on all three.
struct Group
{
    const char *name;
    ListBox *TForm1::*list;
    IconComboBox *TForm1::*picker;
    SpeedButton *TForm1::*add;
    SpeedButton *TForm1::*remove;
    const char *placeholder;
    const char *firstEntry;
};

const Group groups[] = {
    {"Artifacts", &TForm1::ListBox1, &TForm1::ComboBoxEx9, &TForm1::SpeedButton1, &TForm1::SpeedButton2,
     placeholder::artifact, "ART_A"},
    {"Spells", &TForm1::ListBox2, &TForm1::ComboBoxEx10, &TForm1::SpeedButton3, &TForm1::SpeedButton4,
     placeholder::spell, "SPL_A"},
    {"Perks", &TForm1::ListBox3, &TForm1::ComboBoxEx16, &TForm1::SpeedButton8, &TForm1::SpeedButton9,
     placeholder::perk, "PRK_A"},
};

class CollectionWindow : public WindowTest, public ::testing::WithParamInterface<Group>
{
protected:
    void SetUp() override
    {
        MiniTree::write(tree.path());
        const std::string prefix = std::string(GetParam().firstEntry).substr(0, 4);
        writePreset("a.xdb", presetXml("1,2,3,4", "PSM_A", "", "",
                                       "<Item>ART_B</Item><Item>art_c</Item>",
                                       "<Item>PRK_B</Item><Item>prk_c</Item>",
                                       "<Item>SPL_B</Item><Item>spl_c</Item>"));
        openMini();
        list = window.get()->*GetParam().list;
        picker = window.get()->*GetParam().picker;
        add = window.get()->*GetParam().add;
        remove = window.get()->*GetParam().remove;
        entryPrefix = QString::fromStdString(prefix);
    }

    QStringList lines() const
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts.append(list->item(i)->text());
        return texts;
    }
    QString entry(const char *suffix) const { return entryPrefix + QLatin1String(suffix); }
    QString placeholderText() const { return QString::fromLatin1(GetParam().placeholder); }
    // "artifact", "spell" or "perk".
    QString kind() const { return QString::fromLatin1(GetParam().name).chopped(1).toLower(); }

    ListBox *list = nullptr;
    IconComboBox *picker = nullptr;
    SpeedButton *add = nullptr;
    SpeedButton *remove = nullptr;
    QString entryPrefix;
};

TEST_P(CollectionWindow, AddAppendsThePickersChoiceElseThePlaceholderAndSelectsIt)
{
    click(add);
    EXPECT_EQ(lines().last(), placeholderText()) << "the picker shows nothing after a load";
    pick(picker, 2);
    EXPECT_EQ(lines().last(), entry("C")) << "the pick went into the new line";
    click(add);
    EXPECT_EQ(lines(), (QStringList {entry("B"), entry("c").toLower(), entry("C"), entry("C")}));
    EXPECT_EQ(list->selectedLine(), 3);
    EXPECT_EQ(picker->currentIndex(), 2) << "the picker keeps its choice";
    EXPECT_EQ(window->PresetSession1.problems().size(), 2u) << "line 4 repeats line 3, line 3 repeats line 2";
}

TEST_P(CollectionWindow, PickReplacesTheSelectedLineOnly)
{
    pick(picker, 0);
    EXPECT_EQ(lines().size(), 2) << "no line selected: the pick changes no line";
    click(add);
    pick(picker, 0);
    EXPECT_EQ(lines().last(), entry("A"));
    EXPECT_EQ(list->selectedLine(), 2);
    clickLine(list, 0);
    pick(picker, 0);
    EXPECT_EQ(lines(), (QStringList {entry("A"), entry("c").toLower(), entry("A")}));
}

TEST_P(CollectionWindow, ClickingALineShowsItsEntryOrClearsThePicker)
{
    click(add);
    clickLine(list, 1);
    EXPECT_EQ(picker->currentIndex(), 2) << "found without regard to case";
    EXPECT_EQ(list->item(1)->text(), entry("c").toLower());
    clickLine(list, 2);
    EXPECT_EQ(picker->currentIndex(), -1) << "a placeholder matches no entry";
    clickLine(list, 0);
    EXPECT_EQ(picker->currentIndex(), 1);
}

TEST_P(CollectionWindow, DeleteRemovesTheSelectedLineWithoutAskingAndUndoBringsItBack)
{
    click(remove);
    EXPECT_EQ(lines().size(), 2) << "nothing selected, nothing deleted";

    clickLine(list, 0);
    click(remove);
    EXPECT_TRUE(prompts->questions.empty());
    EXPECT_EQ(lines(), (QStringList {entry("c").toLower()}));
    EXPECT_EQ(list->selectedLine(), -1);
    EXPECT_EQ(picker->currentIndex(), 1) << "the picker keeps what it showed";
    pick(picker, 0);
    EXPECT_EQ(lines(), (QStringList {entry("c").toLower()})) << "after a delete no line takes a pick";
    window->UndoAction->trigger();
    EXPECT_EQ(lines(), (QStringList {entry("B"), entry("c").toLower()}));
}

TEST_P(CollectionWindow, HandlersChangeNothingThatRunsAnotherHandler)
{
    QSignalSpy picked(picker, &QComboBox::activated);
    QSignalSpy clicked(list, &ListBox::userClicked);
    click(add);
    EXPECT_EQ(clicked.count(), 0);
    clickLine(list, 0);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(picked.count(), 0) << "showing a line in the picker is no pick";
}

INSTANTIATE_TEST_SUITE_P(Groups, CollectionWindow, ::testing::ValuesIn(groups),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace

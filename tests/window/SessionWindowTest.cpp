// The window as a view of PresetSession1: changes travel both ways, the live
// checks are marked on their controls and lead to them, the artifact flag is
// a check box, and the pickers draw their icons whole.

#include "window/WindowFixture.h"

#include <QAbstractItemView>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace voriraz;
using namespace voriraz::test;

namespace {

class SessionWindow : public WindowTest
{
protected:
    void SetUp() override
    {
        MiniTree::write(tree.path());
        writePreset("a.xdb", presetXml("1,2,3,4", "PSM_A", "", "", "<Item>ART_A</Item><Item>ART_B</Item>",
                                       "<Item>PRK_A</Item>", "<Item>SPL_A</Item>"));
        openMini();
    }

    // The frames drawn around controls with problems.
    int frames() const { return static_cast<int>(window->findChildren<QFrame *>(QStringLiteral("ProblemFrame")).size()); }
};

TEST_F(SessionWindow, EachControlsChangeReachesTheSessionAndEachSessionChangeItsControl)
{
    PresetSession &session = window->PresetSession1;
    const bool cart = session.values().warMachines[2];
    // Control to session: one row per kind of control.
    const std::pair<std::function<void()>, std::function<bool()>> rows[] = {
        {[&] { window->Edit3->setText("30"); }, [&] { return session.values().attributes[2] == "30"; }},
        {[&] { window->Edit_Count_4->setText("12"); }, [&] { return session.values().counts[4] == "12"; }},
        {[&] { pick(window->ComboBoxEx5, 2); }, [&] { return session.values().creatures[4] == 2; }},
        {[&] { pick(window->ComboBoxEx13, 1); }, [&] { return session.values().skills[2] == 1; }},
        {[&] { pick(window->ComboBox4, 2); }, [&] { return session.values().skillMasteries[2] == 2; }},
        {[&] { pick(window->ComboBox1, 1); }, [&] { return session.values().primaryMastery == 1; }},
        {[&] { click(window->CheckBox3); }, [&] { return session.values().warMachines[2] != cart; }},
    };
    for (const auto &[change, reached] : rows) {
        change();
        EXPECT_TRUE(reached());
    }
    EXPECT_EQ(session.undoCount(), 7u);
    EXPECT_TRUE(window->isWindowModified());

    // Session to control.
    session.setAttribute(0, "77");
    session.setCreature(0, 3);
    session.setCount(0, "2");
    session.edit([](PresetControls &v) { v.spells.lines.push_back("SPL_C"); });
    EXPECT_EQ(window->Edit1->text(), "77");
    EXPECT_EQ(window->ComboBoxEx1->currentIndex(), 3);
    EXPECT_EQ(window->Edit_Count_0->text(), "2");
    EXPECT_EQ(window->ListBox2->lines(), (std::vector<std::string> {"SPL_A", "SPL_C"}));
    EXPECT_EQ(window->Label8->text(), "1036") << "the totals follow: 2 Varm and 12 Ossik";
    while (session.canUndo())
        session.undo();
    EXPECT_EQ(window->Edit3->text(), "3");
    EXPECT_EQ(window->CheckBox3->isChecked(), cart);
    EXPECT_FALSE(window->isWindowModified());
}

TEST_F(SessionWindow, ProblemsAreMarkedOnTheirControlsAndLeadToThem)
{
    EXPECT_EQ(window->ProblemsButton->text(), "No problems");
    EXPECT_EQ(frames(), 0);
    window->Edit2->setText("lots");
    window->PresetSession1.edit([](PresetControls &v) { v.perks.lines.push_back("prk_a"); });
    EXPECT_EQ(window->ProblemsButton->text(), "2 problems");
    EXPECT_EQ(frames(), 2);
    EXPECT_EQ(window->Edit2->toolTip(), "Defence: \"lots\" is not a whole number from -2147483648 to 2147483647.");
    EXPECT_EQ(window->ListBox3->item(1)->toolTip(), "Perks, line 2: prk_a is already on line 1.");
    ASSERT_EQ(window->ProblemsMenu->actions().size(), 2);

    window->PageControl1->setCurrentWidget(window->TabSheet3);
    window->ProblemsMenu->actions()[1]->trigger();
    EXPECT_EQ(window->PageControl1->currentWidget(), window->TabSheet1);
    EXPECT_EQ(window->ListBox3->selectedLine(), 1);
    EXPECT_EQ(window->ComboBoxEx16->currentIndex(), 0) << "the line is shown in its picker";

    window->PageControl1->setCurrentWidget(window->TabSheet2);
    window->activateWindow();
    window->ProblemsMenu->actions()[0]->trigger();
    EXPECT_EQ(window->PageControl1->currentWidget(), window->TabSheet1);

    window->UndoAction->trigger();
    window->UndoAction->trigger();
    EXPECT_EQ(frames(), 0);
    EXPECT_EQ(window->Edit2->toolTip(), "");
    EXPECT_FALSE(window->ProblemsButton->isEnabled());
}

TEST_F(SessionWindow, TheUntransferableFlagIsACheckBoxThatIsUndoneAndSaved)
{
    QListWidgetItem *second = window->ListBox1->item(1);
    ASSERT_TRUE(second->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(second->checkState(), Qt::Unchecked);
    second->setCheckState(Qt::Checked);
    EXPECT_TRUE(PresetSession::isUntransferable(window->PresetSession1.values(), 1));
    click(window->SpeedButton7);
    const std::string saved = readFile(presets() / "a.xdb");
    const std::string flags = saved.substr(std::min(saved.find("<isUntransferable>"), saved.size()));
    EXPECT_LT(flags.find("<Item>0</Item>"), flags.find("<Item>1</Item>")) << saved;
    EXPECT_NE(flags.find("<Item>1</Item>"), std::string::npos) << saved;
    window->UndoAction->trigger();
    EXPECT_EQ(window->ListBox1->item(1)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(window->isWindowModified());
}

TEST_F(SessionWindow, APickerRowDrawsAll32ColumnsOfItsIcon)
{
    // An icon whose first and last columns have colours of their own.
    QPixmap picture(32, 32);
    picture.fill(Qt::yellow);
    {
        QPainter painter(&picture);
        painter.fillRect(0, 0, 1, 32, Qt::blue);
        painter.fillRect(31, 0, 1, 32, Qt::green);
    }
    IconComboBox *picker = window->ComboBoxEx9;
    picker->setItemIcon(0, QIcon(picture));

    QAbstractItemView *view = picker->view();
    QStyleOptionViewItem option;
    option.initFrom(view);
    const QModelIndex index = picker->model()->index(0, 0);
    const QSize row = view->itemDelegate()->sizeHint(option, index);
    EXPECT_GE(row.height(), 32) << "the row is as tall as the icon";
    option.rect = QRect(QPoint(0, 0), QSize(std::max(row.width(), 200), row.height()));
    QImage shot(option.rect.size(), QImage::Format_RGB32);
    shot.fill(Qt::white);
    {
        QPainter painter(&shot);
        view->itemDelegate()->paint(&painter, option, index);
    }
    // The icon's rows and columns, counted where its colours are.
    auto columnsOf = [&](QColor colour) {
        int columns = 0;
        for (int x = 0; x < shot.width(); ++x) {
            int rows = 0;
            for (int y = 0; y < shot.height(); ++y)
                rows += shot.pixelColor(x, y) == colour;
            columns += rows == 32;
        }
        return columns;
    };
    EXPECT_EQ(columnsOf(Qt::blue), 1);
    EXPECT_EQ(columnsOf(Qt::green), 1);
    EXPECT_EQ(columnsOf(Qt::yellow), 30);

    // The closed box shows the same icon whole.
    picker->setCurrentIndex(0);
    shot = picker->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(columnsOf(Qt::blue), 1);
    EXPECT_EQ(columnsOf(Qt::green), 1);
    EXPECT_EQ(columnsOf(Qt::yellow), 30);
}

TEST_F(SessionWindow, EscapeInAnOpenPickerClearsTheFilterFirstThenCloses)
{
    IconComboBox *picker = window->ComboBoxEx9;
    window->PageControl1->setCurrentWidget(window->TabSheet3);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    picker->showPopup();
    QWidget *view = picker->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 2000));
    QTest::keyClicks(view, "b");
    EXPECT_EQ(picker->filter(), "b");
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(picker->filter(), "");
    EXPECT_TRUE(view->isVisible()) << "the first Escape only clears the filter";
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 2000));
}

TEST_F(SessionWindow, EveryButtonHasATooltipAndTheWarMachinesAreNamed)
{
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        // Check boxes are named by their labels; the tab bar's scroll arrows
        // are Qt's own.
        if (qobject_cast<QCheckBox *>(button) || !qobject_cast<SpeedButton *>(button))
            continue;
        EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
    }
    for (QWidget *machine : {static_cast<QWidget *>(window->CheckBox1), static_cast<QWidget *>(window->Image10)})
        EXPECT_FALSE(machine->toolTip().isEmpty()) << machine->objectName().toStdString();
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("WarMachineLabel3"))->text(), "Cart");
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "a fixed size";
}

} // namespace

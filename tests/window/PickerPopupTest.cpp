#include "window/WindowFixture.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

using namespace voriraz;
using namespace voriraz::test;

namespace {

class PickerPopup : public WindowTest
{
protected:
    void SetUp() override
    {
        copyTree(VORIRAZ_SAMPLE_DATA, tree / "data");
        open(tree.path());
    }

    // Opens the picker's drop-down and checks what it shows.
    void expectPopup(IconComboBox *picker, int rows)
    {
        SCOPED_TRACE(picker->objectName().toStdString());
        QAbstractItemView *view = picker->view();
        picker->showPopup();
        QTest::qWait(20);
        ASSERT_TRUE(view->isVisible());
        const int rowHeight = view->sizeHintForRow(0);
        ASSERT_GT(rowHeight, 0);
        const int first = view->indexAt(QPoint(1, 1)).row();
        const int last = view->indexAt(QPoint(1, view->viewport()->height() - 2)).row();
        EXPECT_EQ(last - first + 1, rows) << "visible rows; viewport " << view->viewport()->height() << ", row " << rowHeight;

        int widest = 0;
        for (int i = 0; i < picker->count(); ++i)
            widest = std::max(widest, view->fontMetrics().horizontalAdvance(picker->itemText(i)));
        EXPECT_GE(view->viewport()->width(), picker->iconSize().width() + widest) << "every identifier can be read";
        picker->hidePopup();
    }
};

TEST_F(PickerPopup, OpensAListOfItsRowsWideEnoughForTheIdentifiers)
{
    window->PageControl1->setCurrentWidget(window->TabSheet2);
    expectPopup(window->ComboBoxEx1, 16);
    window->PageControl1->setCurrentWidget(window->TabSheet1);
    expectPopup(window->ComboBoxEx11, 12);
    expectPopup(window->ComboBoxEx16, 16);
    window->PageControl1->setCurrentWidget(window->TabSheet3);
    expectPopup(window->ComboBoxEx9, 16);
}

// What the mouse resting on a picker shows.
QString tooltipOf(QComboBox *picker)
{
    // A tooltip fades out a moment after it is told to go.
    QToolTip::hideText();
    for (int waited = 0; QToolTip::isVisible() && waited < 3000; waited += 20)
        QTest::qWait(20);
    const QPoint where(6, 6);
    QHelpEvent help(QEvent::ToolTip, where, picker->mapToGlobal(where));
    QCoreApplication::sendEvent(picker, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The closed picker shows only the icon, and many icons look alike: the
// identifier shows as its tooltip, also after the program changed the
// selection without a signal (a preset load).
TEST_F(PickerPopup, TheClosedPickerTellsItsIdentifierAsATooltip)
{
    window->PageControl1->setCurrentWidget(window->TabSheet2);
    QComboBox *slot1 = window->ComboBoxEx1;
    ASSERT_GT(slot1->currentIndex(), 0);
    EXPECT_EQ(tooltipOf(slot1), slot1->currentText());
    const QString first = slot1->currentText();

    int other = 1;
    while (window->XMLDocument1.IsActive() && other < window->FileListBox1->count()) {
        clickFile(other);
        if (slot1->currentText() != first)
            break;
        ++other;
    }
    ASSERT_NE(slot1->currentText(), first) << "a preset with another first creature";
    EXPECT_EQ(tooltipOf(slot1), slot1->currentText());

    pick(slot1, 0);
    EXPECT_EQ(tooltipOf(slot1), slot1->itemText(0)) << "the empty slot's entry too";

    window->PageControl1->setCurrentWidget(window->TabSheet3);
    ASSERT_EQ(window->ComboBoxEx9->currentIndex(), -1);
    EXPECT_EQ(tooltipOf(window->ComboBoxEx9), "") << "no tooltip without a selection";
}

} // namespace

#include "window/WindowFixture.h"

#include <QAbstractItemView>
#include <QTest>

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

} // namespace

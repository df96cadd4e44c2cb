#include "window/WindowFixture.h"

#include <QDialog>
#include <QFontInfo>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>
#include <map>
#include <set>

using namespace voriraz;
using namespace voriraz::test;

namespace {

enum class Kind {
    GroupBox, PageControl, Page, Bevel, SpeedButton, Label, Picture, FileList, List, IconPicker, NameList, Edit, CheckBox
};

// One control of the window: class, parent, place and caption. A null
// caption is not checked; pages have no place of their own.
struct ControlRow
{
    const char *name;
    Kind kind;
    const char *parent;
    int x, y, w, h;
    const char *caption = nullptr;
};

const ControlRow controls[] = {
    {"GroupBox1", Kind::GroupBox, "Form1", 8, 8, 185, 377, "Presets"},
    {"PageControl1", Kind::PageControl, "Form1", 200, 8, 513, 377},
    {"Bevel1", Kind::Bevel, "Form1", 8, 387, 705, 6},
    {"SpeedButton6", Kind::SpeedButton, "Form1", 9, 400, 80, 50, "Create mod"},
    {"Label11", Kind::Label, "Form1", 267, 415, 169, 13},
    {"SpeedButton5", Kind::SpeedButton, "Form1", 631, 400, 80, 50, "Close"},
    {"ProblemsButton", Kind::SpeedButton, "Form1", 531, 400, 92, 50},
    {"FileListBox1", Kind::FileList, "GroupBox1", 9, 16, 165, 297},
    {"SpeedButton7", Kind::SpeedButton, "GroupBox1", 8, 320, 169, 49, "Save preset"},
    {"TabSheet1", Kind::Page, "PageControl1", -1, -1, -1, -1, "Attributes && Skills"},
    {"TabSheet2", Kind::Page, "PageControl1", -1, -1, -1, -1, "Creatures"},
    {"TabSheet3", Kind::Page, "PageControl1", -1, -1, -1, -1, "Artifacts && Spells"},
    // Attributes & Skills
    {"GroupBox3", Kind::GroupBox, "TabSheet1", 8, 8, 265, 65, "Attributes"},
    {"Label2", Kind::Label, "GroupBox3", 9, 16, 39, 13, "Offence"},
    {"Label3", Kind::Label, "GroupBox3", 73, 16, 40, 13, "Defence"},
    {"Label4", Kind::Label, "GroupBox3", 137, 16, 52, 13, "Spellpower"},
    {"Label5", Kind::Label, "GroupBox3", 201, 16, 52, 13, "Knowledge"},
    {"Edit1", Kind::Edit, "GroupBox3", 9, 32, 52, 21},
    {"Edit2", Kind::Edit, "GroupBox3", 73, 32, 52, 21},
    {"Edit3", Kind::Edit, "GroupBox3", 137, 32, 52, 21},
    {"Edit4", Kind::Edit, "GroupBox3", 201, 32, 52, 21},
    {"GroupBox2", Kind::GroupBox, "TabSheet1", 8, 80, 265, 215, "Skills"},
    {"ComboBoxEx11", Kind::IconPicker, "GroupBox2", 9, 18, 55, 38},
    {"ComboBoxEx12", Kind::IconPicker, "GroupBox2", 9, 56, 55, 38},
    {"ComboBoxEx13", Kind::IconPicker, "GroupBox2", 9, 94, 55, 38},
    {"ComboBoxEx14", Kind::IconPicker, "GroupBox2", 9, 132, 55, 38},
    {"ComboBoxEx15", Kind::IconPicker, "GroupBox2", 9, 170, 55, 38},
    {"ComboBox2", Kind::NameList, "GroupBox2", 70, 24, 187, 21},
    {"ComboBox3", Kind::NameList, "GroupBox2", 70, 62, 187, 21},
    {"ComboBox4", Kind::NameList, "GroupBox2", 70, 100, 187, 21},
    {"ComboBox5", Kind::NameList, "GroupBox2", 70, 138, 187, 21},
    {"ComboBox6", Kind::NameList, "GroupBox2", 70, 176, 187, 21},
    {"GroupBox6", Kind::GroupBox, "TabSheet1", 8, 296, 265, 49, "Primary Skill Mastery"},
    {"ComboBox1", Kind::NameList, "GroupBox6", 9, 20, 248, 21},
    {"GroupBox5", Kind::GroupBox, "TabSheet1", 279, 6, 218, 339, "Perks"},
    {"ComboBoxEx16", Kind::IconPicker, "GroupBox5", 9, 22, 55, 38},
    {"SpeedButton8", Kind::SpeedButton, "GroupBox5", 96, 16, 53, 44, "Add"},
    {"SpeedButton9", Kind::SpeedButton, "GroupBox5", 155, 16, 54, 44, "Delete"},
    {"ListBox3", Kind::List, "GroupBox5", 9, 66, 200, 263},
    // Creatures
    {"CreaturesBox", Kind::GroupBox, "TabSheet2", 8, 7, 449, 94, "Creatures"},
    {"ComboBoxEx1", Kind::IconPicker, "CreaturesBox", 9, 18, 55, 38},
    {"ComboBoxEx2", Kind::IconPicker, "CreaturesBox", 63, 18, 55, 38},
    {"ComboBoxEx3", Kind::IconPicker, "CreaturesBox", 117, 18, 55, 38},
    {"ComboBoxEx4", Kind::IconPicker, "CreaturesBox", 171, 18, 55, 38},
    {"ComboBoxEx5", Kind::IconPicker, "CreaturesBox", 225, 18, 55, 38},
    {"ComboBoxEx6", Kind::IconPicker, "CreaturesBox", 279, 18, 55, 38},
    {"ComboBoxEx7", Kind::IconPicker, "CreaturesBox", 333, 18, 55, 38},
    {"ComboBoxEx8", Kind::IconPicker, "CreaturesBox", 387, 18, 55, 38},
    {"Edit_Count_0", Kind::Edit, "CreaturesBox", 9, 62, 38, 21},
    {"Edit_Count_1", Kind::Edit, "CreaturesBox", 63, 62, 38, 21},
    {"Edit_Count_2", Kind::Edit, "CreaturesBox", 117, 62, 38, 21},
    {"Edit_Count_3", Kind::Edit, "CreaturesBox", 171, 62, 38, 21},
    {"Edit_Count_4", Kind::Edit, "CreaturesBox", 225, 62, 38, 21},
    {"Edit_Count_5", Kind::Edit, "CreaturesBox", 279, 62, 38, 21},
    {"Edit_Count_6", Kind::Edit, "CreaturesBox", 333, 62, 38, 21},
    {"Edit_Count_7", Kind::Edit, "CreaturesBox", 387, 62, 38, 21},
    {"GroupBox4", Kind::GroupBox, "TabSheet2", 8, 112, 129, 107, "War Machines"},
    {"Bevel9", Kind::Bevel, "GroupBox4", 7, 18, 34, 34},
    {"Bevel10", Kind::Bevel, "GroupBox4", 44, 18, 34, 34},
    {"Bevel11", Kind::Bevel, "GroupBox4", 81, 18, 34, 34},
    {"Image9", Kind::Picture, "GroupBox4", 9, 19, 32, 32},
    {"Image10", Kind::Picture, "GroupBox4", 46, 19, 32, 32},
    {"Image11", Kind::Picture, "GroupBox4", 83, 19, 32, 32},
    {"WarMachineLabel1", Kind::Label, "GroupBox4", 4, 56, 41, 16, "Ballista"},
    {"WarMachineLabel2", Kind::Label, "GroupBox4", 45, 56, 33, 16, "Tent"},
    {"WarMachineLabel3", Kind::Label, "GroupBox4", 80, 56, 37, 16, "Cart"},
    {"CheckBox1", Kind::CheckBox, "GroupBox4", 15, 78, 17, 17, ""},
    {"CheckBox2", Kind::CheckBox, "GroupBox4", 55, 78, 17, 17, ""},
    {"CheckBox3", Kind::CheckBox, "GroupBox4", 92, 78, 25, 17, ""},
    {"GroupBox7", Kind::GroupBox, "TabSheet2", 144, 112, 185, 89, "Statistics"},
    {"Label1", Kind::Label, "GroupBox7", 8, 16, 84, 13, "Total experience:"},
    {"Label6", Kind::Label, "GroupBox7", 8, 40, 82, 13, "Total cost (gold):"},
    {"Label7", Kind::Label, "GroupBox7", 8, 64, 61, 13, "Total power:"},
    {"Label8", Kind::Label, "GroupBox7", 104, 16, 12, 13, "---"},
    {"Label9", Kind::Label, "GroupBox7", 104, 40, 12, 13, "---"},
    {"Label10", Kind::Label, "GroupBox7", 104, 64, 12, 13, "---"},
    // Artifacts & Spells
    {"ArtifactsBox", Kind::GroupBox, "TabSheet3", 7, 6, 218, 339, "Artifacts"},
    {"ComboBoxEx9", Kind::IconPicker, "ArtifactsBox", 9, 22, 55, 38},
    {"SpeedButton1", Kind::SpeedButton, "ArtifactsBox", 96, 16, 53, 44, "Add"},
    {"SpeedButton2", Kind::SpeedButton, "ArtifactsBox", 155, 16, 54, 44, "Delete"},
    {"ListBox1", Kind::List, "ArtifactsBox", 9, 66, 200, 263},
    {"SpellsBox", Kind::GroupBox, "TabSheet3", 240, 6, 218, 339, "Spells"},
    {"ComboBoxEx10", Kind::IconPicker, "SpellsBox", 9, 22, 55, 38},
    {"SpeedButton3", Kind::SpeedButton, "SpellsBox", 96, 16, 53, 44, "Add"},
    {"SpeedButton4", Kind::SpeedButton, "SpellsBox", 155, 16, 54, 44, "Delete"},
    {"ListBox2", Kind::List, "SpellsBox", 9, 66, 200, 263},
};

void PrintTo(const ControlRow &row, std::ostream *out)
{
    *out << row.name;
}

// Whether the widget is of the class the kind maps to; QLabel and the
// scroll areas are frames too, so bevels must be plain frames.
bool isOfKind(QWidget *w, Kind kind)
{
    switch (kind) {
    case Kind::GroupBox: return qobject_cast<QGroupBox *>(w);
    case Kind::PageControl: return qobject_cast<QTabWidget *>(w);
    case Kind::Page: return w->metaObject() == &QWidget::staticMetaObject;
    case Kind::Bevel: return w->metaObject() == &QFrame::staticMetaObject;
    case Kind::SpeedButton: return qobject_cast<SpeedButton *>(w);
    case Kind::Label: return qobject_cast<QLabel *>(w) && qobject_cast<QLabel *>(w)->pixmap().isNull();
    case Kind::Picture: return qobject_cast<QLabel *>(w);
    case Kind::FileList: return qobject_cast<FileListBox *>(w);
    case Kind::List: return qobject_cast<ListBox *>(w) && !qobject_cast<FileListBox *>(w);
    case Kind::IconPicker: return qobject_cast<IconComboBox *>(w);
    case Kind::NameList: return qobject_cast<QComboBox *>(w) && !qobject_cast<IconComboBox *>(w);
    case Kind::Edit: return qobject_cast<QLineEdit *>(w);
    case Kind::CheckBox: return qobject_cast<QCheckBox *>(w);
    }
    return false;
}

QString captionOf(QWidget *w, QTabWidget *pages)
{
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (pages->indexOf(w) >= 0)
        return pages->tabText(pages->indexOf(w));
    return QStringLiteral("<no caption>");
}

QImage imageOf(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

// A window whose start-up stopped at the preset load (the presets directory
// is empty), so no statistics were computed and the value labels still
// have their described size.
class InventoryRow : public ::testing::TestWithParam<ControlRow>
{
protected:
    static void SetUpTestSuite()
    {
        tree = std::make_unique<TempDir>();
        MiniTree::write(tree->path());
        window = std::make_unique<TForm1>(tree->path().string(), std::make_shared<RecordingPrompts>());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    static void TearDownTestSuite()
    {
        window.reset();
        tree.reset();
    }

    static std::unique_ptr<TempDir> tree;
    static std::unique_ptr<TForm1> window;
};

std::unique_ptr<TempDir> InventoryRow::tree;
std::unique_ptr<TForm1> InventoryRow::window;

TEST_P(InventoryRow, MatchesTheWindowDescription)
{
    const ControlRow &row = GetParam();
    const QList<QWidget *> found = window->findChildren<QWidget *>(QString::fromLatin1(row.name));
    ASSERT_EQ(found.size(), 1) << "widgets named " << row.name;
    QWidget *w = found.front();

    EXPECT_TRUE(isOfKind(w, row.kind)) << row.name << " is a " << w->metaObject()->className();
    if (row.kind == Kind::Page) {
        EXPECT_GE(window->PageControl1->indexOf(w), 0) << row.name << " is not a page of PageControl1";
    } else {
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), row.parent) << "parent of " << row.name;
        const QString parent = QString::fromLatin1(row.parent);
        if (parent == "GroupBox3" || parent == "GroupBox7") {
            // Boxes whose first row is captions move their rows down to clear
            // the title at the font shown, and their captions grow to their text.
            const QRect place = w->geometry();
            EXPECT_TRUE(place.x() >= row.x && place.y() >= row.y && place.y() <= row.y + 8 && place.width() >= row.w
                        && place.height() >= row.h)
                << "place of " << row.name;
        } else {
            EXPECT_EQ(w->geometry(), QRect(row.x, row.y, row.w, row.h)) << "place of " << row.name;
        }
    }
    if (row.caption) {
        EXPECT_EQ(captionOf(w, window->PageControl1), row.caption) << "caption of " << row.name;
    }
    EXPECT_EQ(w->font().pointSize(), 8) << "the window's font reaches " << row.name;
}

INSTANTIATE_TEST_SUITE_P(Window, InventoryRow, ::testing::ValuesIn(controls),
                         [](const ::testing::TestParamInfo<ControlRow> &row) { return std::string(row.param.name); });

class Inventory : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }

    template<typename T = QWidget>
    T *widget(const QString &name) const { return window->findChild<T *>(name); }
};

TEST_F(Inventory, EveryControlIsDescribedAndNoNameIsUsedTwice)
{
    openMini();
    std::set<QString> described;
    for (const ControlRow &row : controls)
        described.insert(QString::fromLatin1(row.name));
    ASSERT_EQ(described.size(), std::size(controls)) << "the table itself names a control twice";

    // The controls are the children of the window, its pages and its group
    // boxes; whatever lies deeper belongs to the insides of a Qt widget.
    QList<QWidget *> holders {window.get(), window->TabSheet1, window->TabSheet2, window->TabSheet3};
    for (QGroupBox *box : window->findChildren<QGroupBox *>())
        holders.append(box);
    std::multiset<QString> present;
    for (int page = 0; page < window->PageControl1->count(); ++page)
        present.insert(window->PageControl1->widget(page)->objectName());
    // Dialogs the window owns (the save dialog) are components, not controls.
    // The red frames of the live checks are marks, not controls.
    for (QWidget *holder : holders)
        for (QWidget *child : holder->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!qobject_cast<QDialog *>(child) && !qobject_cast<QMenu *>(child) && child->objectName() != "ProblemFrame")
                present.insert(child->objectName());

    for (const QString &name : present) {
        EXPECT_EQ(present.count(name), 1u) << name.toStdString() << " is used more than once";
        EXPECT_TRUE(described.count(name)) << name.toStdString() << " is not a control of the window";
    }
    for (const QString &name : described) {
        EXPECT_EQ(window->findChildren<QWidget *>(name).size(), 1) << name.toStdString();
    }
    EXPECT_EQ(window->objectName(), "Form1");
}

TEST_F(Inventory, WindowIsAFixedCentredBoxWithItsCaptionAndFont)
{
    openMini();
    EXPECT_EQ(window->windowTitle(), "Voriraz Editor v0.2");
    EXPECT_EQ(window->size(), QSize(722, 457));
    EXPECT_EQ(window->minimumSize(), QSize(722, 457));
    EXPECT_EQ(window->maximumSize(), QSize(722, 457));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));

    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    const QFont font = window->font();
    EXPECT_EQ(font.family(), "Tahoma");
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_FALSE(font.bold() || font.italic() || font.underline() || font.strikeOut());
    const QFontInfo shown(font);
    EXPECT_TRUE(shown.family() == "Tahoma" || (shown.family().contains("Sans") && !shown.fixedPitch()))
        << "shown in " << shown.family().toStdString();

    // The whole window, frame included, is centred.
    const QPoint screen = window->screen()->availableGeometry().center();
    const QPoint centre = window->frameGeometry().center();
    EXPECT_NEAR(centre.x(), screen.x(), 1);
    EXPECT_NEAR(centre.y(), screen.y(), 1);
}

TEST_F(Inventory, PagesInOrderWithTheFirstShown)
{
    openMini();
    QTabWidget *pages = window->PageControl1;
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->widget(0), window->TabSheet1);
    EXPECT_EQ(pages->widget(1), window->TabSheet2);
    EXPECT_EQ(pages->widget(2), window->TabSheet3);
    EXPECT_EQ(pages->currentWidget(), window->TabSheet1);
}

TEST_F(Inventory, PickersShowIconsAndOnlyOfferTheirItems)
{
    openMini();
    for (int n = 1; n <= 16; ++n) {
        const QString name = QStringLiteral("ComboBoxEx%1").arg(n);
        SCOPED_TRACE(name.toStdString());
        auto *picker = widget<QComboBox>(name);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->iconSize(), QSize(32, 32));
        EXPECT_FALSE(picker->isEditable());
        EXPECT_EQ(picker->maxVisibleItems(), n >= 11 && n <= 15 ? 12 : 16);
    }
    for (int n = 1; n <= 6; ++n) {
        auto *list = widget<QComboBox>(QStringLiteral("ComboBox%1").arg(n));
        ASSERT_NE(list, nullptr);
        EXPECT_FALSE(list->isEditable()) << "ComboBox" << n;
    }
}

TEST_F(Inventory, ValueLabelsShowDashesAfterAStartUpThatStoppedBeforeLoading)
{
    writePreset("a.xdb", presetXml("1,2,3,4", "PSM_A", "", "<Item><Creature>CRT_KRELL</Creature><Count>1</Count></Item>"));
    std::filesystem::remove(tree / "data/perks.txt");
    openMini();
    ASSERT_EQ(prompts->errors.size(), 1u);
    const std::pair<QLabel *, int> values[] = {{window->Label8, 16}, {window->Label9, 40}, {window->Label10, 64}};
    for (const auto &[label, top] : values) {
        EXPECT_EQ(label->text(), "---") << label->objectName().toStdString();
        EXPECT_EQ(label->width(), 12) << label->objectName().toStdString();
        EXPECT_GE(label->y(), top) << label->objectName().toStdString();
    }
}

// The captions inside group boxes stay clear of the boxes' titles and borders
// and of each other, at the window's font and at the Linux desktop's.
TEST_F(Inventory, CaptionsClearTheirGroupBoxesBordersAtEitherFont)
{
    openMini();
    const QFont own = window->font();
    for (const QFont &font : {own, QFont(QStringLiteral("DejaVu Sans"), 8)}) {
        window->setFont(font);
        SCOPED_TRACE(QFontInfo(font).family().toStdString());
        for (QGroupBox *box : window->findChildren<QGroupBox *>()) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.lineWidth = 1;
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            const QRect frame = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);
            const QList<QLabel *> captions = box->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
            for (QLabel *caption : captions) {
                if (!caption->pixmap().isNull())
                    continue;
                const std::string name = caption->objectName().toStdString();
                EXPECT_GT(caption->y(), std::max(title.bottom(), frame.top())) << name << " runs into the title or border";
                EXPECT_GE(caption->height(), caption->fontMetrics().height()) << name << " cuts its text";
                // At the window's own font every caption shows its whole text.
                if (font == own && caption->text() != "---")
                    EXPECT_GE(caption->width(), caption->fontMetrics().horizontalAdvance(caption->text()))
                        << name << " cuts its text short";
                EXPECT_LT(caption->geometry().bottom(), frame.bottom()) << name;
                for (QWidget *other : box->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                    if (other != caption && other->metaObject() != &QFrame::staticMetaObject) {
                        EXPECT_FALSE(caption->geometry().intersects(other->geometry()))
                            << name << " overlaps " << other->objectName().toStdString();
                    }
                }
            }
        }
    }
}

// The described tab order of each parent's children. Each child stands for
// itself and everything inside it that takes focus; all of one child's
// places in the window's focus chain must come before the next child's.
struct TabOrderRow
{
    const char *parent;
    std::vector<const char *> children;
};

const TabOrderRow tabOrders[] = {
    {"Form1", {"GroupBox1", "PageControl1"}},
    {"PageControl1", {"TabSheet1", "TabSheet2", "TabSheet3"}},
    {"TabSheet1", {"GroupBox2", "GroupBox3", "GroupBox5", "GroupBox6"}},
    {"GroupBox3", {"Edit1", "Edit2", "Edit3", "Edit4"}},
    {"GroupBox2", {"ComboBoxEx11", "ComboBoxEx12", "ComboBoxEx13", "ComboBoxEx14", "ComboBoxEx15",
                   "ComboBox2", "ComboBox3", "ComboBox4", "ComboBox5", "ComboBox6"}},
    {"GroupBox5", {"ListBox3", "ComboBoxEx16"}},
    {"TabSheet2", {"CreaturesBox", "GroupBox4", "GroupBox7"}},
    {"CreaturesBox", {"ComboBoxEx1", "ComboBoxEx2", "ComboBoxEx3", "ComboBoxEx4", "ComboBoxEx5", "ComboBoxEx6",
                      "ComboBoxEx7", "ComboBoxEx8", "Edit_Count_0", "Edit_Count_1", "Edit_Count_2", "Edit_Count_3",
                      "Edit_Count_4", "Edit_Count_5", "Edit_Count_6", "Edit_Count_7"}},
    {"GroupBox4", {"CheckBox1", "CheckBox2", "CheckBox3"}},
    {"TabSheet3", {"ArtifactsBox", "SpellsBox"}},
    {"ArtifactsBox", {"ListBox1", "ComboBoxEx9"}},
    {"SpellsBox", {"ListBox2", "ComboBoxEx10"}},
};

TEST_F(Inventory, FocusChainFollowsTheTabOrderOfEveryParent)
{
    openMini();
    // Places in the chain of the described controls that take focus.
    std::map<QWidget *, int> place;
    QWidget *first = window->FileListBox1;
    QWidget *w = first;
    int index = 0;
    do {
        if (!w->objectName().isEmpty() && (w->focusPolicy() & Qt::TabFocus))
            place.emplace(w, index);
        w = w->nextInFocusChain();
        ++index;
    } while (w != first && index < 10000);

    auto placesOf = [&](const char *name) {
        QWidget *root = widget(QString::fromLatin1(name));
        std::vector<int> places;
        if (!root)
            return places;
        QList<QWidget *> inside = root->findChildren<QWidget *>();
        inside.prepend(root);
        for (QWidget *part : inside)
            if (place.count(part))
                places.push_back(place[part]);
        std::sort(places.begin(), places.end());
        return places;
    };

    for (const TabOrderRow &row : tabOrders) {
        SCOPED_TRACE(row.parent);
        const char *before = nullptr;
        int lastPlace = -1;
        for (const char *child : row.children) {
            ASSERT_NE(widget(QString::fromLatin1(child)), nullptr) << child;
            const std::vector<int> places = placesOf(child);
            if (places.empty())
                continue; // nothing in it takes focus
            EXPECT_GT(places.front(), lastPlace) << child << " comes before " << (before ? before : "?");
            before = child;
            lastPlace = places.back();
        }
    }
    for (const char *name : {"FileListBox1", "PageControl1", "Edit1", "ComboBox1", "ComboBoxEx16", "ListBox3",
                             "Edit_Count_7", "CheckBox3", "ListBox1", "ComboBoxEx10"})
        EXPECT_TRUE(widget(QString::fromLatin1(name))->focusPolicy() & Qt::TabFocus) << name << " takes no focus";
}

TEST_F(Inventory, SpeedButtonsTakeNoFocusAndShowTheirGlyphAboveTheCaption)
{
    openMini();
    std::map<int, QImage> glyphs;
    for (int n = 1; n <= 9; ++n) {
        SCOPED_TRACE("SpeedButton" + std::to_string(n));
        auto *button = widget<SpeedButton>(QStringLiteral("SpeedButton%1").arg(n));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
        EXPECT_TRUE(button->autoRaise()) << "flat";
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(button->iconSize(), QSize(16, 16));
        ASSERT_FALSE(button->icon().isNull());
        glyphs[n] = imageOf(button->icon());
    }
    // The Add buttons share a picture, so do the Delete buttons; Close,
    // Create mod and Save preset have their own.
    EXPECT_EQ(glyphs[1], glyphs[3]);
    EXPECT_EQ(glyphs[1], glyphs[8]);
    EXPECT_EQ(glyphs[2], glyphs[4]);
    EXPECT_EQ(glyphs[2], glyphs[9]);
    const int distinct[] = {1, 2, 5, 6, 7};
    for (int a : distinct) {
        for (int b : distinct) {
            if (a < b) {
                EXPECT_NE(glyphs[a], glyphs[b]) << "SpeedButton" << a << " and SpeedButton" << b;
            }
        }
    }
}

TEST_F(Inventory, WarMachinesShowThreeDifferentFramedPictures)
{
    openMini();
    const QLabel *pictures[] = {window->Image9, window->Image10, window->Image11};
    for (const QLabel *picture : pictures) {
        SCOPED_TRACE(picture->objectName().toStdString());
        ASSERT_FALSE(picture->pixmap().isNull());
        EXPECT_EQ(picture->pixmap().size(), QSize(32, 32));
    }
    EXPECT_NE(pictures[0]->pixmap().toImage(), pictures[1]->pixmap().toImage());
    EXPECT_NE(pictures[1]->pixmap().toImage(), pictures[2]->pixmap().toImage());
    EXPECT_NE(pictures[0]->pixmap().toImage(), pictures[2]->pixmap().toImage());

    for (const QFrame *bevel : {window->Bevel9, window->Bevel10, window->Bevel11}) {
        EXPECT_NE(bevel->frameShape(), QFrame::NoFrame) << bevel->objectName().toStdString();
        EXPECT_EQ(bevel->frameShadow(), QFrame::Raised) << bevel->objectName().toStdString();
    }
    EXPECT_EQ(window->Bevel1->frameShape(), QFrame::HLine) << "a rule above the buttons";
    EXPECT_FALSE(window->Label11->text().isEmpty());
}

} // namespace

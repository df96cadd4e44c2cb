// The window description of TForm1: every control with its name, place,
// caption and settings, the tab order, and the wiring of events to handlers.

#include "app/Unit1.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QMenu>
#include <QPixmap>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QSignalBlocker>

#include <algorithm>
#include <tuple>

namespace voriraz {

namespace {

template<typename T>
T *named(T *widget, const char *name, int x, int y, int w, int h)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QGroupBox *groupBox(QWidget *parent, const char *name, const char *caption, int x, int y, int w, int h)
{
    return named(new QGroupBox(QString::fromLatin1(caption), parent), name, x, y, w, h);
}

QLabel *label(QWidget *parent, const char *name, const char *caption, int x, int y, int w, int h)
{
    return named(new QLabel(QString::fromLatin1(caption), parent), name, x, y, w, h);
}

// The width a caption needs for its whole text in the font it has (wider
// fonts, such as the one of Windows, would cut "Knowledge" short), as far as
// the next widget on its row or the right edge allows; never narrower than
// its place.
int captionWidth(const QLabel *caption, const QList<QWidget *> &row, int rightEdge)
{
    int limit = rightEdge;
    for (const QWidget *other : row) {
        if (other != caption && other->x() > caption->x() && other->y() < caption->geometry().bottom()
            && other->geometry().bottom() > caption->y())
            limit = std::min(limit, other->x() - 2);
    }
    const int needed = caption->fontMetrics().horizontalAdvance(caption->text()) + 2;
    return std::max(caption->width(), std::min(needed, limit - caption->x()));
}

QLineEdit *edit(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    return named(new QLineEdit(parent), name, x, y, w, h);
}

QComboBox *nameList(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    auto *box = named(new QComboBox(parent), name, x, y, w, h);
    box->setEditable(false);
    return box;
}

IconComboBox *iconPicker(QWidget *parent, const QString &name, int x, int y, int visibleRows)
{
    auto *box = new IconComboBox(parent, visibleRows);
    box->setObjectName(name);
    box->setGeometry(x, y, 55, 38);
    return box;
}

SpeedButton *speedButton(QWidget *parent, const char *name, const char *caption, const char *glyph,
                         int x, int y, int w, int h)
{
    return named(new SpeedButton(parent, QString::fromLatin1(caption), QStringLiteral(":/art/") + QLatin1String(glyph)),
                 name, x, y, w, h);
}

QCheckBox *checkBox(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    return named(new QCheckBox(parent), name, x, y, w, h);
}

QFrame *frame(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    auto *bevel = named(new QFrame(parent), name, x, y, w, h);
    bevel->setFrameShape(QFrame::Panel);
    bevel->setFrameShadow(QFrame::Raised);
    return bevel;
}

QLabel *picture(QWidget *parent, const char *name, const char *image, int x, int y)
{
    auto *view = named(new QLabel(parent), name, x, y, 32, 32);
    view->setPixmap(QPixmap(QStringLiteral(":/art/") + QLatin1String(image)));
    return view;
}

ListBox *listBox(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    return named(new ListBox(parent), name, x, y, w, h);
}

// The window is laid out for Tahoma at 8 points. Where the system has no
// Tahoma, a metric-compatible free copy is used when one is installed, and a
// condensed sans-serif otherwise, so the captions fit their places.
QFont windowFont()
{
    static const bool registered = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
            return true;
        const QString freeCopy = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
        return QFile::exists(freeCopy) && QFontDatabase::addApplicationFont(freeCopy) >= 0;
    }();
    (void)registered;
    QFont font(QStringList {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")}, 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The three collection groups share one layout: the picker at the top left,
// "Add" and "Delete" to its right, the list below.
// Returns the group box, the picker, "Add", "Delete" and the list.
std::tuple<QGroupBox *, IconComboBox *, SpeedButton *, SpeedButton *, ListBox *> collectionGroup(QWidget *page, const char *boxName, const char *caption, int x, int y,
                                const char *pickerName, const char *addName, const char *deleteName,
                                const char *listName)
{
    QGroupBox *box = groupBox(page, boxName, caption, x, y, 218, 339);
    SpeedButton *remove = speedButton(box, deleteName, "Delete", "glyph-delete.png", 155, 16, 54, 44);
    remove->setToolTip(QStringLiteral("Delete the selected line (Delete; Undo takes it back)"));
    SpeedButton *add = speedButton(box, addName, "Add", "glyph-add.png", 96, 16, 53, 44);
    add->setToolTip(QStringLiteral("Add the entry the picker shows as a new line"));
    return {box, iconPicker(box, QString::fromLatin1(pickerName), 9, 22, 16), add, remove,
            listBox(box, listName, 9, 66, 200, 263)};
}

} // namespace

void TForm1::createControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Voriraz Editor v0.2"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The layout is fixed: the window neither grows nor shrinks, so nothing
    // is ever cut off.
    setFixedSize(722, 457);
    setFont(windowFont());
    QIcon icon;
    icon.addFile(QStringLiteral(":/art/app-icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/art/app-icon-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    // Window level
    GroupBox1 = groupBox(this, "GroupBox1", "Presets", 8, 8, 185, 377);
    PageControl1 = named(new QTabWidget(this), "PageControl1", 200, 8, 513, 377);
    Bevel1 = named(new QFrame(this), "Bevel1", 8, 387, 705, 6);
    // A rule along the bottom edge of the bevel, above the button row.
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setFrameRect(QRect(0, Bevel1->height() - 2, Bevel1->width(), 2));
    SpeedButton6 = speedButton(this, "SpeedButton6", "Create mod", "glyph-create-mod.png", 9, 400, 80, 50);
    Label11 = label(this, "Label11", "Duel hero preset editor", 267, 415, 169, 13);
    SpeedButton6->setToolTip(QStringLiteral("Pack the mod folder into a .pak archive"));
    SpeedButton5 = speedButton(this, "SpeedButton5", "Close", "glyph-close.png", 631, 400, 80, 50);
    SpeedButton5->setToolTip(QStringLiteral("Close the editor"));
    ProblemsButton = speedButton(this, "ProblemsButton", "No problems", "glyph-delete.png", 531, 400, 92, 50);
    ProblemsButton->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    ProblemsButton->setToolTip(QStringLiteral("What a save would refuse or lose; choose one to go to its value"));
    ProblemsMenu = new QMenu(this);
    ProblemsMenu->setObjectName(QStringLiteral("ProblemsMenu"));
    ProblemsButton->setMenu(ProblemsMenu);
    ProblemsButton->setPopupMode(QToolButton::InstantPopup);
    // Messages in the caption may widen it to the space between the buttons.
    mStatus = new StatusCaption(Label11, QRect(97, 415, 426, 13), this);

    // Presets
    FileListBox1 = named(new FileListBox(GroupBox1), "FileListBox1", 9, 16, 165, 297);
    SpeedButton7 = speedButton(GroupBox1, "SpeedButton7", "Save preset", "glyph-save.png", 8, 320, 169, 49);
    SpeedButton7->setToolTip(QStringLiteral("Save preset (Ctrl+S); right-click for Save as (Ctrl+Shift+S)"));
    // The one setting of saving lives in the button's context menu.
    KeepLayoutAction = new QAction(QStringLiteral("Keep the file's layout when saving"), this);
    KeepLayoutAction->setObjectName(QStringLiteral("KeepLayoutAction"));
    KeepLayoutAction->setCheckable(true);
    SpeedButton7->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SpeedButton7, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(this);
        menu.addAction(SaveAsAction);
        menu.addSeparator();
        menu.addAction(KeepLayoutAction);
        menu.exec(SpeedButton7->mapToGlobal(at));
    });

    // Pages; a doubled ampersand shows as one.
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Attributes && Skills"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Creatures"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Artifacts && Spells"));
    PageControl1->setCurrentWidget(TabSheet1);

    // Attributes & Skills
    GroupBox3 = groupBox(TabSheet1, "GroupBox3", "Attributes", 8, 8, 265, 65);
    Label2 = label(GroupBox3, "Label2", "Offence", 9, 16, 39, 13);
    Label3 = label(GroupBox3, "Label3", "Defence", 73, 16, 40, 13);
    Label4 = label(GroupBox3, "Label4", "Spellpower", 137, 16, 52, 13);
    Label5 = label(GroupBox3, "Label5", "Knowledge", 201, 16, 52, 13);
    Edit1 = edit(GroupBox3, "Edit1", 9, 32, 52, 21);
    Edit2 = edit(GroupBox3, "Edit2", 73, 32, 52, 21);
    Edit3 = edit(GroupBox3, "Edit3", 137, 32, 52, 21);
    Edit4 = edit(GroupBox3, "Edit4", 201, 32, 52, 21);

    GroupBox2 = groupBox(TabSheet1, "GroupBox2", "Skills", 8, 80, 265, 215);
    IconComboBox **skillPickers[] = {&ComboBoxEx11, &ComboBoxEx12, &ComboBoxEx13, &ComboBoxEx14, &ComboBoxEx15};
    QComboBox **masteryLists[] = {&ComboBox2, &ComboBox3, &ComboBox4, &ComboBox5, &ComboBox6};
    for (int k = 0; k < 5; ++k) {
        *skillPickers[k] = iconPicker(GroupBox2, QStringLiteral("ComboBoxEx%1").arg(11 + k), 9, 18 + 38 * k, 12);
        *masteryLists[k] = nameList(GroupBox2, QStringLiteral("ComboBox%1").arg(2 + k).toLatin1().constData(),
                                    70, 24 + 38 * k, 187, 21);
    }

    GroupBox6 = groupBox(TabSheet1, "GroupBox6", "Primary Skill Mastery", 8, 296, 265, 49);
    ComboBox1 = nameList(GroupBox6, "ComboBox1", 9, 20, 248, 21);

    std::tie(GroupBox5, ComboBoxEx16, SpeedButton8, SpeedButton9, ListBox3) =
        collectionGroup(TabSheet1, "GroupBox5", "Perks", 279, 6, "ComboBoxEx16", "SpeedButton8", "SpeedButton9", "ListBox3");

    // Creatures
    CreaturesBox = groupBox(TabSheet2, "CreaturesBox", "Creatures", 8, 7, 449, 94);
    IconComboBox **creaturePickers[] = {&ComboBoxEx1, &ComboBoxEx2, &ComboBoxEx3, &ComboBoxEx4,
                                        &ComboBoxEx5, &ComboBoxEx6, &ComboBoxEx7, &ComboBoxEx8};
    QLineEdit **countEdits[] = {&Edit_Count_0, &Edit_Count_1, &Edit_Count_2, &Edit_Count_3,
                                &Edit_Count_4, &Edit_Count_5, &Edit_Count_6, &Edit_Count_7};
    for (int k = 0; k < 8; ++k) {
        const int left = 9 + 54 * k;
        *creaturePickers[k] = iconPicker(CreaturesBox, QStringLiteral("ComboBoxEx%1").arg(1 + k), left, 18, 16);
        *countEdits[k] = edit(CreaturesBox, QStringLiteral("Edit_Count_%1").arg(k).toLatin1().constData(), left, 62, 38, 21);
    }

    GroupBox4 = groupBox(TabSheet2, "GroupBox4", "War Machines", 8, 112, 129, 107);
    Bevel9 = frame(GroupBox4, "Bevel9", 7, 18, 34, 34);
    Bevel10 = frame(GroupBox4, "Bevel10", 44, 18, 34, 34);
    Bevel11 = frame(GroupBox4, "Bevel11", 81, 18, 34, 34);
    Image9 = picture(GroupBox4, "Image9", "ballista.png", 9, 19);
    Image10 = picture(GroupBox4, "Image10", "first-aid-tent.png", 46, 19);
    Image11 = picture(GroupBox4, "Image11", "ammo-cart.png", 83, 19);
    CheckBox1 = checkBox(GroupBox4, "CheckBox1", 15, 78, 17, 17);
    CheckBox2 = checkBox(GroupBox4, "CheckBox2", 55, 78, 17, 17);
    CheckBox3 = checkBox(GroupBox4, "CheckBox3", 92, 78, 25, 17);
    // Each machine is named under its picture; the tooltips give the whole name.
    // "Ballista" takes some of the short "Tent"'s width, so that the wider
    // fonts of Windows show it whole.
    const std::tuple<QLabel *, QCheckBox *, const char *, const char *, const char *, int> machines[] = {
        {Image9, CheckBox1, "WarMachineLabel1", "Ballista", "Ballista", 41},
        {Image10, CheckBox2, "WarMachineLabel2", "Tent", "First-aid tent", 33},
        {Image11, CheckBox3, "WarMachineLabel3", "Cart", "Ammunition cart", 37}};
    for (const auto &[image, box, name, caption, whole, width] : machines) {
        const int centre = image->geometry().center().x();
        QLabel *text = label(GroupBox4, name, caption, centre - width / 2, 56, width, 16);
        text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        for (QWidget *shown : std::initializer_list<QWidget *> {image, box, text})
            shown->setToolTip(QStringLiteral("%1: ticked when the hero has one").arg(QString::fromLatin1(whole)));
    }

    GroupBox7 = groupBox(TabSheet2, "GroupBox7", "Statistics", 144, 112, 185, 89);
    Label1 = label(GroupBox7, "Label1", "Total experience:", 8, 16, 84, 13);
    Label6 = label(GroupBox7, "Label6", "Total cost (gold):", 8, 40, 82, 13);
    Label7 = label(GroupBox7, "Label7", "Total power:", 8, 64, 61, 13);
    Label8 = label(GroupBox7, "Label8", "---", 104, 16, 12, 13);
    Label9 = label(GroupBox7, "Label9", "---", 104, 40, 12, 13);
    Label10 = label(GroupBox7, "Label10", "---", 104, 64, 12, 13);

    // Artifacts & Spells
    std::tie(ArtifactsBox, ComboBoxEx9, SpeedButton1, SpeedButton2, ListBox1) =
        collectionGroup(TabSheet3, "ArtifactsBox", "Artifacts", 7, 6, "ComboBoxEx9", "SpeedButton1", "SpeedButton2", "ListBox1");
    std::tie(SpellsBox, ComboBoxEx10, SpeedButton3, SpeedButton4, ListBox2) =
        collectionGroup(TabSheet3, "SpellsBox", "Spells", 240, 6, "ComboBoxEx10", "SpeedButton3", "SpeedButton4", "ListBox2");

    mAttributeEdits = {Edit1, Edit2, Edit3, Edit4};
    mWarMachineBoxes = {CheckBox1, CheckBox2, CheckBox3};
    for (int k = 0; k < skillSlotCount; ++k) {
        mSkillPickers[k] = *skillPickers[k];
        mMasteryLists[k] = *masteryLists[k];
    }
    for (int k = 0; k < armySlotCount; ++k) {
        mCreaturePickers[k] = *creaturePickers[k];
        mCountEdits[k] = *countEdits[k];
    }
    mCollections = {CollectionGroup {ListBox1, ComboBoxEx9, &PresetControls::artifacts, ValueField::Artifact, placeholder::artifact, TabSheet3},
                    CollectionGroup {ListBox2, ComboBoxEx10, &PresetControls::spells, ValueField::Spell, placeholder::spell, TabSheet3},
                    CollectionGroup {ListBox3, ComboBoxEx16, &PresetControls::perks, ValueField::Perk, placeholder::perk, TabSheet1}};

    createModComponents();
    createEditingComponents();
    fitCaptionsToFont();
}

void TForm1::fitCaptionsToFont()
{
    // The places are fixed, the font and style are the system's: a box whose
    // first row is a row of captions moves its rows down, as far as it has
    // room, until the captions clear the box's title and top border; and
    // every caption is as tall as its text.
    for (QGroupBox *box : findChildren<QGroupBox *>()) {
        const QList<QWidget *> children = box->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        if (children.isEmpty())
            continue;
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect contents = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, box);
        QWidget *topmost = children.front();
        int lowest = 0;
        for (QWidget *child : children) {
            // The totals' values keep their own widths (below).
            if (auto *caption = qobject_cast<QLabel *>(child); caption && caption->pixmap().isNull())
                caption->resize(caption == Label8 || caption == Label9 || caption == Label10
                                    ? caption->width()
                                    : captionWidth(caption, children, box->width() - 3),
                                std::max(caption->height(), caption->fontMetrics().height()));
            if (child->y() < topmost->y())
                topmost = child;
            lowest = std::max(lowest, child->geometry().bottom());
        }
        if (!qobject_cast<QLabel *>(topmost))
            continue;
        // A little more than the contents rectangle asks: some styles draw
        // the border line on its first row.
        const int shift = std::min(contents.top() + 3 - topmost->y(), box->height() - 3 - lowest);
        if (shift > 0) {
            for (QWidget *child : children)
                child->move(child->x(), child->y() + shift);
        }
    }
    // The totals' captions keep clear of their values, which start after the
    // widest caption.
    int right = 0;
    for (QLabel *caption : {Label1, Label6, Label7}) {
        caption->resize(std::max(caption->width(), caption->sizeHint().width()), caption->height());
        right = std::max(right, caption->geometry().right());
    }
    for (QLabel *value : {Label8, Label9, Label10})
        value->move(std::max(value->x(), right + 6), value->y());
}

void TForm1::setTabOrder()
{
    // Within each parent the controls follow their tab order, parents in
    // their own; Qt keeps one chain for the whole window.
    const QList<QWidget *> chain {
        FileListBox1,
        PageControl1,
        // Attributes & Skills: Skills, Attributes, Perks, Primary Skill Mastery
        ComboBoxEx11, ComboBoxEx12, ComboBoxEx13, ComboBoxEx14, ComboBoxEx15,
        ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6,
        Edit1, Edit2, Edit3, Edit4,
        ListBox3, ComboBoxEx16,
        ComboBox1,
        // Creatures: army, war machines
        ComboBoxEx1, ComboBoxEx2, ComboBoxEx3, ComboBoxEx4, ComboBoxEx5, ComboBoxEx6, ComboBoxEx7, ComboBoxEx8,
        Edit_Count_0, Edit_Count_1, Edit_Count_2, Edit_Count_3, Edit_Count_4, Edit_Count_5, Edit_Count_6, Edit_Count_7,
        CheckBox1, CheckBox2, CheckBox3,
        // Artifacts & Spells
        ListBox1, ComboBoxEx9,
        ListBox2, ComboBoxEx10,
    };
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TForm1::connectHandlers()
{
    // A handler is one step of the undo history (what was typed before it
    // is one of its own), and the title then shows whether the values
    // differ from the file's.
    // A handler is a step of the history of its own: typing before it is
    // one step, typing after it another.
    auto on = [this](void (TForm1::*handler)()) {
        return [this, handler] {
            if (mPacking)
                return;
            PresetSession1.endTyping();
            runHandler([this, handler] { (this->*handler)(); });
        };
    };

    connect(FileListBox1, &ListBox::userClicked, this, on(&TForm1::FileListBox1Click));
    connect(SpeedButton7, &QToolButton::clicked, this, on(&TForm1::SpeedButton7Click));
    for (IconComboBox *picker : {ComboBoxEx1, ComboBoxEx2, ComboBoxEx3, ComboBoxEx4,
                                 ComboBoxEx5, ComboBoxEx6, ComboBoxEx7, ComboBoxEx8})
        connect(picker, &QComboBox::activated, this, on(&TForm1::ComboBoxEx1Change));

    connect(SpeedButton1, &QToolButton::clicked, this, on(&TForm1::SpeedButton1Click));
    connect(SpeedButton2, &QToolButton::clicked, this, on(&TForm1::SpeedButton2Click));
    connect(ListBox1, &ListBox::userClicked, this, on(&TForm1::ListBox1Click));
    connect(ComboBoxEx9, &QComboBox::activated, this, on(&TForm1::ComboBoxEx9Change));

    connect(SpeedButton3, &QToolButton::clicked, this, on(&TForm1::SpeedButton3Click));
    connect(SpeedButton4, &QToolButton::clicked, this, on(&TForm1::SpeedButton4Click));
    connect(ListBox2, &ListBox::userClicked, this, on(&TForm1::ListBox2Click));
    connect(ComboBoxEx10, &QComboBox::activated, this, on(&TForm1::ComboBoxEx10Change));

    connect(SpeedButton8, &QToolButton::clicked, this, on(&TForm1::SpeedButton8Click));
    connect(SpeedButton9, &QToolButton::clicked, this, on(&TForm1::SpeedButton9Click));
    connect(ListBox3, &ListBox::userClicked, this, on(&TForm1::ListBox3Click));
    connect(ComboBoxEx16, &QComboBox::activated, this, on(&TForm1::ComboBoxEx16Change));

    connect(SpeedButton5, &QToolButton::clicked, this, on(&TForm1::SpeedButton5Click));
    connect(SpeedButton6, &QToolButton::clicked, this, on(&TForm1::SpeedButton6Click));

    // Keys: Ctrl+S saves, Delete in a list deletes its selected line; the
    // actions carry Save as, undo and redo.
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, on(&TForm1::SpeedButton7Click));
    connect(SaveAsAction, &QAction::triggered, this, on(&TForm1::SaveAs));
    connect(UndoAction, &QAction::triggered, this, on(&TForm1::UndoEdit));
    connect(RedoAction, &QAction::triggered, this, on(&TForm1::RedoEdit));
    const std::pair<ListBox *, void (TForm1::*)()> deletes[] = {
        {ListBox1, &TForm1::SpeedButton2Click}, {ListBox2, &TForm1::SpeedButton4Click}, {ListBox3, &TForm1::SpeedButton9Click}};
    for (const auto &[list, handler] : deletes) {
        auto *key = new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(key, &QShortcut::activated, this, on(handler));
    }

    // Undo and redo keys in a field reach the session's history, which
    // takes the field's typing back as one step.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);

    // A picker's filter shows in the caption while it is typed.
    for (IconComboBox *picker : findChildren<IconComboBox *>()) {
        connect(picker, &IconComboBox::filterChanged, this, [this, picker](const QString &filter, int shown) {
            if (filter.isEmpty())
                statusCaption().restore();
            else
                mStatus->show(QStringLiteral("Entries with \"%1\": %2 of %3").arg(filter).arg(shown).arg(picker->count()), 60000);
        });
    }
}

} // namespace voriraz

#include "app/Unit1.h"

#include "catalogs/ApplicationDir.h"
#include "catalogs/ErrorText.h"
#include "platform/Files.h"
#include "editing/CollectionEditing.h"
#include "presets/PresetDirectory.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>

namespace voriraz {

namespace {

const QString art = QStringLiteral(":/art/");
const QString programTitle = QStringLiteral("Voriraz Editor v0.2");
const QString keepLayoutSetting = QStringLiteral("save/keepLayout");

// The picture of an entry whose icon cannot be shown: its first two letters
// on a grey square, after the kind's prefix ("CRT_RAVIX" shows "RA").
QIcon placeholderIcon(const QString &entry)
{
    const qsizetype prefix = entry.indexOf(QLatin1Char('_'));
    const QString letters = entry.mid(prefix >= 0 && prefix + 1 < entry.size() ? prefix + 1 : 0, 2);
    QPixmap picture(iconSize, iconSize);
    picture.fill(QColor(0xb4, 0xb4, 0xb4));
    QPainter painter(&picture);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(0, 0, iconSize - 1, iconSize - 1);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(0x30, 0x30, 0x30));
    painter.drawText(QRect(0, 0, iconSize, iconSize), Qt::AlignCenter, letters);
    painter.end();
    return QIcon(picture);
}

// Hands one icon catalog to its pickers and its image list.
class PickerSink : public CatalogSink
{
public:
    PickerSink(QList<IconComboBox *> pickers, QList<QIcon> &images)
        : mPickers(std::move(pickers)), mImages(images) {}

    void setEntries(const CatalogList &entries) override
    {
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(entries.size()));
        for (const std::string &entry : entries)
            texts.append(QString::fromStdString(entry));
        for (IconComboBox *picker : mPickers) {
            const QSignalBlocker blocker(picker);
            picker->clear();
            picker->addItems(texts);
            // Adding items to an empty box selects the first; the fill
            // itself selects nothing.
            picker->setCurrentIndex(-1);
            picker->fitPopupToItems();
        }
    }

    void addIcon(std::size_t index, const Bitmap &icon) override
    {
        const QImage image(icon.rgb.data(), icon.width, icon.height, icon.width * 3, QImage::Format_RGB888);
        add(index, QIcon(QPixmap::fromImage(image.copy())));
    }

    void addPlaceholderIcon(std::size_t index, const std::string &entry) override
    {
        add(index, placeholderIcon(QString::fromStdString(entry)));
    }

private:
    void add(std::size_t index, const QIcon &icon)
    {
        mImages.append(icon);
        for (IconComboBox *picker : mPickers)
            picker->setItemIcon(static_cast<int>(index), icon);
    }

    QList<IconComboBox *> mPickers;
    QList<QIcon> &mImages;
};

// Hands a catalog without icons to its lists.
class NameBoxSink : public NamesSink
{
public:
    explicit NameBoxSink(QList<QComboBox *> boxes) : mBoxes(std::move(boxes)) {}

    void setNames(const CatalogList &names) override
    {
        QStringList texts;
        for (const std::string &entry : names)
            texts.append(QString::fromStdString(entry));
        for (QComboBox *box : mBoxes) {
            const QSignalBlocker blocker(box);
            box->clear();
            box->addItems(texts);
            box->setCurrentIndex(-1);
        }
    }

private:
    QList<QComboBox *> mBoxes;
};

// One collection group's list and picker, changed without running handlers.
class ListPickerView : public CollectionView
{
public:
    ListPickerView(ListBox *list, IconComboBox *picker) : mList(list), mPicker(picker) {}

    int lineCount() const override { return mList->count(); }
    std::string lineText(int line) const override { return mList->item(line)->text().toStdString(); }
    int selectedLine() const override { return mList->selectedLine(); }
    void selectLine(int line) override { mList->selectLine(line); }
    void appendLine(const std::string &text) override
    {
        const QSignalBlocker blocker(mList);
        mList->addItem(QString::fromStdString(text));
    }
    void removeLine(int line) override
    {
        const QSignalBlocker blocker(mList);
        delete mList->takeItem(line);
    }
    void setLineText(int line, const std::string &text) override
    {
        mList->item(line)->setText(QString::fromStdString(text));
    }
    int pickerCount() const override { return mPicker->count(); }
    std::string pickerText(int item) const override { return mPicker->itemText(item).toStdString(); }
    int pickerSelection() const override { return mPicker->currentIndex(); }
    void selectPickerItem(int item) override
    {
        const QSignalBlocker blocker(mPicker);
        mPicker->setCurrentIndex(item);
    }

private:
    ListBox *mList;
    IconComboBox *mPicker;
};

CatalogList itemsOf(const QComboBox *box)
{
    CatalogList items;
    items.reserve(static_cast<std::size_t>(box->count()));
    for (int i = 0; i < box->count(); ++i)
        items.push_back(box->itemText(i).toStdString());
    return items;
}

void setEditText(QLineEdit *edit, const std::string &text)
{
    const QString value = QString::fromStdString(text);
    if (edit->text() != value) {
        const QSignalBlocker blocker(edit);
        edit->setText(value);
    }
}

void setSelection(QComboBox *box, int index)
{
    if (box->currentIndex() != index) {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(index);
    }
}

void setLineList(ListBox *list, const LineList &lines)
{
    if (list->lines() != lines.lines)
        list->setLines(lines.lines);
    if (list->selectedLine() != lines.selected)
        list->selectLine(lines.selected);
}

} // namespace

TForm1::TForm1(std::optional<std::string> applicationDir, std::shared_ptr<Prompts> prompts)
    : TForm1(WindowOptions {std::move(applicationDir), std::nullopt, std::nullopt}, std::move(prompts))
{
}

TForm1::TForm1(WindowOptions options, std::shared_ptr<Prompts> prompts)
    : QWidget(nullptr)
    , mPrompts(prompts ? std::move(prompts) : std::make_shared<MessageBoxPrompts>())
    , mOptions(std::move(options))
{
    createControls();
    setTabOrder();
    connectHandlers();
    setKeepLayout(QSettings().value(keepLayoutSetting, false).toBool());
    connect(KeepLayoutAction, &QAction::toggled, this, [this](bool keep) {
        PresetSession1.setKeepLayout(keep);
        QSettings().setValue(keepLayoutSetting, keep);
    });
    runHandler([this] { FormCreate(); });
}

void TForm1::setKeepLayout(bool keep)
{
    PresetSession1.setKeepLayout(keep);
    const QSignalBlocker blocker(KeepLayoutAction);
    KeepLayoutAction->setChecked(keep);
}

TForm1::~TForm1()
{
    // Taking the window down moves the focus and empties lists; none of it
    // may reach a handler of a window that is half gone.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void TForm1::runHandler(const std::function<void()> &handler)
{
    // A handler started while packing would work on the folder being packed
    // (a save) or on a window that is waiting: it does not start.
    if (mPacking)
        return;
    // Errors must not travel through Qt's event loop: they end the handler
    // here and are shown as the program's error box; the window carries on.
    QString message;
    try {
        handler();
        return;
    } catch (const std::exception &e) {
        message = QString::fromStdString(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    mPrompts->showError(this, applicationTitle(QCoreApplication::applicationFilePath()), errorBoxText(message));
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool leave = false;
    runHandler([&] { leave = resolveUnsavedEdits(); });
    if (leave)
        event->accept();
    else
        event->ignore();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!mCentred) {
        mCentred = true;
        if (const QScreen *where = screen()) {
            // Centre the whole window, frame and title bar included.
            QRect frame = frameGeometry();
            frame.moveCenter(where->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

// --- Start-up ---------------------------------------------------------------

void TForm1::FormCreate()
{
    mApplicationDir = mOptions.applicationDir ? *mOptions.applicationDir : applicationDir();
    mDataFolder = mOptions.dataFolder ? DataFolder {*mOptions.dataFolder} : dataFolderOf(mApplicationDir);
    checkDataFolder(mDataFolder);
    mStatistics = std::make_unique<ArmyStatistics>(mDataFolder);

    auto fill = std::make_unique<CatalogFill>(mDataFolder);
    PickerSink creatures({ComboBoxEx1, ComboBoxEx2, ComboBoxEx3, ComboBoxEx4, ComboBoxEx5, ComboBoxEx6, ComboBoxEx7, ComboBoxEx8},
                         ImageList1);
    PickerSink artifacts({ComboBoxEx9}, ImageList2);
    PickerSink spells({ComboBoxEx10}, ImageList3);
    PickerSink perks({ComboBoxEx16}, ImageList5);
    PickerSink skills({ComboBoxEx11, ComboBoxEx12, ComboBoxEx13, ComboBoxEx14, ComboBoxEx15}, ImageList4);
    NameBoxSink primaryMasteries({ComboBox1});
    NameBoxSink masteries({ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6});
    fillStartupCatalogs(*fill, {creatures, artifacts, spells, perks, skills, primaryMasteries, masteries});
    PresetSession1.setCatalogs(presetCatalogs());
    showIconProblems(fill->iconProblems());

    FileListBox1->setDirectory(presetsDirectoryOf(mDataFolder));
    PresetWatcher->addPath(QString::fromStdString(FileListBox1->directory()));
    fill.reset();
    FileListBox1->selectLine(startupPresetLine());
    FileListBox1Click();
}

void TForm1::showIconProblems(const std::vector<std::string> &problems)
{
    if (problems.empty())
        return;
    // One box for all of them; a folder without pictures would otherwise
    // list hundreds.
    constexpr std::size_t shown = 12;
    QString text = problems.size() == 1 ? QStringLiteral("1 icon could not be shown; its entry has a placeholder:")
                                        : QStringLiteral("%1 icons could not be shown; their entries have placeholders:").arg(problems.size());
    for (std::size_t i = 0; i < problems.size() && i < shown; ++i)
        text += QStringLiteral("\n") + errorBoxText(QString::fromStdString(problems[i]));
    if (problems.size() > shown)
        text += QStringLiteral("\n... and %1 more.").arg(problems.size() - shown);
    mPrompts->showMessage(this, applicationTitle(QCoreApplication::applicationFilePath()), text);
}

int TForm1::startupPresetLine() const
{
    if (!mOptions.preset)
        return FileListBox1->count() > 0 ? 0 : -1;
    const QString name = QString::fromStdString(presetNameInDirectory(*mOptions.preset, FileListBox1->directory()));
    for (int line = 0; line < FileListBox1->count(); ++line) {
        if (FileListBox1->item(line)->text() == name)
            return line;
    }
    throw PresetArgumentError("Preset \"" + *mOptions.preset + "\" not found in the presets folder \""
                              + FileListBox1->directory() + "\"");
}

// --- Presets ----------------------------------------------------------------

PresetCatalogs TForm1::presetCatalogs() const
{
    return {itemsOf(ComboBoxEx1), itemsOf(ComboBoxEx11), itemsOf(ComboBox2), itemsOf(ComboBox1)};
}

PresetControls TForm1::readPresetControls() const
{
    PresetControls c;
    const QLineEdit *attributes[] = {Edit1, Edit2, Edit3, Edit4};
    for (std::size_t i = 0; i < c.attributes.size(); ++i)
        c.attributes[i] = attributes[i]->text().toStdString();
    c.primaryMastery = ComboBox1->currentIndex();
    const QCheckBox *machines[] = {CheckBox1, CheckBox2, CheckBox3};
    for (std::size_t i = 0; i < c.warMachines.size(); ++i)
        c.warMachines[i] = machines[i]->isChecked();
    for (int n = 1; n <= skillSlotCount; ++n) {
        c.skills[n - 1] = control<QComboBox>(QStringLiteral("ComboBoxEx%1").arg(10 + n))->currentIndex();
        c.skillMasteries[n - 1] = control<QComboBox>(QStringLiteral("ComboBox%1").arg(n + 1))->currentIndex();
    }
    for (int n = 1; n <= armySlotCount; ++n) {
        c.creatures[n - 1] = control<QComboBox>(QStringLiteral("ComboBoxEx%1").arg(n))->currentIndex();
        c.counts[n - 1] = control<QLineEdit>(QStringLiteral("Edit_Count_%1").arg(n - 1))->text().toStdString();
    }
    c.artifacts = {ListBox1->lines(), ListBox1->selectedLine()};
    c.artifactFlags = ListBox1->lineData();
    c.spells = {ListBox2->lines(), ListBox2->selectedLine()};
    c.perks = {ListBox3->lines(), ListBox3->selectedLine()};
    return c;
}

void TForm1::writePresetControls(const PresetControls &c)
{
    QLineEdit *attributes[] = {Edit1, Edit2, Edit3, Edit4};
    for (std::size_t i = 0; i < c.attributes.size(); ++i)
        setEditText(attributes[i], c.attributes[i]);
    setSelection(ComboBox1, c.primaryMastery);
    QCheckBox *machines[] = {CheckBox1, CheckBox2, CheckBox3};
    for (std::size_t i = 0; i < c.warMachines.size(); ++i) {
        const QSignalBlocker blocker(machines[i]);
        machines[i]->setChecked(c.warMachines[i]);
    }
    for (int n = 1; n <= skillSlotCount; ++n) {
        setSelection(control<QComboBox>(QStringLiteral("ComboBoxEx%1").arg(10 + n)), c.skills[n - 1]);
        setSelection(control<QComboBox>(QStringLiteral("ComboBox%1").arg(n + 1)), c.skillMasteries[n - 1]);
    }
    for (int n = 1; n <= armySlotCount; ++n) {
        setSelection(control<QComboBox>(QStringLiteral("ComboBoxEx%1").arg(n)), c.creatures[n - 1]);
        setEditText(control<QLineEdit>(QStringLiteral("Edit_Count_%1").arg(n - 1)), c.counts[n - 1]);
    }
    setLineList(ListBox1, c.artifacts);
    ListBox1->setLineData(c.artifactFlags);
    setLineList(ListBox2, c.spells);
    setLineList(ListBox3, c.perks);
}

void TForm1::FileListBox1Click()
{
    // Unsaved edits of the preset being left are saved or dropped first, as
    // the user says; Cancel, or a save that fails, keeps that preset
    // selected with its edits.
    bool leave = false;
    try {
        leave = resolveUnsavedEdits();
    } catch (...) {
        FileListBox1->selectLine(FileListBox1->lineOf(mListedPreset));
        throw;
    }
    if (!leave) {
        FileListBox1->selectLine(FileListBox1->lineOf(mListedPreset));
        return;
    }
    mListedPreset = FileListBox1->selectedFilePath();
    loadEditedPreset(mListedPreset);
}

void TForm1::loadEditedPreset(const std::string &path)
{
    // The load works on a copy of the controls; whatever it set before an
    // error is written back too, so the window shows how far it came.
    PresetControls controls = readPresetControls();
    auto shown = [&] {
        writePresetControls(controls);
        updateTitle();
        resetHistory();
        rememberEditedFile();
    };
    try {
        PresetSession1.load(path, controls);
    } catch (...) {
        shown();
        throw;
    }
    shown();
    UpdateArmyStatistics();
}

void TForm1::SpeedButton7Click()
{
    saveEditedPreset();
}

bool TForm1::saveEditedPreset()
{
    return saveEditedPresetTo(PresetSession1.path());
}

bool TForm1::saveEditedPresetTo(const std::string &path)
{
    const PresetControls controls = readPresetControls();
    PresetSession1.checkSave(controls);
    if (const std::vector<DroppedItem> dropped = PresetSession1.droppedItems(controls); !dropped.empty()) {
        if (!mPrompts->confirm(this, QStringLiteral("Save preset"), QString::fromStdString(dropQuestion(dropped))))
            return false;
    }
    PresetSession1.save(controls, path);
    rememberEditedFile();
    updateTitle();
    showStatus(QStringLiteral("Saved %1").arg(QString::fromStdString(PresetSession1.fileName())));
    return true;
}

bool TForm1::resolveUnsavedEdits()
{
    if (!PresetSession1.isModified(readPresetControls()))
        return true;
    const QString question = QStringLiteral("Save the changes to %1?").arg(QString::fromStdString(PresetSession1.fileName()));
    switch (mPrompts->askUnsaved(this, applicationTitle(QCoreApplication::applicationFilePath()), question)) {
    case UnsavedAnswer::Save:
        return saveEditedPreset();
    case UnsavedAnswer::Discard:
        return true;
    case UnsavedAnswer::Cancel:
        break;
    }
    return false;
}

void TForm1::updateTitle()
{
    // A file outside the presets folder is named in full: the list does
    // not show it.
    if (PresetSession1.hasDocument()) {
        const std::string name = editsListedFolder() ? PresetSession1.fileName() : platform::shownPath(PresetSession1.path());
        setWindowTitle(QString::fromStdString(name) + QStringLiteral("[*] - ") + programTitle);
    } else {
        setWindowTitle(programTitle);
    }
    updateModified();
}

void TForm1::updateModified()
{
    setWindowModified(PresetSession1.isModified(readPresetControls()));
}

// --- Army statistics --------------------------------------------------------

void TForm1::UpdateArmyStatistics()
{
    ArmySlotStates army;
    const UnknownIdentifiers &unknown = PresetSession1.unknownIdentifiers();
    for (int k = 1; k <= armySlotCount; ++k) {
        const QComboBox *picker = control<QComboBox>(QStringLiteral("ComboBoxEx%1").arg(k));
        army[k - 1] = {picker->currentIndex(), picker->currentText().toStdString(),
                        control<QLineEdit>(QStringLiteral("Edit_Count_%1").arg(k - 1))->text().toStdString()};
        // A slot whose creature the catalog lacks is named in the warning.
        if (army[k - 1].index < 0)
            army[k - 1].identifier = unknown.creatures[k - 1];
    }
    std::vector<std::string> warnings;
    const ArmyTotals totals = mStatistics->compute(army, &warnings);
    showTotals({QString::number(totals.experience), QString::number(totals.gold), QString::number(totals.power)}, warnings);
}

void TForm1::showTotals(const std::array<QString, 3> &texts, const std::vector<std::string> &warnings)
{
    QString tip;
    for (const std::string &warning : warnings)
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(warning);
    // Totals that leave something out, or that could not be computed, are
    // shown in a warning colour with the reason at hand; otherwise the
    // labels take the window's colours again (an empty palette inherits).
    QPalette colours;
    if (!tip.isEmpty())
        colours.setColor(QPalette::WindowText, totalsWarningColour);
    QLabel *labels[] = {Label8, Label9, Label10};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        labels[i]->setText(texts[i]);
        labels[i]->setPalette(colours);
        labels[i]->setToolTip(tip);
        // The value labels size themselves to their text, growing to the right.
        labels[i]->resize(labels[i]->sizeHint().width(), labels[i]->height());
    }
    GroupBox7->setToolTip(tip);
}

void TForm1::updateTotalsWhileTyping()
{
    // A count half typed (empty, a lone minus) is no error worth a box: the
    // totals show that they cannot be computed, and why, until it is whole.
    try {
        UpdateArmyStatistics();
    } catch (const std::exception &e) {
        const QString none = QStringLiteral("---");
        showTotals({none, none, none}, {shownErrorText(e.what())});
    }
}

void TForm1::ComboBoxEx1Change()
{
    UpdateArmyStatistics();
}

// --- Collection lists -------------------------------------------------------

std::unique_ptr<CollectionView> TForm1::collectionView(ListBox *list, IconComboBox *picker) const
{
    return std::make_unique<ListPickerView>(list, picker);
}

namespace {

Confirmation askDelete(Prompts &prompts, QWidget *owner, const char *kind, const char *placeholderText)
{
    return [&prompts, owner, kind, placeholderText](const std::string &line) {
        return prompts.confirm(owner, QStringLiteral("Delete"), QString::fromStdString(deleteQuestion(kind, line, placeholderText)));
    };
}

} // namespace

void TForm1::SpeedButton1Click() { addPlaceholderLine(*collectionView(ListBox1, ComboBoxEx9), placeholder::artifact); }
void TForm1::SpeedButton2Click() { deleteSelectedLine(*collectionView(ListBox1, ComboBoxEx9), askDelete(*mPrompts, this, "artifact", placeholder::artifact)); }
void TForm1::ListBox1Click() { showSelectedLine(*collectionView(ListBox1, ComboBoxEx9)); }
void TForm1::ComboBoxEx9Change() { writePickedEntry(*collectionView(ListBox1, ComboBoxEx9)); }

void TForm1::SpeedButton3Click() { addPlaceholderLine(*collectionView(ListBox2, ComboBoxEx10), placeholder::spell); }
void TForm1::SpeedButton4Click() { deleteSelectedLine(*collectionView(ListBox2, ComboBoxEx10), askDelete(*mPrompts, this, "spell", placeholder::spell)); }
void TForm1::ListBox2Click() { showSelectedLine(*collectionView(ListBox2, ComboBoxEx10)); }
void TForm1::ComboBoxEx10Change() { writePickedEntry(*collectionView(ListBox2, ComboBoxEx10)); }

void TForm1::SpeedButton8Click() { addPlaceholderLine(*collectionView(ListBox3, ComboBoxEx16), placeholder::perk); }
void TForm1::SpeedButton9Click() { deleteSelectedLine(*collectionView(ListBox3, ComboBoxEx16), askDelete(*mPrompts, this, "perk", placeholder::perk)); }
void TForm1::ListBox3Click() { showSelectedLine(*collectionView(ListBox3, ComboBoxEx16)); }
void TForm1::ComboBoxEx16Change() { writePickedEntry(*collectionView(ListBox3, ComboBoxEx16)); }

// --- Close ------------------------------------------------------------------

void TForm1::SpeedButton5Click()
{
    if (close())
        QCoreApplication::quit();
}

} // namespace voriraz

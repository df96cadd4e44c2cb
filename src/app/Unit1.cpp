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

// One collection group's lines as the session holds them, with the group's
// picker; the operations of CollectionEditing change a copy of the lines
// (and of the artifact flags, which follow their lines), and the copy goes
// into the session as one step.
class SessionListView : public CollectionView
{
public:
    SessionListView(LineList lines, std::vector<std::string> *flags, IconComboBox *picker)
        : mLines(std::move(lines)), mFlags(flags), mPicker(picker) {}

    int lineCount() const override { return static_cast<int>(mLines.lines.size()); }
    std::string lineText(int line) const override { return mLines.lines.at(static_cast<std::size_t>(line)); }
    int selectedLine() const override { return mLines.selected; }
    void selectLine(int line) override { mLines.selected = line; }
    void appendLine(const std::string &text) override
    {
        if (mFlags) {
            mFlags->resize(mLines.lines.size(), "0");
            mFlags->push_back("0");
        }
        mLines.lines.push_back(text);
    }
    void removeLine(int line) override
    {
        const auto at = static_cast<std::size_t>(line);
        if (mFlags && at < mFlags->size())
            mFlags->erase(mFlags->begin() + line);
        mLines.lines.erase(mLines.lines.begin() + line);
    }
    void setLineText(int line, const std::string &text) override { mLines.lines.at(static_cast<std::size_t>(line)) = text; }
    int pickerCount() const override { return mPicker->count(); }
    std::string pickerText(int item) const override { return mPicker->itemText(item).toStdString(); }
    int pickerSelection() const override { return mPicker->currentIndex(); }
    void selectPickerItem(int item) override
    {
        const QSignalBlocker blocker(mPicker);
        mPicker->setCurrentIndex(item);
    }

    const LineList &lines() const { return mLines; }

private:
    LineList mLines;
    std::vector<std::string> *mFlags;
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
    bindControls();
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

void TForm1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && Label1)
        fitCaptionsToFont();
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

void TForm1::showSessionValues()
{
    const PresetControls &values = PresetSession1.values();
    for (std::size_t i = 0; i < mAttributeEdits.size(); ++i)
        setEditText(mAttributeEdits[i], values.attributes[i]);
    setSelection(ComboBox1, values.primaryMastery);
    for (std::size_t i = 0; i < mWarMachineBoxes.size(); ++i) {
        const QSignalBlocker blocker(mWarMachineBoxes[i]);
        mWarMachineBoxes[i]->setChecked(values.warMachines[i]);
    }
    for (std::size_t n = 0; n < mSkillPickers.size(); ++n) {
        setSelection(mSkillPickers[n], values.skills[n]);
        setSelection(mMasteryLists[n], values.skillMasteries[n]);
    }
    for (std::size_t n = 0; n < mCreaturePickers.size(); ++n) {
        setSelection(mCreaturePickers[n], values.creatures[n]);
        setEditText(mCountEdits[n], values.counts[n]);
    }
    for (const CollectionGroup &group : mCollections)
        setLineList(group.list, values.*group.lines);
    // The artifact lines carry their untransferable flag as a check box.
    const QSignalBlocker blocker(ListBox1);
    for (int line = 0; line < ListBox1->count(); ++line) {
        QListWidgetItem *item = ListBox1->item(line);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const Qt::CheckState state = PresetSession::isUntransferable(values, line) ? Qt::Checked : Qt::Unchecked;
        if (item->checkState() != state || !item->data(Qt::CheckStateRole).isValid())
            item->setCheckState(state);
        item->setToolTip(QStringLiteral("Ticked: the hero cannot hand this artifact on (untransferable)"));
    }
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
    // Whatever the load set before an error is shown too, so the window
    // shows how far it came; the totals are computed only for a whole load.
    try {
        PresetSession1.load(path);
    } catch (...) {
        rememberEditedFile();
        throw;
    }
    rememberEditedFile();
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
    PresetSession1.checkSave();
    if (const std::vector<DroppedItem> dropped = PresetSession1.droppedItems(); !dropped.empty()) {
        if (!mPrompts->confirm(this, QStringLiteral("Save preset"), QString::fromStdString(dropQuestion(dropped))))
            return false;
    }
    PresetSession1.save(path);
    rememberEditedFile();
    showStatus(QStringLiteral("Saved %1").arg(QString::fromStdString(PresetSession1.fileName())));
    return true;
}

bool TForm1::resolveUnsavedEdits()
{
    if (!PresetSession1.isModified())
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
    setWindowModified(PresetSession1.isModified());
}

// --- Army statistics --------------------------------------------------------

void TForm1::UpdateArmyStatistics()
{
    // A slot whose creature the catalog lacks is named in the warning.
    const ArmySlotStates army = armySlotStates(PresetSession1.values(), PresetSession1.catalogs().creatures,
                                               &PresetSession1.unknownIdentifiers());
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

void TForm1::editCollection(std::size_t group, const std::function<void(CollectionView &)> &operation)
{
    const CollectionGroup &controls = mCollections.at(group);
    PresetControls values = PresetSession1.values();
    // The user's selection in the list is where the operation starts.
    LineList lines = values.*controls.lines;
    lines.selected = controls.list->selectedLine();
    SessionListView view(lines, controls.lines == &PresetControls::artifacts ? &values.artifactFlags : nullptr, controls.picker);
    operation(view);
    values.*controls.lines = view.lines();
    PresetSession1.setValues(values);
}

void TForm1::SpeedButton1Click() { editCollection(0, [](CollectionView &view) { addLine(view, placeholder::artifact); }); }
void TForm1::SpeedButton2Click() { editCollection(0, [](CollectionView &view) { deleteSelectedLine(view); }); }
void TForm1::ListBox1Click() { editCollection(0, [](CollectionView &view) { showSelectedLine(view); }); }
void TForm1::ComboBoxEx9Change() { editCollection(0, [](CollectionView &view) { writePickedEntry(view); }); }

void TForm1::SpeedButton3Click() { editCollection(1, [](CollectionView &view) { addLine(view, placeholder::spell); }); }
void TForm1::SpeedButton4Click() { editCollection(1, [](CollectionView &view) { deleteSelectedLine(view); }); }
void TForm1::ListBox2Click() { editCollection(1, [](CollectionView &view) { showSelectedLine(view); }); }
void TForm1::ComboBoxEx10Change() { editCollection(1, [](CollectionView &view) { writePickedEntry(view); }); }

void TForm1::SpeedButton8Click() { editCollection(2, [](CollectionView &view) { addLine(view, placeholder::perk); }); }
void TForm1::SpeedButton9Click() { editCollection(2, [](CollectionView &view) { deleteSelectedLine(view); }); }
void TForm1::ListBox3Click() { editCollection(2, [](CollectionView &view) { showSelectedLine(view); }); }
void TForm1::ComboBoxEx16Change() { editCollection(2, [](CollectionView &view) { writePickedEntry(view); }); }

// --- Close ------------------------------------------------------------------

void TForm1::SpeedButton5Click()
{
    if (close())
        QCoreApplication::quit();
}

} // namespace voriraz

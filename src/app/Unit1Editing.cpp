// Everyday editing beyond the window's buttons: Save as, a copy of a
// preset, the presets folder in the file manager, undo and redo of every
// change to the preset's values, and a preset list that follows the disk.

#include "app/Unit1.h"
#include "presets/AtomicFile.h"
#include "presets/PresetDirectory.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace voriraz {

namespace {

bool hasPresetSuffix(const std::string &path)
{
    return path.size() > 4 && QString::fromStdString(path.substr(path.size() - 4)).compare(".xdb", Qt::CaseInsensitive) == 0;
}

// "<name>_copy.xdb", or "<name>_copy2.xdb" and so on when that exists.
std::string copyName(const std::string &source)
{
    const fs::path path(source);
    const std::string stem = hasPresetSuffix(source) ? path.stem().string() : path.filename().string();
    for (int number = 1;; ++number) {
        const fs::path copy = path.parent_path() / (stem + "_copy" + (number > 1 ? std::to_string(number) : std::string()) + ".xdb");
        std::error_code error;
        if (!fs::exists(copy, error))
            return copy.string();
    }
}

} // namespace

void TForm1::createEditingComponents()
{
    SaveAsDialog1 = new QFileDialog(this);
    SaveAsDialog1->setObjectName(QStringLiteral("SaveAsDialog1"));
    SaveAsDialog1->setWindowTitle(QStringLiteral("Save preset as"));
    SaveAsDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveAsDialog1->setFileMode(QFileDialog::AnyFile);
    SaveAsDialog1->setDefaultSuffix(QStringLiteral("xdb"));
    SaveAsDialog1->setNameFilter(QStringLiteral("Presets (*.xdb)"));
    // The window asks before replacing a file, the same way with any dialog.
    SaveAsDialog1->setOption(QFileDialog::DontConfirmOverwrite);

    auto action = [this](const char *name, const QString &text, const QList<QKeySequence> &keys) {
        auto *created = new QAction(text, this);
        created->setObjectName(QString::fromLatin1(name));
        created->setShortcuts(keys);
        addAction(created);
        return created;
    };
    SaveAsAction = action("SaveAsAction", QStringLiteral("Save as..."), {QKeySequence(QStringLiteral("Ctrl+Shift+S"))});
    UndoAction = action("UndoAction", QStringLiteral("Undo"), {QKeySequence::Undo});
    RedoAction = action("RedoAction", QStringLiteral("Redo"),
                        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});

    PresetWatcher = new QFileSystemWatcher(this);
    PresetWatcher->setObjectName(QStringLiteral("PresetWatcher"));
    // Changes come in bursts (a save is a write and a rename); the list
    // follows once they settle.
    mDiskTimer.setSingleShot(true);
    mDiskTimer.setInterval(150);
    connect(PresetWatcher, &QFileSystemWatcher::directoryChanged, &mDiskTimer, qOverload<>(&QTimer::start));
    connect(PresetWatcher, &QFileSystemWatcher::fileChanged, &mDiskTimer, qOverload<>(&QTimer::start));
    connect(&mDiskTimer, &QTimer::timeout, this, [this] { runHandler([this] { followDisk(); }); });

    FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FileListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QListWidgetItem *item = FileListBox1->itemAt(at);
        const int line = item ? FileListBox1->row(item) : FileListBox1->selectedLine();
        QMenu menu(this);
        menu.addAction(SaveAsAction);
        QAction *duplicate = menu.addAction(QStringLiteral("Duplicate"));
        duplicate->setEnabled(line >= 0);
        QAction *folder = menu.addAction(QStringLiteral("Open containing folder"));
        const QAction *chosen = menu.exec(FileListBox1->viewport()->mapToGlobal(at));
        if (chosen == duplicate)
            runHandler([this, line] { DuplicatePreset(line); });
        else if (chosen == folder)
            runHandler([this] { OpenPresetFolder(); });
    });
}

// --- Save as, duplicate, folder ---------------------------------------------

bool TForm1::editsListedFolder() const
{
    const std::string &path = PresetSession1.path();
    if (path.empty() || FileListBox1->directory().empty())
        return true;
    std::error_code error;
    const bool same = fs::equivalent(fs::path(path).parent_path(), fs::path(FileListBox1->directory()), error);
    return error ? fs::path(path).parent_path() == fs::path(FileListBox1->directory()) : same;
}

void TForm1::SaveAs()
{
    PresetSession1.checkSave();
    SaveAsDialog1->setDirectory(QString::fromStdString(FileListBox1->directory()));
    SaveAsDialog1->selectFile(QString::fromStdString(PresetSession1.fileName()));
    const std::optional<QString> chosen = mPrompts->chooseSaveFile(SaveAsDialog1);
    if (!chosen)
        return;
    std::string target = chosen->toStdString();
    if (!hasPresetSuffix(target))
        target += ".xdb";
    // A folder, device or pipe there is refused before the question.
    refuseIrregularTarget(target);
    std::error_code error;
    if (!fs::equivalent(target, PresetSession1.path(), error) && fs::exists(target, error)) {
        const QString question = QStringLiteral("%1 already exists. Replace it?").arg(QString::fromStdString(fs::path(target).filename().string()));
        if (!mPrompts->confirm(this, QStringLiteral("Save as"), question))
            return;
    }
    if (!saveEditedPresetTo(target))
        return;
    // A file of the presets folder shows selected in the list; with another
    // one, which Ctrl+S now saves to, no line is selected and the title
    // names it in full.
    FileListBox1->setDirectory(FileListBox1->directory());
    const int line = FileListBox1->lineOf(target);
    FileListBox1->selectLine(line);
    mListedPreset = line >= 0 ? target : std::string();
    updateTitle();
}

void TForm1::DuplicatePreset(int line)
{
    if (line < 0 || line >= FileListBox1->count())
        return;
    const std::string source = presetFilePath(FileListBox1->directory(), FileListBox1->item(line)->text().toStdString());
    const std::string copy = copyName(source);
    std::error_code error;
    fs::copy_file(source, copy, error);
    if (error)
        throw std::runtime_error("Cannot copy \"" + source + "\" to \"" + copy + "\". " + error.message());
    FileListBox1->setDirectory(FileListBox1->directory());
    FileListBox1->selectLine(FileListBox1->lineOf(copy));
    FileListBox1Click();
}

void TForm1::OpenPresetFolder()
{
    mPrompts->openFolder(QString::fromStdString(FileListBox1->directory()));
}

// --- Undo and redo ----------------------------------------------------------

void TForm1::UndoEdit()
{
    PresetSession1.undo();
}

void TForm1::RedoEdit()
{
    PresetSession1.redo();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && event->type() == QEvent::ShortcutOverride) {
        // The field's own history would undo behind the session's back; its
        // typing is a step of the session's.
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) || RedoAction->shortcuts().contains(pressed)) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- The disk ---------------------------------------------------------------

void TForm1::rememberEditedFile()
{
    PresetSession1.rememberDiskStamp();
    const QStringList watched = PresetWatcher->files();
    if (!watched.isEmpty())
        PresetWatcher->removePaths(watched);
    if (PresetSession1.fileOnDisk())
        PresetWatcher->addPath(QString::fromStdString(PresetSession1.path()));
}

void TForm1::followDisk()
{
    const std::string &directory = FileListBox1->directory();
    if (!directory.empty()) {
        try {
            if (listPresetFiles(directory) != FileListBox1->lines()) {
                const std::string selected = FileListBox1->selectedFilePath();
                FileListBox1->setDirectory(directory);
                FileListBox1->selectLine(FileListBox1->lineOf(selected));
            }
        } catch (const DirectoryListError &) {
            // The folder is gone for now; the list stays as it was.
        }
        if (!PresetWatcher->directories().contains(QString::fromStdString(directory)))
            PresetWatcher->addPath(QString::fromStdString(directory));
    }

    // The preset being edited, changed by another program: reloaded when
    // that loses nothing, else only after asking.
    const std::string path = PresetSession1.path();
    if (path.empty() || !PresetSession1.hasDocument() || !PresetSession1.fileChangedOnDisk())
        return;
    const bool modified = PresetSession1.isModified();
    rememberEditedFile();
    const QString name = QString::fromStdString(PresetSession1.fileName());
    if (!PresetSession1.fileOnDisk()) {
        showStatus(QStringLiteral("%1 was removed from the disk").arg(name));
        return;
    }
    if (modified) {
        const QString question = QStringLiteral("%1 was changed by another program. Load it again and lose your edits?").arg(name);
        if (!mPrompts->confirm(this, QStringLiteral("Preset changed"), question)) {
            showStatus(QStringLiteral("%1 changed on the disk; your edits are kept").arg(name));
            return;
        }
    }
    loadEditedPreset(path);
    showStatus(QStringLiteral("%1 changed on the disk and was loaded again").arg(name));
}

} // namespace voriraz

// "Create mod": packs the modification tree under the data directory into
// one archive chosen with the save dialog.

#include "app/PackProgress.h"
#include "app/PackRunner.h"
#include "app/PackSummary.h"
#include "app/Unit1.h"
#include "packaging/ModArchive.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QShortcut>

#include <filesystem>

namespace voriraz {

namespace {

// The archive last packed from each data folder, by the folder's canonical
// path, remembered between runs.
const QString archivesKey = QStringLiteral("CreateMod/Archives");
const QString defaultArchive = QStringLiteral("ZavirAru.pak");

QString canonicalFolder(const std::string &folder)
{
    const QFileInfo info(QString::fromStdString(folder));
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// Whether two paths name the same file (links followed); false when either
// is missing.
bool sameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return !a.isEmpty() && !b.isEmpty()
           && std::filesystem::equivalent(std::filesystem::path(a.toStdString()),
                                          std::filesystem::path(b.toStdString()), error);
}

// For its life, every action and shortcut of the window is off (a key
// would otherwise reach its handler while the window takes no input), and
// the window knows it is packing; then they are as they were.
class PackingState
{
public:
    PackingState(QWidget &window, bool &packing) : mPacking(packing)
    {
        mPacking = true;
        // The window's own; a dialog's belong to a window of their own.
        const auto ofWindow = [&window](QObject *owner) {
            const auto *widget = qobject_cast<QWidget *>(owner);
            return widget && widget->window() == &window;
        };
        for (QAction *action : window.findChildren<QAction *>())
            if (action->isEnabled() && ofWindow(action->parent())) {
                action->setEnabled(false);
                mActions.append(action);
            }
        for (QShortcut *shortcut : window.findChildren<QShortcut *>())
            if (shortcut->isEnabled() && ofWindow(shortcut->parent())) {
                shortcut->setEnabled(false);
                mShortcuts.append(shortcut);
            }
    }
    ~PackingState()
    {
        for (QAction *action : mActions)
            if (action)
                action->setEnabled(true);
        for (QShortcut *shortcut : mShortcuts)
            if (shortcut)
                shortcut->setEnabled(true);
        mPacking = false;
    }
    PackingState(const PackingState &) = delete;
    PackingState &operator=(const PackingState &) = delete;

private:
    bool &mPacking;
    QList<QPointer<QAction>> mActions;
    QList<QPointer<QShortcut>> mShortcuts;
};

} // namespace

void TForm1::createModComponents()
{
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix("pak");
    SaveDialog1->setNameFilter("*.pak");
    // The window asks before replacing a file, unless it is the archive it
    // packed last from this data folder.
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog1->selectFile(defaultArchive);

    configureModArchiveWriter(ArchiveWriter1);
}

QString TForm1::rememberedArchive() const
{
    return QSettings().value(archivesKey).toMap().value(canonicalFolder(mDataFolder.path)).toString();
}

void TForm1::rememberArchive(const QString &archive)
{
    QSettings settings;
    QVariantMap archives = settings.value(archivesKey).toMap();
    archives.insert(canonicalFolder(mDataFolder.path), archive);
    settings.setValue(archivesKey, archives);
}

void TForm1::SpeedButton6Click()
{
    // The archive packed last from this data folder, while its folder is
    // there; else the default name.
    const QString last = rememberedArchive();
    SaveDialog1->selectFile(!last.isEmpty() && QFileInfo(last).dir().exists() ? last : defaultArchive);
    const std::optional<QString> chosen = mPrompts->chooseSaveFile(SaveDialog1);
    if (!chosen)
        return;
    const QString title = applicationTitle(QCoreApplication::applicationFilePath());
    // Another file is replaced only when the user says so; the archive
    // packed last from this data folder is the one to replace.
    if (QFileInfo(*chosen).exists() && !sameFile(*chosen, last)) {
        const QString question = QStringLiteral("%1 already exists. Replace it?").arg(QFileInfo(*chosen).fileName());
        if (!mPrompts->confirm(this, title, question))
            return;
    }
    if (!saveBeforePacking())
        return;
    const std::filesystem::path source = std::filesystem::path(mDataFolder.path) / "mod";
    if (WriteModArchive(chosen->toStdString(), source.string())) {
        // Proposed next time, also in the next run, for this data folder.
        SaveDialog1->selectFile(*chosen);
        rememberArchive(*chosen);
    }
}

bool TForm1::saveBeforePacking()
{
    // Only what is on the disk is packed: edits of a preset of the mod
    // folder are asked about first. One saved elsewhere is in no archive.
    const std::string modFolder = (std::filesystem::path(mDataFolder.path) / "mod").string();
    const QString edited = QString::fromStdString(PresetSession1.path());
    const QString mod = canonicalFolder(modFolder) + QLatin1Char('/');
    if (edited.isEmpty() || !canonicalFolder(PresetSession1.path()).startsWith(mod)
        || !PresetSession1.isModified())
        return true;
    const QString question = QStringLiteral("Save %1 before packing?\n\nThe archive takes the presets as they are on "
                                            "the disk; your edits are not in it unless they are saved.")
                                 .arg(QString::fromStdString(PresetSession1.fileName()));
    switch (mPrompts->askSaveBeforePacking(this, applicationTitle(QCoreApplication::applicationFilePath()), question)) {
    case PackUnsavedAnswer::Save:
        return saveEditedPreset();
    case PackUnsavedAnswer::PackWithoutSaving:
        return true;
    case PackUnsavedAnswer::Cancel:
        break;
    }
    return false;
}

bool TForm1::WriteModArchive(std::string archivePath, std::string sourceDir)
{
    const QString title = applicationTitle(QCoreApplication::applicationFilePath());
    const QString name = QFileInfo(QString::fromStdString(archivePath)).fileName();
    const bool previous = QFileInfo::exists(QString::fromStdString(archivePath));
    ModArchiveReport report;
    {
        const PackingState packing(*this, mPacking);
        PackProgress progress(this, title, mPackProgressDelayMs);
        PackRunner runner(this, ArchiveWriter1, progress, [this, title](const QString &text, TPromptButtons buttons) {
            return mPrompts->askFailure(this, title, text, buttons);
        });
        try {
            report = runner.run(archivePath, sourceDir);
        } catch (...) {
            showStatus(failedText(previous, name));
            // What changed on the disk meanwhile is followed now.
            mDiskTimer.start();
            throw;
        }
        mDiskTimer.start();
        if (!report.written) {
            showStatus(stoppedText(runner.cancelled(), previous, name));
            return false;
        }
    }
    if (report.leftOut() > 0 || !report.warnings.empty())
        mPrompts->showMessage(this, title, skippedText(report, name));
    else
        showStatus(packedText(report, name));
    return true;
}

} // namespace voriraz

// "Create mod": packs the modification tree under the data directory into
// one archive chosen with the save dialog.

#include "app/PackProgress.h"
#include "app/PackRunner.h"
#include "app/PackSummary.h"
#include "app/Unit1.h"
#include "packaging/ModArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <filesystem>

namespace voriraz {

namespace {

// Where the last chosen archive is remembered between runs.
const QString lastArchiveKey = QStringLiteral("CreateMod/LastArchive");

} // namespace

void TForm1::createModComponents()
{
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix("pak");
    SaveDialog1->setNameFilter("*.pak");
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    // The archive chosen last time, while its folder is there; else the
    // default name.
    const QString last = QSettings().value(lastArchiveKey).toString();
    SaveDialog1->selectFile(!last.isEmpty() && QFileInfo(last).dir().exists() ? last : QStringLiteral("ZavirAru.pak"));

    configureModArchiveWriter(ArchiveWriter1);
}

void TForm1::SpeedButton6Click()
{
    const std::optional<QString> chosen = mPrompts->chooseSaveFile(SaveDialog1);
    if (!chosen)
        return;
    // The dialog proposes the last chosen file next time, and next run.
    SaveDialog1->selectFile(*chosen);
    QSettings().setValue(lastArchiveKey, *chosen);
    const std::filesystem::path source = std::filesystem::path(mDataFolder.path) / "mod";
    WriteModArchive(chosen->toStdString(), source.string());
}

void TForm1::WriteModArchive(std::string archivePath, std::string sourceDir)
{
    const QString title = applicationTitle(QCoreApplication::applicationFilePath());
    const QString name = QFileInfo(QString::fromStdString(archivePath)).fileName();
    const bool previous = QFileInfo::exists(QString::fromStdString(archivePath));
    PackProgress progress(this, title, mPackProgressDelayMs);
    PackRunner runner(this, ArchiveWriter1, progress, [this, title](const QString &text, TPromptButtons buttons) {
        return mPrompts->askFailure(this, title, text, buttons);
    });
    ModArchiveReport report;
    try {
        report = runner.run(archivePath, sourceDir);
    } catch (...) {
        showStatus(failedText(previous, name));
        throw;
    }
    if (!report.written)
        showStatus(stoppedText(runner.cancelled(), previous, name));
    else if (report.failedFiles + report.linksOutside > 0)
        mPrompts->showMessage(this, title, skippedText(report, name));
    else
        showStatus(packedText(report, name));
}

} // namespace voriraz

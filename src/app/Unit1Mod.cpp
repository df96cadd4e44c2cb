// "Create mod": packs the modification tree under the data directory into
// one archive chosen with the save dialog.

#include "app/PackProgress.h"
#include "app/Unit1.h"
#include "packaging/ModArchive.h"

#include <QCoreApplication>
#include <QFileDialog>

#include <filesystem>

namespace voriraz {

void TForm1::createModComponents()
{
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix("pak");
    SaveDialog1->setNameFilter("*.pak");
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog1->selectFile("ZavirAru.pak");

    configureModArchiveWriter(ArchiveWriter1);
    ArchiveWriter1.OnFailurePrompt = [this](const std::string &text, TPromptButtons buttons) {
        return mPrompts->askFailure(this, applicationTitle(QCoreApplication::applicationFilePath()), QString::fromStdString(text), buttons);
    };
}

void TForm1::SpeedButton6Click()
{
    const std::optional<QString> chosen = mPrompts->chooseSaveFile(SaveDialog1);
    if (!chosen)
        return;
    // The dialog proposes the last chosen file next time.
    SaveDialog1->selectFile(*chosen);
    const std::filesystem::path source = std::filesystem::path(mDataFolder.path) / "mod";
    WriteModArchive(chosen->toStdString(), source.string());
}

void TForm1::WriteModArchive(std::string archivePath, std::string sourceDir)
{
    PackProgress progress(this, applicationTitle(QCoreApplication::applicationFilePath()), mPackProgressDelayMs);
    ArchiveWriter1.OnOverallProgress = [&progress](TProgressPhase phase, const TArchiveProgress &state, bool &cancel) {
        progress.update(phase, state, cancel);
    };
    struct ResetProgress
    {
        TArchiveWriter &writer;
        ~ResetProgress() { writer.OnOverallProgress = nullptr; }
    } resetProgress {ArchiveWriter1};

    writeModArchive(ArchiveWriter1, archivePath, sourceDir);
}

} // namespace voriraz

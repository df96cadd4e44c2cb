#include "FaultyFileSystem.h"
#include "ZipInspection.h"
#include "window/WindowFixture.h"

#include "app/PackProgress.h"
#include "cli/PackCommand.h"

#include <QFileDialog>
#include <QProgressDialog>
#include <QTimer>

#include <sstream>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string emptyArchive("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);

class CreateModWindow : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }

    fs::path mod() const { return tree / "data/mod"; }

    void createMod(const std::optional<fs::path> &target)
    {
        prompts->saveFiles.push_back(target ? std::optional<QString>(QString::fromStdString(target->string()))
                                            : std::nullopt);
        click(window->SpeedButton6);
    }

    TempDir out;
};

// Every file and directory below root, as stored names.
std::set<std::string> treeNames(const fs::path &root)
{
    std::set<std::string> names;
    for (const auto &item : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(item.path(), root).generic_string();
        names.insert(item.is_directory() ? name + "/" : name);
    }
    return names;
}

} // namespace

TEST_F(CreateModWindow, PacksTheSampleModTreeIntoAnArchiveEveryReaderAccepts)
{
    copyTree(VORIRAZ_SAMPLE_DATA, tree / "data");
    open(tree.path());
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    createMod(out / "Mod.pak");
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_TRUE(prompts->failures.empty());

    for (const char *reader : {"python", "unzip", "7z"}) {
        std::string log;
        EXPECT_TRUE(readerAccepts(reader, out / "Mod.pak", &log)) << reader << ": " << log;
    }
    const InspectedArchive archive = inspectArchive(out / "Mod.pak");
    const auto names = archive.names();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), treeNames(mod()));
    EXPECT_EQ(names.front(), "Maps/");
    for (const auto &entry : archive.entries) {
        if (entry.central.name.back() == '/')
            continue;
        EXPECT_TRUE(entry.inflatedCleanly) << entry.central.name;
        EXPECT_EQ(entry.inflated, readFile(mod() / entry.central.name)) << entry.central.name;
        EXPECT_EQ(entry.central.method, 8);
    }
}

TEST_F(CreateModWindow, SaveDialogIsSetUpAndRemembersTheLastChoice)
{
    writePreset("a.xdb", presetXml());
    openMini();
    QFileDialog *dialog = window->findChild<QFileDialog *>("SaveDialog1");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), "pak");
    EXPECT_EQ(dialog->nameFilters(), QStringList {"*.pak"});
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));

    createMod(out / "First.pak");
    createMod(std::nullopt);
    ASSERT_EQ(prompts->proposedFiles.size(), 2u);
    EXPECT_EQ(fs::path(prompts->proposedFiles[0].toStdString()).filename(), "ZavirAru.pak");
    EXPECT_EQ(prompts->proposedFiles[1].toStdString(), (out / "First.pak").string());
}

TEST_F(CreateModWindow, CancellingTheDialogCreatesAndShowsNothing)
{
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(std::nullopt);
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_TRUE(prompts->failures.empty());
}

TEST_F(CreateModWindow, ExistingArchiveIsReplacedAndTheArchiveInsideTheTreeIsNotPacked)
{
    writePreset("a.xdb", presetXml());
    writeFile(mod() / "old.pak", "another archive in the tree");
    writeFile(out / "Mod.pak", std::string(50000, 'x'));
    openMini();
    createMod(out / "Mod.pak");
    EXPECT_EQ(inspectArchive(out / "Mod.pak").names(),
              (std::vector<std::string> {"old.pak", "Maps/", "Maps/DuelMode/", "Maps/DuelMode/Heroes/",
                                         "Maps/DuelMode/Heroes/a.xdb"}));

    createMod(mod() / "Inside.pak");
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    const auto names = inspectArchive(mod() / "Inside.pak").names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Inside.pak"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "old.pak"), 1);
}

TEST_F(CreateModWindow, MissingModDirectoryGivesTheEmptyArchive)
{
    writePreset("a.xdb", presetXml());
    openMini();
    fs::remove_all(mod());
    createMod(out / "Mod.pak");
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFile(out / "Mod.pak"), emptyArchive);
}

TEST_F(CreateModWindow, UnwritableTargetShowsTheCreateError)
{
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(out / "missing/Mod.pak");
    EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString("Cannot create file \"" + (out / "missing/Mod.pak").string()
                                                                + "\". No such file or directory.")});
    EXPECT_FALSE(fs::exists(out / "missing"));
}

TEST_F(CreateModWindow, FailurePromptAnsweredIgnoreLeavesTheFileOut)
{
    writePreset("a.xdb", presetXml());
    writePreset("b.xdb", presetXml());
    openMini();
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failOpens["a.xdb"] = 1;
    window->ArchiveWriter1.SetFileSystem(faults);
    prompts->failureAnswers.push_back(TPromptAnswer::Ignore);
    createMod(out / "Mod.pak");
    ASSERT_EQ(prompts->failures.size(), 1u);
    EXPECT_EQ(prompts->failures[0].text.toStdString(),
              "ArchiveWriter1: Cannot open file \"" + (presets() / "a.xdb").string()
                  + "\" - Native error: 00033. File processing error, possibly disk is full");
    EXPECT_EQ(prompts->failures[0].title, prompts->errorTitle());
    EXPECT_EQ(prompts->failureButtons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_TRUE(prompts->errors.empty());
    const auto names = inspectArchive(out / "Mod.pak").names();
    EXPECT_EQ(names.back(), "Maps/DuelMode/Heroes/b.xdb");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Maps/DuelMode/Heroes/a.xdb"), 0);
}

TEST_F(CreateModWindow, FailurePromptAnsweredAbortLeavesTheEmptyArchive)
{
    writePreset("a.xdb", presetXml());
    openMini();
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failOpens["a.xdb"] = 1;
    window->ArchiveWriter1.SetFileSystem(faults);
    prompts->failureAnswers.push_back(TPromptAnswer::Abort);
    createMod(out / "Mod.pak");
    EXPECT_EQ(prompts->failures.size(), 1u);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFile(out / "Mod.pak"), emptyArchive);
}

TEST_F(CreateModWindow, EscapingWriteErrorIsShownAndTheNextRunStartsAfresh)
{
    writePreset("a.xdb", presetXml());
    openMini();
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failWrite = [](std::uint64_t, std::string_view data) { return data.substr(0, 4) == "PK\x01\x02"; };
    window->ArchiveWriter1.SetFileSystem(faults);
    createMod(out / "Mod.pak");
    EXPECT_EQ(errorTexts(), QStringList {"ArchiveWriter1: Write to stream error - Native error: 00046."});
    EXPECT_EQ(readFile(out / "Mod.pak"), emptyArchive);

    faults->failWrite = nullptr;
    createMod(out / "Again.pak");
    EXPECT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(inspectArchive(out / "Again.pak").entries.size(), 4u);
}

TEST_F(CreateModWindow, CancelInTheProgressDialogRollsBack)
{
    writePreset("a.xdb", presetXml());
    writeFile(mod() / "big1.bin", std::string(3 * 1572864, 'x'));
    writeFile(mod() / "big2.bin", std::string(3 * 1572864, 'y'));
    openMini();
    window->setPackProgressDelayForTesting(0);
    bool sawDialog = false;
    QTimer::singleShot(0, window.get(), [&] {
        if (auto *dialog = window->findChild<QProgressDialog *>("PackProgressDialog")) {
            sawDialog = dialog->isVisible() && dialog->labelText().startsWith("Packing file ");
            dialog->cancel();
        }
    });
    createMod(out / "Mod.pak");
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFile(out / "Mod.pak"), emptyArchive);
    EXPECT_EQ(window->findChild<QProgressDialog *>("PackProgressDialog"), nullptr);
}

TEST(PackProgress, AppearsOnlyAfterTheDelayAndDescribesTheWork)
{
    QWidget owner;
    TArchiveProgress state;
    state.totalFiles = 300;
    state.filesDone = 11;
    state.totalBytes = 80 * 1048576;
    state.bytesDone = 4404019;
    state.currentName = "Maps/DuelMode/Heroes/hero.xdb";
    bool cancel = false;
    {
        PackProgress slow(&owner, "Voriraz", 60000);
        slow.update(TProgressPhase::Start, state, cancel);
        slow.update(TProgressPhase::Progress, state, cancel);
        EXPECT_EQ(owner.findChild<QProgressDialog *>(), nullptr) << "a short pack shows nothing";
    }
    PackProgress quick(&owner, "Voriraz", 0);
    quick.update(TProgressPhase::Progress, state, cancel);
    auto *dialog = owner.findChild<QProgressDialog *>("PackProgressDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), "Packing file 12 of 300 (4.2 MB of 80.0 MB)\nMaps/DuelMode/Heroes/hero.xdb");
    EXPECT_EQ(dialog->windowTitle(), "Voriraz");
    EXPECT_FALSE(cancel);
    quick.update(TProgressPhase::End, state, cancel);
    EXPECT_EQ(owner.findChild<QProgressDialog *>(), nullptr);
}

TEST_F(CreateModWindow, WindowAndCommandLinePackTheSameEntries)
{
    copyTree(VORIRAZ_SAMPLE_DATA, tree / "data");
    open(tree.path());
    createMod(out / "Window.pak");
    std::ostringstream output, errors;
    const int status = cli::PackCommand().execute({QString::fromStdString((out / "Cli.pak").string()), "--data",
                                                   QString::fromStdString((tree / "data").string())},
                                                  {output, errors});
    ASSERT_EQ(status, cli::exitStatus::success) << errors.str();

    const InspectedArchive fromWindow = inspectArchive(out / "Window.pak");
    const InspectedArchive fromCli = inspectArchive(out / "Cli.pak");
    ASSERT_EQ(fromCli.names(), fromWindow.names());
    for (std::size_t i = 0; i < fromWindow.entries.size(); ++i) {
        const auto &a = fromWindow.entries[i].central;
        const auto &b = fromCli.entries[i].central;
        EXPECT_EQ(b.method, a.method) << a.name;
        EXPECT_EQ(b.flags, a.flags) << a.name;
        EXPECT_EQ(b.externalAttributes, a.externalAttributes) << a.name;
        EXPECT_EQ(b.crc32, a.crc32) << a.name;
        EXPECT_EQ(fromCli.entries[i].data, fromWindow.entries[i].data) << a.name;
    }
}

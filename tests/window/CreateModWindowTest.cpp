#include "FaultyFileSystem.h"
#include "ZipInspection.h"
#include "window/WindowFixture.h"

#include "app/PackProgress.h"
#include "cli/PackCommand.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <random>
#include <set>
#include <cstdio>
#include <cstring>
#include <sstream>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

const std::string emptyArchive("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);
const std::string previousArchive = "the archive of an earlier Create mod";

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

    // Runs action once the progress dialog is up, polling for it while
    // packing runs, as a person watching the window would.
    void whenProgressShows(std::function<void(QProgressDialog &)> action)
    {
        auto *poll = new QTimer(window.get());
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, action] {
            if (auto *dialog = window->findChild<QProgressDialog *>("PackProgressDialog"); dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(*dialog);
            }
        });
        poll->start(5);
    }

    QString caption() const { return window->Label11->text(); }

    TempDir out;
};

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const std::uint32_t r = random();
        std::memcpy(&bytes[i], &r, 4);
    }
    return bytes;
}

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

TEST_F(CreateModWindow, FailurePromptAnsweredIgnoreLeavesTheFileOutAndTellsWhy)
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
    const std::string failure = "ArchiveWriter1: Cannot open file \"" + (presets() / "a.xdb").string()
                                + "\" - Native error: 00033";
    const std::string reason = "(Permission denied: \"Maps/DuelMode/Heroes/a.xdb\")";
    EXPECT_EQ(prompts->failures[0].text.toStdString(),
              failure + ". File processing error, possibly disk is full " + reason);
    EXPECT_EQ(prompts->failures[0].title, prompts->errorTitle());
    EXPECT_EQ(prompts->failureButtons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_TRUE(prompts->errors.empty());
    const auto names = inspectArchive(out / "Mod.pak").names();
    EXPECT_EQ(names.back(), "Maps/DuelMode/Heroes/b.xdb");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Maps/DuelMode/Heroes/a.xdb"), 0);

    // Something was left out: a box says what was packed and what was not.
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].title, prompts->errorTitle());
    EXPECT_EQ(prompts->messages[0].text.toStdString(),
              "Packed 4 entries into Mod.pak (" + std::to_string(fs::file_size(out / "Mod.pak"))
                  + " bytes).\n\nLeft out: 1 file that could not be packed.\n\nMaps/DuelMode/Heroes/a.xdb: " + failure
                  + " " + reason);
}

TEST_F(CreateModWindow, FailurePromptAnsweredAbortKeepsThePreviousArchiveAndSaysSo)
{
    writePreset("a.xdb", presetXml());
    writeFile(out / "Mod.pak", previousArchive);
    openMini();
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failOpens["a.xdb"] = 1;
    window->ArchiveWriter1.SetFileSystem(faults);
    prompts->failureAnswers.push_back(TPromptAnswer::Abort);
    createMod(out / "Mod.pak");
    EXPECT_EQ(prompts->failures.size(), 1u);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_EQ(readFile(out / "Mod.pak"), previousArchive);
    EXPECT_EQ(namesIn(out.path()), std::set<std::string> {"Mod.pak"});
    EXPECT_EQ(caption(), "Packing aborted; the previous Mod.pak was kept.");

    prompts->failureAnswers.push_back(TPromptAnswer::Abort);
    faults->failOpens["a.xdb"] = 1;
    createMod(out / "New.pak");
    EXPECT_EQ(caption(), "Packing aborted; no archive was written.");
    EXPECT_EQ(namesIn(out.path()), std::set<std::string> {"Mod.pak"});
}

TEST_F(CreateModWindow, EscapingWriteErrorIsShownAndTheNextRunStartsAfresh)
{
    writePreset("a.xdb", presetXml());
    openMini();
    auto faults = std::make_shared<FaultyFileSystem>();
    faults->failWrite = [](std::uint64_t, std::string_view data) { return data.substr(0, 4) == "PK\x01\x02"; };
    window->ArchiveWriter1.SetFileSystem(faults);
    createMod(out / "Mod.pak");
    EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString(
                                "ArchiveWriter1: Write to stream error - Native error: 00046 (Input/output error: \""
                                + (out / "Mod.pak").string() + "\")")});
    EXPECT_TRUE(fs::is_empty(out.path())) << "neither an archive nor a temporary file";
    EXPECT_EQ(caption(), "Packing failed; no archive was written.");

    faults->failWrite = nullptr;
    createMod(out / "Again.pak");
    EXPECT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(inspectArchive(out / "Again.pak").entries.size(), 4u);
}

TEST_F(CreateModWindow, SuccessIsToldInTheCaption)
{
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(out / "Mod.pak");
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_EQ(caption().toStdString(),
              "Packed 4 entries into Mod.pak (" + std::to_string(fs::file_size(out / "Mod.pak")) + " bytes).");
    EXPECT_TRUE(window->statusCaption().isShowing());
}

TEST_F(CreateModWindow, LinksLeadingOutsideTheModFolderAreCountedInTheSummary)
{
    writePreset("a.xdb", presetXml());
    writeFile(out / "secret.key", "not for the archive");
    fs::create_symlink(out / "secret.key", mod() / "key.xdb");
    fs::create_directory_symlink("/", mod() / "root");
    openMini();
    createMod(out / "Mod.pak");
    ASSERT_EQ(prompts->messages.size(), 1u);
    const QString text = prompts->messages[0].text;
    EXPECT_TRUE(text.contains("Left out: 2 links leading outside the mod folder.")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString("key.xdb: a link leading outside the folder, to \""
                                                     + (out / "secret.key").string() + "\"")))
        << text.toStdString();
    EXPECT_TRUE(text.contains("root: a link leading outside the folder, to \"/\"")) << text.toStdString();
    const auto names = inspectArchive(out / "Mod.pak").names();
    EXPECT_EQ(names, (std::vector<std::string> {"Maps/", "Maps/DuelMode/", "Maps/DuelMode/Heroes/",
                                                "Maps/DuelMode/Heroes/a.xdb"}));
}

TEST_F(CreateModWindow, AnArchiveThatWouldReplaceAFileOfTheModFolderIsRefused)
{
    writePreset("a.xdb", presetXml());
    const std::string preset = readFile(presets() / "a.xdb");
    fs::create_symlink(presets() / "a.xdb", out / "Link.pak");
    fs::create_hard_link(presets() / "a.xdb", out / "Hard.pak");
    openMini();
    createMod(out / "Link.pak");
    createMod(out / "Hard.pak");
    const QString refused = QString::fromStdString("The archive would replace \"" + (presets() / "a.xdb").string()
                                                   + "\", a file of the mod folder.");
    EXPECT_EQ(errorTexts(), (QStringList {refused, refused}));
    EXPECT_EQ(readFile(presets() / "a.xdb"), preset);
    EXPECT_EQ(namesIn(out.path()), (std::set<std::string> {"Hard.pak", "Link.pak"}));
}

TEST_F(CreateModWindow, TheChosenArchiveIsProposedAgainInTheNextRun)
{
    writePreset("a.xdb", presetXml());
    fs::create_directories(out / "release");
    openMini();
    createMod(out / "release/Chosen.pak");
    window.reset();
    openMini();
    createMod(std::nullopt);
    ASSERT_EQ(prompts->proposedFiles.size(), 2u);
    EXPECT_EQ(prompts->proposedFiles[1].toStdString(), (out / "release/Chosen.pak").string());

    // A folder that is gone is not proposed: the default name is.
    fs::remove_all(out / "release");
    window.reset();
    openMini();
    createMod(std::nullopt);
    ASSERT_EQ(prompts->proposedFiles.size(), 3u);
    EXPECT_EQ(fs::path(prompts->proposedFiles[2].toStdString()).filename(), "ZavirAru.pak");
}

TEST_F(CreateModWindow, CancelInTheProgressDialogKeepsThePreviousArchive)
{
    writePreset("a.xdb", presetXml());
    writeFile(mod() / "big1.bin", std::string(3 * 1572864, 'x'));
    writeFile(mod() / "big2.bin", std::string(3 * 1572864, 'y'));
    writeFile(out / "Mod.pak", previousArchive);
    openMini();
    window->setPackProgressDelayForTesting(0);
    bool sawDialog = false;
    whenProgressShows([&](QProgressDialog &dialog) {
        sawDialog = dialog.labelText().startsWith("Packing file ");
        QTest::mouseClick(dialog.findChild<QPushButton *>(), Qt::LeftButton);
    });
    createMod(out / "Mod.pak");
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFile(out / "Mod.pak"), previousArchive);
    EXPECT_EQ(namesIn(out.path()), std::set<std::string> {"Mod.pak"});
    EXPECT_EQ(window->findChild<QProgressDialog *>("PackProgressDialog"), nullptr);
    EXPECT_EQ(caption(), "Packing cancelled; the previous Mod.pak was kept.");
}

TEST_F(CreateModWindow, WindowRepaintsWhilePackingAndCancelReturnsPromptly)
{
    writePreset("a.xdb", presetXml());
    writeFile(mod() / "noise.bin", randomBytes(96u << 20, 5));
    openMini();
    window->setPackProgressDelayForTesting(0);
    // The window's thread runs its timers throughout, with no long gap.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(10);
    qint64 cancelledAt = -1;
    whenProgressShows([&](QProgressDialog &dialog) {
        QTimer::singleShot(300, &dialog, [&] {
            cancelledAt = clock.elapsed();
            QTest::mouseClick(dialog.findChild<QPushButton *>(), Qt::LeftButton);
        });
    });
    // Clicks on the window meanwhile start nothing.
    QTimer::singleShot(100, window.get(), [this] { click(window->SpeedButton6); });
    createMod(out / "Mod.pak");
    const qint64 returnedAt = clock.elapsed();
    ASSERT_GE(cancelledAt, 0);
    std::printf("[ measured ] Cancel returned after %lld ms; the window's thread stood still for at most %lld ms\n",
                static_cast<long long>(returnedAt - cancelledAt), static_cast<long long>(longestGap));
    EXPECT_LT(returnedAt - cancelledAt, 500) << "Cancel returned after " << returnedAt - cancelledAt << " ms";
    EXPECT_LT(longestGap, 250) << "the window's thread stood still for " << longestGap << " ms";
    EXPECT_EQ(prompts->proposedFiles.size(), 1u) << "the second click did not open the save dialog";
    EXPECT_FALSE(fs::exists(out / "Mod.pak"));
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
    {
        PackProgress slow(&owner, "Voriraz", 60000);
        slow.update(TProgressPhase::Start, state);
        slow.update(TProgressPhase::Progress, state);
        EXPECT_EQ(owner.findChild<QProgressDialog *>(), nullptr) << "a short pack shows nothing";
    }
    PackProgress quick(&owner, "Voriraz", 0);
    int cancels = 0;
    quick.setCancelHandler([&] { ++cancels; });
    quick.update(TProgressPhase::Progress, state);
    auto *dialog = owner.findChild<QProgressDialog *>("PackProgressDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), "Packing file 12 of 300 (4.2 MB of 80.0 MB)\nMaps/DuelMode/Heroes/hero.xdb");
    EXPECT_EQ(dialog->windowTitle(), "Voriraz");
    EXPECT_FALSE(dialog->isModal()) << "a modal progress dialog would process events in setValue()";
    EXPECT_EQ(cancels, 0);
    QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
    EXPECT_EQ(cancels, 1);
    quick.update(TProgressPhase::End, state);
    EXPECT_EQ(owner.findChild<QProgressDialog *>(), nullptr);
}

TEST_F(CreateModWindow, WindowAndCommandLinePackTheSameEntries)
{
    copyTree(VORIRAZ_SAMPLE_DATA, tree / "data");
    open(tree.path());
    createMod(out / "Window.pak");
    std::ostringstream output, errors;
    const int status = cli::PackCommand().execute({(out / "Cli.pak").string(), "--data", (tree / "data").string()},
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

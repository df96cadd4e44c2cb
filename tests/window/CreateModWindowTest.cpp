#include "FaultyFileSystem.h"
#include "SystemSupport.h"
#include "TreeSnapshot.h"
#include "ZipInspection.h"
#include "window/WindowFixture.h"

#include "app/PackProgress.h"
#include "cli/PackCommand.h"
#include "platform/Files.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QAction>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
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
    EXPECT_EQ(slashed(prompts->proposedFiles[1].toStdString()), slashed((out / "First.pak").string()));
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
    prompts->answerNext(true);
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

// A mod folder moved away while the window is open is no empty mod: an
// empty archive would take the good one's place.
TEST_F(CreateModWindow, AModFolderThatIsGoneFailsAndKeepsThePreviousArchive)
{
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(out / "Mod.pak");
    const std::string packed = readFile(out / "Mod.pak");
    fs::rename(mod(), tree / "data/mod.x");
    createMod(out / "Mod.pak");
    ASSERT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(slashed(errorTexts()[0].toStdString()),
              slashed("Cannot pack the mod folder \"" + mod().string() + "\": " + fileNotFoundText() + "."));
    EXPECT_EQ(caption(), "Packing failed; the previous Mod.pak was kept.");
    EXPECT_EQ(readFile(out / "Mod.pak"), packed);
    EXPECT_EQ(namesIn(out.path()), std::set<std::string> {"Mod.pak"});

    // An empty mod folder is packed as such.
    fs::create_directories(mod());
    createMod(out / "Mod.pak");
    EXPECT_EQ(readFile(out / "Mod.pak"), emptyArchive);
}

TEST_F(CreateModWindow, UnwritableTargetShowsTheCreateError)
{
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(out / "missing/Mod.pak");
    ASSERT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(slashed(errorTexts()[0].toStdString()),
              slashed("Cannot create file \"" + (out / "missing/Mod.pak").string() + "\". " + pathNotFoundText() + "."));
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
    const std::string reason = "(" + platform::errorText(platform::accessDeniedError) + ": \"Maps/DuelMode/Heroes/a.xdb\")";
    EXPECT_EQ(slashed(prompts->failures[0].text.toStdString()),
              slashed(failure + ". File processing error, possibly disk is full " + reason));
    EXPECT_EQ(prompts->failures[0].title, prompts->errorTitle());
    EXPECT_EQ(prompts->failureButtons[0], TPromptButtons::AbortRetryIgnore);
    EXPECT_TRUE(prompts->errors.empty());
    const auto names = inspectArchive(out / "Mod.pak").names();
    EXPECT_EQ(names.back(), "Maps/DuelMode/Heroes/b.xdb");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Maps/DuelMode/Heroes/a.xdb"), 0);

    // Something was left out: a box says what was packed and what was not.
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].title, prompts->errorTitle());
    EXPECT_EQ(slashed(prompts->messages[0].text.toStdString()),
              slashed("Packed 4 entries into Mod.pak (" + std::to_string(fs::file_size(out / "Mod.pak"))
                      + " bytes).\n\nLeft out: 1 file that could not be packed.\n\nMaps/DuelMode/Heroes/a.xdb: "
                      + failure + " " + reason));
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
    prompts->answerNext(true);
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
                                "ArchiveWriter1: Write to stream error - Native error: 00046 ("
                                + platform::errorText(platform::deviceError) + ": \""
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
    VORIRAZ_POSIX_ONLY("symbolic links need rights on Windows that Wine does not grant");
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
    VORIRAZ_POSIX_ONLY("symbolic links need rights on Windows that Wine does not grant");
    writePreset("a.xdb", presetXml());
    const std::string preset = readFile(presets() / "a.xdb");
    fs::create_symlink(presets() / "a.xdb", out / "Link.pak");
    fs::create_hard_link(presets() / "a.xdb", out / "Hard.pak");
    openMini();
    prompts->answerNext(true);
    createMod(out / "Link.pak");
    prompts->answerNext(true);
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
    EXPECT_EQ(slashed(prompts->proposedFiles[1].toStdString()), slashed((out / "release/Chosen.pak").string()));

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
    prompts->answerNext(true);
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

namespace {

// What the target is before "Create mod" chooses it, and what the user
// answers when asked.
struct ReplaceRow
{
    const char *name;
    enum Before { Nothing, AnotherFile, PackedFromThisFolder, PackedFromAnotherFolder } before;
    bool insideMod;
    std::optional<bool> answer; // none: not asked
    bool replaced;
};

void PrintTo(const ReplaceRow &row, std::ostream *out) { *out << row.name; }

class ReplaceQuestion : public CreateModWindow, public ::testing::WithParamInterface<ReplaceRow>
{
};

} // namespace

// Replacing a file asks first, unless it is the archive last packed from
// this data folder; an archive kept inside the mod folder is packed again.
TEST_P(ReplaceQuestion, AsksBeforeAnotherFileIsReplaced)
{
    const ReplaceRow &row = GetParam();
    writePreset("a.xdb", presetXml());
    const fs::path target = row.insideMod ? mod() / "ZavirAru.pak" : out / "Mod.pak";
    if (row.before == ReplaceRow::PackedFromAnotherFolder) {
        TempDir other;
        MiniTree::write(other.path());
        writeFile(other / "data/mod/Maps/DuelMode/Heroes/other.xdb", presetXml());
        open(other.path());
        createMod(target);
        ASSERT_TRUE(fs::exists(target));
        window.reset();
    }
    openMini();
    if (row.before == ReplaceRow::PackedFromThisFolder)
        createMod(target);
    if (row.before == ReplaceRow::AnotherFile)
        writeFile(target, previousArchive);
    ASSERT_TRUE(prompts->questions.empty());
    const std::string before = fs::exists(target) ? readFile(target) : std::string();

    if (row.answer)
        prompts->answerNext(*row.answer);
    createMod(target);
    EXPECT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    ASSERT_EQ(prompts->questions.size(), row.answer ? 1u : 0u);
    if (row.answer) {
        EXPECT_EQ(prompts->questions[0].text.toStdString(), target.filename().string() + " already exists. Replace it?");
        EXPECT_EQ(prompts->questions[0].title, prompts->errorTitle());
    }
    if (!row.replaced) {
        EXPECT_EQ(readFile(target), before);
        return;
    }
    const std::vector<std::string> names = expectWholeArchive(target, mod());
    EXPECT_EQ(names, (std::vector<std::string> {"Maps/", "Maps/DuelMode/", "Maps/DuelMode/Heroes/",
                                                "Maps/DuelMode/Heroes/a.xdb"}));
    // The archive is the one proposed next time.
    createMod(std::nullopt);
    EXPECT_EQ(slashed(prompts->proposedFiles.back().toStdString()), slashed(target.string()));
}

INSTANTIATE_TEST_SUITE_P(
    CreateMod, ReplaceQuestion,
    ::testing::Values(ReplaceRow {"NewFileIsNotAsked", ReplaceRow::Nothing, false, std::nullopt, true},
                      ReplaceRow {"AnotherFileAnsweredNoStays", ReplaceRow::AnotherFile, false, false, false},
                      ReplaceRow {"AnotherFileAnsweredYesIsReplaced", ReplaceRow::AnotherFile, false, true, true},
                      ReplaceRow {"TheArchivePackedLastFromThisFolderIsNotAsked", ReplaceRow::PackedFromThisFolder,
                                  false, std::nullopt, true},
                      ReplaceRow {"TheArchiveOfAnotherDataFolderIsAsked", ReplaceRow::PackedFromAnotherFolder, false,
                                  true, true},
                      ReplaceRow {"TheArchiveOfAnotherDataFolderAnsweredNoStays",
                                  ReplaceRow::PackedFromAnotherFolder, false, false, false},
                      ReplaceRow {"AnArchiveInsideTheModFolderIsPackedAgain", ReplaceRow::PackedFromThisFolder, true,
                                  std::nullopt, true}),
    [](const ::testing::TestParamInfo<ReplaceRow> &row) { return std::string(row.param.name); });

// The archive is remembered per data folder: another folder's is not
// proposed.
TEST_F(CreateModWindow, TheArchiveOfAnotherDataFolderIsNotProposed)
{
    TempDir other;
    MiniTree::write(other.path());
    writeFile(other / "data/mod/Maps/DuelMode/Heroes/other.xdb", presetXml());
    open(other.path());
    createMod(out / "Other.pak");
    window.reset();
    writePreset("a.xdb", presetXml());
    openMini();
    createMod(std::nullopt);
    ASSERT_EQ(prompts->proposedFiles.size(), 2u);
    EXPECT_EQ(fs::path(prompts->proposedFiles[1].toStdString()).filename(), "ZavirAru.pak");
}

namespace {

struct UnsavedRow
{
    const char *name;
    PackUnsavedAnswer answer;
    // What the archive and the file on the disk hold for Offence afterwards,
    // and whether an archive is written.
    const char *packed;
    const char *onDisk;
};

void PrintTo(const UnsavedRow &row, std::ostream *out) { *out << row.name; }

class SaveBeforePacking : public CreateModWindow, public ::testing::WithParamInterface<UnsavedRow>
{
};

std::string offenceIn(const std::string &preset)
{
    const auto start = preset.find("<Offence>");
    return start == std::string::npos ? std::string() : preset.substr(start + 9, preset.find('<', start + 9) - start - 9);
}

} // namespace

// Unsaved edits of the preset being edited are asked about before packing,
// which takes the presets as they are on the disk.
TEST_P(SaveBeforePacking, AsksAndPacksWhatTheAnswerSays)
{
    const UnsavedRow &row = GetParam();
    writePreset("a.xdb", presetXml("7,2,3,4"));
    openMini();
    window->Edit1->setText("8");
    prompts->packUnsavedAnswers.push_back(row.answer);
    createMod(out / "Mod.pak");
    ASSERT_EQ(prompts->packUnsavedQuestions.size(), 1u);
    EXPECT_EQ(prompts->packUnsavedQuestions[0].text.toStdString(),
              "Save a.xdb before packing?\n\nThe archive takes the presets as they are on the disk; your edits are "
              "not in it unless they are saved.");
    EXPECT_EQ(prompts->packUnsavedQuestions[0].title, prompts->errorTitle());
    EXPECT_EQ(offenceIn(readFile(presets() / "a.xdb")), row.onDisk);
    EXPECT_EQ(window->Edit1->text(), "8") << "the edits stay in the window";
    if (std::string(row.packed).empty()) {
        EXPECT_FALSE(fs::exists(out / "Mod.pak"));
        return;
    }
    const InspectedArchive archive = inspectArchive(out / "Mod.pak");
    const InspectedEntry *preset = archive.find("Maps/DuelMode/Heroes/a.xdb");
    ASSERT_NE(preset, nullptr);
    EXPECT_EQ(offenceIn(preset->inflated), row.packed);
    expectWholeArchive(out / "Mod.pak", mod());

    // Asked again as long as the edits are unsaved, and not once they are.
    const bool saved = row.answer == PackUnsavedAnswer::Save;
    if (!saved)
        prompts->packUnsavedAnswers.push_back(PackUnsavedAnswer::PackWithoutSaving);
    createMod(out / "Mod.pak");
    EXPECT_EQ(prompts->packUnsavedQuestions.size(), saved ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    CreateMod, SaveBeforePacking,
    ::testing::Values(UnsavedRow {"SaveThenPack", PackUnsavedAnswer::Save, "8", "8"},
                      UnsavedRow {"PackWithoutSaving", PackUnsavedAnswer::PackWithoutSaving, "7", "7"},
                      UnsavedRow {"Cancel", PackUnsavedAnswer::Cancel, "", "7"}),
    [](const ::testing::TestParamInfo<UnsavedRow> &row) { return std::string(row.param.name); });

// While packing, the window's keys reach no handler: Ctrl+S, Delete and
// Ctrl+Z on the main window change nothing on the disk nor in the window.
TEST_F(CreateModWindow, KeysDuringASlowPackChangeNothing)
{
    writePreset("a.xdb", presetXml("7,2,3,4", "PSM_B", "", "", "<Item>ART_A</Item>"));
    writePreset("b.xdb", presetXml());
    openMini();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->Edit1->setFocus();
    window->Edit1->selectAll();
    QTest::keyClicks(window->Edit1, "8");
    window->PageControl1->setCurrentWidget(window->TabSheet3);
    clickLine(window->ListBox1, 0);
    window->ListBox1->setFocus();
    const TreeSnapshot before = snapshotOf(presets());

    // Packing holds up at the first file it opens until the keys were sent.
    auto files = std::make_shared<FaultyFileSystem>();
    std::atomic<bool> release {false};
    files->beforeOpen = [&](const std::string &) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    window->ArchiveWriter1.SetFileSystem(files);
    bool packing = false;
    QTimer::singleShot(50, window.get(), [&] {
        packing = window->isPacking();
        QTest::keyClick(window->ListBox1, Qt::Key_Delete);
        QTest::keyClick(window->ListBox1, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(window->Edit1, Qt::Key_S, Qt::ControlModifier);
        for (QAction *action : {window->SaveAsAction, window->UndoAction, window->RedoAction, window->KeepLayoutAction})
            EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
        release = true;
    });
    prompts->packUnsavedAnswers.push_back(PackUnsavedAnswer::PackWithoutSaving);
    createMod(out / "Mod.pak");

    EXPECT_TRUE(packing);
    EXPECT_FALSE(window->isPacking());
    EXPECT_TRUE(prompts->questions.empty()) << "no Delete question was asked";
    EXPECT_TRUE(changedPaths(before, snapshotOf(presets())).empty()) << "a key saved or wrote a file";
    EXPECT_EQ(window->Edit1->text(), "8") << "a key undid an edit";
    EXPECT_EQ(window->ListBox1->count(), 1) << "a key deleted a line";
    EXPECT_TRUE(window->SaveAsAction->isEnabled() && window->UndoAction->isEnabled()) << "the actions are back";
    expectWholeArchive(out / "Mod.pak", mod());

    // Afterwards the keys work again.
    QTest::keyClick(window->Edit1, Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(readFile(presets() / "a.xdb").find("<Offence>8</Offence>"), std::string::npos);
}

// A summary box lists what was left out, one line each, and what to take
// note of.
TEST_F(CreateModWindow, TheSummaryNamesEveryKindLeftOut)
{
    VORIRAZ_POSIX_ONLY("named pipes, symbolic links and names with a backslash are POSIX files");
    writePreset("a.xdb", presetXml());
    makeFifo(mod() / "pipe");
    fs::create_symlink("nowhere", mod() / "dangling");
    writeFile(mod() / "back\\slash.txt", "a folder on Windows");
    writeFile(mod() / "Readme.txt", "one");
    writeFile(mod() / "README.txt", "two");
    openMini();
    prompts->failureAnswers.push_back(TPromptAnswer::Ignore);
    createMod(out / "Mod.pak");
    ASSERT_EQ(prompts->failures.size(), 1u);
    EXPECT_EQ(prompts->failureButtons[0], TPromptButtons::AbortIgnore);
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text.toStdString(),
              "Packed 6 entries into Mod.pak (" + std::to_string(fs::file_size(out / "Mod.pak"))
                  + " bytes).\n\nLeft out: 1 file that could not be packed, 1 link leading nowhere, 1 pipe, socket or "
                    "device.\n\ndangling: a link leading nowhere, to \"nowhere\"\npipe: a named pipe, not a file\n"
                    "back\\slash.txt: ArchiveWriter1: Cannot store file \""
                  + (mod() / "back\\slash.txt").string()
                  + "\": a name with a backslash would be a folder on Windows - Native error: 00065\n\nTake note:\n\n"
                    "README.txt and Readme.txt differ only in letter case or Unicode normalisation: one name on "
                    "Windows and macOS, where extracting keeps only one");
    expectWholeArchive(out / "Mod.pak", mod());
}

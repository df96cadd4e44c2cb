#include "CliTestSupport.h"
#include "SystemSupport.h"
#include "ZipInspection.h"

#include "cli/PackCommand.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <random>
#include <thread>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

const std::string previousArchive = "the archive of an earlier pack";

// A mod folder with two small files and one whose full path is longer than
// the platform accepts, so packing it fails the same way every time.
fs::path writeTreeWithOverlongPath(const fs::path &data)
{
    writeFile(data / "mod/a.txt", "alpha");
    writeFile(data / "mod/z.txt", "zulu");
    fs::path deep = data / "mod/deep";
    while (deep.string().size() < 4000)
        deep /= std::string(200, 'd');
    writeDeepFile(deep / std::string(150, 'f'), "");
    return deep / std::string(150, 'f');
}

std::vector<std::string> fileNames(const InspectedArchive &archive)
{
    std::vector<std::string> names;
    for (const auto &name : archive.names())
        if (name.back() != '/')
            names.push_back(name);
    return names;
}

} // namespace

TEST(Pack, SampleModTreeBecomesAnArchiveEveryReaderAccepts)
{
    TempDir out;
    const fs::path archive = out / "Mod.pak";
    writeFile(archive, "an older file that is replaced");
    const Outcome run = runProgram({"pack", pathArg(archive), "--data", pathArg(sampleData)});
    ASSERT_EQ(run.status, cli::exitStatus::success) << run.err;
    const InspectedArchive packed = inspectArchive(archive);
    EXPECT_EQ(run.out, "Packed " + std::to_string(packed.entries.size()) + " entries of "
                           + platform::shownPath((sampleData / "mod").string()) + " into "
                           + platform::shownPath(archive.string()) + " ("
                           + std::to_string(fs::file_size(archive)) + " bytes)\n");
    EXPECT_EQ(run.err, "") << "no progress line when stderr is not a terminal";
    for (const char *reader : {"python", "unzip", "7z"})
        EXPECT_TRUE(readerAccepts(reader, archive)) << reader;
    for (const auto &entry : packed.entries) {
        if (entry.central.name.back() == '/')
            continue;
        EXPECT_EQ(entry.inflated, readFile(sampleData / "mod" / entry.central.name)) << entry.central.name;
    }
    EXPECT_EQ(packed.entries.front().central.name, "Maps/");
}

TEST(Pack, RelativeTargetIsTakenFromTheWorkingDirectory)
{
    TempDir out;
    const Outcome run = runProgram({"pack", "Relative.pak", "--data", pathArg(sampleData)}, out.path());
    EXPECT_EQ(run.status, cli::exitStatus::success) << run.err;
    EXPECT_TRUE(readerAccepts("unzip", out / "Relative.pak"));
}

TEST(Pack, CommandsThatCannotRun)
{
    TempDir out;
    const Outcome missingData = runCommand(cli::PackCommand(), {pathArg(out / "a.pak"), "--data", pathArg(out / "nowhere")});
    EXPECT_EQ(missingData.status, cli::exitStatus::trouble);
    EXPECT_NE(missingData.err.find((out / "nowhere").string()), std::string::npos) << missingData.err;
    EXPECT_FALSE(fs::exists(out / "a.pak"));

    const fs::path unwritable = out / "missing/a.pak";
    const Outcome noTarget = runCommand(cli::PackCommand(), {pathArg(unwritable), "--data", pathArg(sampleData)});
    EXPECT_EQ(noTarget.status, cli::exitStatus::trouble);
    EXPECT_EQ(noTarget.err,
              "voriraz-cli: Cannot create file \"" + platform::shownPath(unwritable.string()) + "\". " + pathNotFoundText()
                  + "\n");

    const Outcome badAction =
        runCommand(cli::PackCommand(), {pathArg(out / "a.pak"), "--data", pathArg(sampleData), "--on-error", "shrug"});
    EXPECT_EQ(badAction.status, cli::exitStatus::trouble);
    EXPECT_EQ(badAction.err,
              "voriraz-cli: Invalid --on-error action: \"shrug\". Use abort, ignore or retry-once.\n");

    EXPECT_EQ(runCommand(cli::PackCommand(), {"--data", pathArg(sampleData)}).status, cli::exitStatus::trouble);
    EXPECT_FALSE(fs::exists(out / "a.pak"));
}

TEST(Pack, FailureAbortsByDefaultAndKeepsThePreviousArchive)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    TempDir dir;
    const fs::path overlong = writeTreeWithOverlongPath(dir / "data");
    const fs::path archive = dir / "Mod.pak";
    writeFile(archive, previousArchive);
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(run.err, "voriraz-cli: ArchiveWriter1: File name is too long: \r\n\"" + overlong.string()
                           + "\" - Native error: 00061\nvoriraz-cli: packing aborted; the previous " + archive.string()
                           + " was kept\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

// A file size limit (a quota, "ulimit -f") reached while the archive is
// written is a write failure like a full disk: the program says so, keeps
// the previous archive and leaves no temporary file, instead of being ended
// by the system's signal half-way.
TEST(Pack, FileSizeLimitIsAFailedWriteThatKeepsThePreviousArchive)
{
    VORIRAZ_POSIX_ONLY("a file size limit of the process");
    TempDir dir;
    std::string noise(256 * 1024, '\0');
    std::mt19937 random(7);
    for (char &c : noise)
        c = static_cast<char>(random());
    writeFile(dir / "data/mod/noise.bin", noise);
    const fs::path archive = dir / "Mod.pak";
    writeFile(archive, previousArchive);

    const Outcome run = [&] {
        // The program meets the limit with the system's default for it,
        // which would end the process half-way.
        const FileSizeLimit limit(64 * 1024, FileSizeLimit::keepSignal);
        return runProgram({"pack", pathArg(archive), "--data", pathArg(dir / "data")});
    }();

    EXPECT_EQ(run.status, cli::exitStatus::problems) << run.err;
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the previous " + archive.string() + " was kept"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

TEST(Pack, FailureIgnoredLeavesTheFileOut)
{
    VORIRAZ_POSIX_ONLY("a path longer than PATH_MAX; Windows opens paths of up to 32,767 characters, more than "
                       "Wine's Linux side holds");
    TempDir dir;
    const fs::path overlong = writeTreeWithOverlongPath(dir / "data");
    const fs::path archive = dir / "Mod.pak";
    const Outcome run =
        runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data"), "--on-error", "ignore"});
    EXPECT_EQ(run.status, cli::exitStatus::success);
    EXPECT_EQ(run.err, "voriraz-cli: skipped: ArchiveWriter1: File name is too long: \r\n\"" + overlong.string()
                           + "\" - Native error: 00061\n");
    EXPECT_NE(run.out.find("; 1 file left out\n"), std::string::npos) << run.out;
    const InspectedArchive packed = inspectArchive(archive);
    EXPECT_EQ(fileNames(packed), (std::vector<std::string> {"a.txt", "z.txt"}));
    EXPECT_TRUE(readerAccepts("unzip", archive));
}

TEST(Pack, RetryOnceTriesAgainThenAborts)
{
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    const fs::path big = dir / "data/mod/huge.bin";
    writeFile(big, "");
    fs::resize_file(big, 0x100000000LL);
    const fs::path archive = dir / "Mod.pak";
    const Outcome run =
        runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data"), "--on-error", "retry-once"});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(run.err, "voriraz-cli: ArchiveWriter1: Cannot compress file '"
                           + platform::shownPath((dir / "data/mod").string()) + "/huge.bin"
                           + "'. Zip64 mode is not enabled - Native error: 00043\nvoriraz-cli: packing aborted; "
                           + platform::shownPath(archive.string()) + " was not written\n");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"data"});
}

TEST(Pack, LinksLeadingOutsideAreReportedOneLineEachAndCounted)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    writeFile(dir / "elsewhere/key", "secret");
    fs::create_symlink(dir / "elsewhere/key", dir / "data/mod/key.txt");
    fs::create_directory_symlink(dir / "elsewhere", dir / "data/mod/shared");
    const fs::path archive = dir / "Mod.pak";
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(archive), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::success);
    const std::string elsewhere = fs::canonical(dir / "elsewhere").string();
    EXPECT_EQ(run.err, "voriraz-cli: skipped: key.txt: a link leading outside the folder, to \"" + elsewhere
                           + "/key\"\nvoriraz-cli: skipped: shared: a link leading outside the folder, to \""
                           + elsewhere + "\"\n");
    EXPECT_EQ(run.out, "Packed 1 entry of " + (dir / "data/mod").string() + " into " + archive.string() + " ("
                           + std::to_string(fs::file_size(archive)) + " bytes); 2 links leading outside the folder not followed\n");
    EXPECT_EQ(fileNames(inspectArchive(archive)), std::vector<std::string> {"a.txt"});
}

TEST(Pack, ATargetThatIsAFileOfTheModFolderCannotBeCreated)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    writeFile(dir / "data/mod/a.txt", "alpha");
    fs::create_symlink(dir / "data/mod/a.txt", dir / "Mod.pak");
    const Outcome run = runCommand(cli::PackCommand(), {pathArg(dir / "Mod.pak"), "--data", pathArg(dir / "data")});
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
    EXPECT_EQ(run.err, "voriraz-cli: The archive would replace \"" + (dir / "data/mod/a.txt").string()
                           + "\", a file of the mod folder.\n");
    EXPECT_EQ(readFile(dir / "data/mod/a.txt"), "alpha");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"Mod.pak", "data"}));
}

namespace {

struct UnlistableRow
{
    const char *name;
    // Breaks the data folder's mod folder; returns the program and the
    // arguments that run voriraz-cli with --data.
    std::function<void(const fs::path &data)> breakIt;
    // Whether the program runs with at most four open files.
    bool fewFiles;
    std::string reason;
};

void PrintTo(const UnlistableRow &row, std::ostream *out) { *out << row.name; }

class UnlistableModFolder : public ::testing::TestWithParam<UnlistableRow>
{
};

} // namespace

// A mod folder that is not there to list is no empty mod: the pack fails as
// a command that cannot run, and the previous archive stays.
TEST_P(UnlistableModFolder, FailsWithExitStatus2AndKeepsThePreviousArchive)
{
    const UnlistableRow &row = GetParam();
    if (row.fewFiles) {
        VORIRAZ_POSIX_ONLY("a limit on the open files of a process");
#if defined(__SANITIZE_ADDRESS__)
        GTEST_SKIP() << "the sanitizers' run-time library needs open files of its own, which the limit leaves none of";
#endif
    }
    TempDir dir;
    const DataCopy data(sampleData);
    const fs::path archive = dir / "Mod.pak";
    writeFile(archive, previousArchive);
    row.breakIt(data.folder());
    Outcome run;
    if (row.fewFiles) {
        ProcessRequest request;
        request.program = "/bin/sh";
        // One descriptor beyond those open: the archive's temporary file
        // takes it, and the mod folder cannot be opened.
        request.arguments = {"-c",
                             "i=0; while [ -e /proc/$$/fd/$i ]; do i=$((i + 1)); done; "
                             "ulimit -n $((i + 1)) && exec \"$0\" \"$@\"",
                             VORIRAZ_CLI_PROGRAM, "pack", pathArg(archive), "--data", data.arg()};
        const ProcessRun process = runProcess(request);
        run = {process.finished ? process.status : -1, process.out, process.err};
    } else {
        run = runProgram({"pack", pathArg(archive), "--data", data.arg()});
    }
    EXPECT_EQ(run.status, cli::exitStatus::trouble) << run.err;
    EXPECT_EQ(run.err, "voriraz-cli: Cannot pack the mod folder \"" + platform::shownPath(programPath(data.folder(), "mod"))
                           + "\": " + row.reason + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"Mod.pak"});
}

INSTANTIATE_TEST_SUITE_P(
    Pack, UnlistableModFolder,
    ::testing::Values(UnlistableRow {"Missing", [](const fs::path &data) { fs::rename(data / "mod", data / "mod.x"); },
                                     false, fileNotFoundText()},
                      UnlistableRow {"AFile",
                                     [](const fs::path &data) {
                                         fs::remove_all(data / "mod");
                                         writeFile(data / "mod", "a file, not a folder");
                                     },
                                     false, platform::errnoError(ENOTDIR).text},
                      UnlistableRow {"TooManyOpenFiles", [](const fs::path &) {}, true, platform::errnoError(EMFILE).text}),
    [](const ::testing::TestParamInfo<UnlistableRow> &row) { return std::string(row.param.name); });

// A tree of everything that is no file to pack: each is one line on stderr,
// each kind counted in the summary, and the archive holds the rest whole.
TEST(Pack, EverythingLeftOutIsOneLineAndCounted)
{
    VORIRAZ_POSIX_ONLY("pipes, sockets, links and names that Windows cannot hold");
    TempDir dir;
    const fs::path mod = dir / "data/mod";
    writeFile(mod / "a.txt", "alpha");
    makeFifo(mod / "pipe");
    const BoundSocket socket(mod / "sock");
    fs::create_symlink("nowhere", mod / "dangling");
    fs::create_symlink("loop", mod / "loop");
    fs::create_directory_symlink("/", mod / "root");
    writeFile(mod / "back\\slash.txt", "a folder on Windows");
    const fs::path archive = dir / "Mod.pak";
    const Outcome run = runProgram({"pack", pathArg(archive), "--data", pathArg(dir / "data"), "--on-error", "ignore"});
    EXPECT_EQ(run.status, cli::exitStatus::success) << run.err;
    EXPECT_EQ(run.err, "voriraz-cli: skipped: dangling: a link leading nowhere, to \"nowhere\"\n"
                       "voriraz-cli: skipped: loop: a link that leads round in a loop\n"
                       "voriraz-cli: skipped: pipe: a named pipe, not a file\n"
                       "voriraz-cli: skipped: root: a link leading outside the folder, to \"/\"\n"
                       "voriraz-cli: skipped: sock: a socket, not a file\n"
                       "voriraz-cli: skipped: ArchiveWriter1: Cannot store file \""
                           + (mod / "back\\slash.txt").string()
                           + "\": a name with a backslash would be a folder on Windows - Native error: 00065\n");
    EXPECT_EQ(run.out, "Packed 1 entry of " + mod.string() + " into " + archive.string() + " ("
                           + std::to_string(fs::file_size(archive))
                           + " bytes); 1 file left out; 1 link leading outside the folder not followed; 2 links "
                             "leading nowhere left out; 2 pipes, sockets or devices left out\n");
    EXPECT_EQ(expectWholeArchive(archive, mod), std::vector<std::string> {"a.txt"});
}

// The archive saved inside the mod folder is the previous one the next time:
// left out of the new archive and replaced by it. Any other file there is
// refused as before.
TEST(Pack, AnArchiveSavedInTheModFolderIsReplacedTheNextTime)
{
    const DataCopy data(sampleData);
    const fs::path archive = data.folder() / "mod/ZavirAru.pak";
    for (int time = 1; time <= 3; ++time) {
        SCOPED_TRACE(time);
        const Outcome run = runProgram({"pack", pathArg(archive), "--data", data.arg()});
        ASSERT_EQ(run.status, cli::exitStatus::success) << run.err;
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> names = expectWholeArchive(archive, data.folder() / "mod");
        EXPECT_EQ(std::count(names.begin(), names.end(), "ZavirAru.pak"), 0);
        EXPECT_EQ(names.front(), "Maps/");
    }
    const fs::path preset = data.preset("hero_aunvelka.xdb");
    const std::string before = readFile(preset);
    const Outcome refused = runProgram({"pack", pathArg(preset), "--data", data.arg()});
    EXPECT_EQ(refused.status, cli::exitStatus::trouble);
    EXPECT_EQ(slashed(refused.err), "voriraz-cli: The archive would replace \"" + slashed(preset.string())
                                        + "\", a file of the mod folder.\n");
    EXPECT_EQ(readFile(preset), before);
}

namespace {

struct SignalRow
{
    const char *name;
    int signal;
};

void PrintTo(const SignalRow &row, std::ostream *out) { *out << row.name; }

class InterruptedPack : public ::testing::TestWithParam<SignalRow>
{
};

// Text that level 9 compresses slowly enough for a pack to be caught in the
// middle: words drawn at random from a few thousand.
void writeSlowTree(const fs::path &mod, std::size_t bytes)
{
    std::mt19937 random(11);
    std::vector<std::string> words;
    for (int i = 0; i < 4000; ++i) {
        std::string word;
        for (int letter = 0, length = 2 + static_cast<int>(random() % 8); letter < length; ++letter)
            word.push_back(static_cast<char>('a' + random() % 12));
        words.push_back(word);
    }
    std::string text;
    text.reserve(bytes + 16);
    while (text.size() < bytes)
        text.append(words[random() % words.size()]).push_back(random() % 16 == 0 ? '\n' : ' ');
    writeFile(mod / "a.txt", "alpha");
    writeFile(mod / "big.txt", text);
}

} // namespace

// The real program, interrupted while it packs: the temporary file is gone,
// the previous archive is as it was, and the exit status is 128 + signal.
TEST_P(InterruptedPack, KeepsThePreviousArchiveAndLeavesNoTemporaryFile)
{
    VORIRAZ_POSIX_ONLY("signals");
    const SignalRow &row = GetParam();
    TempDir dir;
    writeSlowTree(dir / "data/mod", 96u << 20);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const fs::path archive = out / "Mod.pak";
    writeFile(archive, previousArchive);
    ProcessRequest request;
    request.program = VORIRAZ_CLI_PROGRAM;
    request.arguments = {"pack", pathArg(archive), "--data", pathArg(dir / "data")};
    BackgroundProcess pack(request, dir / "stdout.txt", dir / "stderr.txt");

    // Caught in the middle: once the temporary file holds data.
    bool caught = false;
    for (int waited = 0; waited < 20000 && pack.running() && !caught; waited += 5) {
        for (const std::string &name : namesIn(out))
            if (name != "Mod.pak" && fs::file_size(out / name) > 0)
                caught = true;
        if (!caught)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(caught) << "the pack ended before it could be interrupted";
    pack.sendSignal(row.signal);
    EXPECT_EQ(pack.wait(10000), 128 + row.signal) << readFile(dir / "stderr.txt");
    EXPECT_EQ(readFile(archive), previousArchive);
    EXPECT_EQ(namesIn(out), std::set<std::string> {"Mod.pak"}) << "no temporary file is left";
    EXPECT_EQ(readFile(dir / "stdout.txt"), "");
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Pack, InterruptedPack, ::testing::Values(SignalRow {"None", 0}),
                         [](const ::testing::TestParamInfo<SignalRow> &row) { return std::string(row.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(Pack, InterruptedPack,
                         ::testing::Values(SignalRow {"Sigint", SIGINT}, SignalRow {"Sigterm", SIGTERM},
                                           SignalRow {"Sighup", SIGHUP}, SignalRow {"Sigquit", SIGQUIT}),
                         [](const ::testing::TestParamInfo<SignalRow> &row) { return std::string(row.param.name); });
#endif

#include "CliTestSupport.h"
#include "SystemSupport.h"

#include "catalogs/CatalogList.h"
#include "cli/ResaveCommand.h"
#include "presets/AtomicFile.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

// What the window's save writes for a preset of a tree: the preset loaded
// and saved by the library calls FileListBox1Click and SpeedButton7Click
// make, with the catalogs the window's controls hold, into a copy of its own.
std::string windowSave(const fs::path &data, const std::string &name)
{
    const PresetCatalogs catalogs {readCatalog((data / "creatures.txt").string()), readCatalog((data / "skills.txt").string()),
                                   readCatalog((data / "mastery.txt").string()),
                                   readCatalog((data / "primary_mastery.txt").string())};
    const TempDir dir;
    const std::string copy = (dir / name).string();
    fs::copy_file(data / presetsFolder / name, copy);
    PresetDocument document;
    PresetControls controls;
    loadPreset(document, copy, catalogs, controls);
    savePreset(document, copy, catalogs, controls, true);
    return readFile(copy);
}

class Resave : public ::testing::Test
{
protected:
    void TearDown() override { setWriteFaultHookForTesting(nullptr); }
};

TEST_F(Resave, StdoutIsByteForByteWhatTheWindowsSaveWritesAndTheFileStays)
{
    for (const fs::path &data : {sampleData, brokenFixture}) {
        const DataCopy tree(data);
        for (const std::string &name : presetNames(tree.folder())) {
            const std::string before = readFile(tree.preset(name));
            const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--stdout", name});
            if (run.status != cli::exitStatus::success)
                continue; // a preset the window would not save; see the refusal tests
            SCOPED_TRACE(name);
            EXPECT_EQ(run.out, windowSave(data, name));
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(readFile(tree.preset(name)), before);
        }
    }
}

TEST_F(Resave, EveryPresetOfTheSampleTreeResaves)
{
    const DataCopy tree(sampleData);
    for (const std::string &name : presetNames(tree.folder())) {
        const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), name});
        EXPECT_EQ(run.status, cli::exitStatus::success) << name << ": " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readFile(tree.preset(name)), windowSave(sampleData, name)) << name;
    }
}

TEST_F(Resave, WritesIdentifiersInTheCatalogsCaseAndDropsWhatTheCatalogsLackWhenAskedTo)
{
    const DataCopy tree(brokenFixture);
    std::string xml = readFile(tree.preset("unknown-ids.xdb"));
    xml.replace(xml.find("PSM_Z"), 5, "psm_a");
    writeFile(tree.preset("unknown-ids.xdb"), xml);

    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--drop-unknown", "unknown-ids.xdb", "respelt.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: unknown-ids.xdb: warning: drops skill item SKL_FLYING (slot 1), which the catalogs do not know\n"
                       "voriraz-cli: unknown-ids.xdb: warning: drops skill item MST_ULTRA (slot 2), which the catalogs do not know\n"
                       "voriraz-cli: unknown-ids.xdb: warning: drops army stack CRT_DRAGON (slot 2), which the catalogs do not know\n");
    ASSERT_EQ(run.status, cli::exitStatus::success);
    const std::string unknown = readFile(tree.preset("unknown-ids.xdb"));
    EXPECT_NE(unknown.find("<PrimarySkillMastery>PSM_A</PrimarySkillMastery>"), std::string::npos);
    EXPECT_EQ(unknown.find("CRT_DRAGON"), std::string::npos) << "an army item the catalog lacks is dropped";
    EXPECT_EQ(unknown.find("SKL_FLYING"), std::string::npos) << "so is a skill item";
    EXPECT_EQ(unknown.find("MST_ULTRA"), std::string::npos);
    EXPECT_NE(unknown.find("ART_Z"), std::string::npos) << "list lines are written as they stand";
    const std::string respelt = readFile(tree.preset("respelt.xdb"));
    EXPECT_NE(respelt.find("<Creature>CRT_KRELL</Creature>"), std::string::npos);
    EXPECT_NE(respelt.find("<SkillID>SKL_GRIT</SkillID>"), std::string::npos);
    EXPECT_NE(respelt.find("<Item>art_b</Item>"), std::string::npos);
    EXPECT_EQ(respelt.find("CRT_NONE"), std::string::npos) << "the empty slot closes up";
}

// A save that would drop what the catalogs lack is refused, one line per
// item; the preset stays as it was and the others are saved. Keeping the
// layout keeps the items, so nothing is dropped.
TEST_F(Resave, ItemsTheCatalogsLackRefuseTheSaveUnlessDroppingIsAskedFor)
{
    const DataCopy tree(brokenFixture);
    std::string xml = readFile(tree.preset("unknown-ids.xdb"));
    xml.replace(xml.find("PSM_Z"), 5, "PSM_A");
    writeFile(tree.preset("unknown-ids.xdb"), xml);

    for (const bool toStdout : {true, false}) {
        SCOPED_TRACE(toStdout ? "--stdout" : "in place");
        cli::Arguments arguments {"--data", tree.arg(), "unknown-ids.xdb"};
        if (toStdout)
            arguments.push_back("--stdout");
        const Outcome run = runCommand(cli::ResaveCommand(), arguments);
        EXPECT_EQ(run.err,
                  "voriraz-cli: unknown-ids.xdb: skill item SKL_FLYING (slot 1) is not in the catalogs; not saved "
                  "(--drop-unknown drops it, --keep-layout keeps it)\n"
                  "voriraz-cli: unknown-ids.xdb: skill item MST_ULTRA (slot 2) is not in the catalogs; not saved "
                  "(--drop-unknown drops it, --keep-layout keeps it)\n"
                  "voriraz-cli: unknown-ids.xdb: army stack CRT_DRAGON (slot 2) is not in the catalogs; not saved "
                  "(--drop-unknown drops it, --keep-layout keeps it)\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.status, cli::exitStatus::problems);
        EXPECT_EQ(readFile(tree.preset("unknown-ids.xdb")), xml);
    }

    Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "unknown-ids.xdb", "respelt.xdb"});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(readFile(tree.preset("respelt.xdb")), windowSave(brokenFixture, "respelt.xdb")) << "the other preset is saved";

    run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--keep-layout", "unknown-ids.xdb"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, cli::exitStatus::success);
    EXPECT_EQ(readFile(tree.preset("unknown-ids.xdb")), xml) << "kept byte for byte, unknown items included";
}

TEST_F(Resave, PresetTheWindowRefusesToSaveIsLeftAsItWasAndTheOthersAreSaved)
{
    const DataCopy tree(brokenFixture);
    const std::string refused = readFile(tree.preset("unknown-ids.xdb"));
    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--drop-unknown", "unknown-ids.xdb", "clean.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: unknown-ids.xdb: Choose a primary skill mastery before saving: without one the "
                       "preset could not be loaded again. Nothing was saved.\n");
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(readFile(tree.preset("unknown-ids.xdb")), refused);
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), windowSave(brokenFixture, "clean.xdb"));
}

TEST_F(Resave, PresetTheWindowCannotLoadIsReportedAndNotWritten)
{
    const DataCopy tree(brokenFixture);
    for (const char *name : {"conversion.xdb", "too-many-skills.xdb", "malformed.xdb"}) {
        const std::string before = readFile(tree.preset(name));
        const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), name});
        EXPECT_EQ(run.status, cli::exitStatus::problems) << name;
        EXPECT_TRUE(run.err.starts_with(std::string("voriraz-cli: ") + name + ": ")) << run.err;
        EXPECT_EQ(readFile(tree.preset(name)), before) << name;
    }
    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "conversion.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: conversion.xdb: Could not convert variant of type (Null) into type (String)\n");
}

TEST_F(Resave, UnwritableTargetIsReportedAndTheFileKeptByteForByte)
{
    const DataCopy tree(brokenFixture);
    const std::string before = readFile(tree.preset("clean.xdb"));
    setWriteFaultHookForTesting([](std::size_t) { return ENOSPC; });
    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "clean.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: clean.xdb: Cannot write file \"" + tree.preset("clean.xdb").string()
                           + "\". No space left on device.\n");
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), before);
    for (const auto &entry : fs::directory_iterator(tree.folder() / presetsFolder))
        EXPECT_EQ(entry.path().extension(), ".xdb") << "no temporary file is left: " << entry.path();
}

TEST_F(Resave, MissingPresetStopsBeforeAnyFileIsWritten)
{
    const DataCopy tree(brokenFixture);
    const std::string before = readFile(tree.preset("clean.xdb"));
    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "clean.xdb", "./absent.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"./absent.xdb\" not found\n");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), before);
}

TEST_F(Resave, NeedsPresetsAndStdoutTakesOne)
{
    const DataCopy tree(brokenFixture);
    Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg()});
    EXPECT_EQ(run.err, "voriraz-cli: resave needs at least one PRESET. Try \"voriraz-cli resave --help\".\n");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
    run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--stdout", "clean.xdb", "no-exp.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: resave --stdout takes exactly one PRESET\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
}

TEST_F(Resave, PresetOutsideThePresetsFolderByPath)
{
    const DataCopy tree(brokenFixture);
    TempDir elsewhere;
    fs::copy_file(tree.preset("clean.xdb"), elsewhere / "mine.xdb");
    const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), pathArg(elsewhere / "mine.xdb")});
    EXPECT_EQ(run.status, cli::exitStatus::success) << run.err;
    EXPECT_EQ(readFile(elsewhere / "mine.xdb"), windowSave(brokenFixture, "clean.xdb"));
}

// -o FILE: the document --stdout prints, written to FILE with the save's
// all-or-nothing replacement; the preset itself stays as it was.
TEST_F(Resave, OutputFileGetsTheSavedDocumentAndThePresetStays)
{
    const DataCopy tree(sampleData);
    const TempDir drafts;
    for (const std::string &name : presetNames(tree.folder())) {
        SCOPED_TRACE(name);
        const std::string before = readFile(tree.preset(name));
        const fs::path target = drafts / ("new-" + name);
        const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), name, "-o", pathArg(target)});
        EXPECT_EQ(run.status, cli::exitStatus::success) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readFile(target), windowSave(sampleData, name));
        EXPECT_EQ(readFile(tree.preset(name)), before);
    }
    // An existing target is replaced whole.
    const std::string name = presetNames(tree.folder()).front();
    writeFile(drafts / "old.xdb", std::string(100000, 'x'));
    EXPECT_EQ(runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--output", pathArg(drafts / "old.xdb"), name}).status,
              cli::exitStatus::success);
    EXPECT_EQ(readFile(drafts / "old.xdb"), windowSave(sampleData, name));
}

TEST_F(Resave, OutputFileThatCannotBeWrittenLeavesBothFilesAsTheyWere)
{
    const DataCopy tree(brokenFixture);
    const std::string before = readFile(tree.preset("clean.xdb"));
    const TempDir drafts;
    writeFile(drafts / "kept.xdb", "old draft");
    setWriteFaultHookForTesting([](std::size_t) { return ENOSPC; });
    Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "clean.xdb", "-o", pathArg(drafts / "kept.xdb")});
    EXPECT_EQ(run.err, "voriraz-cli: clean.xdb: Cannot write file \"" + (drafts / "kept.xdb").string()
                           + "\". No space left on device.\n");
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_EQ(readFile(drafts / "kept.xdb"), "old draft");
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), before);
    setWriteFaultHookForTesting(nullptr);

    run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "clean.xdb", "-o", pathArg(drafts / "no/such/folder.xdb")});
    EXPECT_EQ(run.status, cli::exitStatus::problems);
    EXPECT_TRUE(run.err.ends_with(pathNotFoundText() + ".\n")) << run.err;
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), before);
}

struct OutputUsageRow
{
    const char *name;
    cli::Arguments arguments;
    std::string message;
};
void PrintTo(const OutputUsageRow &row, std::ostream *out) { *out << row.name; }

class ResaveOutputUsage : public Resave, public ::testing::WithParamInterface<OutputUsageRow> {};

TEST_P(ResaveOutputUsage, IsRefusedBeforeAnythingIsWritten)
{
    const DataCopy tree(brokenFixture);
    const std::string clean = readFile(tree.preset("clean.xdb"));
    const std::string noExp = readFile(tree.preset("no-exp.xdb"));
    const Outcome run = runCommand(cli::ResaveCommand(), concat({"--data", tree.arg()}, GetParam().arguments));
    EXPECT_EQ(run.err, "voriraz-cli: " + GetParam().message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, cli::exitStatus::trouble);
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), clean);
    EXPECT_EQ(readFile(tree.preset("no-exp.xdb")), noExp);
}

const OutputUsageRow outputUsages[] = {
    {"TwoPresets", {"clean.xdb", "no-exp.xdb", "-o", "/tmp/voriraz-never-written.xdb"},
     "resave -o takes exactly one PRESET"},
    {"WithStdout", {"clean.xdb", "--stdout", "-o", "/tmp/voriraz-never-written.xdb"},
     "resave takes --stdout or -o FILE, not both"},
    // An empty name would fall back to the preset's own file.
    {"EmptyFileName", {"clean.xdb", "-o", ""}, "resave -o needs the name of a file"},
    {"MissingFileName", {"clean.xdb", "-o"}, "Missing value after '-o'. Try \"voriraz-cli resave --help\"."},
};

INSTANTIATE_TEST_SUITE_P(Resave, ResaveOutputUsage, ::testing::ValuesIn(outputUsages), RowName());

} // namespace

TEST_F(Resave, KeepLayoutWritesEveryPresetBackByteForByteAndAnEditOnlyWhereItIs)
{
    const DataCopy tree(sampleData);
    for (const std::string &name : presetNames(tree.folder())) {
        const std::string before = readFile(tree.preset(name));
        const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--keep-layout", name});
        EXPECT_EQ(run.status, cli::exitStatus::success) << name << ": " << run.err;
        EXPECT_EQ(readFile(tree.preset(name)), before) << name;
        const Outcome printed = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), "--keep-layout", "--stdout", name});
        EXPECT_EQ(printed.out, before) << name;
    }
}

TEST_F(Resave, SavingAgainGivesTheSameFile)
{
    const DataCopy tree(sampleData);
    for (const std::string &name : presetNames(tree.folder())) {
        runCommand(cli::ResaveCommand(), {"--data", tree.arg(), name});
        const std::string once = readFile(tree.preset(name));
        for (int again = 0; again < 2; ++again)
            runCommand(cli::ResaveCommand(), {"--data", tree.arg(), name});
        EXPECT_EQ(readFile(tree.preset(name)), once) << name;
    }
}

TEST_F(Resave, ValuesTheGameCannotReadRefuseTheSaveWithTheWindowsMessage)
{
    const DataCopy tree(brokenFixture);
    std::string xml = readFile(tree.preset("clean.xdb"));
    xml.replace(xml.find("<Offence>") + 9, 1, "4x");
    writeFile(tree.preset("clean.xdb"), xml);
    for (const std::string mode : {"--stdout", "--keep-layout"}) {
        const Outcome run = runCommand(cli::ResaveCommand(), {"--data", tree.arg(), mode, "clean.xdb"});
        EXPECT_EQ(run.status, cli::exitStatus::problems);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "voriraz-cli: clean.xdb: Offence: \"4x\" is not a whole number from -2147483648 to 2147483647.\n");
        EXPECT_EQ(readFile(tree.preset("clean.xdb")), xml);
    }
}

// -o onto a pipe, a device node or a folder, or a link to one, would put a
// file in its place: refused as a command that cannot run, and it stays.
TEST_F(Resave, OutputThatIsNoRegularFileIsRefusedAndStaysWhatItIs)
{
    VORIRAZ_POSIX_ONLY("pipes, device nodes and links");
    const DataCopy tree(brokenFixture);
    const std::string preset = readFile(tree.preset("clean.xdb"));
    const TempDir x;
    makeFifo(x / "pipe");
    fs::create_symlink(x / "pipe", x / "link-to-pipe");
    fs::create_directory(x / "folder");
    std::vector<std::string> targets {"pipe", "link-to-pipe", "folder"};
    if (makeNullDeviceNode(x / "nul")) {
        fs::create_symlink(x / "nul", x / "link-to-nul");
        targets.insert(targets.end(), {"nul", "link-to-nul"});
    }
    for (const std::string &name : targets) {
        SCOPED_TRACE(name);
        const fs::file_type before = fs::status(x / name).type();
        for (const char *mode : {"", "--keep-layout"}) {
            cli::Arguments arguments {"--data", tree.arg(), "clean.xdb", "-o", pathArg(x / name)};
            if (*mode)
                arguments.push_back(mode);
            const Outcome run = runCommand(cli::ResaveCommand(), arguments);
            EXPECT_EQ(run.err, "voriraz-cli: \"" + pathArg(x / name) + "\" is not a regular file.\n");
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.status, cli::exitStatus::trouble);
            EXPECT_EQ(fs::status(x / name).type(), before);
        }
    }
    EXPECT_EQ(readFile(tree.preset("clean.xdb")), preset);
}

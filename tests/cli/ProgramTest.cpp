#include "CliTestSupport.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

// The program itself, started as a process: real exit statuses, and what
// goes to which stream.
namespace {

TEST(Program, HelpListsTheCommands)
{
    const Outcome run = runProgram({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: voriraz-cli COMMAND [ARGUMENTS...]\n")) << run.out;
    for (const char *line : {"  check     Report what the editor", "  resave    Load and save presets",
                             "  stats     Print the army totals"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_EQ(run.err, "");
}

TEST(Program, CommandHelpNamesItsUsageAndPresetRules)
{
    const Outcome run = runProgram({"resave", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: voriraz-cli resave [--data DIR] [--stdout | -o FILE] [--keep-layout] "
                                    "[--drop-unknown] PRESET...\n")) << run.out;
    EXPECT_NE(run.out.find("--stdout"), std::string::npos);
    EXPECT_NE(run.out.find("-o, --output <FILE>"), std::string::npos);
    EXPECT_NE(run.out.find("--data <DIR>"), std::string::npos);
    EXPECT_NE(run.out.find("a bare file name is a preset of DIR/mod/Maps/DuelMode/Heroes"), std::string::npos);
}

TEST(Program, Version)
{
    const Outcome run = runProgram({"--version"});
    EXPECT_EQ(run.out, "voriraz-cli " + std::string(VORIRAZ_VERSION_FOR_TESTS) + "\n");
    EXPECT_EQ(run.status, 0);
}

TEST(Program, WithoutACommandPrintsTheHelpAsAnError)
{
    const Outcome run = runProgram({});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("Usage: voriraz-cli COMMAND")) << run.err;
}

TEST(Program, UnknownCommandAndUnknownOption)
{
    Outcome run = runProgram({"pack2"});
    EXPECT_EQ(run.err, "voriraz-cli: unknown command \"pack2\". Try \"voriraz-cli --help\".\n");
    EXPECT_EQ(run.status, 2);
    run = runProgram({"check", "--frobnicate"});
    EXPECT_EQ(run.err, "voriraz-cli: Unknown option 'frobnicate'. Try \"voriraz-cli check --help\".\n");
    EXPECT_EQ(run.status, 2);
    run = runProgram({"stats", "--data"});
    EXPECT_EQ(run.err, "voriraz-cli: Missing value after '--data'. Try \"voriraz-cli stats --help\".\n");
    EXPECT_EQ(run.status, 2);
}

TEST(Program, CheckOfTheSampleDataBesideTheProgram)
{
    Outcome run = runProgram({"check", "hero_aunvelka.xdb", "hero_quillitrand.xdb"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    // The odd presets show what the default save would change.
    run = runProgram({"check", "hero_yvvarith.xdb"});
    EXPECT_TRUE(run.out.starts_with("hero_yvvarith.xdb: ")) << run.out;
    EXPECT_EQ(run.status, 1);
}

TEST(Program, CheckOfTheBrokenTreeFindsAndFails)
{
    const DataCopy tree(brokenFixture, "mydata");
    const Outcome run = runProgram({"check", "--data", tree.arg(), "no-exp.xdb", "clean.xdb", "bad-count.xdb"});
    EXPECT_EQ(run.out,
              "no-exp.xdb: armySlots/Item[1]: army totals for creature \"CRT_NOEXP\": Could not convert variant of type "
              "(Null) into type (String)\n"
              "bad-count.xdb: armySlots/Item[3]: an empty army slot; a save leaves it out and the stacks after it move up, "
              "a save that keeps the layout keeps it\n"
              "bad-count.xdb: armySlots/Item[1]/Count: '12 ' is not a valid integer value.\n"
              "bad-count.xdb: armySlots/Item[2]/Count: 'ten' is not a valid integer value.\n"
              "bad-count.xdb: armySlots/Item[3]/Count: 'none' is not a valid integer value.\n"
              "bad-count.xdb: save refused: Army slot 1: \"12 \" is not a whole number from 0 to 2147483647.\n"
              "bad-count.xdb: save refused: Army slot 2: \"ten\" is not a whole number from 0 to 2147483647.\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(runProgram({"check", "--data", tree.arg(), "clean.xdb"}).status, 0);
}

TEST(Program, MissingDataFolder)
{
    const TempDir dir;
    const fs::path missing = dir / "nowhere";
    for (const char *command : {"check", "resave", "stats"}) {
        const Outcome run = runProgram({command, "--data", pathArg(missing), "clean.xdb"});
        EXPECT_EQ(run.err, "voriraz-cli: data folder \"" + missing.string() + "\" not found\n") << command;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.status, 2);
    }
    writeFile(dir / "file", "x");
    const Outcome run = runProgram({"check", "--data", pathArg(dir / "file")});
    EXPECT_EQ(run.err, "voriraz-cli: data folder \"" + (dir / "file").string() + "\" is not a folder\n");
    EXPECT_EQ(run.status, 2);
}

TEST(Program, DataFolderTheWindowCouldNotStartWith)
{
    const DataCopy tree(brokenFixture);
    writeFile(tree.folder() / "mastery.txt", "MST_LOW\n\nMST_HIGH\n");
    const Outcome run = runProgram({"check", "--data", tree.arg()});
    EXPECT_EQ(run.err, "voriraz-cli: cannot use the data folder \"" + tree.folder().string() + "\": "
                           + programPath(tree.folder(), "mastery.txt") + ", line 2: empty entry.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 2);
}

// A missing icon no longer keeps the window from starting, nor the checks:
// a warning on the error stream, and the exit status is the findings'.
TEST(Program, MissingIconIsAWarningOfCheck)
{
    const DataCopy tree(brokenFixture);
    fs::remove(tree.folder() / "img/perks/PRK_B.jpg");
    const Outcome run = runProgram({"check", "--data", tree.arg(), "clean.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: warning: placeholder icon: Cannot open file \""
                           + programPath(tree.folder(), "img/perks/PRK_B.jpg") + "\". " + fileNotFoundText() + ".\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
}

TEST(Program, MissingPreset)
{
    const DataCopy tree(brokenFixture);
    Outcome run = runProgram({"stats", "--data", tree.arg(), "absent.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"absent.xdb\" not found in the presets folder \""
                           + programPath(tree.folder(), presetsFolder) + "\"\n");
    EXPECT_EQ(run.status, 2);
    run = runProgram({"resave", "--data", tree.arg(), "sub/absent.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"sub/absent.xdb\" not found\n");
    EXPECT_EQ(run.status, 2);
    run = runProgram({"check", "--data", tree.arg(), pathArg(tree.folder())});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"" + tree.folder().string() + "\" is not a file\n");
    EXPECT_EQ(run.status, 2);
}

TEST(Program, BareNamesArePresetsOfTheTreeAndPathsAreRelativeToTheWorkingFolder)
{
    const DataCopy tree(brokenFixture);
    const TempDir work;
    fs::copy_file(tree.preset("no-exp.xdb"), work / "clean.xdb");
    // The bare name is the tree's clean preset, not the file of that name here.
    EXPECT_EQ(runProgram({"check", "--data", tree.arg(), "clean.xdb"}, work.path()).status, 0);
    const Outcome run = runProgram({"check", "--data", tree.arg(), "./clean.xdb"}, work.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.starts_with("./clean.xdb: armySlots/Item[1]: ")) << run.out;
}

TEST(Program, ResaveToStdoutIsWhatResaveWrites)
{
    const DataCopy tree(sampleData);
    for (const std::string &name : presetNames(tree.folder())) {
        const std::string before = readFile(tree.preset(name));
        const Outcome printed = runProgram({"resave", "--stdout", "--data", tree.arg(), name});
        EXPECT_EQ(printed.status, 0) << printed.err;
        EXPECT_EQ(readFile(tree.preset(name)), before) << "--stdout writes nothing";
        const Outcome saved = runProgram({"resave", "--data", tree.arg(), name});
        EXPECT_EQ(saved.status, 0) << saved.err;
        EXPECT_EQ(saved.out, "");
        EXPECT_EQ(printed.out, readFile(tree.preset(name))) << name;
    }
}

TEST(Program, ResaveOfAnUnwritableTarget)
{
    VORIRAZ_POSIX_ONLY("names past the file system's 255 bytes, which Wine reports as missing files");
    // Permissions do not stop root, who runs these tests in CI. A preset
    // whose name leaves no room for the save's temporary file beside it
    // ("." + name + ".XXXXXX") is readable but cannot be replaced, for
    // anyone.
    const DataCopy tree(brokenFixture);
    const std::string name = std::string(250, 'a') + ".xdb";
    fs::copy_file(tree.preset("clean.xdb"), tree.preset(name));
    const std::string before = readFile(tree.preset(name));
    const Outcome run = runProgram({"resave", "--data", tree.arg(), name});
    EXPECT_EQ(run.err, "voriraz-cli: " + name + ": Cannot write file \"" + tree.preset(name).string()
                           + "\". File name too long.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readFile(tree.preset(name)), before);
}

TEST(Program, StatsPrintsTheWindowsTotalsOrItsError)
{
    Outcome run = runProgram({"stats", "hero_ossiwend.xdb"});
    EXPECT_EQ(run.out, "Total experience: 96\nTotal cost (gold): 348\nTotal power: 1056\n");
    EXPECT_EQ(run.status, 0);
    const DataCopy tree(brokenFixture);
    run = runProgram({"stats", "overflow-item.xdb", "--data", tree.arg()});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "voriraz-cli: overflow-item.xdb: The army's total experience leaves the range of 32-bit integers "
                       "(-2147483648 to 2147483647)\n");
    EXPECT_EQ(run.status, 1);
}

// A name longer than the system allows is told as such, not as missing.
TEST(Program, NamesTooLongForTheSystemSaySo)
{
    VORIRAZ_POSIX_ONLY("names past the file system's 255 bytes, which Wine reports as missing files");
    const DataCopy tree(brokenFixture);
    const std::string longName = std::string(300, 'n') + ".xdb";
    Outcome run = runProgram({"stats", "--data", tree.arg(), longName});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"" + longName + "\": File name too long\n");
    EXPECT_EQ(run.status, 2);

    const std::string longPath = "/" + std::string(5000, 'p');
    run = runProgram({"resave", "--data", tree.arg(), longPath + "/x.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: preset \"" + longPath + "/x.xdb\": File name too long\n");
    EXPECT_EQ(run.status, 2);

    run = runProgram({"check", "--data", longPath});
    EXPECT_EQ(run.err, "voriraz-cli: data folder \"" + longPath + "\": File name too long\n");
    EXPECT_EQ(run.status, 2);
}

// A reference table that links a creature to a file outside the data
// folder: the file is not read, and the message names the link alone.
TEST(Program, ACreatureLinkOutOfTheDataFolderIsRefusedWithoutReadingIt)
{
    const DataCopy tree(brokenFixture);
    writeFile(tree.folder() / "../secret.xdb", "<Creature><Exp>TOP SECRET</Exp></Creature>");
    const fs::path table = tree.folder() / "GameMechanics/RefTables/Creatures.xdb";
    std::string xml = readFile(table);
    const std::string krell = "/GameMechanics/Creature/Krell.xdb#xpointer(/Creature)";
    const std::string outside = "/../secret.xdb#xpointer(/Creature)";
    xml.replace(xml.find(krell), krell.size(), outside);
    writeFile(table, xml);

    Outcome run = runProgram({"stats", "--data", tree.arg(), "clean.xdb"});
    EXPECT_EQ(run.err, "voriraz-cli: clean.xdb: Creature file \"" + outside + "\" lies outside the data folder.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);

    run = runProgram({"check", "--data", tree.arg(), "clean.xdb"});
    EXPECT_NE(run.out.find("Creature file \"" + outside + "\" lies outside the data folder"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("SECRET"), std::string::npos);
    EXPECT_EQ(run.status, 1);
}

} // namespace

#include "CliTestSupport.h"

#include <gtest/gtest.h>

using namespace voriraz;
using namespace voriraz::test;

// The command line as users have always typed it: options and arguments in
// any order, compacted short options, "--" and "=" forms, and the message and
// exit status of each way to get it wrong. Run as a process, so the program's
// own dispatch is part of it.
namespace {

struct UsageRow
{
    const char *name;
    cli::Arguments arguments;
    int status;
    // "{version}" stands for the program's version, "{data}" for the data
    // folder beside the program.
    std::string out;
    std::string err;
};
void PrintTo(const UsageRow &row, std::ostream *out) { *out << row.name; }

std::string expanded(std::string text)
{
    for (const auto &[mark, value] : {std::pair<std::string, std::string> {"{version}", VORIRAZ_VERSION_FOR_TESTS},
                                      {"{data}", sampleData.string()}}) {
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

class Usage : public ::testing::TestWithParam<UsageRow> {};

TEST_P(Usage, GivesTheKnownAnswer)
{
    const Outcome run = runProgram(GetParam().arguments);
    EXPECT_EQ(run.err, expanded(GetParam().err));
    EXPECT_EQ(run.out, expanded(GetParam().out));
    EXPECT_EQ(run.status, GetParam().status);
}

const UsageRow usages[] = {
    {"Version", {"--version"}, 0, "voriraz-cli {version}\n", ""},
    {"V", {"-v"}, 0, "voriraz-cli {version}\n", ""},
    {"HelpAll", {"--help-all"}, 2, "", "voriraz-cli: Unknown option 'help-all'. Try \"voriraz-cli --help\".\n"},
    {"Hv", {"-hv"}, 0, "voriraz-cli {version}\n", ""},
    {"Vh", {"-vh"}, 0, "voriraz-cli {version}\n", ""},
    {"VersionCheck", {"--version", "check"}, 0, "voriraz-cli {version}\n", ""},
    {"Frobnicate", {"--frobnicate"}, 2, "", "voriraz-cli: Unknown option 'frobnicate'. Try \"voriraz-cli --help\".\n"},
    {"X", {"-x"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli --help\".\n"},
    {"FrobnicateOther", {"--frobnicate", "--other"}, 2, "", "voriraz-cli: Unknown options: frobnicate, other. Try \"voriraz-cli --help\".\n"},
    {"DataNowhere", {"--data", "/nowhere"}, 2, "", "voriraz-cli: Unknown option 'data'. Try \"voriraz-cli --help\".\n"},
    {"Data", {"--data"}, 2, "", "voriraz-cli: Unknown option 'data'. Try \"voriraz-cli --help\".\n"},
    {"Version3", {"--version=3"}, 2, "", "voriraz-cli: Unexpected value after '--version'. Try \"voriraz-cli --help\".\n"},
    {"HelpX", {"--help=x"}, 2, "", "voriraz-cli: Unexpected value after '--help'. Try \"voriraz-cli --help\".\n"},
    {"Pack2", {"pack2"}, 2, "", "voriraz-cli: unknown command \"pack2\". Try \"voriraz-cli --help\".\n"},
    {"Pack2Help", {"pack2", "--help"}, 2, "", "voriraz-cli: unknown command \"pack2\". Try \"voriraz-cli --help\".\n"},
    {"EmptyCommand", {""}, 2, "", "voriraz-cli: unknown command \"\". Try \"voriraz-cli --help\".\n"},
    {"DashCommand", {"-"}, 2, "", "voriraz-cli: unknown command \"-\". Try \"voriraz-cli --help\".\n"},
    {"CheckHFrobnicate", {"check", "-h", "--frobnicate"}, 2, "", "voriraz-cli: Unknown option 'frobnicate'. Try \"voriraz-cli check --help\".\n"},
    {"CheckHelpAll", {"check", "--help-all"}, 2, "", "voriraz-cli: Unknown option 'help-all'. Try \"voriraz-cli check --help\".\n"},
    {"CheckFrobnicate", {"check", "--frobnicate"}, 2, "", "voriraz-cli: Unknown option 'frobnicate'. Try \"voriraz-cli check --help\".\n"},
    {"CheckFrobnicateMore", {"check", "--frobnicate", "--more"}, 2, "", "voriraz-cli: Unknown options: frobnicate, more. Try \"voriraz-cli check --help\".\n"},
    {"CheckX", {"check", "-x"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli check --help\".\n"},
    {"CheckXy", {"check", "-xy"}, 2, "", "voriraz-cli: Unknown options: x, y. Try \"voriraz-cli check --help\".\n"},
    {"CheckVersion", {"check", "--version"}, 2, "", "voriraz-cli: Unknown option 'version'. Try \"voriraz-cli check --help\".\n"},
    {"CheckV", {"check", "-v"}, 2, "", "voriraz-cli: Unknown option 'v'. Try \"voriraz-cli check --help\".\n"},
    {"CheckData", {"check", "--data"}, 2, "", "voriraz-cli: Missing value after '--data'. Try \"voriraz-cli check --help\".\n"},
    {"CheckData2", {"check", "--data="}, 2, "", "voriraz-cli: --data needs the path of a folder\n"},
    {"CheckData3", {"check", "--data", ""}, 2, "", "voriraz-cli: --data needs the path of a folder\n"},
    {"CheckDataNowhere", {"check", "--data=/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckDataNowhereDataElsewhere", {"check", "--data", "/nowhere", "--data", "/elsewhere"}, 2, "", "voriraz-cli: data folder \"/elsewhere\" not found\n"},
    {"CheckDataNowhereAB", {"check", "--data=/nowhere", "a", "b"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckData4", {"check", "--", "--data"}, 2, "", "voriraz-cli: preset \"--data\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"CheckDataNowhereFrob", {"check", "--data", "/nowhere", "--", "--frob"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckDataNowhere2", {"check", "--data", "/nowhere", "-"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckDataX", {"check", "--Data", "/x"}, 2, "", "voriraz-cli: Unknown option 'Data'. Try \"voriraz-cli check --help\".\n"},
    {"CheckHelpYes", {"check", "--help=yes"}, 2, "", "voriraz-cli: Unexpected value after '--help'. Try \"voriraz-cli check --help\".\n"},
    {"CheckDX", {"check", "--d", "/x"}, 2, "", "voriraz-cli: Unknown option 'd'. Try \"voriraz-cli check --help\".\n"},
    {"CheckDataX2", {"check", "-data", "/x"}, 2, "", "voriraz-cli: Unknown options: d, a, t, a. Try \"voriraz-cli check --help\".\n"},
    {"Pack", {"pack"}, 2, "", "voriraz-cli: pack takes exactly one OUT.pak. Try \"voriraz-cli pack --help\".\n"},
    {"PackDataNowhere", {"pack", "--data", "/nowhere"}, 2, "", "voriraz-cli: pack takes exactly one OUT.pak. Try \"voriraz-cli pack --help\".\n"},
    {"PackDataNowhereAPakBPak", {"pack", "--data", "/nowhere", "a.pak", "b.pak"}, 2, "", "voriraz-cli: pack takes exactly one OUT.pak. Try \"voriraz-cli pack --help\".\n"},
    {"PackOnError", {"pack", "--on-error"}, 2, "", "voriraz-cli: Missing value after '--on-error'. Try \"voriraz-cli pack --help\".\n"},
    {"PackOnErrorBogusAPak", {"pack", "--on-error", "bogus", "a.pak"}, 2, "", "voriraz-cli: Invalid --on-error action: \"bogus\". Use abort, ignore or retry-once.\n"},
    {"PackOnErrorBogusAPakDataNowhere", {"pack", "--on-error=bogus", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: Invalid --on-error action: \"bogus\". Use abort, ignore or retry-once.\n"},
    {"PackOnErrorIgnoreAPakDataNowhere", {"pack", "--on-error", "ignore", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"PackOnErrorAPakDataNowhere", {"pack", "--on-error=", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: Invalid --on-error action: \"\". Use abort, ignore or retry-once.\n"},
    {"PackOnErrorAPakDataNowhere2", {"pack", "--on-error", "", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: Invalid --on-error action: \"\". Use abort, ignore or retry-once.\n"},
    {"PackOnErrorIgnoreAPakDataNowhere2", {"pack", "--on-error", "IGNORE", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: Invalid --on-error action: \"IGNORE\". Use abort, ignore or retry-once.\n"},
    {"PackOnErrorAbortOnErrorBogusAPakDataNowhere", {"pack", "--on-error", "abort", "--on-error", "bogus", "a.pak", "--data", "/nowhere"}, 2, "", "voriraz-cli: Invalid --on-error action: \"bogus\". Use abort, ignore or retry-once.\n"},
    {"Resave", {"resave"}, 2, "", "voriraz-cli: resave needs at least one PRESET. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveDataNowhere", {"resave", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave needs at least one PRESET. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveStdout", {"resave", "--stdout"}, 2, "", "voriraz-cli: resave needs at least one PRESET. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveStdoutABDataNowhere", {"resave", "--stdout", "a", "b", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave --stdout takes exactly one PRESET\n"},
    {"ResaveO", {"resave", "-o"}, 2, "", "voriraz-cli: Missing value after '-o'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveOutput", {"resave", "--output"}, 2, "", "voriraz-cli: Missing value after '--output'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveOXXdbDataNowhere", {"resave", "-o", "", "x.xdb", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave -o needs the name of a file\n"},
    {"ResaveOutputXXdbDataNowhere", {"resave", "--output=", "x.xdb", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave -o needs the name of a file\n"},
    {"ResaveOfileXdbXXdbDataNowhere", {"resave", "-ofile.xdb", "x.xdb", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"ResaveOFileXdbStdoutXXdbDataNowhere", {"resave", "-o", "file.xdb", "--stdout", "x.xdb", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave takes --stdout or -o FILE, not both\n"},
    {"ResaveOFileXdbABDataNowhere", {"resave", "-o", "file.xdb", "a", "b", "--data", "/nowhere"}, 2, "", "voriraz-cli: resave -o takes exactly one PRESET\n"},
    {"ResaveStdout1X", {"resave", "--stdout=1", "x"}, 2, "", "voriraz-cli: Unexpected value after '--stdout'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveKeepLayoutYesX", {"resave", "--keep-layout=yes", "x"}, 2, "", "voriraz-cli: Unexpected value after '--keep-layout'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveSoX", {"resave", "-so", "x"}, 2, "", "voriraz-cli: Unknown option 's'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveOsX", {"resave", "-os", "x"}, 2, "", "voriraz-cli: preset \"x\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"ResaveOutputFXdbXDataNowhere", {"resave", "--output=f.xdb", "x", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"ResaveStdoutXDataNowhere", {"resave", "--stdout", "x", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"Stats", {"stats"}, 2, "", "voriraz-cli: stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".\n"},
    {"StatsAB", {"stats", "a", "b"}, 2, "", "voriraz-cli: stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".\n"},
    {"StatsABDataNowhere", {"stats", "a", "b", "--data", "/nowhere"}, 2, "", "voriraz-cli: stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".\n"},
    {"StatsData", {"stats", "--data"}, 2, "", "voriraz-cli: Missing value after '--data'. Try \"voriraz-cli stats --help\".\n"},
    {"StatsDataNowhere", {"stats", "--data", "/nowhere"}, 2, "", "voriraz-cli: stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".\n"},
    {"StatsDataNowhereXXdb", {"stats", "--data", "/nowhere", "x.xdb"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"StatsFrobnicateXXdb", {"stats", "--frobnicate", "x.xdb"}, 2, "", "voriraz-cli: Unknown option 'frobnicate'. Try \"voriraz-cli stats --help\".\n"},
    {"StatsH", {"stats", "--", "-h"}, 2, "", "voriraz-cli: preset \"-h\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"BracketedListIsOneArgument", {"check", "[a,b]"}, 2, "", "voriraz-cli: preset \"[a,b]\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"BracketsAreKept", {"stats", "[x]"}, 2, "", "voriraz-cli: preset \"[x]\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"Stats1", {"stats", "-1"}, 2, "", "voriraz-cli: preset \"-1\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"Check1DataNowhere", {"check", "-1", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckHX", {"check", "-h=x"}, 2, "", "voriraz-cli: Unknown options: =, x. Try \"voriraz-cli check --help\".\n"},
    {"ResaveXo", {"resave", "-xo"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveXoFXDataNowhere", {"resave", "-xo", "f", "x", "--data", "/nowhere"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli resave --help\".\n"},
    {"ResaveOutputOXDataNowhere", {"resave", "--output", "-o", "x", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"ResaveOStdoutXDataNowhere", {"resave", "-o", "--stdout", "x", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"CheckDataHelp", {"check", "--data", "--help"}, 2, "", "voriraz-cli: data folder \"--help\" not found\n"},
    {"CheckX2", {"check", "--=x"}, 2, "", "voriraz-cli: Unknown option ''. Try \"voriraz-cli check --help\".\n"},
    {"ResaveStdout1O", {"resave", "--stdout=1", "-o"}, 2, "", "voriraz-cli: Unexpected value after '--stdout'. Try \"voriraz-cli resave --help\".\n"},
    {"CheckDataADataX", {"check", "--data", "a", "--data=", "x"}, 2, "", "voriraz-cli: --data needs the path of a folder\n"},
    {"ResaveOXXdbYDataNowhere", {"resave", "-o=x.xdb", "y", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"PackXPakOnError", {"pack", "x.pak", "--on-error="}, 2, "", "voriraz-cli: Invalid --on-error action: \"\". Use abort, ignore or retry-once.\n"},
    {"CheckXdbDataNowhere", {"check", "é.xdb", "--data", "/nowhere"}, 2, "", "voriraz-cli: data folder \"/nowhere\" not found\n"},
    {"StatsBerallXdb", {"stats", "überall.xdb"}, 2, "", "voriraz-cli: preset \"überall.xdb\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
    {"CheckDataNowhereFrob1", {"check", "--data=/nowhere", "--frob=1"}, 2, "", "voriraz-cli: Unknown option 'frob'. Try \"voriraz-cli check --help\".\n"},
    {"CheckHd", {"check", "-hd"}, 2, "", "voriraz-cli: Unknown option 'd'. Try \"voriraz-cli check --help\".\n"},
    {"Hx", {"-hx"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli --help\".\n"},
    {"XCheck", {"-x", "check"}, 2, "", "voriraz-cli: Unknown option 'x'. Try \"voriraz-cli --help\".\n"},
    {"Help", {"--", "--help"}, 2, "", "voriraz-cli: unknown command \"--help\". Try \"voriraz-cli --help\".\n"},
    {"CheckX3", {"check/x"}, 2, "", "voriraz-cli: unknown command \"check/x\". Try \"voriraz-cli --help\".\n"},
    {"Check", {"./check"}, 2, "", "voriraz-cli: unknown command \"./check\". Try \"voriraz-cli --help\".\n"},
    {"ResaveO2", {"resave", "-o"}, 2, "", "voriraz-cli: Missing value after '-o'. Try \"voriraz-cli resave --help\".\n"},
    {"Check2", {"check", "-"}, 2, "", "voriraz-cli: preset \"-\" not found in the presets folder \"{data}/mod/Maps/DuelMode/Heroes\"\n"},
};

INSTANTIATE_TEST_SUITE_P(Program, Usage, ::testing::ValuesIn(usages), RowName());

struct HelpRow
{
    const char *name;
    cli::Arguments arguments;
    // The text, kept in tests/data/cli/help.
    const char *file;
    // Without a command the help is an error, on the error stream.
    bool isError;
};
void PrintTo(const HelpRow &row, std::ostream *out) { *out << row.name; }

class Help : public ::testing::TestWithParam<HelpRow> {};

TEST_P(Help, IsTheKnownText)
{
    const std::string text = readFile(std::filesystem::path(VORIRAZ_TEST_DATA) / "cli/help" / GetParam().file);
    const Outcome run = runProgram(GetParam().arguments);
    EXPECT_EQ(GetParam().isError ? run.err : run.out, text);
    EXPECT_EQ(GetParam().isError ? run.out : run.err, "");
    EXPECT_EQ(run.status, GetParam().isError ? 2 : 0);
}

const HelpRow helps[] = {
    {"Program", {"--help"}, "program.txt", false},
    {"ProgramShort", {"-h"}, "program.txt", false},
    {"ProgramWithoutCommand", {}, "program.txt", true},
    {"Check", {"check", "--help"}, "check.txt", false},
    {"CheckShortAmongArguments", {"check", "a.xdb", "-h", "b.xdb"}, "check.txt", false},
    {"Pack", {"pack", "--help"}, "pack.txt", false},
    {"Resave", {"resave", "-h"}, "resave.txt", false},
    {"Stats", {"stats", "--help"}, "stats.txt", false},
};

INSTANTIATE_TEST_SUITE_P(Program, Help, ::testing::ValuesIn(helps), RowName());

} // namespace

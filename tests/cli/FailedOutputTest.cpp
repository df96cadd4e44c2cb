#include "CliTestSupport.h"
#include "SystemSupport.h"

#include "cli/DescriptorOutput.h"
#include "cli/StatsCommand.h"

#include <gtest/gtest.h>


using namespace voriraz;
using namespace voriraz::test;

namespace {

const std::string fullDeviceMessage = "voriraz-cli: cannot write to standard output: No space left on device\n";

struct FullOutputRow
{
    const char *name;
    cli::Arguments arguments;
    // The exit status when the output could be written.
    int statusWritten;
    // What the error stream says before the failed write, if anything.
    std::string errBefore;
};
void PrintTo(const FullOutputRow &row, std::ostream *out) { *out << row.name; }

class FullOutput : public ::testing::TestWithParam<FullOutputRow> {};

// Standard output on a full disk: the results are lost, which is a failure
// with its reason, never exit status 0.
TEST_P(FullOutput, IsAFailureWithItsReason)
{
    VORIRAZ_POSIX_ONLY("a device that is always full");
    const DataCopy tree(brokenFixture);
    cli::Arguments arguments = GetParam().arguments;
    for (std::string &argument : arguments) {
        if (const std::size_t at = argument.find("{data}"); at != std::string::npos)
            argument.replace(at, 6, tree.arg());
    }

    const Outcome written = runProgram(arguments);
    EXPECT_EQ(written.status, GetParam().statusWritten) << written.err;
    EXPECT_FALSE(written.out.empty());

    const Outcome full = runProgram(arguments, {}, fullDevice);
    EXPECT_EQ(full.err, GetParam().errBefore + fullDeviceMessage);
    EXPECT_EQ(full.status, std::max(GetParam().statusWritten, 1));
}

const FullOutputRow fullOutputs[] = {
    {"ResaveToStdout", {"resave", "--stdout", "--data", "{data}", "clean.xdb"}, 0, ""},
    {"Stats", {"stats", "--data", "{data}", "clean.xdb"}, 0, ""},
    {"CheckWithFindings", {"check", "--data", "{data}", "bad-count.xdb"}, 1, ""},
    {"Pack", {"pack", "--data", "{data}", "{data}/../out.pak"}, 0, ""},
    {"Help", {"--help"}, 0, ""},
    {"CommandHelp", {"stats", "--help"}, 0, ""},
    {"Version", {"--version"}, 0, ""},
};

INSTANTIATE_TEST_SUITE_P(Program, FullOutput, ::testing::ValuesIn(fullOutputs), RowName());

// Nothing is printed, so nothing can fail to be written.
TEST(FullOutputUnused, ResaveToAFileStillSucceeds)
{
    VORIRAZ_POSIX_ONLY("a device that is always full");
    const DataCopy tree(brokenFixture);
    const Outcome run = runProgram({"resave", "--data", tree.arg(), "clean.xdb"}, {}, fullDevice);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

// The same in-process: a command's results written through the buffer the
// program puts on standard output.
TEST(DescriptorOutput, ACommandWhoseResultsCannotBeWrittenFails)
{
    VORIRAZ_POSIX_ONLY("a device that is always full");
    const DataCopy tree(brokenFixture);
    const int fd = openDescriptor(fullDevice);
    ASSERT_GE(fd, 0);
    std::ostringstream err;
    {
        cli::DescriptorBuffer buffer(fd);
        std::ostream out(&buffer);
        cli::StatsCommand stats;
        EXPECT_EQ(stats.execute({"--data", tree.arg(), "clean.xdb"}, {out, err}), cli::exitStatus::problems);
        EXPECT_EQ(buffer.errorNumber(), ENOSPC);
    }
    closeDescriptor(fd);
    EXPECT_EQ(err.str(), fullDeviceMessage);
}

TEST(DescriptorOutput, WritesEverythingInOrderPastItsBuffer)
{
    TempDir dir;
    const std::string path = (dir / "out.txt").string();
    const int fd = openDescriptor(path);
    ASSERT_GE(fd, 0);
    std::string expected;
    {
        cli::DescriptorBuffer buffer(fd);
        std::ostream out(&buffer);
        for (int i = 0; i < 20000; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            out << line;
            expected += line;
        }
        std::ostringstream err;
        EXPECT_TRUE(cli::outputWritten(out, err));
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(buffer.errorNumber(), 0);
    }
    closeDescriptor(fd);
    EXPECT_EQ(readFile(path), expected);
}

} // namespace

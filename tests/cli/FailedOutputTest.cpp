#include "CliTestSupport.h"

#include "cli/DescriptorOutput.h"
#include "cli/StatsCommand.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace voriraz;
using namespace voriraz::test;

namespace {

const std::string fullDevice = "voriraz-cli: cannot write to standard output: No space left on device\n";

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
    const DataCopy tree(brokenFixture);
    cli::Arguments arguments = GetParam().arguments;
    for (std::string &argument : arguments) {
        if (const std::size_t at = argument.find("{data}"); at != std::string::npos)
            argument.replace(at, 6, tree.arg());
    }

    const Outcome written = runProgram(arguments);
    EXPECT_EQ(written.status, GetParam().statusWritten) << written.err;
    EXPECT_FALSE(written.out.empty());

    const Outcome full = runProgram(arguments, {}, "/dev/full");
    EXPECT_EQ(full.err, GetParam().errBefore + fullDevice);
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
    const DataCopy tree(brokenFixture);
    const Outcome run = runProgram({"resave", "--data", tree.arg(), "clean.xdb"}, {}, "/dev/full");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

// The same in-process: a command's results written through the buffer the
// program puts on standard output.
TEST(DescriptorOutput, ACommandWhoseResultsCannotBeWrittenFails)
{
    const DataCopy tree(brokenFixture);
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::ostringstream err;
    {
        cli::DescriptorBuffer buffer(fd);
        std::ostream out(&buffer);
        cli::StatsCommand stats;
        EXPECT_EQ(stats.execute({"--data", tree.arg(), "clean.xdb"}, {out, err}), cli::exitStatus::problems);
        EXPECT_EQ(buffer.errorNumber(), ENOSPC);
    }
    ::close(fd);
    EXPECT_EQ(err.str(), fullDevice);
}

TEST(DescriptorOutput, WritesEverythingInOrderPastItsBuffer)
{
    TempDir dir;
    const std::string path = (dir / "out.txt").string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
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
    ::close(fd);
    EXPECT_EQ(readFile(path), expected);
}

} // namespace

#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <chrono>

using namespace voriraz::test;

namespace {

struct EditorRun
{
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs the editor's executable. Without a display: a program that tried to
// open its window would end with Qt's failure to find one instead.
EditorRun runEditor(const QStringList &arguments, bool withPlatform = false, const QString &stdoutFile = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (withPlatform)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    const auto start = std::chrono::steady_clock::now();
    process.start(QStringLiteral(VORIRAZ_WINDOW_PROGRAM), arguments);
    EditorRun run;
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "voriraz did not end by itself: " << process.readAllStandardError().toStdString();
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
#ifdef _WIN32
    // A Windows program's text output ends its lines with "\r\n".
    for (std::string *text : {&run.out, &run.err}) {
        for (std::size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at))
            text->erase(at, 1);
    }
#endif
    return run;
}

TEST(WindowProgram, HelpExitsAtOnceWithoutAWindow)
{
    for (const char *option : {"--help", "-h"}) {
        const EditorRun run = runEditor({QString::fromLatin1(option)});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out.starts_with("Usage: voriraz [--data DIR] [--keep-layout] [PRESET]\n")) << run.out;
        for (const char *part : {"--data <DIR>", "PRESET", "DIR/mod/Maps/DuelMode/Heroes", "--version"})
            EXPECT_NE(run.out.find(part), std::string::npos) << part;
        EXPECT_EQ(run.err, "");
        EXPECT_LT(run.seconds, 5.0);
    }
}

TEST(WindowProgram, VersionExitsAtOnceWithoutAWindow)
{
    for (const char *option : {"--version", "-v"}) {
        const EditorRun run = runEditor({QString::fromLatin1(option), QStringLiteral("--data"), QStringLiteral("/nowhere")});
        EXPECT_EQ(run.out, "voriraz " + std::string(VORIRAZ_VERSION_FOR_TESTS) + "\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0);
    }
}

TEST(WindowProgram, HelpThatCannotBeWrittenFails)
{
    const EditorRun run = runEditor({QStringLiteral("--help")}, false, QStringLiteral("/dev/full"));
    EXPECT_EQ(run.err, "voriraz: cannot write to standard output: No space left on device\n");
    EXPECT_EQ(run.status, 1);
}

// A word after one dash is one of Qt's own options, never a row of
// one-letter options: -reverse holds a "v", -stylesheet an "h".
TEST(WindowProgram, QtsOwnOptionsAreNotReadAsHelpOrVersion)
{
    const EditorRun run = runEditor({QStringLiteral("-reverse"), QStringLiteral("--frobnicate")}, true);
    EXPECT_EQ(run.out, "");
    // Qt may have a word of its own first, about the platform.
    EXPECT_TRUE(run.err.ends_with("\nvoriraz: Unknown option 'frobnicate'. Try \"voriraz --help\".\n")
                || run.err == "voriraz: Unknown option 'frobnicate'. Try \"voriraz --help\".\n") << run.err;
    EXPECT_EQ(run.status, 2);
}

struct UsageRow
{
    const char *name;
    QStringList arguments;
    std::string message;
};
void PrintTo(const UsageRow &row, std::ostream *out) { *out << row.name; }

class WindowUsage : public ::testing::TestWithParam<UsageRow> {};

TEST_P(WindowUsage, IsRefusedOnTheErrorStreamWithoutAWindow)
{
    const EditorRun run = runEditor(GetParam().arguments, true);
    EXPECT_EQ(run.out, "");
    const std::string message = "voriraz: " + GetParam().message + " Try \"voriraz --help\".\n";
    EXPECT_TRUE(run.err.ends_with("\n" + message) || run.err == message) << run.err;
    EXPECT_EQ(run.status, 2);
}

const UsageRow usages[] = {
    {"UnknownOption", {"--frobnicate"}, "Unknown option 'frobnicate'."},
    {"DataWithoutFolder", {"--data"}, "Missing value after '--data'."},
    {"EmptyDataFolder", {"--data", ""}, "--data needs the path of a folder."},
    {"TwoPresets", {"a.xdb", "b.xdb"}, "Only one PRESET can be opened."},
};

INSTANTIATE_TEST_SUITE_P(WindowProgram, WindowUsage, ::testing::ValuesIn(usages),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace

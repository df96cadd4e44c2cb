#include "window/WindowFixture.h"

#include "cli/CheckCommand.h"
#include "cli/ResaveCommand.h"
#include "cli/StatsCommand.h"

#include <QTest>

#include <sstream>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

// The window and voriraz-cli, on the same tree, preset by preset: the totals
// the window shows are what stats prints, the file the window's Save writes
// is what resave --stdout printed, and a preset the window refuses is one
// the tool refuses with the window's words.
namespace {

struct Printed
{
    int status;
    std::string out;
    std::string err;
};

Printed run(cli::Command &&command, const cli::Arguments &arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = command.execute(arguments, {out, err});
    return {status, out.str(), err.str()};
}

class CliAgreement : public WindowTest
{
protected:
    void compareEveryPreset()
    {
        // Start-up loads the first preset; each row below loads its own again.
        open(tree.path());
        const std::string data = (tree / "data").string();
        for (int row = 0; row < window->FileListBox1->count(); ++row) {
            const QString name = window->FileListBox1->item(row)->text();
            SCOPED_TRACE(name.toStdString());
            prompts->errors.clear();
            clickFile(row);
            const QStringList loadErrors = errorTexts();

            const Printed stats = run(cli::StatsCommand(), {"--data", data, name.toStdString()});
            if (loadErrors.isEmpty()) {
                EXPECT_EQ(stats.status, 0);
                EXPECT_EQ(stats.out, "Total experience: " + window->Label8->text().toStdString() + "\nTotal cost (gold): "
                                         + window->Label9->text().toStdString() + "\nTotal power: "
                                         + window->Label10->text().toStdString() + "\n");
            } else {
                EXPECT_EQ(stats.status, 1);
                EXPECT_EQ(stats.err, "voriraz-cli: " + name.toStdString() + ": " + loadErrors.first().toStdString() + "\n");
            }
            // Whatever the window complains of, check reports too.
            const Printed check = run(cli::CheckCommand(), {"--data", data, name.toStdString()});
            if (!loadErrors.isEmpty()) {
                EXPECT_EQ(check.status, 1);
            }
            // The window's live checks are findings of check: a refused value
            // and a repeated line in the same words; an item dropped, a slot
            // left out or a primary mastery the catalog lacks in check's own
            // words about the file's element.
            const std::vector<Problem> &problems = window->PresetSession1.problems();
            if (loadErrors.isEmpty() && !problems.empty()) {
                EXPECT_EQ(check.status, 1);
                for (const Problem &problem : problems) {
                    const bool sameWords = (problem.kind == Problem::Kind::Refusal && problem.place.field != ValueField::PrimaryMastery)
                        || problem.kind == Problem::Kind::Duplicate;
                    if (sameWords)
                        EXPECT_NE(check.out.find(": " + problem.message + "\n"), std::string::npos) << problem.message << "\n" << check.out;
                }
            }

            const fs::path file = presets() / name.toStdString();
            const std::string before = readFile(file);
            const Printed resaved = run(cli::ResaveCommand(), {"--data", data, "--stdout", name.toStdString()});
            prompts->errors.clear();
            click(window->SpeedButton7);
            const QStringList saveErrors = errorTexts();
            if (!saveErrors.isEmpty()) {
                EXPECT_EQ(check.status, 1);
            }
            if (saveErrors.isEmpty()) {
                EXPECT_EQ(resaved.status, 0) << resaved.err;
                EXPECT_EQ(resaved.out, readFile(file));
            } else {
                EXPECT_EQ(resaved.status, 1);
                EXPECT_EQ(resaved.out, "");
                EXPECT_EQ(readFile(file), before);
                if (loadErrors.isEmpty()) {
                    EXPECT_EQ(resaved.err, "voriraz-cli: " + name.toStdString() + ": " + saveErrors.first().toStdString() + "\n");
                }
            }
        }
    }
};

TEST_F(CliAgreement, OnTheSampleTree)
{
    copyTree(VORIRAZ_SAMPLE_DATA, tree / "data");
    compareEveryPreset();
}

TEST_F(CliAgreement, OnTheBrokenFixtureTree)
{
    copyTree(fs::path(VORIRAZ_TEST_DATA) / "cli/broken", tree / "data");
    paintCatalogIcons(tree / "data");
    compareEveryPreset();
}

} // namespace

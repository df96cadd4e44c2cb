#include "SystemSupport.h"
#include "ZipInspection.h"
#include "window/WindowFixture.h"

#include <QTest>

namespace fs = std::filesystem;
using namespace voriraz;
using namespace voriraz::test;

namespace {

// The window started as "voriraz --data DIR PRESET" starts it: on a data
// folder that is not beside the program, and on a preset of its own choice.
class CommandLineStartup : public WindowTest
{
protected:
    void SetUp() override
    {
        // The program's own directory has a data folder too, which the
        // window must not read when it is given another.
        MiniTree::write(tree / "app");
        MiniTree::write(tree / "mine");
        fs::rename(tree / "mine/data", dataFolder());
        for (const char *name : {"a.xdb", "b.xdb", "c.xdb"})
            writeFile(tree / "app/data/mod/Maps/DuelMode/Heroes" / name, presetXml("99,0,0,0"));
    }

    fs::path dataFolder() const { return tree / "my mod"; }
    fs::path myPresets() const { return dataFolder() / "mod/Maps/DuelMode/Heroes"; }

    TForm1 &start(const std::optional<std::string> &preset, const fs::path &data)
    {
        window = std::make_unique<TForm1>(WindowOptions {(tree / "app").string(), data.string(), preset}, prompts);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }
    TForm1 &start(const std::optional<std::string> &preset = std::nullopt) { return start(preset, dataFolder()); }

    void writeMyPresets()
    {
        const std::string army = "<Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>";
        writePresetIn("a.xdb", presetXml("10,0,0,0", "PSM_B", "", army));
        writePresetIn("b.xdb", presetXml("11,0,0,0", "PSM_B", "", army));
        writePresetIn("c.xdb", presetXml("12,0,0,0", "PSM_B", "", army));
    }
    void writePresetIn(const std::string &name, const std::string &xml) { writeFile(myPresets() / name, xml); }

    void expectNothingLoaded() const
    {
        EXPECT_EQ(window->FileListBox1->selectedLine(), -1);
        EXPECT_EQ(window->Edit1->text(), "");
        EXPECT_EQ(window->Label8->text(), "---");
    }
};

TEST_F(CommandLineStartup, ADataFolderElsewhereIsReadWrittenAndPacked)
{
    writeFile(dataFolder() / "artifacts.txt", "ART_A\r\nART_B\r\n");
    writeMyPresets();
    start();
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(window->dataFolder().path, dataFolder().string());
    EXPECT_EQ(window->ComboBoxEx9->count(), 2) << "the catalogs of the folder given";
    EXPECT_EQ(window->FileListBox1->count(), 3);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
    EXPECT_EQ(window->Edit1->text(), "10");
    EXPECT_EQ(window->Label8->text(), "20") << "the folder's own creature table";

    window->Edit1->setText("42");
    click(window->SpeedButton7);
    EXPECT_NE(readFile(myPresets() / "a.xdb").find("<Offence>42</Offence>"), std::string::npos);

    const TempDir out;
    prompts->saveFiles.push_back(QString::fromStdString((out / "mine.pak").string()));
    click(window->SpeedButton6);
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    const std::vector<std::string> names = inspectArchive(out / "mine.pak").names();
    EXPECT_NE(std::find(names.begin(), names.end(), "Maps/DuelMode/Heroes/a.xdb"), names.end());
    EXPECT_EQ(readFile(tree / "app/data/mod/Maps/DuelMode/Heroes/a.xdb"), presetXml("99,0,0,0"))
        << "nothing beside the program is touched";
}

struct PresetChoiceRow
{
    const char *name;
    std::string preset; // "{presets}" stands for the presets folder
    int line;
};
void PrintTo(const PresetChoiceRow &row, std::ostream *out) { *out << row.name; }

class PresetChoice : public CommandLineStartup, public ::testing::WithParamInterface<PresetChoiceRow> {};

TEST_P(PresetChoice, SelectsAndLoadsThatPresetInsteadOfTheFirst)
{
    writeMyPresets();
    if (std::string(GetParam().name) == "PathThroughALink")
        VORIRAZ_POSIX_ONLY("links to folders need rights on Windows that Wine does not grant");
    if constexpr (!onWindows)
        fs::create_symlink(myPresets(), tree / "link");
    std::string preset = GetParam().preset;
    for (const auto &[from, to] : {std::pair<std::string, std::string> {"{presets}", myPresets().string()},
                                   {"{link}", (tree / "link").string()}}) {
        if (const std::size_t at = preset.find(from); at != std::string::npos)
            preset.replace(at, from.size(), to);
    }
    start(preset);
    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(window->FileListBox1->selectedLine(), GetParam().line);
    EXPECT_EQ(window->Edit1->text(), QString::number(10 + GetParam().line));
    EXPECT_EQ(window->Label8->text(), "20");
}

const PresetChoiceRow presetChoices[] = {
    {"BareName", "b.xdb", 1},
    {"LastOfTheList", "c.xdb", 2},
    {"PathIntoThePresetsFolder", "{presets}/c.xdb", 2},
    {"PathWithAFullStopStep", "{presets}/./b.xdb", 1},
    {"PathThroughALink", "{link}/b.xdb", 1},
};

INSTANTIATE_TEST_SUITE_P(Startup, PresetChoice, ::testing::ValuesIn(presetChoices),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(CommandLineStartup, APresetThatIsNotInTheListStopsStartUpBeforeAnyLoad)
{
    writeMyPresets();
    writePresetIn(".hidden.xdb", presetXml());
    for (const std::string preset : {"zz.xdb", "B.XDB", ".hidden.xdb"}) {
        SCOPED_TRACE(preset);
        prompts->errors.clear();
        start(preset);
        ASSERT_EQ(errorTexts().size(), 1);
        EXPECT_EQ(slashed(errorTexts()[0].toStdString()),
                  slashed("Preset \"" + preset + "\" not found in the presets folder \"" + myPresets().string() + "\""));
        EXPECT_EQ(window->FileListBox1->count(), 3) << "the list is there to choose from";
        expectNothingLoaded();
    }
}

TEST_F(CommandLineStartup, APresetPathOutsideThePresetsFolderIsRefused)
{
    writeMyPresets();
    writeFile(tree / "elsewhere/b.xdb", presetXml());
    const std::string preset = (tree / "elsewhere/b.xdb").string();
    start(preset);
    ASSERT_EQ(errorTexts().size(), 1);
    EXPECT_EQ(slashed(errorTexts()[0].toStdString()),
              slashed("Preset \"" + preset + "\" is not in the presets folder \"" + myPresets().string()
                      + "\". Start the editor with --data DIR to edit the presets of another data folder."));
    expectNothingLoaded();
}

TEST_F(CommandLineStartup, AMissingDataFolderIsNamedWithHowToGiveAnother)
{
    for (const fs::path &data : {tree / "nowhere", tree / "app/data/creatures.txt"}) {
        SCOPED_TRACE(data);
        prompts->errors.clear();
        start(std::nullopt, data);
        const std::string problem = fs::exists(data) ? " is not a folder" : " not found";
        EXPECT_EQ(errorTexts(), QStringList {QString::fromStdString(
                                    "Data folder \"" + data.string() + "\"" + problem
                                    + ". Start the editor with --data DIR, DIR being the data folder of your mod.")});
        EXPECT_EQ(window->ComboBoxEx1->count(), 0);
        EXPECT_EQ(window->FileListBox1->count(), 0);
    }
}

} // namespace

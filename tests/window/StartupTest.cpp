#include "SystemSupport.h"
#include "window/WindowFixture.h"

#include "catalogs/CatalogList.h"

#include <QTest>

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;
using namespace voriraz;
using namespace voriraz::test;

namespace {

// The start-up fill in its order: each step's catalog, the controls it
// fills, the image list of its icons and its size in the mini tree.
struct FillStep
{
    const char *kind;
    const char *catalog;
    const char *iconFolder;
    std::vector<const char *> controls;
    QList<QIcon> TForm1::*images;
    int miniEntries;
};

const FillStep fillSteps[] = {
    {"creatures", "/data/creatures.txt", "/data/img/creatures/",
     {"ComboBoxEx1", "ComboBoxEx2", "ComboBoxEx3", "ComboBoxEx4", "ComboBoxEx5", "ComboBoxEx6", "ComboBoxEx7", "ComboBoxEx8"},
     &TForm1::ImageList1, 4},
    {"artifacts", "/data/artifacts.txt", "/data/img/artifacts/", {"ComboBoxEx9"}, &TForm1::ImageList2, 3},
    {"spells", "/data/spells.txt", "/data/img/spells/", {"ComboBoxEx10"}, &TForm1::ImageList3, 3},
    {"perks", "/data/perks.txt", "/data/img/perks/", {"ComboBoxEx16"}, &TForm1::ImageList5, 3},
    {"skills", "/data/skills.txt", "/data/img/skills/",
     {"ComboBoxEx11", "ComboBoxEx12", "ComboBoxEx13", "ComboBoxEx14", "ComboBoxEx15"}, &TForm1::ImageList4, 3},
    {"primary mastery", "/data/primary_mastery.txt", nullptr, {"ComboBox1"}, nullptr, 2},
    {"mastery", "/data/mastery.txt", nullptr, {"ComboBox2", "ComboBox3", "ComboBox4", "ComboBox5", "ComboBox6"}, nullptr, 3},
};

// Names a test after the name of its row.
struct RowName
{
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row> &row) const { return row.param.name; }
};

constexpr int stepCount = static_cast<int>(std::size(fillSteps));

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

QStringList catalogOf(const std::string &applicationDir, const FillStep &step)
{
    QStringList entries;
    for (const std::string &entry : readCatalog(applicationDir + step.catalog))
        entries.append(QString::fromStdString(entry));
    return entries;
}

QComboBox *control(const TForm1 &window, const char *name)
{
    return window.findChild<QComboBox *>(QString::fromLatin1(name));
}

// Checks one fill step: iconsLoaded < 0 means the step filled nothing;
// otherwise every control holds the whole catalog and the first
// iconsLoaded items (all of them for a complete step) carry their icon.
void expectStep(const TForm1 &window, const std::string &applicationDir, const FillStep &step, int iconsLoaded)
{
    SCOPED_TRACE(step.kind);
    const QStringList entries = iconsLoaded < 0 ? QStringList() : catalogOf(applicationDir, step);
    for (const char *name : step.controls) {
        const QComboBox *box = control(window, name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(itemsOf(box), entries) << name;
        for (int i = 0; i < box->count(); ++i) {
            EXPECT_EQ(box->itemIcon(i).isNull(), !step.images || i >= iconsLoaded) << name << " item " << i;
        }
    }
    if (step.images) {
        EXPECT_EQ((window.*step.images).size(), std::max(iconsLoaded, 0));
    }
}

// Nothing of the first preset load shows: it did not run or did not get far.
void expectNoPresetLoaded(const TForm1 &window)
{
    EXPECT_EQ(window.Edit1->text(), "");
    EXPECT_EQ(window.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(window.ComboBoxEx1->currentIndex(), -1);
    EXPECT_EQ(window.ComboBoxEx11->currentIndex(), -1);
    for (const QLabel *label : {window.Label8, window.Label9, window.Label10})
        EXPECT_EQ(label->text(), "---") << label->objectName().toStdString();
}

class Startup : public WindowTest
{
protected:
    void SetUp() override { MiniTree::write(tree.path()); }

    std::string dir() const { return tree.path().string(); }
    QStringList fileList() const
    {
        QStringList names;
        for (int i = 0; i < window->FileListBox1->count(); ++i)
            names.append(window->FileListBox1->item(i)->text());
        return names;
    }
};

// --- With the sample data ---------------------------------------------------

class SampleStartup : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        tree = std::make_unique<TempDir>();
        copyTree(VORIRAZ_SAMPLE_DATA, tree->path() / "data");
        prompts = std::make_shared<RecordingPrompts>();
        window = std::make_unique<TForm1>(tree->path().string(), prompts);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    static void TearDownTestSuite()
    {
        window.reset();
        prompts.reset();
        tree.reset();
    }

    static std::unique_ptr<TempDir> tree;
    static std::shared_ptr<RecordingPrompts> prompts;
    static std::unique_ptr<TForm1> window;
};

std::unique_ptr<TempDir> SampleStartup::tree;
std::shared_ptr<RecordingPrompts> SampleStartup::prompts;
std::unique_ptr<TForm1> SampleStartup::window;

TEST_F(SampleStartup, EveryPickerHoldsItsCatalogInFileOrderWithOneIconPerEntry)
{
    ASSERT_TRUE(prompts->errors.empty()) << prompts->errors.front().text.toStdString();
    for (const FillStep &step : fillSteps) {
        const int entries = static_cast<int>(catalogOf(tree->path().string(), step).size());
        ASSERT_GT(entries, 1) << step.kind;
        expectStep(*window, tree->path().string(), step, entries);
        if (!step.images)
            continue;
        for (const QIcon &icon : (*window).*step.images) {
            EXPECT_EQ(icon.actualSize(QSize(32, 32)), QSize(32, 32)) << step.kind;
        }
    }
}

TEST_F(SampleStartup, OnlyTheFirstPresetLoadSelectsAnythingAndTheFileListIsSortedWithoutCase)
{
    ASSERT_TRUE(prompts->errors.empty());
    for (const QComboBox *picker : {window->ComboBoxEx9, window->ComboBoxEx10, window->ComboBoxEx16})
        EXPECT_EQ(picker->currentIndex(), -1) << picker->objectName().toStdString();
    for (const ListBox *list : {window->ListBox1, window->ListBox2, window->ListBox3})
        EXPECT_EQ(list->selectedLine(), -1) << list->objectName().toStdString();

    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    std::vector<std::string> expected;
    for (const auto &entry : fs::directory_iterator(tree->path() / "data/mod/Maps/DuelMode/Heroes")) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.' && lower(entry.path().extension().string()) == ".xdb")
            expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end(), [&](const auto &a, const auto &b) { return lower(a) < lower(b); });
    ASSERT_GE(expected.size(), 2u);
    QStringList shown;
    for (int i = 0; i < window->FileListBox1->count(); ++i)
        shown.append(window->FileListBox1->item(i)->text());
    QStringList wanted;
    for (const std::string &name : expected)
        wanted.append(QString::fromStdString(name));
    EXPECT_EQ(shown, wanted);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
}

TEST_F(Startup, EveryItemShowsThePictureOfItsOwnEntry)
{
    // The mini tree paints each kind's icons ever redder in entry order.
    open(tree.path());
    auto red = [](const QIcon &icon) { return qRed(icon.pixmap(32, 32).toImage().pixel(16, 16)); };
    for (const FillStep &step : fillSteps) {
        if (!step.images)
            continue;
        SCOPED_TRACE(step.kind);
        const QList<QIcon> &images = (*window).*step.images;
        ASSERT_EQ(images.size(), step.miniEntries);
        for (int i = 1; i < images.size(); ++i) {
            EXPECT_GT(red(images[i]), red(images[i - 1]) + 20) << "image " << i;
        }
        for (const char *name : step.controls) {
            const QComboBox *box = control(*window, name);
            for (int i = 0; i < box->count(); ++i) {
                EXPECT_EQ(box->itemIcon(i).pixmap(32, 32).toImage(), images[i].pixmap(32, 32).toImage())
                    << name << " item " << i;
            }
        }
    }
}

// --- A catalog that cannot be read --------------------------------------------

struct MissingCatalogRow
{
    const char *name;
    int failingStep;
};
void PrintTo(const MissingCatalogRow &row, std::ostream *out) { *out << row.name; }

class MissingCatalog : public Startup, public ::testing::WithParamInterface<MissingCatalogRow> {};

TEST_P(MissingCatalog, StopsStartUpAtThatStepAndNamesTheFile)
{
    const int failing = GetParam().failingStep;
    writePreset("a.xdb", presetXml());
    fs::remove(tree.path().string() + fillSteps[failing].catalog);
    open(tree.path());

    ASSERT_EQ(prompts->errors.size(), 1u) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(prompts->errors[0].text, QString::fromStdString("Cannot open file \"" + dir() + fillSteps[failing].catalog
                                                              + "\". " + fileNotFoundText() + "."));
    EXPECT_EQ(prompts->errors[0].title, "voriraz_window_tests");
    for (int s = 0; s < stepCount; ++s)
        expectStep(*window, dir(), fillSteps[s], s < failing ? fillSteps[s].miniEntries : -1);
    EXPECT_EQ(window->FileListBox1->count(), 0) << "the preset list was not pointed at the directory";
    expectNoPresetLoaded(*window);
}

const MissingCatalogRow missingCatalogs[] = {
    {"Creatures", 0}, {"Artifacts", 1}, {"Spells", 2}, {"Perks", 3}, {"Skills", 4}, {"PrimaryMastery", 5}, {"Mastery", 6},
};

INSTANTIATE_TEST_SUITE_P(Startup, MissingCatalog, ::testing::ValuesIn(missingCatalogs), RowName());

TEST_F(Startup, AfterAFailedStartUpTheWindowStillClosesWithClose)
{
    fs::remove(tree / "data/perks.txt");
    open(tree.path());
    ASSERT_EQ(prompts->errors.size(), 1u);
    EXPECT_EQ(prompts->owners[0], window.get()) << "the error box belongs to the window";
    ASSERT_TRUE(window->isVisible());
    click(window->SpeedButton5);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(prompts->errors.size(), 1u);
}

// --- An icon that cannot be used --------------------------------------------

enum class Damage { NotJpeg, Empty, TooNarrow, TooLow, Missing };

struct BadIconRow
{
    const char *name;
    int step;
    int entry;
    Damage damage;
    std::string message; // "{icon}" stands for the icon's path
};
void PrintTo(const BadIconRow &row, std::ostream *out) { *out << row.name; }

class BadIcon : public Startup, public ::testing::WithParamInterface<BadIconRow> {};

// One picture is not worth the window: the entry gets a placeholder (grey,
// with its first letters), one message box says which icon and why, and
// start-up goes on to load the first preset.
TEST_P(BadIcon, GetsAPlaceholderAndOneMessageAndStartUpGoesOn)
{
    const BadIconRow &row = GetParam();
    const FillStep &step = fillSteps[row.step];
    const std::string entry = readCatalog(dir() + step.catalog).at(static_cast<std::size_t>(row.entry));
    const std::string icon = dir() + step.iconFolder + entry + ".jpg";
    switch (row.damage) {
    case Damage::NotJpeg: writeFile(icon, "GIF89a, not a JPEG picture"); break;
    case Damage::Empty: writeFile(icon, ""); break;
    case Damage::TooNarrow: writeFile(icon, jpegBytes(31, 32)); break;
    case Damage::TooLow: writeFile(icon, jpegBytes(32, 31)); break;
    case Damage::Missing: fs::remove(icon); break;
    }
    writePreset("a.xdb", presetXml("7,2,3,4", "PSM_B", "", "<Item><Creature>CRT_KRELL</Creature><Count>2</Count></Item>"));
    open(tree.path());

    std::string message = row.message;
    if (const std::size_t at = message.find("{icon}"); at != std::string::npos)
        message.replace(at, 6, icon);
    EXPECT_EQ(errorTexts(), QStringList());
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, "1 icon could not be shown; its entry has a placeholder:\n" + QString::fromStdString(message));
    EXPECT_EQ(prompts->messages[0].title, prompts->errorTitle());
    for (int s = 0; s < stepCount; ++s)
        expectStep(*window, dir(), fillSteps[s], fillSteps[s].miniEntries);
    const QImage placeholder = ((*window).*step.images)[row.entry].pixmap(32, 32).toImage();
    EXPECT_EQ(placeholder.pixelColor(2, 2), QColor(0xb4, 0xb4, 0xb4)) << "a grey square";
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
    EXPECT_EQ(window->Edit1->text(), "7") << "the preset is loaded as usual";
    EXPECT_EQ(window->Label8->text(), "20");
}

const BadIconRow badIcons[] = {
    // Every message names the icon's file.
    {"CreatureIconTooLow", 0, 2, Damage::TooLow,
     "Invalid image size: \"{icon}\" is 32 x 31 pixels (an icon needs at least 32 x 32)"},
    {"ArtifactIconMissing", 1, 2, Damage::Missing, "Cannot open file \"{icon}\". " + fileNotFoundText() + "."},
    {"SpellIconNotJpeg", 2, 1, Damage::NotJpeg,
     "JPEG error #" + std::to_string(JERR_NO_SOI) + " in \"{icon}\": Not a JPEG file: starts with 0x47 0x49."},
    {"PerkIconEmpty", 3, 0, Damage::Empty,
     "JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + " in \"{icon}\": Empty input file."},
    {"SkillIconTooNarrow", 4, 1, Damage::TooNarrow,
     "Invalid image size: \"{icon}\" is 31 x 32 pixels (an icon needs at least 32 x 32)"},
};

INSTANTIATE_TEST_SUITE_P(Startup, BadIcon, ::testing::ValuesIn(badIcons), RowName());

// However many icons are missing, one box lists them, and not all of them.
TEST_F(Startup, ManyMissingIconsMakeOneShortBox)
{
    fs::remove_all(tree / "data/img");
    writePreset("a.xdb", presetXml());
    open(tree.path());
    EXPECT_EQ(errorTexts(), QStringList());
    ASSERT_EQ(prompts->messages.size(), 1u);
    const QStringList lines = prompts->messages[0].text.split('\n');
    EXPECT_EQ(lines.front(), "16 icons could not be shown; their entries have placeholders:");
    EXPECT_EQ(lines.size(), 1 + 12 + 1);
    EXPECT_EQ(lines.back(), "... and 4 more.");
    EXPECT_EQ(window->Edit1->text(), "1");
}

// --- The preset list ----------------------------------------------------------

struct PresetListRow
{
    const char *name;
    std::vector<std::string> files;
    std::vector<std::string> directories;
    QStringList shown;
};
void PrintTo(const PresetListRow &row, std::ostream *out) { *out << row.name; }

class PresetList : public Startup, public ::testing::WithParamInterface<PresetListRow> {};

TEST_P(PresetList, ShowsThePresetFilesSortedAndLoadsTheFirst)
{
    const PresetListRow &row = GetParam();
    // Each file has its own offence, so the loaded one can be told apart.
    for (std::size_t i = 0; i < row.files.size(); ++i)
        writePreset(row.files[i], presetXml(std::to_string(10 + i) + ",0,0,0"));
    for (const std::string &name : row.directories)
        fs::create_directories(presets() / name);
    open(tree.path());

    ASSERT_TRUE(prompts->errors.empty()) << errorTexts().join('\n').toStdString();
    EXPECT_EQ(fileList(), row.shown);
    EXPECT_EQ(window->FileListBox1->selectedLine(), 0);
    const auto first = std::find(row.files.begin(), row.files.end(), row.shown.front().toStdString());
    ASSERT_NE(first, row.files.end());
    EXPECT_EQ(window->Edit1->text().toStdString(), std::to_string(10 + (first - row.files.begin())));
}

const PresetListRow presetLists[] = {
    {"ExtensionInAnyLetterCase", {"c.Xdb", "b.xdb", "a.XDB"}, {}, {"a.XDB", "b.xdb", "c.Xdb"}},
    {"HiddenFilesLeftOut", {".hidden.xdb", "b.xdb"}, {}, {"b.xdb"}},
    {"DirectoriesLeftOut", {"b.xdb"}, {"x.xdb", "a.xdb"}, {"b.xdb"}},
    {"OtherExtensionsLeftOut", {"d.xml", "e.xdb.bak", "fxdb", "b.xdb"}, {}, {"b.xdb"}},
    {"SortedWithoutRegardToCase", {"d.xdb", "C.xdb", "b.xdb", "Ab.xdb", "a.xdb"}, {},
     {"a.xdb", "Ab.xdb", "b.xdb", "C.xdb", "d.xdb"}},
};

INSTANTIATE_TEST_SUITE_P(Startup, PresetList, ::testing::ValuesIn(presetLists), RowName());

TEST_F(Startup, EmptyPresetsDirectoryFailsTheFirstLoadOnly)
{
    open(tree.path());
    EXPECT_EQ(errorTexts(), QStringList {"FileName cannot be blank."});
    for (const FillStep &step : fillSteps)
        expectStep(*window, dir(), step, step.miniEntries);
    EXPECT_EQ(window->FileListBox1->count(), 0);
    EXPECT_EQ(window->FileListBox1->selectedLine(), -1);
    expectNoPresetLoaded(*window);
}

struct UnusableDirectoryRow
{
    const char *name;
    bool replaceWithFile;
};
void PrintTo(const UnusableDirectoryRow &row, std::ostream *out) { *out << row.name; }

class UnusablePresetsDirectory : public Startup, public ::testing::WithParamInterface<UnusableDirectoryRow> {};

TEST_P(UnusablePresetsDirectory, IsReportedWithItsPathAndNoPresetIsLoaded)
{
    fs::remove_all(presets());
    if (GetParam().replaceWithFile)
        writeFile(presets(), presetXml());
    open(tree.path());
    ASSERT_EQ(prompts->errors.size(), 1u) << "the first preset load does not run";
    const std::string path = dir() + "/data/mod/Maps/DuelMode/Heroes";
    EXPECT_TRUE(prompts->errors[0].text.contains(QString::fromStdString("\"" + path + "\"")))
        << prompts->errors[0].text.toStdString();
    for (const FillStep &step : fillSteps)
        expectStep(*window, dir(), step, step.miniEntries);
    EXPECT_EQ(window->FileListBox1->count(), 0);
    expectNoPresetLoaded(*window);
}

const UnusableDirectoryRow unusableDirectories[] = {{"Missing", false}, {"IsAFile", true}};

INSTANTIATE_TEST_SUITE_P(Startup, UnusablePresetsDirectory, ::testing::ValuesIn(unusableDirectories), RowName());

// --- Error box text and title -------------------------------------------------

struct TextRow
{
    const char *name;
    QString given;
    QString expected;
};
void PrintTo(const TextRow &row, std::ostream *out) { *out << row.name; }

class ErrorBoxText : public ::testing::TestWithParam<TextRow> {};

TEST_P(ErrorBoxText, AddsAFullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(errorBoxText(GetParam().given), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Startup, ErrorBoxText, ::testing::Values(
    TextRow {"Letter", "Invalid image size", "Invalid image size."},
    TextRow {"Digit", "JPEG error #7", "JPEG error #7."},
    TextRow {"ClosingParenthesis", "type (Null) into type (String)", "type (Null) into type (String)"},
    TextRow {"FullStop", "No active document.", "No active document."},
    TextRow {"Empty", "", ""},
    TextRow {"Hyphen", "a -", "a -"},
    TextRow {"Slash", "at /", "at /."},
    TextRow {"Blank", "trailing ", "trailing "},
    TextRow {"Exclamation", "Stop!", "Stop!"},
    TextRow {"Quote", "file \"x\"", "file \"x\""},
    TextRow {"AccentedLetter", QString::fromUtf8("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9.")}), RowName());

class ApplicationTitle : public ::testing::TestWithParam<TextRow> {};

TEST_P(ApplicationTitle, IsTheFileNameUpToItsFirstFullStopWithTheRestInLowerCase)
{
    EXPECT_EQ(applicationTitle(GetParam().given), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Startup, ApplicationTitle, ::testing::Values(
    TextRow {"UpperCaseWithExtension", "/opt/x/VORIRAZ.EXE", "Voriraz"},
    TextRow {"PlainName", "/opt/x/voriraz", "voriraz"},
    TextRow {"FirstCharacterKeptAsItIs", "/opt/x/vORIRAZ", "voriraz"},
    TextRow {"CutAtTheFirstFullStop", "/opt/x/Tool.V2.Run", "Tool"},
    TextRow {"FullStopInTheDirectory", "/opt/v1.2/Editor", "Editor"},
    TextRow {"NoDirectory", "EDITOR", "Editor"},
    TextRow {"OneCharacter", "/opt/Q", "Q"},
    TextRow {"NameStartsWithFullStop", "/opt/.hidden", ""},
    TextRow {"TestExecutable", "/work/build/bin/voriraz_window_tests", "voriraz_window_tests"}), RowName());

} // namespace

#include "SystemSupport.h"
#include "TestSupport.h"

#include "catalogs/CatalogFill.h"
#include "catalogs/FileErrors.h"
#include "editing/ArmyStatistics.h"
#include "presets/PresetDirectory.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"
#include "presets/XmlParseError.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::messageOf;
using voriraz::test::TempDir;

namespace fs = std::filesystem;

namespace {

const fs::path brokenTree = fs::path(VORIRAZ_TEST_DATA) / "cli/broken";

using voriraz::test::catalogsOf;
using voriraz::test::presetsOf;

// A load with a report is the window's load that reads on: where the
// window's load finishes, it does exactly the same; where the window stops,
// its first problem is the window's error.
void expectReportLoadMatchesTheWindowsLoad(const fs::path &data)
{
    const PresetCatalogs catalogs = catalogsOf(data);
    for (const fs::path &preset : presetsOf(data)) {
        SCOPED_TRACE(preset.filename().string());
        PresetDocument windowDocument;
        PresetControls windowControls;
        std::string windowError;
        bool parsed = true;
        try {
            loadPreset(windowDocument, preset.string(), catalogs, windowControls);
        } catch (const XmlParseError &e) {
            windowError = e.what();
            parsed = false;
        } catch (const std::exception &e) {
            windowError = e.what();
        }

        PresetDocument document;
        PresetControls controls;
        PresetLoadReport report;
        if (!parsed) {
            EXPECT_EQ(messageOf([&] { loadPreset(document, preset.string(), catalogs, controls, &report); }), windowError);
            continue;
        }
        loadPreset(document, preset.string(), catalogs, controls, &report);
        if (windowError.empty()) {
            EXPECT_TRUE(report.problems.empty());
            EXPECT_EQ(controls, windowControls);
            EXPECT_EQ(document.SaveToBytes(), windowDocument.SaveToBytes());
        } else {
            ASSERT_FALSE(report.problems.empty());
            EXPECT_EQ(report.problems.front().message, windowError);
        }
    }
}

TEST(PresetLoadReport, LoadReadingOnMatchesTheWindowsLoadOnTheSampleTree)
{
    expectReportLoadMatchesTheWindowsLoad(VORIRAZ_SAMPLE_DATA);
}

TEST(PresetLoadReport, LoadReadingOnMatchesTheWindowsLoadOnTheBrokenTree)
{
    expectReportLoadMatchesTheWindowsLoad(brokenTree);
}

TEST(PresetLoadReport, ReadsOnPastEachErrorAndKeepsWhatTheFailedControlsHeld)
{
    PresetDocument document;
    PresetControls controls;
    controls.attributes = {"9", "9", "9", "9"};
    controls.warMachines = {false, true, true};
    PresetLoadReport report;
    loadPreset(document, (brokenTree / "mod/Maps/DuelMode/Heroes/conversion.xdb").string(), catalogsOf(brokenTree),
               controls, &report);
    ASSERT_EQ(report.problems.size(), 5u);
    EXPECT_EQ(report.problems[0].element, "Editable/Knowledge");
    EXPECT_EQ(controls.attributes, (std::array<std::string, 4> {"1", "2", "3", "9"}));
    EXPECT_EQ(controls.warMachines, (std::array<bool, 3> {true, true, false})) << "FirstAidTent kept its value";
    EXPECT_EQ(controls.counts[0], "");
    EXPECT_EQ(controls.counts[1], "4");
    EXPECT_EQ(controls.perks.lines, (std::vector<std::string> {"PRK_A", "PRK_B"}));
    EXPECT_EQ(report.perkLines, (std::vector<std::string> {"Editable/perkIDs/Item[1]", "Editable/perkIDs/Item[3]"}));
    EXPECT_EQ(controls.spells.lines, (std::vector<std::string> {"SPL_A"}));
    EXPECT_EQ(report.armyItems, (std::vector<std::string> {"armySlots/Item[1]", "armySlots/Item[2]"}));
}

TEST(PresetLoadReport, MoreItemsThanSlotsIsAProblemAndTheSlotsStillFill)
{
    PresetDocument document;
    PresetControls controls;
    PresetLoadReport report;
    loadPreset(document, (brokenTree / "mod/Maps/DuelMode/Heroes/too-many-army.xdb").string(), catalogsOf(brokenTree),
               controls, &report);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].element, "armySlots");
    EXPECT_EQ(report.problems[0].message, "The preset has 9 army items, but the editor has only 8 army slots");
    EXPECT_EQ(report.armyItems.size(), 8u);
    EXPECT_EQ(controls.creatures, (std::array<int, 8> {1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(PresetLoadReport, IdentifiersTheCatalogsLackAreMissesWithTheirText)
{
    PresetDocument document;
    PresetControls controls;
    PresetLoadReport report;
    loadPreset(document, (brokenTree / "mod/Maps/DuelMode/Heroes/unknown-ids.xdb").string(), catalogsOf(brokenTree),
               controls, &report);
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(report.misses.size(), 4u);
    EXPECT_EQ(report.misses[0].element, "PrimarySkillMastery");
    EXPECT_EQ(report.misses[0].text, "PSM_Z");
    EXPECT_EQ(report.misses[0].catalog, PresetCatalog::PrimaryMasteries);
    EXPECT_EQ(report.misses[3].element, "armySlots/Item[2]/Creature");
    EXPECT_EQ(report.misses[3].catalog, PresetCatalog::Creatures);
    EXPECT_EQ(report.artifactLines.back(), "artifactIDs/#comment[3]");
}

TEST(PresetSaveInMemory, WritesWhatSavePresetWrites)
{
    TempDir dir;
    const fs::path data = VORIRAZ_SAMPLE_DATA;
    const PresetCatalogs catalogs = catalogsOf(data);
    for (const fs::path &preset : presetsOf(data)) {
        SCOPED_TRACE(preset.filename().string());
        const fs::path copy = dir / preset.filename().string();
        fs::copy_file(preset, copy);
        PresetDocument saved;
        PresetControls controls;
        loadPreset(saved, copy.string(), catalogs, controls);
        savePreset(saved, copy.string(), catalogs, controls, true);

        PresetDocument inMemory;
        loadPreset(inMemory, preset.string(), catalogs, controls);
        writeControlsToDocument(inMemory, catalogs, controls, true);
        EXPECT_EQ(inMemory.SaveToBytes(), voriraz::test::readFile(copy));
    }
}

TEST(DataFolder, LibraryReadsAFolderOfAnyName)
{
    TempDir dir;
    voriraz::test::copyTree(brokenTree, dir / "elsewhere");
    voriraz::test::paintCatalogIcons(dir / "elsewhere");
    CatalogFill fill(DataFolder {(dir / "elsewhere").string()});
    const StartupCatalogs catalogs = readStartupCatalogs(fill);
    EXPECT_EQ(catalogs.creatures, readCatalog((brokenTree / "creatures.txt").string()));
    EXPECT_EQ(catalogs.masteries, (CatalogList {"MST_NONE", "MST_LOW", "MST_HIGH"}));
    EXPECT_EQ(catalogs.primaryMasteries, (CatalogList {"PSM_A", "PSM_B"}));
    EXPECT_EQ(catalogs.perks, (CatalogList {"PRK_A", "PRK_B"}));

    ArmyStatistics statistics(DataFolder {(dir / "elsewhere").string()});
    ArmySlotStates army {};
    army[0] = {1, "CRT_KRELL", "2"};
    EXPECT_EQ(statistics.compute(army), (ArmyTotals {20, 50, 200}));
    EXPECT_EQ(statistics.referenceCount("CRT_KRELL"), 1u);
    EXPECT_EQ(statistics.referenceCount("crt_krell"), 0u) << "IDs match exactly, as the totals match them";
    EXPECT_EQ(statistics.referenceCount("CRT_GHOST"), 0u);
}

TEST(DataFolder, StartupCatalogsFindTheIconProblemsTheWindowsStartUpFinds)
{
    TempDir dir;
    voriraz::test::copyTree(brokenTree, dir / "data");
    voriraz::test::paintCatalogIcons(dir / "data");
    fs::remove(dir / "data/img/spells/SPL_B.jpg");
    CatalogFill fill(dir.path().string());
    const StartupCatalogs catalogs = readStartupCatalogs(fill);
    EXPECT_EQ(catalogs.iconProblems, std::vector<std::string> {"Cannot open file \""
                                                               + voriraz::test::programPath(dir.path(), "data/img/spells/SPL_B.jpg")
                                                               + "\". " + voriraz::test::fileNotFoundText()});
    EXPECT_EQ(catalogs.spells, (CatalogList {"SPL_A", "SPL_B"})) << "and every catalog is read";

    // A catalog that cannot be read still stops it.
    fs::remove(dir / "data/mastery.txt");
    EXPECT_NE(messageOf([&] { readStartupCatalogs(fill); }).find("mastery.txt"), std::string::npos);
}

} // namespace

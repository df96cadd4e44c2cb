// Times a preset load with its army statistics, and one recomputation of the
// statistics alone (with the parsed reference table kept, and parsed afresh
// for comparison), on a generated tree: a reference table of 2,000
// creatures and a preset with all eight army slots occupied.
//
//     voriraz_preset_load_bench [runs]
//
// Prints the median, the fastest and the slowest run of each, in
// milliseconds.

#include "editing/ArmyStatistics.h"
#include "presets/PresetLoading.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace voriraz;

namespace {

void write(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string creatureId(int i)
{
    return "CRT_BENCH_" + std::to_string(i);
}

// The tree and the catalogs a load needs.
PresetCatalogs makeTree(const fs::path &root)
{
    PresetCatalogs catalogs;
    catalogs.creatures.push_back("CRT_NONE");
    std::string table = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Table_Creature>\r\n  <objects>\r\n";
    for (int i = 0; i < 2000; ++i) {
        const std::string id = creatureId(i);
        catalogs.creatures.push_back(id);
        table += "    <Item>\r\n      <ID>" + id + "</ID>\r\n      <Obj href=\"/GameMechanics/Creature/Bench/" + id
                 + ".xdb#xpointer(/Creature)\"/>\r\n    </Item>\r\n";
        write(root / ("data/GameMechanics/Creature/Bench/" + id + ".xdb"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Creature>\r\n  <Attack>5</Attack>\r\n  <Exp>"
                  + std::to_string(10 + i) + "</Exp>\r\n  <Power>" + std::to_string(100 + i)
                  + "</Power>\r\n  <Cost>\r\n    <Wood>0</Wood>\r\n    <Gold>" + std::to_string(20 + i)
                  + "</Gold>\r\n  </Cost>\r\n</Creature>\r\n");
    }
    write(root / "data/GameMechanics/RefTables/Creatures.xdb", table + "  </objects>\r\n</Table_Creature>\r\n");

    catalogs.skills = {"SKL_NONE", "SKL_A", "SKL_B", "SKL_C", "SKL_D", "SKL_E"};
    catalogs.masteries = {"MST_NONE", "MST_A", "MST_B"};
    catalogs.primaryMasteries = {"PSM_A", "PSM_B"};

    std::string preset = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Hero>\r\n  <Editable>\r\n"
                         "    <Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower><Knowledge>4</Knowledge>\r\n"
                         "    <Ballista>true</Ballista><FirstAidTent>false</FirstAidTent><AmmoCart>true</AmmoCart>\r\n"
                         "    <skills>";
    for (int k = 1; k <= 5; ++k)
        preset += "<Item><Mastery>MST_B</Mastery><SkillID>SKL_" + std::string(1, char('A' + k - 1)) + "</SkillID></Item>";
    preset += "</skills>\r\n    <perkIDs>";
    for (int k = 0; k < 20; ++k)
        preset += "<Item>PRK_" + std::to_string(k) + "</Item>";
    preset += "</perkIDs>\r\n    <spellIDs>";
    for (int k = 0; k < 20; ++k)
        preset += "<Item>SPL_" + std::to_string(k) + "</Item>";
    preset += "</spellIDs>\r\n  </Editable>\r\n  <PrimarySkillMastery>PSM_B</PrimarySkillMastery>\r\n  <armySlots>";
    for (int k = 0; k < 8; ++k)
        preset += "<Item><Creature>" + creatureId(250 * k + 249) + "</Creature><Count>" + std::to_string(k + 3) + "</Count></Item>";
    preset += "</armySlots>\r\n  <artifactIDs>";
    for (int k = 0; k < 12; ++k)
        preset += "<Item>ART_" + std::to_string(k) + "</Item>";
    preset += "</artifactIDs>\r\n</Hero>\r\n";
    write(root / "data/mod/Maps/DuelMode/Heroes/bench.xdb", preset);
    return catalogs;
}

struct Summary
{
    double median;
    double fastest;
    double slowest;
};

template<typename Fn>
Summary time(int runs, Fn &&fn)
{
    fn(); // warm the file cache
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 51;
    std::string pattern = (fs::temp_directory_path() / "voriraz-bench-XXXXXX").string();
    const fs::path root = mkdtemp(pattern.data());
    const PresetCatalogs catalogs = makeTree(root);
    const std::string presetPath = (root / "data/mod/Maps/DuelMode/Heroes/bench.xdb").string();

    PresetDocument document;
    ArmyStatistics statistics(root.string());
    ArmyTotals totals;
    const Summary load = time(runs, [&] {
        PresetControls controls;
        loadPreset(document, presetPath, catalogs, controls);
        totals = statistics.compute(armySlotStates(controls, catalogs.creatures));
    });
    PresetControls controls;
    loadPreset(document, presetPath, catalogs, controls);
    const ArmySlotStates slots = armySlotStates(controls, catalogs.creatures);
    const Summary recompute = time(runs, [&] { totals = statistics.compute(slots); });
    // The same recomputation with the reference table parsed afresh, as a
    // statistics object without a kept table does it.
    const Summary uncached = time(runs, [&] { totals = ArmyStatistics(root.string()).compute(slots); });

    std::printf("runs: %d; totals: experience %d, gold %d, power %d\n", runs, totals.experience, totals.gold, totals.power);
    std::printf("%-34s median %7.3f ms  (fastest %7.3f, slowest %7.3f)\n", "preset load with statistics", load.median,
                load.fastest, load.slowest);
    std::printf("%-34s median %7.3f ms  (fastest %7.3f, slowest %7.3f)\n", "UpdateArmyStatistics alone", recompute.median,
                recompute.fastest, recompute.slowest);
    std::printf("%-34s median %7.3f ms  (fastest %7.3f, slowest %7.3f)\n", "  the same, table parsed afresh", uncached.median,
                uncached.fastest, uncached.slowest);
    fs::remove_all(root);
    return 0;
}

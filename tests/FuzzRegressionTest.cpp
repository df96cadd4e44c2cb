// Replays every input kept under tests/data/fuzz-regressions/<target>/
// through the same target code the fuzzers run (fuzz/*Target.h): each file
// is an input that once crashed a fuzzer, and must now pass.

#include "SystemSupport.h"
#include "TestSupport.h"

#include "../fuzz/ArmyStatisticsTarget.h"
#include "../fuzz/CatalogSplitTarget.h"
#include "../fuzz/ConversionsTarget.h"
#include "../fuzz/FileMaskTarget.h"
#ifndef _WIN32
#include "../fuzz/PackTarget.h"
#endif
#include "../fuzz/PresetLoadTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;
using namespace voriraz;

namespace {

const fs::path regressions = fs::path(VORIRAZ_TEST_DATA) / "fuzz-regressions";

const std::map<std::string, std::function<void(std::string_view)>> &targets()
{
    static fuzz::PresetLoadTarget presetLoad(VORIRAZ_SAMPLE_DATA);
    static fuzz::ArmyStatisticsTarget armyStatistics;
#ifndef _WIN32
    static fuzz::PackTarget pack;
#endif
    static const std::map<std::string, std::function<void(std::string_view)>> all {
        {"catalog_split", fuzz::catalogSplit},
        {"conversions", fuzz::conversions},
        {"file_mask", fuzz::fileMask},
        {"preset_load", [](std::string_view bytes) { presetLoad.run(bytes); }},
        {"army_statistics", [](std::string_view bytes) { armyStatistics.run(bytes); }},
#ifndef _WIN32
        // Pipes, devices and links of a POSIX file system.
        {"pack", [](std::string_view bytes) { pack.run(bytes); }},
#endif
    };
    return all;
}

struct KeptInput
{
    std::string target;
    fs::path file;
};
void PrintTo(const KeptInput &input, std::ostream *out) { *out << input.target << '/' << input.file.filename().string(); }

std::vector<KeptInput> keptInputs()
{
    std::vector<KeptInput> inputs;
    for (const auto &folder : fs::directory_iterator(regressions)) {
        for (const auto &file : fs::directory_iterator(folder.path()))
            inputs.push_back({folder.path().filename().string(), file.path()});
    }
    std::sort(inputs.begin(), inputs.end(), [](const auto &a, const auto &b) { return a.file < b.file; });
    return inputs;
}

class FuzzRegression : public ::testing::TestWithParam<KeptInput> {};

TEST_P(FuzzRegression, PassesItsTarget)
{
    const KeptInput &input = GetParam();
    const auto target = targets().find(input.target);
    if (test::onWindows && input.target == "pack")
        GTEST_SKIP() << "POSIX only: the pack target makes pipes, devices and links";
    ASSERT_NE(target, targets().end()) << "no fuzz target named " << input.target;
    const std::string bytes = test::readFile(input.file);
    try {
        target->second(bytes);
    } catch (const std::exception &e) {
        ADD_FAILURE() << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzRegression, ::testing::ValuesIn(keptInputs()),
                         [](const ::testing::TestParamInfo<KeptInput> &row) {
                             std::string name = row.param.target + "_" + row.param.file.filename().string();
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

// The replay reaches every target: an input each, of the kind the seeds hold.
TEST(FuzzTargets, RunOnOrdinaryInputs)
{
    const std::string data = VORIRAZ_SAMPLE_DATA;
    targets().at("catalog_split")(test::readFile(data + "/creatures.txt"));
    targets().at("conversions")("-0x7FFFFFFF");
    targets().at("file_mask")("*.x?b\nHero.XDB");
    targets().at("preset_load")(test::readFile(data + "/mod/Maps/DuelMode/Heroes/hero_aunvelka.xdb"));
    targets().at("army_statistics")("3\n" + test::readFile(data + "/GameMechanics/RefTables/Creatures.xdb"));
    if constexpr (!test::onWindows)
        targets().at("pack")(std::string("\x01\x06\x00\x03\x00\x17\x01\x00\x02\x05\x01\x02\x03\x00\x28", 15));
}

} // namespace

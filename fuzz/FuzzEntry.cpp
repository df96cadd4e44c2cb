// The libFuzzer entry of one target, chosen by the VORIRAZ_FUZZ_TARGET_*
// definition it is compiled with (fuzz/CMakeLists.txt builds one executable
// per target). Any exception that leaves a target, a broken property
// included, is a finding: the target catches the errors the library is
// meant to throw.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#if defined(VORIRAZ_FUZZ_TARGET_CATALOG_SPLIT)
#include "CatalogSplitTarget.h"
static void runTarget(std::string_view bytes) { voriraz::fuzz::catalogSplit(bytes); }
#elif defined(VORIRAZ_FUZZ_TARGET_CONVERSIONS)
#include "ConversionsTarget.h"
static void runTarget(std::string_view bytes) { voriraz::fuzz::conversions(bytes); }
#elif defined(VORIRAZ_FUZZ_TARGET_PRESET_LOAD)
#include "PresetLoadTarget.h"
static void runTarget(std::string_view bytes)
{
    static voriraz::fuzz::PresetLoadTarget target(VORIRAZ_SAMPLE_DATA);
    target.run(bytes);
}
#elif defined(VORIRAZ_FUZZ_TARGET_ARMY_STATISTICS)
#include "ArmyStatisticsTarget.h"
static void runTarget(std::string_view bytes)
{
    static voriraz::fuzz::ArmyStatisticsTarget target;
    target.run(bytes);
}
#elif defined(VORIRAZ_FUZZ_TARGET_FILE_MASK)
#include "FileMaskTarget.h"
static void runTarget(std::string_view bytes) { voriraz::fuzz::fileMask(bytes); }
#elif defined(VORIRAZ_FUZZ_TARGET_PACK)
#include "PackTarget.h"
static void runTarget(std::string_view bytes)
{
    static voriraz::fuzz::PackTarget target;
    target.run(bytes);
}
#else
#error "Compile with one VORIRAZ_FUZZ_TARGET_* definition"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    try {
        runTarget(std::string_view(reinterpret_cast<const char *>(data), size));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "finding: %s\n", e.what());
        std::abort();
    }
    return 0;
}

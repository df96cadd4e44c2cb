#include "SystemSupport.h"

#include "presets/PresetDirectory.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::onWindows;

namespace {

// Two spellings of a preset's path, and whether they name the same file on
// this platform: on Windows a file dialog answers with '/' where the list
// joined the data folder's '\' parts, and letter case does not matter there.
struct SamePathRow
{
    const char *a;
    const char *b;
    bool onPosix;
    bool onWindowsToo;
};

const SamePathRow samePathRows[] = {
    {"C:\\mods\\data/mod/Maps/a.xdb", "C:\\mods\\data/mod/Maps/a.xdb", true, true},
    {"C:\\mods\\data/mod/Maps/a.xdb", "C:/mods/data/mod/Maps/a.xdb", false, true},
    {"C:\\Mods\\data/mod/Maps/A.xdb", "c:/mods/data/mod/maps/a.XDB", false, true},
    {"C:/mods/data/mod/Maps/a.xdb", "C:/mods/data/mod/Maps/b.xdb", false, false},
    {"C:/mods/data/mod/Maps/a.xdb", "C:/mods/data/mod/Maps/a.xdb2", false, false},
    {"/home/u/data/mod/a.xdb", "/home/u/data/mod/A.xdb", false, true},
    {"", "", true, true},
};

TEST(PresetPath, TwoSpellingsNameTheSameFileAsThePlatformSeesIt)
{
    for (const SamePathRow &row : samePathRows) {
        SCOPED_TRACE(std::string(row.a) + " | " + row.b);
        const bool expected = onWindows ? row.onWindowsToo : row.onPosix;
        EXPECT_EQ(samePresetPath(row.a, row.b), expected);
        EXPECT_EQ(samePresetPath(row.b, row.a), expected);
    }
}

TEST(PresetPath, AFileOfTheListIsTheFolderASeparatorAndItsName)
{
    EXPECT_EQ(presetFilePath("/d/Heroes", "a.xdb"), "/d/Heroes/a.xdb");
    EXPECT_EQ(presetFilePath("/d/Heroes/", "a.xdb"), "/d/Heroes/a.xdb");
    EXPECT_EQ(presetFilePath("/d/Heroes", ""), "");
}

} // namespace

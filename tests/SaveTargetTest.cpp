// What a save may replace: a regular file, or nothing yet. A folder, a pipe
// or a device, or a link to one, is refused and stays what it was; a link
// to a file is followed and the file it names replaced.

#include "SystemSupport.h"
#include "TestSupport.h"

#include "editing/PresetSession.h"
#include "presets/AtomicFile.h"

#include <gtest/gtest.h>

#include <functional>

using namespace voriraz;
using namespace voriraz::test;

namespace fs = std::filesystem;

namespace {

struct TargetRow
{
    const char *name;
    // Makes what stands at the target; false when the test may not (a
    // device node needs root).
    std::function<bool(const fs::path &target, const fs::path &folder)> make;
    bool replaced;
    bool posixOnly;
};
void PrintTo(const TargetRow &row, std::ostream *out) { *out << row.name; }

bool nothing(const fs::path &, const fs::path &)
{
    return true;
}

const TargetRow targets[] = {
    {"Nothing", nothing, true, false},
    {"RegularFile", [](const fs::path &t, const fs::path &) { writeFile(t, "old"); return true; }, true, false},
    {"LinkToAFile",
     [](const fs::path &t, const fs::path &f) {
         writeFile(f / "real.xdb", "old");
         fs::create_symlink(f / "real.xdb", t);
         return true;
     },
     true, true},
    {"Folder", [](const fs::path &t, const fs::path &) { fs::create_directory(t); return true; }, false, false},
    {"LinkToAFolder",
     [](const fs::path &t, const fs::path &f) {
         fs::create_directory(f / "sub");
         fs::create_directory_symlink(f / "sub", t);
         return true;
     },
     false, true},
    {"Fifo", [](const fs::path &t, const fs::path &) { makeFifo(t); return true; }, false, true},
    {"LinkToAFifo",
     [](const fs::path &t, const fs::path &f) {
         makeFifo(f / "pipe");
         fs::create_symlink(f / "pipe", t);
         return true;
     },
     false, true},
    {"DeviceNode", [](const fs::path &t, const fs::path &) { return makeNullDeviceNode(t); }, false, true},
    {"LinkToADeviceNode",
     [](const fs::path &t, const fs::path &f) {
         if (!makeNullDeviceNode(f / "nul"))
             return false;
         fs::create_symlink(f / "nul", t);
         return true;
     },
     false, true},
};

class SaveTarget : public ::testing::TestWithParam<TargetRow> {};

TEST_P(SaveTarget, IsReplacedOnlyWhenItIsAFileOrNothing)
{
    if (GetParam().posixOnly)
        VORIRAZ_POSIX_ONLY("links, pipes and device nodes");
    const TempDir dir;
    const fs::path target = dir / "x.xdb";
    if (!GetParam().make(target, dir.path()))
        GTEST_SKIP() << "only root may make a device node";
    const fs::file_status before = fs::status(target);
    const std::set<std::string> names = namesIn(dir.path());

    if (GetParam().replaced) {
        writeFileAtomically(target.string(), "new");
        EXPECT_EQ(readFile(target), "new");
        EXPECT_EQ(fs::symlink_status(target).type(),
                  std::string(GetParam().name) == "LinkToAFile" ? fs::file_type::symlink : fs::file_type::regular);
        return;
    }
    EXPECT_EQ(messageOf([&] { writeFileAtomically(target.string(), "new"); }),
              "\"" + target.string() + "\" is not a regular file");
    EXPECT_EQ(fs::status(target).type(), before.type()) << "it stays what it was";
    EXPECT_EQ(namesIn(dir.path()), names) << "no temporary file is left";
    EXPECT_THROW(refuseIrregularTarget(target.string()), NotRegularFileError);
}

INSTANTIATE_TEST_SUITE_P(Save, SaveTarget, ::testing::ValuesIn(targets),
                         [](const auto &row) { return std::string(row.param.name); });

// The session's own file replaced by a pipe meanwhile: the save is refused
// and the session still edits the file it had.
TEST(SaveTargetSession, InPlaceSaveOverAPipeIsRefusedAndTheSessionStays)
{
    VORIRAZ_POSIX_ONLY("a named pipe in the file system");
    const TempDir dir;
    const fs::path preset = dir / "hero.xdb";
    writeFile(preset, "<Hero><Editable><Offence>1</Offence><Defence>2</Defence><Spellpower>3</Spellpower>"
                      "<Knowledge>4</Knowledge><Ballista>true</Ballista><FirstAidTent>0</FirstAidTent>"
                      "<AmmoCart>TRUE</AmmoCart></Editable><PrimarySkillMastery>PSM_A</PrimarySkillMastery></Hero>");
    for (const bool keepLayout : {false, true}) {
        SCOPED_TRACE(keepLayout ? "keeping the layout" : "default");
        PresetSession session(smallCatalogs());
        session.setKeepLayout(keepLayout);
        PresetControls controls;
        session.load(preset.string(), controls);
        fs::rename(preset, dir / "aside.xdb");
        makeFifo(preset);
        controls.attributes[0] = "5";
        EXPECT_THROW(session.save(controls), NotRegularFileError);
        EXPECT_EQ(fs::status(preset).type(), fs::file_type::fifo);
        EXPECT_TRUE(session.isModified(controls)) << "nothing was saved";
        fs::remove(preset);
        fs::rename(dir / "aside.xdb", preset);
    }
}

} // namespace

// What only Windows has: drive letters and backslashes, the OEM code page,
// file attributes, share modes and paths beyond 260 characters. Built only
// for Windows; run under Wine by scripts/test-windows.

#include "SystemSupport.h"
#include "TestSupport.h"
#include "ZipInspection.h"

#include "catalogs/ApplicationDir.h"
#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "platform/OemCodePage.h"
#include "presets/AtomicFile.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

// A UTF-8 name as a path: std::filesystem reads a narrow string in the
// ANSI code page on Windows, the program's strings are UTF-8.
fs::path utf8Path(const fs::path &folder, const std::string &name)
{
    return folder / fs::path(std::u8string(name.begin(), name.end()));
}

// A handle held open on a file, with the sharing given, for the scope.
class HeldOpen
{
public:
    HeldOpen(const fs::path &path, DWORD access, DWORD sharing)
        : mHandle(CreateFileW(path.wstring().c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldOpen()
    {
        if (mHandle != INVALID_HANDLE_VALUE)
            CloseHandle(mHandle);
    }
    bool isOpen() const { return mHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE mHandle;
};

// The names in a folder, less the "rf*.tmp" files that Wine's ReplaceFileW
// (not Windows') makes to move the replaced file aside and leaves behind
// when the replacement fails.
std::set<std::string> namesLeftIn(const fs::path &folder)
{
    std::set<std::string> names = namesIn(folder);
    std::erase_if(names, [](const std::string &name) { return name.starts_with("rf") && name.ends_with(".tmp"); });
    return names;
}

// A writer that records its failure prompts and answers each with Ignore.
struct IgnoringWriter
{
    IgnoringWriter()
    {
        writer.Name = "ArchiveWriter1";
        writer.OnFailurePrompt = [this](const std::string &text, TPromptButtons) {
            prompts.push_back(text);
            return TPromptAnswer::Ignore;
        };
    }
    TArchiveWriter writer;
    std::vector<std::string> prompts;
};

} // namespace

TEST(WindowsPaths, AnExecutableInADriveRootHasTheBareDriveAsItsFolder)
{
    EXPECT_EQ(applicationDirOf("C:\\voriraz-cli.exe"), "C:");
    EXPECT_EQ(dataFolderOf(applicationDirOf("C:\\voriraz-cli.exe")).path, "C:/data");
    EXPECT_EQ(applicationDirOf("C:\\Games\\Voriraz\\voriraz-cli.exe"), "C:\\Games\\Voriraz");
    EXPECT_EQ(applicationDirOf("C:/Games/voriraz-cli.exe"), "C:/Games");
}

TEST(WindowsNames, ANameOutsideTheOemCodePageIsStoredAsUtf8WithFlagBit11)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(utf8Path(base, "\xE6\x97\xA5\xE6\x9C\xAC.txt"), "Japan"); // 日本.txt
    writeFile(utf8Path(base, "h\xC3\xA9ros.txt"), "accent");           // héros.txt
    TArchiveWriter writer;
    writeModArchive(writer, (dir / "out.pak").string(), base.string());

    const std::optional<std::string> accent = platform::oemText(U"h\u00E9ros.txt");
    ASSERT_TRUE(accent) << "every OEM code page of Windows holds e acute; this one is " << platform::oemCodePage();
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    const InspectedEntry *japan = archive.find("\xE6\x97\xA5\xE6\x9C\xAC.txt");
    const InspectedEntry *heros = archive.find(*accent);
    ASSERT_NE(japan, nullptr);
    ASSERT_NE(heros, nullptr);
    EXPECT_EQ(japan->central.flags & 0x800, 0x800);
    EXPECT_EQ(japan->local.flags & 0x800, 0x800);
    EXPECT_EQ(heros->central.flags & 0x800, 0);
    EXPECT_EQ(heros->inflated, "accent");
}

TEST(WindowsNames, TheOemConversionTakesNoBestFitStandIns)
{
    // 'ā' has a best fit 'a' in the Western code pages, and '€' is in none
    // of the OEM ones: both leave the name to UTF-8.
    EXPECT_FALSE(platform::oemText(U"\u0101"));
    EXPECT_FALSE(platform::oemText(U"\u20AC"));
    EXPECT_EQ(platform::oemText(U"plain.txt"), "plain.txt");
    EXPECT_EQ(platform::oemText(U""), "");
}

TEST(WindowsAttributes, ReadOnlyAndHiddenFilesKeepTheirBitsInTheArchive)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "locked.txt", "read only");
    writeFile(base / "secret.txt", "hidden");
    writeFile(base / "plain.txt", "plain");
    ASSERT_TRUE(SetFileAttributesW((base / "locked.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW((base / "secret.txt").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN));
    TArchiveWriter writer;
    writeModArchive(writer, (dir / "out.pak").string(), base.string());
    SetFileAttributesW((base / "locked.txt").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);

    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.names(), (std::vector<std::string> {"locked.txt", "plain.txt", "secret.txt"}));
    EXPECT_EQ(archive.find("locked.txt")->central.externalAttributes & 0x3F, 0x01u | 0x20u);
    EXPECT_EQ(archive.find("secret.txt")->central.externalAttributes & 0x3F, 0x02u | 0x20u);
    EXPECT_EQ(archive.find("plain.txt")->central.externalAttributes & 0x3F, 0x20u);
}

// Sources are opened for reading with every kind of sharing, so a file that
// another program has open for writing is still packed; one held with no
// sharing at all cannot be opened, and is asked about like any other.
TEST(WindowsShareModes, ASourceHeldWithoutSharingIsAskedAboutAndLeftOut)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "a.txt", "alpha");
    writeFile(base / "b.txt", "bravo");
    writeFile(base / "c.txt", "charlie");
    IgnoringWriter packing;
    {
        const HeldOpen writing(base / "a.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        const HeldOpen exclusive(base / "b.txt", GENERIC_READ, 0);
        ASSERT_TRUE(writing.isOpen() && exclusive.isOpen());
        writeModArchive(packing.writer, (dir / "out.pak").string(), base.string());
    }
    ASSERT_EQ(packing.prompts.size(), 1u);
    EXPECT_NE(packing.prompts[0].find("Native error: 00033"), std::string::npos) << packing.prompts[0];
    EXPECT_NE(packing.prompts[0].find("b.txt"), std::string::npos) << packing.prompts[0];
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.names(), (std::vector<std::string> {"a.txt", "c.txt"}));
    EXPECT_EQ(archive.find("a.txt")->inflated, "alpha");
}

TEST(WindowsShareModes, ATargetHeldWithoutSharingKeepsThePreviousArchive)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "a.txt", "alpha");
    writeFile(dir / "Mod.pak", "the previous archive");
    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";
    {
        const HeldOpen exclusive(dir / "Mod.pak", GENERIC_READ, 0);
        ASSERT_TRUE(exclusive.isOpen());
        EXPECT_FALSE(messageOf([&] { writeModArchive(writer, (dir / "Mod.pak").string(), base.string()); }).empty());
    }
    EXPECT_EQ(readFile(dir / "Mod.pak"), "the previous archive");
    EXPECT_EQ(namesLeftIn(dir.path()), (std::set<std::string> {"Mod.pak", "mod"}));
}

TEST(WindowsShareModes, APresetHeldWithoutSharingIsNotSavedAndStaysAsItWas)
{
    TempDir dir;
    writeFile(dir / "hero.xdb", "<Hero/>");
    {
        const HeldOpen exclusive(dir / "hero.xdb", GENERIC_READ, 0);
        ASSERT_TRUE(exclusive.isOpen());
        const std::string message = messageOf([&] { writeFileAtomically((dir / "hero.xdb").string(), "<Hero>new</Hero>"); });
        EXPECT_EQ(message.rfind("Cannot write file \"" + (dir / "hero.xdb").string() + "\". ", 0), 0u) << message;
    }
    EXPECT_EQ(readFile(dir / "hero.xdb"), "<Hero/>");
    EXPECT_EQ(namesLeftIn(dir.path()), std::set<std::string> {"hero.xdb"});
}

// The replacement (ReplaceFileW) happens only after the whole new content
// was written; a write that fails before leaves the old file.
TEST(WindowsReplacement, AFailedWriteKeepsTheOldFile)
{
    TempDir dir;
    writeFile(dir / "hero.xdb", "<Hero/>");
    setWriteFaultHookForTesting([](std::size_t) { return ENOSPC; });
    const std::string message = messageOf([&] { writeFileAtomically((dir / "hero.xdb").string(), std::string(100000, 'x')); });
    setWriteFaultHookForTesting(nullptr);
    EXPECT_EQ(message, "Cannot write file \"" + (dir / "hero.xdb").string() + "\". No space left on device");
    EXPECT_EQ(readFile(dir / "hero.xdb"), "<Hero/>");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"hero.xdb"});

    writeFileAtomically((dir / "hero.xdb").string(), "<Hero>new</Hero>");
    EXPECT_EQ(readFile(dir / "hero.xdb"), "<Hero>new</Hero>");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"hero.xdb"});
}

// Past 260 characters a path only works through the "\\?\" prefix, which
// the platform layer adds to every path it hands to the system.
TEST(WindowsLongPaths, APathPast260CharactersIsPackedAndSaved)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    const std::string folder(120, 'd');
    const std::string name = std::string(100, 'f') + ".xdb";
    const fs::path deep = base / folder / folder / name;
    ASSERT_GT(deep.string().size(), 260u);
    writeDeepFile(deep, "<Hero/>");

    writeFileAtomically(deep.string(), "<Hero>saved</Hero>");
    TArchiveWriter writer;
    const ModArchiveReport report = writeModArchive(writer, (dir / "out.pak").string(), base.string());
    EXPECT_EQ(report.failedFiles, 0u);
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    const InspectedEntry *entry = archive.find(folder + "/" + folder + "/" + name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->inflated, "<Hero>saved</Hero>");
}

#include "DeflateReference.h"
#include "SystemSupport.h"
#include "TestSupport.h"
#include "TreeSnapshot.h"
#include "ZipInspection.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "platform/File.h"
#include "platform/OemCodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <random>

using namespace voriraz;
using namespace voriraz::test;
namespace fs = std::filesystem;

namespace {

// Packs base into archive as "Create mod" does.
void pack(const fs::path &base, const fs::path &archive, TArchiveWriter &writer)
{
    writer.Name = "ArchiveWriter1";
    writeModArchive(writer, archive.string(), base.string());
}

void pack(const fs::path &base, const fs::path &archive)
{
    TArchiveWriter writer;
    pack(base, archive, writer);
}

// Packs on the caller's thread alone, whose compressed bytes are those of
// one deflate stream.
void packSingleThreaded(const fs::path &base, const fs::path &archive)
{
    TArchiveWriter writer;
    writer.Threads = 1;
    pack(base, archive, writer);
}

std::string textLike(std::size_t size)
{
    std::string text;
    std::mt19937 random(7);
    const char *words[] = {"<Item>", "CRT_VARM", "</Item>", "<Count>", "12", "</Count>", "\r\n", "  ", "Tallow"};
    while (text.size() < size)
        text += words[random() % 9];
    text.resize(size);
    return text;
}

void setModificationTime(const fs::path &path, std::time_t time)
{
    fs::last_write_time(path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(time)));
}

std::uint32_t dosStampOf(std::time_t time)
{
    const std::tm local = platform::localTime(time).value();
    const std::uint32_t date = ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
    const std::uint32_t clock = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
    return (date << 16) | clock;
}

std::uint32_t stampOf(const InspectedHeader &header)
{
    return (static_cast<std::uint32_t>(header.dosDate) << 16) | header.dosTime;
}

void expectReadersAccept(const fs::path &archive)
{
    for (const char *reader : {"python", "unzip", "7z"}) {
        std::string log;
        EXPECT_TRUE(readerAccepts(reader, archive, &log)) << reader << ":\n" << log;
    }
}

} // namespace

TEST(ArchiveWriter, EmptyTreeGivesOnlyTheEndRecord)
{
    TempDir dir;
    fs::create_directories(dir / "empty");
    for (const char *base : {"empty"}) {
        const fs::path archive = dir / (std::string(base) + ".pak");
        pack(dir / base, archive);
        const std::string bytes = readFile(archive);
        const std::string expected("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);
        EXPECT_EQ(bytes, expected) << base;
        EXPECT_TRUE(readerAccepts("python", archive));
        EXPECT_TRUE(readerAccepts("7z", archive));
        if constexpr (!onWindows) { // the Linux readers cannot be started from Windows programs
            std::string log;
            readerAccepts("unzip", archive, &log); // unzip warns (exit status 1) about an empty archive
            EXPECT_NE(log.find("zipfile is empty"), std::string::npos) << log;
        }
    }
}

TEST(ArchiveWriter, WritesEveryHeaderFieldOfFilesAndDirectories)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "readme.txt", textLike(5000));
    writeFile(base / "empty.bin", "");
    writeFile(base / ".hidden", "secret");
    writeFile(base / "Maps/DuelMode/Heroes/hero_one.xdb", textLike(3000));
    writeFile(base / "Maps/locked.txt", "locked");
    fs::create_directories(base / "Maps/Empty");
    fs::permissions(base / "Maps/locked.txt", fs::perms::owner_write, fs::perm_options::remove);
    const std::time_t fileTime = 1700000000; // November 2023
    for (const char *file : {"readme.txt", "empty.bin", ".hidden", "Maps/DuelMode/Heroes/hero_one.xdb", "Maps/locked.txt"})
        setModificationTime(base / file, fileTime);

    const std::time_t before = std::time(nullptr);
    pack(base, dir / "out.pak");
    const std::time_t after = std::time(nullptr);
    expectReadersAccept(dir / "out.pak");

    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    const std::vector<std::string> expectedOrder = {
        ".hidden",      "empty.bin",    "readme.txt",          "Maps/",
        "Maps/locked.txt", "Maps/DuelMode/", "Maps/DuelMode/Heroes/", "Maps/DuelMode/Heroes/hero_one.xdb",
        "Maps/Empty/"};
    ASSERT_EQ(archive.names(), expectedOrder);
    EXPECT_EQ(archive.totalEntries, expectedOrder.size());
    EXPECT_EQ(archive.entriesOnDisk, expectedOrder.size());
    EXPECT_FALSE(archive.hasZip64EndRecord);
    EXPECT_EQ(archive.commentLength, 0);

    std::uint64_t expectedOffset = 0;
    for (const InspectedEntry &entry : archive.entries) {
        SCOPED_TRACE(entry.central.name);
        const auto &c = entry.central;
        const auto &l = entry.local;
        const bool isDirectory = c.name.back() == '/';
        // Both headers agree.
        EXPECT_EQ(l.name, c.name);
        EXPECT_EQ(l.versionNeeded, c.versionNeeded);
        EXPECT_EQ(l.flags, c.flags);
        EXPECT_EQ(l.method, c.method);
        EXPECT_EQ(l.dosTime, c.dosTime);
        EXPECT_EQ(l.dosDate, c.dosDate);
        EXPECT_EQ(l.crc32, c.crc32);
        EXPECT_EQ(l.compressedSize, c.compressedSize);
        EXPECT_EQ(l.uncompressedSize, c.uncompressedSize);
        EXPECT_EQ(l.extraLength, 0);
        // Fixed fields.
        EXPECT_EQ(c.versionMadeBy, 20);
        EXPECT_EQ(c.versionNeeded, 20);
        EXPECT_EQ(c.extraLength, 0);
        EXPECT_EQ(c.commentLength, 0);
        EXPECT_EQ(c.diskNumberStart, 0);
        EXPECT_EQ(c.internalAttributes, 0);
        // Entries follow one another with nothing in between.
        EXPECT_EQ(c.headerOffset, expectedOffset);
        expectedOffset += 30 + c.name.size() + c.compressedSize;

        if (isDirectory) {
            EXPECT_EQ(c.flags, 2);
            EXPECT_EQ(c.method, 0);
            EXPECT_EQ(c.crc32, 0u);
            EXPECT_EQ(c.compressedSize, 0u);
            EXPECT_EQ(c.uncompressedSize, 0u);
            EXPECT_EQ(c.externalAttributes, 0x10u);
            EXPECT_GE(stampOf(c), dosStampOf(before));
            EXPECT_LE(stampOf(c), dosStampOf(after));
            continue;
        }
        const std::string content = readFile(base / c.name);
        EXPECT_EQ(c.flags, 0);
        EXPECT_EQ(c.method, content.empty() ? 0 : 8);
        EXPECT_EQ(c.crc32, crc32Of(content));
        EXPECT_EQ(c.uncompressedSize, content.size());
        EXPECT_TRUE(entry.inflatedCleanly);
        EXPECT_EQ(entry.inflated, content);
        EXPECT_EQ(stampOf(c), dosStampOf(fileTime));
    }
    EXPECT_EQ(archive.centralDirectoryOffset, expectedOffset);
    EXPECT_EQ(archive.centralDirectoryOffset + archive.centralDirectorySize + 22, archive.fileSize);

    // A leading dot hides a file on POSIX systems; Windows hides by the
    // file's attribute alone.
    EXPECT_EQ(archive.find(".hidden")->central.externalAttributes, onWindows ? 0x20u : 0x22u);
    EXPECT_EQ(archive.find("readme.txt")->central.externalAttributes, 0x20u);
    EXPECT_EQ(archive.find("Maps/locked.txt")->central.externalAttributes, 0x21u);
    EXPECT_EQ(archive.find("empty.bin")->central.compressedSize, 0u);
}

TEST(ArchiveWriter, CompressesSourcesUpToTheLimitWholeAndLargerOnesInChunks)
{
    constexpr std::size_t chunk = 1572864;
    constexpr std::size_t limit = static_cast<std::size_t>(wholeSourceLimit);
    TempDir dir;
    const fs::path base = dir / "mod";
    // Text where it costs little, random bytes where size makes text slow.
    const std::string severalChunks = textLike(limit + 2 * chunk + 17);
    const std::string exact = randomBytes(limit, 1);
    const std::string overByOne = randomBytes(limit + 1, 2);
    writeFile(base / "a_several.txt", severalChunks);
    writeFile(base / "b_exact.bin", exact);
    writeFile(base / "c_over.bin", overByOne);
    packSingleThreaded(base, dir / "out.pak");
    expectReadersAccept(dir / "out.pak");

    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.entries.size(), 3u);
    // Up to the limit a source is one whole-buffer deflate at the level;
    // one byte more and it is cut in chunks, each deflated on its own, the
    // last exactly as a whole source would be.
    const std::vector<std::string> several = chunkedDeflatePieces(archive.entries[0].data, severalChunks, chunk);
    ASSERT_EQ(several.size(), 4u);
    EXPECT_EQ(several.back(), wholeBufferDeflate(severalChunks.substr(3 * chunk), 9));
    EXPECT_EQ(archive.entries[0].inflated, severalChunks);
    EXPECT_EQ(archive.entries[1].data, wholeBufferDeflate(exact, 9));
    const std::vector<std::string> over = chunkedDeflatePieces(archive.entries[2].data, overByOne, chunk);
    ASSERT_EQ(over.size(), 2u);
    EXPECT_EQ(over.back(), wholeBufferDeflate(overByOne.substr(chunk), 9));
    // Incompressible data stays deflated, just larger.
    EXPECT_EQ(archive.entries[2].central.method, 8);
    EXPECT_GT(archive.entries[2].central.compressedSize, overByOne.size());
    EXPECT_EQ(archive.entries[2].inflated, overByOne);
}

TEST(ArchiveWriter, StoresNamesInCodePage437WhereItHoldsThemAndElseInUtf8)
{
    if (platform::oemCodePage() != 437)
        GTEST_SKIP() << "the names are code page 437's; the system's OEM code page is " << platform::oemCodePage();
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / utf8Path("h\xC3\xA9ros.txt"), "e acute");        // é is 0x82
    writeFile(base / utf8Path("\xC3\x84rger/\xC3\x9F.txt"), "umlaut"); // Ä 0x8E, ß 0xE1
    writeFile(base / utf8Path("\xE6\x97\xA5\xE6\x9C\xAC.txt"), "cjk");  // not in the code page
    pack(base, dir / "out.pak");
    expectReadersAccept(dir / "out.pak");

    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    const std::vector<std::string> expected = {"h\x82ros.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", "\x8Erger/",
                                               "\x8Erger/\xE1.txt"};
    ASSERT_EQ(archive.names(), expected);
    for (const auto &entry : archive.entries) {
        SCOPED_TRACE(entry.central.name);
        EXPECT_EQ(entry.local.name, entry.central.name);
        EXPECT_EQ(entry.local.flags, entry.central.flags);
        const bool utf8 = entry.central.name[0] == '\xE6';
        EXPECT_EQ(entry.central.flags & 0x800, utf8 ? 0x800 : 0) << "UTF-8 flag";
        EXPECT_EQ(entry.central.versionNeeded, 20);
        // UTF-8 names come from Windows NTFS, which some readers need to
        // honour the flag; the others stay MS-DOS.
        EXPECT_EQ(entry.central.versionMadeBy, utf8 ? 0x0B14 : 20);
    }
}

// A writer whose failure prompt is answered from a list and recorded.
struct AnsweringWriter
{
    AnsweringWriter()
    {
        writer.Name = "ArchiveWriter1";
        writer.OnFailurePrompt = [this](const std::string &text, TPromptButtons buttons) {
            prompts.push_back(text);
            buttonsShown.push_back(buttons);
            return answer;
        };
    }
    TArchiveWriter writer;
    TPromptAnswer answer = TPromptAnswer::Ignore;
    std::vector<std::string> prompts;
    std::vector<TPromptButtons> buttonsShown;
};

TEST(ArchiveWriter, NamesThatOnceBecameOneAreEachStoredAndExtractedFaithfully)
{
    VORIRAZ_POSIX_ONLY("file names that are not valid UTF-8, and the Linux archive readers");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "\xE6\x97\xA5\xE6\x9C\xAC.txt", "Japan");   // 日本.txt
    writeFile(base / "\xE4\xB8\xAD\xE6\x96\x87.txt", "Chinese"); // 中文.txt
    writeFile(base / "__.txt", "underscores");
    writeFile(base / "sub/\xE2\x82\xAC.txt", "euro");
    const TreeSnapshot expected = snapshotOf(base);
    writeFile(base / "bad\xFF.txt", "not UTF-8");
    AnsweringWriter packing;
    writeModArchive(packing.writer, (dir / "out.pak").string(), base.string());

    ASSERT_EQ(packing.prompts.size(), 1u);
    EXPECT_EQ(packing.prompts[0], "ArchiveWriter1: File name is not valid UTF-8: \"" + base.string()
                                      + "/bad\\xFF.txt\" - Native error: 00062");
    EXPECT_EQ(packing.buttonsShown[0], TPromptButtons::AbortIgnore) << "trying again cannot mend a name";
    EXPECT_EQ(inspectArchive(dir / "out.pak").entries.size(), 5u);
    for (const char *reader : {"python", "unzip", "7z"}) {
        SCOPED_TRACE(reader);
        std::string log;
        EXPECT_TRUE(readerAccepts(reader, dir / "out.pak", &log)) << log;
        const fs::path into = dir / (std::string("by-") + reader);
        ASSERT_TRUE(readerExtracts(reader, dir / "out.pak", into, &log)) << log;
        EXPECT_EQ(snapshotOf(into), expected);
    }
}

TEST(ArchiveWriter, ASecondEntryWithTheBytesOfAStoredNameIsRefusedNamingBothSources)
{
    if (platform::oemCodePage() != 437)
        GTEST_SKIP() << "the names are code page 437's; the system's OEM code page is " << platform::oemCodePage();
    TempDir dir;
    const fs::path base = dir / "mod";
    // In code page 437, µùÑ is E6 97 A5, the UTF-8 of 日: readers that go by
    // the bytes alone would see one name twice.
    writeFile(base / utf8Path("\xC2\xB5\xC3\xB9\xC3\x91.txt"), "micro");
    writeFile(base / utf8Path("\xE6\x97\xA5.txt"), "sun");
    AnsweringWriter packing;
    writeModArchive(packing.writer, (dir / "out.pak").string(), base.string());
    ASSERT_EQ(packing.prompts.size(), 1u);
    EXPECT_EQ(packing.prompts[0], "ArchiveWriter1: Cannot store file \"" + programPath(base, "\xE6\x97\xA5.txt")
                                      + "\": the archive holds a name of the same bytes already, for file \""
                                      + programPath(base, "\xC2\xB5\xC3\xB9\xC3\x91.txt") + "\" - Native error: 00063");
    EXPECT_EQ(packing.buttonsShown[0], TPromptButtons::AbortIgnore);
    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.names(), std::vector<std::string> {"\xE6\x97\xA5.txt"});
    EXPECT_EQ(archive.entries[0].central.flags & 0x800, 0);
    EXPECT_EQ(archive.entries[0].inflated, "micro");
}

TEST(ArchiveWriter, NamesThatDifferOnlyInCaseAreAllStored)
{
    VORIRAZ_POSIX_ONLY("file names that differ only in case name different files");
    TempDir dir;
    const fs::path base = dir / "mod";
    writeFile(base / "Hero.xdb", "upper");
    writeFile(base / "hero.xdb", "lower");
    pack(base, dir / "out.pak");

    const InspectedArchive archive = inspectArchive(dir / "out.pak");
    ASSERT_EQ(archive.entries.size(), 2u);
    EXPECT_EQ(archive.entries[0].central.name, "Hero.xdb");
    EXPECT_EQ(archive.entries[0].inflated, "upper");
    EXPECT_EQ(archive.entries[1].central.name, "hero.xdb");
    EXPECT_EQ(archive.entries[1].inflated, "lower");
}

TEST(ArchiveWriter, FileDatedBefore1980CarriesTheTimeOfPacking)
{
    TempDir dir;
    writeFile(dir / "mod/old.txt", "1975");
    setModificationTime(dir / "mod/old.txt", 170000000); // May 1975
    const std::time_t before = std::time(nullptr);
    pack(dir / "mod", dir / "out.pak");
    const std::time_t after = std::time(nullptr);
    const auto stamp = stampOf(inspectArchive(dir / "out.pak").entries.at(0).central);
    EXPECT_GE(stamp, dosStampOf(before));
    EXPECT_LE(stamp, dosStampOf(after));
}

TEST(ArchiveWriter, ReplacesAnExistingArchiveAndPacksTheSameEntriesTwice)
{
    TempDir dir;
    writeFile(dir / "mod/a.txt", "alpha");
    writeFile(dir / "mod/sub/b.txt", "beta");
    writeFile(dir / "out.pak", randomBytes(100000, 1));
    pack(dir / "mod", dir / "out.pak");
    const InspectedArchive first = inspectArchive(dir / "out.pak");
    pack(dir / "mod", dir / "out.pak");
    const InspectedArchive second = inspectArchive(dir / "out.pak");
    ASSERT_EQ(first.names(), (std::vector<std::string> {"a.txt", "sub/", "sub/b.txt"}));
    ASSERT_EQ(second.names(), first.names());
    for (std::size_t i = 0; i < first.entries.size(); ++i)
        EXPECT_EQ(second.entries[i].data, first.entries[i].data);
    EXPECT_EQ(first.fileSize, second.fileSize);
}

TEST(ArchiveWriter, CompressionLevelAndModeAreCoupled)
{
    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";
    const std::pair<TCompressionLevel, int> levels[] = {{TCompressionLevel::clNone, 0},
                                                        {TCompressionLevel::clFastest, 1},
                                                        {TCompressionLevel::clNormal, 6},
                                                        {TCompressionLevel::clMax, 9}};
    for (const auto &[level, mode] : levels) {
        writer.SetCompressionLevel(level);
        EXPECT_EQ(writer.CompressionMode(), mode);
    }
    const TCompressionLevel byMode[] = {TCompressionLevel::clNone,   TCompressionLevel::clFastest,
                                        TCompressionLevel::clFastest, TCompressionLevel::clFastest,
                                        TCompressionLevel::clNormal,  TCompressionLevel::clNormal,
                                        TCompressionLevel::clNormal,  TCompressionLevel::clMax,
                                        TCompressionLevel::clMax,     TCompressionLevel::clMax};
    for (int mode = 0; mode <= 9; ++mode) {
        writer.SetCompressionMode(mode);
        EXPECT_EQ(writer.CompressionLevel(), byMode[mode]) << mode;
    }
    try {
        writer.SetCompressionMode(10);
        FAIL() << "mode 10 accepted";
    } catch (const EArchiveError &e) {
        EXPECT_STREQ(e.what(),
                     "ArchiveWriter1: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
        EXPECT_EQ(e.nativeErrorCode(), 5);
    }
    EXPECT_EQ(writer.CompressionMode(), 9);
}

TEST(ArchiveWriter, StoredModeAndFastModeUseTheirChunkSizes)
{
    EXPECT_EQ(compressionChunkSize(0), 1048576u);
    EXPECT_EQ(compressionChunkSize(2), 524288u);
    EXPECT_EQ(compressionChunkSize(5), 1048576u);
    EXPECT_EQ(compressionChunkSize(9), 1572864u);

    TempDir dir;
    // Larger than a source compressed whole, so cut in the mode's chunks.
    const std::string content = textLike(static_cast<std::size_t>(wholeSourceLimit) + 10);
    writeFile(dir / "mod/a.txt", content);
    for (int mode : {0, 2}) {
        TArchiveWriter writer;
        writer.Threads = 1;
        writer.SetCompressionMode(mode);
        pack(dir / "mod", dir / "out.pak", writer);
        const InspectedArchive archive = inspectArchive(dir / "out.pak");
        ASSERT_EQ(archive.entries.size(), 1u);
        EXPECT_EQ(archive.entries[0].central.method, mode == 0 ? 0 : 8);
        if (mode == 0)
            EXPECT_EQ(archive.entries[0].data, content);
        else {
            // Chunks of 512 KiB at level 2; the last one is a whole source's.
            const std::vector<std::string> pieces = chunkedDeflatePieces(archive.entries[0].data, content, 524288);
            ASSERT_EQ(pieces.size(), 4u);
            EXPECT_EQ(pieces.back(), wholeBufferDeflate(content.substr(3 * 524288), 2));
        }
        expectReadersAccept(dir / "out.pak");
    }
}

TEST(ArchiveWriter, ErrorsOfTheArchiveItself)
{
    TempDir dir;
    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";

    writer.FileName = (dir / "").string();
    EXPECT_EQ(messageOf([&] { writer.CreateArchive(); }),
              "ArchiveWriter1: File name is blank. Specify appropriate file name - Native error: 00010");

    EXPECT_EQ(messageOf([&] { writer.AddByMask("*.*", searchAttr::all, ""); }),
              "ArchiveWriter1: Archive is not open - Native error: 00013");

    writer.FileName = (dir / "missing/out.pak").string();
    EXPECT_EQ(messageOf([&] { writer.CreateArchive(); }),
              "Cannot create file \"" + writer.FileName + "\". " + pathNotFoundText());
    EXPECT_FALSE(fs::exists(dir / "missing"));

    fs::create_directories(dir / "folder.pak");
    writer.FileName = (dir / "folder.pak").string();
    EXPECT_EQ(messageOf([&] { writer.CreateArchive(); }),
              "Cannot create file \"" + writer.FileName + "\". Is a directory");

    writer.Name.clear();
    EXPECT_EQ(messageOf([&] { writer.SetCompressionMode(12); }),
              "Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
}

TEST(ArchiveWriter, ZipSixtyFourEndRecordsFrom65535Entries)
{
    TempDir dir;
    const fs::path base = dir / "mod";
    fs::create_directories(base);
    // 255 directories of 256 empty files each, plus the directories: 65,535.
    for (int d = 0; d < 255; ++d) {
        char name[16];
        std::snprintf(name, sizeof name, "d%03d", d);
        fs::create_directories(base / name);
        for (int f = 0; f < 256; ++f) {
            char file[16];
            std::snprintf(file, sizeof file, "%03d", f);
            std::ofstream out(base / name / file);
            ASSERT_TRUE(out);
        }
    }
    pack(base, dir / "out.pak");
    const InspectedArchive archive = inspectArchive(dir / "out.pak", false);
    EXPECT_EQ(archive.entries.size(), 65535u);
    EXPECT_EQ(archive.entriesOnDisk, 0xFFFF);
    EXPECT_EQ(archive.totalEntries, 0xFFFF);
    ASSERT_TRUE(archive.hasZip64EndRecord);
    EXPECT_EQ(archive.zip64Entries, 65535u);
    EXPECT_EQ(archive.zip64CentralDirectoryOffset, archive.centralDirectoryOffset);
    EXPECT_EQ(archive.zip64CentralDirectorySize, archive.centralDirectorySize);
    std::string log;
    EXPECT_TRUE(readerAccepts("python", dir / "out.pak", &log)) << log;
    EXPECT_TRUE(readerAccepts("unzip", dir / "out.pak", &log)) << log;
}

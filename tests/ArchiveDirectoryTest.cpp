#include "SystemSupport.h"
#include "TestSupport.h"

#include "packaging/ArchiveDirectory.h"
#include "packaging/FileSelection.h"

#include <gtest/gtest.h>


using namespace voriraz;
using namespace voriraz::test;

namespace {

std::string nameOf(std::size_t i)
{
    return "Maps/Region" + std::to_string(i % 7) + "/preset-of-a-long-name-" + std::to_string(i) + ".xdb";
}

TArchiveDirEntry fileEntry(std::uint32_t crc)
{
    TArchiveDirEntry entry;
    entry.header.crc32 = crc;
    return entry;
}

std::vector<std::string> namesOf(const TArchiveDirArray &directory)
{
    std::vector<std::string> names;
    for (const TArchiveDirEntry &entry : directory)
        names.emplace_back(entry.storedName);
    return names;
}

} // namespace

// The names fill several blocks of the store (one of them longer than a
// block), and a copy taken half-way keeps its names while the original goes
// on growing, as the directory an update began with does.
TEST(ArchiveDirectory, CopiesKeepTheirNamesWhileTheOriginalGrows)
{
    TArchiveDirArray current;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < 1500; ++i) {
        expected.push_back(nameOf(i));
        current.append(fileEntry(static_cast<std::uint32_t>(i)), expected.back());
    }
    const std::string huge(100 * 1024, 'h');
    current.append(fileEntry(0), huge);
    expected.push_back(huge);

    TArchiveDirArray backup = current;
    const std::vector<std::string> atCopy = expected;
    for (std::size_t i = 1500; i < 3000; ++i) {
        expected.push_back(nameOf(i));
        current.append(fileEntry(static_cast<std::uint32_t>(i)), expected.back());
    }
    EXPECT_EQ(namesOf(backup), atCopy);
    EXPECT_EQ(namesOf(current), expected);

    // Rolled back, then grown again: the copy writes into blocks of its own.
    current = backup;
    current.append(fileEntry(7), "after/roll-back.txt");
    backup.append(fileEntry(8), "other/name.txt");
    EXPECT_EQ(current[current.size() - 1].storedName, "after/roll-back.txt");
    EXPECT_EQ(backup[backup.size() - 1].storedName, "other/name.txt");
    EXPECT_EQ(namesOf(current).front(), atCopy.front());
    ASSERT_TRUE(current.find(huge));
    EXPECT_EQ(*current.find(huge), 1500u);
    EXPECT_FALSE(backup.find("after/roll-back.txt"));
}

TEST(ArchiveDirectory, FindsByExactNameThroughReplacesAndRemovals)
{
    TArchiveDirArray directory;
    for (std::size_t i = 0; i < 1000; ++i)
        directory.append(fileEntry(static_cast<std::uint32_t>(i)), nameOf(i));
    directory.append(fileEntry(1), "");
    EXPECT_EQ(directory.find(nameOf(999)), 999u);
    EXPECT_EQ(directory.find(""), 1000u);
    EXPECT_FALSE(directory.find("MAPS/REGION0/PRESET-OF-A-LONG-NAME-0.XDB"));

    directory.replaceAt(10, fileEntry(0xABCD));
    EXPECT_EQ(directory[10].storedName, nameOf(10));
    EXPECT_EQ(directory[10].header.crc32, 0xABCDu);

    directory.removeAt(10);
    EXPECT_FALSE(directory.find(nameOf(10)));
    EXPECT_EQ(directory.find(nameOf(11)), 10u);
    EXPECT_EQ(directory.find(nameOf(999)), 998u);
    EXPECT_EQ(directory[998].header.crc32, 999u);

    directory.clear();
    EXPECT_TRUE(directory.empty());
    EXPECT_FALSE(directory.find(nameOf(11)));
}

// Positions sharing one hash are all kept; the caller's comparison picks one.
TEST(ArchiveDirectory, PositionIndexKeepsEveryPositionOfOneHash)
{
    PositionIndex index;
    for (std::size_t i = 0; i < 200; ++i)
        index.insert(i % 3 == 0 ? 42 : i, i);
    EXPECT_EQ(index.find(42, [](std::size_t p) { return p == 198; }), 198u);
    EXPECT_EQ(index.find(42, [](std::size_t) { return true; }), 0u);
    EXPECT_FALSE(index.find(42, [](std::size_t p) { return p == 199; }));
    EXPECT_EQ(index.find(199, [](std::size_t) { return true; }), 199u);
    index.clear();
    EXPECT_FALSE(index.find(42, [](std::size_t) { return true; }));
}

// What the directory holds per entry found by the walk, measured with the
// allocator's own count of the bytes in use: the fixed record, its share of
// the index and the store, and the folders' paths, beyond the name itself.
TEST(ArchiveDirectory, HoldsFewBytesPerEntryBeyondItsName)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps no count of bytes in use";
#else
    VORIRAZ_POSIX_ONLY("the C library's count of the bytes in use");
    TempDir tree;
    constexpr std::size_t folders = 20, perFolder = 250;
    std::size_t nameBytes = 0;
    for (std::size_t f = 0; f < folders; ++f) {
        const std::string folder = "Folder-" + std::to_string(f);
        std::filesystem::create_directories(tree / folder);
        nameBytes += folder.size() + 1;
        for (std::size_t i = 0; i < perFolder; ++i) {
            const std::string name = "a-file-with-a-long-name-" + std::to_string(i) + ".xdb";
            writeFile(tree / (folder + "/" + name), "");
            nameBytes += folder.size() + 1 + name.size();
        }
    }
    const std::size_t entries = folders * (perFolder + 1);

    SelectionRequest request;
    request.masks = {"*.*"};
    request.baseDir = tree.path().string();
    TArchiveDirArray directory;
    const std::size_t before = *heapBytesInUse();
    selectFiles(request, directory);
    const std::size_t held = *heapBytesInUse() - before;
    ASSERT_EQ(directory.size(), entries);

    const double perEntry = static_cast<double>(held - std::min(held, nameBytes)) / entries;
    std::printf("[ measured ] %zu entries hold %zu bytes: %.0f per entry beyond %zu bytes of names\n", entries, held,
                perEntry, nameBytes);
    EXPECT_LT(perEntry, 160.0);
#endif
}

#include "SystemSupport.h"
#include "TestSupport.h"

#include "packaging/ArchiveIo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <set>

using namespace voriraz;
using namespace voriraz::test;

namespace {

// A stream in memory whose writes store at most `room` bytes in all, so the
// default gather and positioned writes can be checked against short writes.
class MemoryStream : public ArchiveStream
{
public:
    std::string bytes;
    std::size_t room = std::string::npos;
    int writes = 0;

    std::size_t write(const char *data, std::size_t count) override
    {
        ++writes;
        const std::size_t stored = std::min(count, room);
        room -= room == std::string::npos ? 0 : stored;
        if (bytes.size() < mPosition + stored)
            bytes.resize(mPosition + stored);
        bytes.replace(mPosition, stored, data, stored);
        mPosition += stored;
        return stored;
    }
    std::uint64_t position() const override { return mPosition; }
    bool seek(std::uint64_t position) override
    {
        mPosition = position;
        return true;
    }
    std::optional<std::uint64_t> size() const override { return bytes.size(); }
    bool truncate() override
    {
        bytes.resize(mPosition);
        return true;
    }
    std::optional<FileIdentity> identity() const override { return std::nullopt; }
    int error() const override { return 0; }
    platform::Replacement finish(bool) override { return platform::Replacement::Done; }

private:
    std::uint64_t mPosition = 0;
};

} // namespace

TEST(ArchiveStream, GatherAndPositionedWritesLandWhereSingleWritesWould)
{
    TempDir dir;
    SystemArchiveFileSystem files;
    const std::string big(3u << 20, 'b');
    {
        auto stream = files.createArchive((dir / "out.pak").string());
        EXPECT_EQ(stream->writeBoth("head", 4, big.data(), big.size()), 4 + big.size());
        EXPECT_EQ(stream->writeBoth("tail", 4, "", 0), 4u);
        EXPECT_EQ(stream->position(), 8 + big.size());
        // A patch leaves the position, and what follows, alone.
        EXPECT_EQ(stream->writeAt(1, "EA", 2), 2u);
        EXPECT_EQ(stream->position(), 8 + big.size());
        EXPECT_EQ(stream->write("!", 1), 1u);
        EXPECT_EQ(stream->finish(true), platform::Replacement::Done);
    }
    EXPECT_EQ(readFile(dir / "out.pak"), "hEAd" + big + "tail!");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"out.pak"});
}

TEST(ArchiveStream, ShortGatherWriteReportsWhatWasStored)
{
    // The defaults: the second block is not tried after a short first one,
    // and a positioned write returns to where the stream was.
    MemoryStream memory;
    memory.room = 3;
    EXPECT_EQ(memory.writeBoth("12345", 5, "ab", 2), 3u);
    EXPECT_EQ(memory.writes, 1);
    memory.room = std::string::npos;
    EXPECT_EQ(memory.writeBoth("45", 2, "ab", 2), 4u);
    EXPECT_EQ(memory.writeAt(0, "X", 1), 1u);
    EXPECT_EQ(memory.position(), 7u);
    EXPECT_EQ(memory.bytes, "X2345ab");

    VORIRAZ_POSIX_ONLY("a file size limit that cuts a write short");
    TempDir dir;
    SystemArchiveFileSystem files;
    auto stream = files.createArchive((dir / "out.pak").string());
    {
        // The limit falls inside the second block: the first and part of
        // the second are stored, and the count says so.
        FileSizeLimit limit(10);
        EXPECT_EQ(stream->writeBoth("123456", 6, "abcdefgh", 8), 10u);
        EXPECT_EQ(stream->error(), EFBIG);
        EXPECT_EQ(stream->position(), 10u);
        EXPECT_EQ(stream->writeAt(12, "x", 1), 0u);
    }
    EXPECT_EQ(stream->finish(false), platform::Replacement::Done);
    EXPECT_EQ(readFile(dir / "out.pak"), "123456abcd");
}

TEST(ArchiveStream, DeviceThatFillsAfterSomeBytesCutsGatherAndPositionedWrites)
{
    TempDir dir;
    SystemArchiveFileSystem files;
    files.setFaultsForTesting({.writeLimit = 20, .writeError = ENOSPC});
    auto stream = files.createArchive((dir / "out.pak").string());
    EXPECT_EQ(stream->writeBoth("0123456789", 10, "abcdefgh", 8), 18u);
    // A patch counts as bytes written; the one that reaches the limit is cut.
    EXPECT_EQ(stream->writeAt(0, "XY", 2), 2u);
    EXPECT_EQ(stream->writeBoth("ABCD", 4, "efgh", 4), 0u) << "the device is full";
    EXPECT_EQ(stream->error(), ENOSPC);
    EXPECT_EQ(stream->writeAt(5, "!", 1), 0u);
    EXPECT_EQ(stream->error(), ENOSPC);
    EXPECT_EQ(stream->position(), 18u);
    EXPECT_EQ(stream->finish(false), platform::Replacement::Done);
    EXPECT_EQ(readFile(dir / "out.pak"), "XY23456789abcdefgh");

    // The limit inside the first block of a gathered write, then inside a
    // positioned one.
    files.setFaultsForTesting({.writeLimit = 3, .writeError = EIO});
    auto cut = files.createArchive((dir / "cut.pak").string());
    EXPECT_EQ(cut->writeBoth("12345", 5, "ab", 2), 3u);
    EXPECT_EQ(cut->error(), EIO);
    files.setFaultsForTesting({.writeLimit = 4, .writeError = EIO});
    auto patched = files.createArchive((dir / "patched.pak").string());
    EXPECT_EQ(patched->write("abc", 3), 3u);
    EXPECT_EQ(patched->writeAt(0, "XYZ", 3), 1u);
    EXPECT_EQ(patched->error(), EIO);
}

struct CallFault
{
    const char *name;
    StreamFaults faults;
    // Runs the call that should fail; returns whether it succeeded.
    std::function<bool(ArchiveStream &)> call;
    int error;
};

class ArchiveStreamCalls : public ::testing::TestWithParam<CallFault>
{
};

TEST_P(ArchiveStreamCalls, FailureIsReportedWithItsErrorAndTheTargetKept)
{
    const CallFault &row = GetParam();
    TempDir dir;
    writeFile(dir / "Mod.pak", "the previous archive");
    SystemArchiveFileSystem files;
    files.setFaultsForTesting(row.faults);
    {
        auto stream = files.createArchive((dir / "Mod.pak").string());
        ASSERT_EQ(stream->write("new archive", 11), 11u);
        EXPECT_FALSE(row.call(*stream));
        EXPECT_EQ(stream->error(), row.error);
    }
    EXPECT_EQ(readFile(dir / "Mod.pak"), "the previous archive");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"Mod.pak"}) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    ArchiveStream, ArchiveStreamCalls,
    ::testing::Values(CallFault {"Seek", {.seekError = EINVAL}, [](ArchiveStream &s) { return s.seek(2); }, EINVAL},
                      CallFault {"Truncate", {.truncateError = EIO},
                                 [](ArchiveStream &s) { return s.seek(2) && s.truncate(); }, EIO},
                      CallFault {"Flush", {.syncError = EIO}, [](ArchiveStream &s) { return s.finish(true) != platform::Replacement::Failed; }, EIO},
                      CallFault {"Close", {.closeError = ENOSPC}, [](ArchiveStream &s) { return s.finish(false) != platform::Replacement::Failed; },
                                 ENOSPC},
                      CallFault {"Rename", {.renameError = EXDEV}, [](ArchiveStream &s) { return s.finish(true) != platform::Replacement::Failed; },
                                 EXDEV},
                      CallFault {"PatchThroughTheDefaultSeek", {.seekError = ESPIPE},
                                 [](ArchiveStream &s) { return s.ArchiveStream::writeAt(0, "N", 1) == 1; }, ESPIPE}),
    [](const ::testing::TestParamInfo<CallFault> &row) { return std::string(row.param.name); });

TEST(ArchiveStream, TargetStaysUntilFinishedAndTruncatingKeepsWhatIsBefore)
{
    TempDir dir;
    SystemArchiveFileSystem files;
    writeFile(dir / "old.pak", std::string(5000, 'o'));
    std::filesystem::permissions(dir / "old.pak", std::filesystem::perms(0640));
    {
        auto stream = files.createArchive((dir / "old.pak").string());
        EXPECT_EQ(stream->size(), 0u);
        stream->write("abcdef", 6);
        // Cutting at the end changes nothing; cutting earlier drops the rest.
        EXPECT_TRUE(stream->truncate());
        EXPECT_EQ(stream->size(), 6u);
        EXPECT_TRUE(stream->seek(4));
        EXPECT_TRUE(stream->truncate());
        EXPECT_EQ(readFile(dir / "old.pak"), std::string(5000, 'o')) << "untouched until finished";
        EXPECT_EQ(stream->finish(true), platform::Replacement::Done);
    }
    EXPECT_EQ(readFile(dir / "old.pak"), "abcd");
    if constexpr (!onWindows) { // Windows has no permission bits beyond read-only
        EXPECT_EQ(permissionBits(dir / "old.pak"), 0640u) << "the replaced file's permissions are kept";
    }

    // Unfinished, nothing is left behind.
    { auto dropped = files.createArchive((dir / "new.pak").string()); }
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"old.pak"});
}

// The system's own refusal to put the archive in place, not an injected
// one, is a failed finish with its reason; nothing of the archive is left.
TEST(ArchiveStream, AReplacementTheSystemRefusesFailsTheFinish)
{
    TempDir dir;
    SystemArchiveFileSystem files;
    {
        auto stream = files.createArchive((dir / "out.pak").string());
        stream->write("archive", 7);
        // A folder with something in it takes the target's name meanwhile.
        writeFile(dir / "out.pak/inside.txt", "kept");
        EXPECT_EQ(stream->finish(true), platform::Replacement::Failed);
        EXPECT_NE(stream->error(), 0);
    }
    EXPECT_EQ(readFile(dir / "out.pak/inside.txt"), "kept");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"out.pak"});
}

TEST(ArchiveStream, ALinkIsFollowedAndKept)
{
    VORIRAZ_POSIX_ONLY("symbolic links, which Windows lets only privileged users make");
    TempDir dir;
    SystemArchiveFileSystem files;
    writeFile(dir / "real/Mod.pak", "previous");
    std::filesystem::create_symlink(dir / "real/Mod.pak", dir / "link.pak");
    auto stream = files.createArchive((dir / "link.pak").string());
    stream->write("new", 3);
    ASSERT_EQ(stream->finish(true), platform::Replacement::Done);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pak"));
    EXPECT_EQ(readFile(dir / "real/Mod.pak"), "new");
    EXPECT_EQ(resolveLinkedPath((dir / "link.pak").string()), (dir / "real/Mod.pak").string());
}

// Flushing the folder after the rename is the last step: the archive is in
// place whatever it says, so a failure there is told as such, not as a
// failed pack (the old archive is gone by then).
TEST(ArchiveStream, AFolderThatCannotBeFlushedAfterTheRenameLeavesTheArchiveInPlace)
{
    TempDir dir;
    writeFile(dir / "Mod.pak", "the previous archive");
    SystemArchiveFileSystem files;
    files.setFaultsForTesting({.folderSyncError = EIO});
    auto stream = files.createArchive((dir / "Mod.pak").string());
    ASSERT_EQ(stream->write("new archive", 11), 11u);
    EXPECT_EQ(stream->finish(true), platform::Replacement::DoneNotFlushed);
    EXPECT_EQ(stream->error(), EIO);
    EXPECT_EQ(readFile(dir / "Mod.pak"), "new archive");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string> {"Mod.pak"});
}

// A new archive gets the permissions any new file of the process gets: the
// kernel applies the umask, which stays as it was.
TEST(ArchiveStream, ANewArchiveTakesThePermissionsTheUmaskGives)
{
    VORIRAZ_POSIX_ONLY("permission bits and the umask");
    TempDir dir;
    const unsigned saved = setUmaskForTesting(027);
    {
        SystemArchiveFileSystem files;
        auto stream = files.createArchive((dir / "new.pak").string());
        stream->write("x", 1);
        EXPECT_EQ(stream->finish(false), platform::Replacement::Done);
    }
    EXPECT_EQ(setUmaskForTesting(saved), 027u) << "packing left the umask as it was";
    EXPECT_EQ(permissionBits(dir / "new.pak"), 0640u);
}

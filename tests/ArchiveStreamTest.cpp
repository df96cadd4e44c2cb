#include "TestSupport.h"

#include "packaging/ArchiveIo.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

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
    void seek(std::uint64_t position) override { mPosition = position; }
    std::uint64_t size() const override { return bytes.size(); }
    void truncate() override { bytes.resize(mPosition); }
    void flush() override {}
    std::optional<FileIdentity> identity() const override { return std::nullopt; }

private:
    std::uint64_t mPosition = 0;
};

// Limits the size of files this process may write, for the scope; writes
// past it then fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &mSaved);
        mHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = mSaved;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mSaved);
        std::signal(SIGXFSZ, mHandler);
    }

private:
    rlimit mSaved {};
    void (*mHandler)(int) = nullptr;
};

} // namespace

TEST(ArchiveStream, GatherAndPositionedWritesLandWhereSingleWritesWould)
{
    TempDir dir;
    PosixArchiveFileSystem files;
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
    }
    EXPECT_EQ(readFile(dir / "out.pak"), "hEAd" + big + "tail!");
}

TEST(ArchiveStream, ShortGatherWriteReportsWhatWasStored)
{
    TempDir dir;
    PosixArchiveFileSystem files;
    auto stream = files.createArchive((dir / "out.pak").string());
    {
        // The limit falls inside the second block: the first and part of
        // the second are stored, and the count says so.
        FileSizeLimit limit(10);
        EXPECT_EQ(stream->writeBoth("123456", 6, "abcdefgh", 8), 10u);
        EXPECT_EQ(stream->position(), 10u);
        EXPECT_EQ(stream->writeAt(12, "x", 1), 0u);
    }
    EXPECT_EQ(readFile(dir / "out.pak"), "123456abcd");

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
}

TEST(ArchiveStream, CreatingEmptiesAnExistingFileAndTruncatingKeepsWhatIsBefore)
{
    TempDir dir;
    PosixArchiveFileSystem files;
    writeFile(dir / "old.pak", std::string(5000, 'o'));
    {
        auto stream = files.createArchive((dir / "old.pak").string());
        EXPECT_EQ(stream->size(), 0u);
        stream->write("abcdef", 6);
        // Cutting at the end changes nothing; cutting earlier drops the rest.
        stream->truncate();
        EXPECT_EQ(stream->size(), 6u);
        stream->seek(4);
        stream->truncate();
    }
    EXPECT_EQ(readFile(dir / "old.pak"), "abcd");
    auto fresh = files.createArchive((dir / "new.pak").string());
    EXPECT_EQ(fresh->size(), 0u);
}

#include "FaultyFileSystem.h"

#include <algorithm>
#include <cerrno>

namespace voriraz::test {

namespace {

bool endsWith(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class ShrinkingSource : public SourceFile
{
public:
    ShrinkingSource(std::unique_ptr<SourceFile> real, std::uint64_t limit) : mReal(std::move(real)), mLimit(limit) {}
    std::uint64_t size() const override { return mReal->size(); }
    std::size_t read(char *buffer, std::size_t count) override
    {
        const std::size_t allowed = static_cast<std::size_t>(std::min<std::uint64_t>(count, mLimit - mDelivered));
        const std::size_t got = mReal->read(buffer, allowed);
        mDelivered += got;
        return got;
    }
    bool rewind() override
    {
        mDelivered = 0;
        return mReal->rewind();
    }
    int error() const override { return mReal->error(); }
    // A file that delivers fewer bytes than its size has shrunk.
    std::uint64_t currentSize() const override { return std::min(mLimit, mReal->currentSize()); }

private:
    std::unique_ptr<SourceFile> mReal;
    std::uint64_t mLimit;
    std::uint64_t mDelivered = 0;
};

// Tells the test after each read, which may change the file meanwhile.
class WatchedSource : public SourceFile
{
public:
    WatchedSource(std::unique_ptr<SourceFile> real, std::string path, const FaultyFileSystem &owner)
        : mReal(std::move(real)), mPath(std::move(path)), mOwner(owner)
    {
    }
    std::uint64_t size() const override { return mReal->size(); }
    std::size_t read(char *buffer, std::size_t count) override
    {
        const std::size_t got = mReal->read(buffer, count);
        mDelivered += got;
        mOwner.afterRead(mPath, mDelivered);
        return got;
    }
    bool rewind() override
    {
        mDelivered = 0;
        return mReal->rewind();
    }
    int error() const override { return mReal->error(); }
    std::uint64_t currentSize() const override { return mReal->currentSize(); }

private:
    std::unique_ptr<SourceFile> mReal;
    std::string mPath;
    const FaultyFileSystem &mOwner;
    std::uint64_t mDelivered = 0;
};

class FaultyStream : public ArchiveStream
{
public:
    FaultyStream(std::unique_ptr<ArchiveStream> real, FaultyFileSystem &owner) : mReal(std::move(real)), mOwner(owner)
    {
    }
    std::size_t write(const char *data, std::size_t count) override
    {
        return failing(mReal->position(), data, count) ? 0 : mReal->write(data, count);
    }
    // Each block is offered to failWrite as a write of its own would be;
    // when neither fails, both go to the real gathered write.
    std::size_t writeBoth(const char *first, std::size_t firstCount, const char *second,
                          std::size_t secondCount) override
    {
        const std::uint64_t at = mReal->position();
        if (failing(at, first, firstCount))
            return 0;
        if (failing(at + firstCount, second, secondCount))
            return mReal->write(first, firstCount);
        return mReal->writeBoth(first, firstCount, second, secondCount);
    }
    std::size_t writeAt(std::uint64_t position, const char *data, std::size_t count) override
    {
        return failing(position, data, count) ? 0 : mReal->writeAt(position, data, count);
    }
    std::uint64_t position() const override { return mReal->position(); }
    bool seek(std::uint64_t position) override { return mReal->seek(position); }
    std::optional<std::uint64_t> size() const override { return mReal->size(); }
    bool truncate() override { return mReal->truncate(); }
    std::optional<FileIdentity> identity() const override { return mReal->identity(); }
    int error() const override { return mInjected ? platform::deviceError : mReal->error(); }
    platform::Replacement finish(bool durable) override { return mReal->finish(durable); }

private:
    bool failing(std::uint64_t position, const char *data, std::size_t count)
    {
        mInjected = mOwner.failWrite && mOwner.failWrite(position, std::string_view(data, count));
        return mInjected;
    }

    std::unique_ptr<ArchiveStream> mReal;
    FaultyFileSystem &mOwner;
    bool mInjected = false;
};

} // namespace

std::unique_ptr<ArchiveStream> FaultyFileSystem::createArchive(const std::string &path)
{
    mReal.setFaultsForTesting(device);
    return std::make_unique<FaultyStream>(mReal.createArchive(path), *this);
}

std::unique_ptr<SourceFile> FaultyFileSystem::openSource(const std::string &path, TFileShareMode shareMode, int &error)
{
    // Told outside the lock, so that it may wait for the test's thread.
    if (beforeOpen)
        beforeOpen(path);
    // Sources are opened by the reading-ahead thread and, on a retry, by the
    // writer's thread at the same time.
    std::lock_guard lock(mMutex);
    opened.push_back(path);
    for (auto &[suffix, remaining] : failOpens)
        if (endsWith(path, suffix) && remaining > 0) {
            --remaining;
            error = openError;
            return nullptr;
        }
    auto source = mReal.openSource(path, shareMode, error);
    for (const auto &[suffix, limit] : shrinkTo)
        if (source && endsWith(path, suffix))
            return std::make_unique<ShrinkingSource>(std::move(source), limit);
    if (source && afterRead)
        return std::make_unique<WatchedSource>(std::move(source), path, *this);
    return source;
}

} // namespace voriraz::test

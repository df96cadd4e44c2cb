#include "FaultyFileSystem.h"

#include <algorithm>

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
    void rewind() override
    {
        mReal->rewind();
        mDelivered = 0;
    }

private:
    std::unique_ptr<SourceFile> mReal;
    std::uint64_t mLimit;
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
        if (mOwner.failWrite && mOwner.failWrite(mReal->position(), std::string_view(data, count)))
            return 0;
        return mReal->write(data, count);
    }
    std::uint64_t position() const override { return mReal->position(); }
    void seek(std::uint64_t position) override { mReal->seek(position); }
    std::uint64_t size() const override { return mReal->size(); }
    void truncate() override { mReal->truncate(); }
    void flush() override { mReal->flush(); }
    std::optional<FileIdentity> identity() const override { return mReal->identity(); }

private:
    std::unique_ptr<ArchiveStream> mReal;
    FaultyFileSystem &mOwner;
};

} // namespace

std::unique_ptr<ArchiveStream> FaultyFileSystem::createArchive(const std::string &path)
{
    return std::make_unique<FaultyStream>(mReal.createArchive(path), *this);
}

std::unique_ptr<SourceFile> FaultyFileSystem::openSource(const std::string &path, TFileShareMode shareMode)
{
    ++opens;
    for (auto &[suffix, remaining] : failOpens)
        if (endsWith(path, suffix) && remaining > 0) {
            --remaining;
            return nullptr;
        }
    auto source = mReal.openSource(path, shareMode);
    for (const auto &[suffix, limit] : shrinkTo)
        if (source && endsWith(path, suffix))
            return std::make_unique<ShrinkingSource>(std::move(source), limit);
    return source;
}

} // namespace voriraz::test

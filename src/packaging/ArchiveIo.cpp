#include "packaging/ArchiveIo.h"

#include "packaging/ArchiveError.h"
#include "platform/File.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace voriraz {

namespace {

int lastError()
{
    return platform::lastSystemError().code;
}

class SystemSource : public SourceFile
{
public:
    SystemSource(platform::File file, std::uint64_t size) : mFile(std::move(file)), mSize(size) {}

    std::uint64_t size() const override { return mSize; }

    std::size_t read(char *buffer, std::size_t count) override
    {
        mAtStart = mAtStart && count == 0;
        std::size_t done = 0;
        while (done < count) {
            const std::int64_t got = mFile.read(buffer + done, count - done);
            if (got < 0)
                mError = lastError();
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    bool rewind() override
    {
        // A source not read yet is where a rewind would put it.
        if (mAtStart || mFile.seek(0))
            return mAtStart = true;
        mError = lastError();
        return false;
    }

    int error() const override { return mError; }

    std::uint64_t currentSize() const override { return mFile.size().value_or(mSize); }

private:
    platform::File mFile;
    std::uint64_t mSize;
    int mError = 0;
    bool mAtStart = true;
};

// The archive being written: a temporary file beside its target, which
// finish() puts in the target's place.
class SystemArchiveStream : public ArchiveStream
{
public:
    SystemArchiveStream(platform::File file, std::string temporaryPath, std::string target, const StreamFaults &faults)
        : mFile(std::move(file)), mTemporary(std::move(temporaryPath)), mTarget(std::move(target)), mFaults(faults),
          mInterruptToken(platform::rememberTemporary(mTemporary))
    {
    }

    ~SystemArchiveStream() override
    {
        // Unfinished: what was written is dropped, the target is untouched.
        if (!mFinished) {
            mFile = platform::File();
            platform::removeFile(mTemporary);
        }
        platform::forgetTemporary(mInterruptToken);
    }

    std::size_t write(const char *data, std::size_t count) override { return writeBoth(data, count, nullptr, 0); }

    std::size_t writeBoth(const char *first, std::size_t firstCount, const char *second,
                          std::size_t secondCount) override
    {
        std::size_t done = 0;
        while (done < firstCount + secondCount) {
            // What is left of the two blocks after the bytes stored so far.
            const std::size_t skipFirst = std::min(done, firstCount);
            const char *from = first + skipFirst;
            std::size_t fromCount = firstCount - skipFirst;
            const char *then = second + (done - skipFirst);
            std::size_t thenCount = secondCount - (done - skipFirst);
            if (fromCount == 0) {
                std::swap(from, then);
                std::swap(fromCount, thenCount);
            }
            const std::int64_t put = gatheredWrite(from, fromCount, then, thenCount);
            if (put <= 0) {
                mError = put < 0 ? mError : platform::deviceError;
                break;
            }
            done += static_cast<std::size_t>(put);
        }
        mPosition += done;
        return done;
    }

    std::size_t writeAt(std::uint64_t position, const char *data, std::size_t count) override
    {
        std::size_t done = 0;
        while (done < count) {
            const std::size_t allowed = room(count - done);
            const std::int64_t put = allowed == 0 ? -1 : mFile.writeAt(position + done, data + done, allowed);
            if (put < 0 && allowed > 0)
                mError = lastError();
            if (put <= 0) {
                mError = put < 0 ? mError : platform::deviceError;
                break;
            }
            mBytesWritten += static_cast<std::uint64_t>(put);
            done += static_cast<std::size_t>(put);
        }
        return done;
    }

    std::uint64_t position() const override { return mPosition; }

    bool seek(std::uint64_t position) override
    {
        if (injected(mFaults.seekError) || (!mFile.seek(position) && failed()))
            return false;
        mPosition = position;
        return true;
    }

    std::optional<std::uint64_t> size() const override
    {
        const std::optional<std::uint64_t> length = mFile.size();
        if (!length)
            mError = lastError();
        return length;
    }

    bool truncate() override
    {
        // A file already of that length is left alone: on ext4, truncating
        // to zero, even a file that is empty, makes close() start writing
        // the whole archive back at once, which holds up the end of a pack.
        const std::optional<std::uint64_t> length = size();
        if (!length)
            return false;
        if (*length == mPosition)
            return true;
        if (injected(mFaults.truncateError))
            return false;
        return mFile.resize(mPosition) || !failed();
    }

    std::optional<FileIdentity> identity() const override
    {
        const std::optional<FileIdentity> identity = mFile.identity();
        if (!identity)
            mError = lastError();
        return identity;
    }

    int error() const override { return mError; }

    platform::Replacement finish(bool durable) override
    {
        using platform::Replacement;
        if (mFinished || !mFile.isOpen())
            return mFinished ? Replacement::Done : Replacement::Failed;
        if (durable && (injected(mFaults.syncError) || (!mFile.sync() && failed())))
            return Replacement::Failed;
        // The file is closed whatever close() says; its error still means
        // the data may not be on the disk.
        if ((!mFile.close() && failed()) || injected(mFaults.closeError))
            return Replacement::Failed;
        // An interrupt waits until the archive is in place and its temporary
        // name forgotten, so it never removes what is no longer there to
        // remove, nor comes between the two.
        const platform::InterruptsDeferred deferred;
        if (injected(mFaults.renameError))
            return Replacement::Failed;
        const Replacement replaced = platform::replaceWith(mTemporary, mTarget, durable);
        if (replaced == Replacement::Failed) {
            failed();
            return replaced;
        }
        mFinished = true;
        platform::forgetTemporary(std::exchange(mInterruptToken, -1));
        if (replaced == Replacement::DoneNotFlushed || (durable && injected(mFaults.folderSyncError))) {
            if (replaced == Replacement::DoneNotFlushed)
                failed();
            return Replacement::DoneNotFlushed;
        }
        return Replacement::Done;
    }

private:
    // The failure an injected fault stands for, as the system would report it.
    bool injected(int error)
    {
        if (error == 0)
            return false;
        mError = error;
        return true;
    }

    // Keeps the system's reason of the call that just failed; true, so
    // that "!call() && failed()" reads as the call's failure.
    bool failed() const
    {
        mError = lastError();
        return true;
    }

    // How many of count bytes the device takes now; 0, with the error set,
    // when it is full.
    std::size_t room(std::size_t count)
    {
        if (mFaults.writeLimit == UINT64_MAX)
            return count;
        const std::uint64_t left = mFaults.writeLimit - std::min(mFaults.writeLimit, mBytesWritten);
        if (left == 0)
            mError = mFaults.writeError ? mFaults.writeError : platform::diskFullError;
        return static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    }

    // One gathered write of the two blocks, cut to what the device takes.
    std::int64_t gatheredWrite(const char *first, std::size_t firstCount, const char *second, std::size_t secondCount)
    {
        std::size_t allowed = room(firstCount + secondCount);
        if (allowed == 0)
            return -1;
        firstCount = std::min(firstCount, allowed);
        secondCount = std::min(secondCount, allowed - firstCount);
        const std::int64_t put = mFile.writeGathered(first, firstCount, second, secondCount);
        if (put < 0)
            mError = lastError();
        else
            mBytesWritten += static_cast<std::uint64_t>(put);
        return put;
    }

    platform::File mFile;
    std::string mTemporary;
    std::string mTarget;
    StreamFaults mFaults;
    std::uint64_t mBytesWritten = 0;
    std::uint64_t mPosition = 0;
    mutable int mError = 0;
    bool mFinished = false;
    int mInterruptToken = -1;
};

} // namespace

std::size_t ArchiveStream::writeBoth(const char *first, std::size_t firstCount, const char *second,
                                     std::size_t secondCount)
{
    const std::size_t stored = write(first, firstCount);
    return stored < firstCount ? stored : stored + write(second, secondCount);
}

std::size_t ArchiveStream::writeAt(std::uint64_t position, const char *data, std::size_t count)
{
    const std::uint64_t back = this->position();
    if (!seek(position))
        return 0;
    const std::size_t stored = write(data, count);
    return seek(back) ? stored : 0;
}

std::optional<FileIdentity> fileIdentity(const std::string &path)
{
    return platform::identityOf(path);
}

std::string resolveLinkedPath(const std::string &path)
{
    return platform::realPath(path).value_or(path);
}

bool looksLikeZipArchive(const std::string &path)
{
    platform::File file = platform::File::openForReading(path, platform::Sharing::Everything);
    char start[4] = {};
    std::size_t got = 0;
    while (file.isOpen() && got < sizeof start) {
        const std::int64_t read = file.read(start + got, sizeof start - got);
        if (read <= 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    const std::string_view signature(start, got);
    return signature == std::string_view("PK\x03\x04", 4) || signature == std::string_view("PK\x05\x06", 4);
}

std::unique_ptr<ArchiveStream> SystemArchiveFileSystem::createArchive(const std::string &path)
{
    const std::string target = resolveLinkedPath(path);
    const auto fail = [&](const std::string &reason) { throw FileCreateError(path, reason); };
    const platform::FileKind kind = platform::fileKind(target);
    if (kind == platform::FileKind::Directory)
        fail(platform::errnoError(EISDIR).text);
    if (kind == platform::FileKind::Other)
        fail(platform::errnoError(EINVAL).text);
    // Replacing the file through its folder would get round a file that its
    // owner made read-only; it is refused as a write in place would be.
    if (kind == platform::FileKind::Regular && !platform::isWritable(target))
        fail(platform::lastSystemError().text);

    const auto [folder, name] = platform::folderAndName(target);
    std::string temporary;
    platform::File file = platform::File::createUnique(folder, "." + name + ".", &temporary);
    if (!file.isOpen())
        fail(platform::lastSystemError().text);
    // An existing file keeps its permissions (and, where allowed, its owner).
    if (kind == platform::FileKind::Regular && !file.takePermissionsOf(target)) {
        const std::string reason = platform::lastSystemError().text;
        file = platform::File();
        platform::removeFile(temporary);
        fail(reason);
    }
    return std::make_unique<SystemArchiveStream>(std::move(file), temporary, target, mFaults);
}

std::unique_ptr<SourceFile> SystemArchiveFileSystem::openSource(const std::string &path, TFileShareMode shareMode,
                                                                int &error)
{
    const platform::Sharing sharing = shareMode == TFileShareMode::smShareExclusive  ? platform::Sharing::Nothing
                                      : shareMode == TFileShareMode::smShareDenyWrite ? platform::Sharing::ReadOnly
                                                                                      : platform::Sharing::Everything;
    std::uint64_t size = 0;
    platform::File file = platform::File::openForReading(path, sharing, &size);
    if (!file.isOpen()) {
        error = lastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<SystemSource>(std::move(file), size);
}

} // namespace voriraz

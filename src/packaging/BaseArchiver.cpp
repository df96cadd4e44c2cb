#include "packaging/BaseArchiver.h"

#include "packaging/Cp437.h"

#include <climits>
#include <thread>
#include <utility>
#include <zlib.h>

namespace voriraz {

namespace {

constexpr std::uint16_t flagUtf8Names = 0x800;

// A path longer than the platform accepts cannot be opened.
constexpr std::size_t longestPath = PATH_MAX - 1;

// A local header followed by the name as far as the header's length says.
std::string localRecord(const CentralHeader &header, const std::string &name)
{
    std::string record;
    appendLocalHeader(record, header);
    record.append(name, 0, header.nameLength);
    return record;
}

} // namespace

TBaseArchiver::TBaseArchiver() : mFileSystem(std::make_shared<PosixArchiveFileSystem>()) {}

TBaseArchiver::~TBaseArchiver()
{
    Close();
}

void TBaseArchiver::SetCompressionLevel(TCompressionLevel level)
{
    mCompressionLevel = level;
    switch (level) {
    case TCompressionLevel::clNone: mCompressionMode = 0; break;
    case TCompressionLevel::clFastest: mCompressionMode = 1; break;
    case TCompressionLevel::clNormal: mCompressionMode = 6; break;
    case TCompressionLevel::clMax: mCompressionMode = 9; break;
    }
}

void TBaseArchiver::SetCompressionMode(int mode)
{
    if (mode < 0 || mode > 9)
        throw error(NativeError::InvalidCompressionMode);
    mCompressionMode = mode;
    mCompressionLevel = mode == 0   ? TCompressionLevel::clNone
                        : mode <= 3 ? TCompressionLevel::clFastest
                        : mode <= 6 ? TCompressionLevel::clNormal
                                    : TCompressionLevel::clMax;
}

const TArchiveDirArray &TBaseArchiver::Directory() const
{
    static const TArchiveDirArray none;
    return mManager ? mManager->current : none;
}

EArchiveError TBaseArchiver::error(NativeError nativeError, const std::string &path, long long first,
                                   long long second) const
{
    return archiveError(nativeError, Name, path, first, second);
}

void TBaseArchiver::openArchive(std::uint16_t openMode)
{
    Close();
    mOpenMode = openMode;
    auto manager = std::make_unique<TArchiveDirManager>();
    manager->stream = mFileSystem->createArchive(FileName);
    mManager = std::move(manager);
    mOpen = true;
}

void TBaseArchiver::BeginUpdate()
{
    if (!mOpen)
        throw error(NativeError::ArchiveNotOpen);
    if (mUpdateCount == 0) {
        if ((mOpenMode & 3) == 0)
            throw error(NativeError::ReadOnlyArchive);
        for (std::size_t i = 0; i < mManager->current.size(); ++i)
            mManager->current[i].modified = false;
        mManager->backup = mManager->current;
    }
    ++mUpdateCount;
}

void TBaseArchiver::AbandonUpdate()
{
    mUpdateCount = 0;
    mAhead.reset();
}

std::function<void(const TArchiveDirEntry &)> TBaseArchiver::prepareWhileFinding()
{
    // From an empty directory, the commit writes every entry, in the order
    // they were appended.
    if (mUpdateCount != 1 || !mManager || !mManager->current.empty() || mAhead)
        return {};
    const int threads = effectiveThreads();
    if (threads <= 1)
        return {};
    mAhead = std::make_unique<CompressionPipeline>(*mFileSystem, Options.ShareMode, threads);
    return [this](const TArchiveDirEntry &entry) {
        if (mAhead)
            mAhead->add(jobFor(entry));
    };
}

PipelineJob TBaseArchiver::jobFor(const TArchiveDirEntry &entry) const
{
    return {entry.isDirectory() ? std::string() : entry.sourcePath, entry.compressionMode,
            entry.isDirectory() ? 0 : method()};
}

void TBaseArchiver::EndUpdate()
{
    if (mUpdateCount == 1)
        commit();
    else if (mUpdateCount > 1)
        --mUpdateCount;
}

void TBaseArchiver::Close()
{
    if (mOpen) {
        try {
            if (mUpdateCount > 0)
                commit();
            if (mManager->stream->size() == 0)
                writeCentralDirectory();
        } catch (...) {
            // Closing must not fail; what could not be written stays as it is.
        }
        mOpen = false;
        mUpdateCount = 0;
    }
    mAhead.reset();
    mManager.reset();
}

void TBaseArchiver::reportOverall(TProgressPhase phase)
{
    if (OnOverallProgress)
        OnOverallProgress(phase, mProgress, mCancel);
}

void TBaseArchiver::reportFile(TProgressPhase phase)
{
    if (OnFileProgress)
        OnFileProgress(phase, mProgress, mCancel);
}

void TBaseArchiver::commit()
{
    mUpdateCount = 0;
    mCancel = false;
    mProgress = {};
    TArchiveDirArray &current = mManager->current;
    const TArchiveDirArray &backup = mManager->backup;
    ArchiveStream &stream = *mManager->stream;

    // Entries before the first difference stay where they are; from there
    // on every entry is written again, from its source.
    std::size_t first = 0;
    const std::size_t shorter = std::min(current.size(), backup.size());
    while (first < shorter && current[first].storedName == backup[first].storedName && !current[first].modified)
        ++first;
    for (std::size_t i = first; i < current.size(); ++i)
        current[i].modified = true;
    const std::uint64_t start = first < backup.size() ? backup[first].headerOffset64
                                : backup.empty()       ? 0
                                                       : mManager->centralDirectoryOffset;

    for (std::size_t i = first; i < current.size(); ++i) {
        ++mProgress.totalFiles;
        mProgress.totalBytes += current[i].uncompressedSize64;
    }
    reportOverall(TProgressPhase::Start);

    stream.seek(start);
    stream.truncate();
    bool aborted = mCancel;
    try {
        // Sources are read and compressed ahead on worker threads; each
        // entry's first attempt takes its preparation, in order, and a retry
        // reads the source again here.
        // What was prepared while the entries were found is used when it
        // is exactly what is to be written.
        std::unique_ptr<CompressionPipeline> pipeline = std::move(mAhead);
        if (const int threads = effectiveThreads(); threads > 1 && first < current.size()) {
            std::vector<PipelineJob> jobs;
            for (std::size_t i = first; i < current.size(); ++i)
                jobs.push_back(jobFor(current[i]));
            bool same = pipeline && first == 0 && pipeline->jobCount() == jobs.size();
            for (std::size_t i = 0; same && i < jobs.size(); ++i)
                same = pipeline->job(i) == jobs[i];
            if (same) {
                pipeline->seal();
            } else {
                pipeline.reset();
                pipeline = std::make_unique<CompressionPipeline>(std::move(jobs), *mFileSystem, Options.ShareMode,
                                                                 threads);
            }
        } else {
            pipeline.reset();
        }
        for (std::size_t i = first; i < current.size() && !aborted;) {
            TArchiveDirEntry &entry = current[i];
            const std::uint64_t listedSize = entry.uncompressedSize64;
            CompressionPipeline::Entry *prepared = pipeline ? &pipeline->take() : nullptr;
            bool written = false;
            bool removed = false;
            while (!written && !removed && !aborted) {
                const std::uint64_t bytesBefore = mProgress.bytesDone;
                try {
                    writeEntry(entry, std::exchange(prepared, nullptr));
                    written = true;
                } catch (const EArchiveError &failure) {
                    // Whatever the failed attempt wrote stays in the file,
                    // referenced by nothing; the next write starts after it.
                    mProgress.bytesDone = bytesBefore;
                    stream.seek(stream.size());
                    switch (failureAction(entry, failure)) {
                    case TFailureAction::faRetry:
                        break;
                    case TFailureAction::faIgnore:
                        --mProgress.totalFiles;
                        mProgress.totalBytes -= std::min(listedSize, mProgress.totalBytes);
                        current.removeAt(i);
                        removed = true;
                        break;
                    case TFailureAction::faAbort:
                        aborted = true;
                        break;
                    }
                }
                aborted = aborted || mCancel;
            }
            if (written)
                ++i;
        }
        if (!aborted)
            writeCentralDirectory();
    } catch (...) {
        rollBack(start);
        throw;
    }
    reportOverall(TProgressPhase::End);
    if (aborted || mCancel) {
        rollBack(start);
        return;
    }
    if (Options.FlushBuffers)
        stream.flush();
}

void TBaseArchiver::rollBack(std::uint64_t startPosition)
{
    mManager->current = mManager->backup;
    mManager->stream->seek(startPosition);
    mManager->stream->truncate();
    try {
        writeCentralDirectory();
    } catch (...) {
        // The error that caused the roll-back is the one to report.
    }
}

TFailureAction TBaseArchiver::failureAction(const TArchiveDirEntry &entry, const EArchiveError &failure)
{
    if (OnProcessFileFailure)
        return OnProcessFileFailure(entry, failure);
    if (!mManager || !mManager->stream)
        return TFailureAction::faAbort;
    if (failure.nativeError() == NativeError::Aborted || !OnFailurePrompt)
        return TFailureAction::faAbort;
    TPromptAnswer answer;
    if (failure.nativeError() == NativeError::FileNameTooLong)
        answer = OnFailurePrompt(failure.what(), TPromptButtons::AbortIgnore);
    else
        answer = OnFailurePrompt(std::string(failure.what()) + ". File processing error, possibly disk is full",
                                 TPromptButtons::AbortRetryIgnore);
    switch (answer) {
    case TPromptAnswer::Retry: return TFailureAction::faRetry;
    case TPromptAnswer::Ignore: return TFailureAction::faIgnore;
    case TPromptAnswer::Abort: break;
    }
    return TFailureAction::faAbort;
}

std::string TBaseArchiver::nameBytes(const std::string &storedName) const
{
    return Options.OEMFileNames ? toCp437(storedName) : storedName;
}

int TBaseArchiver::effectiveThreads() const
{
    if (Threads > 0)
        return Threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void TBaseArchiver::writeLocalHeader(const CentralHeader &header, const std::string &name, std::uint64_t sourceSize)
{
    const std::string record = localRecord(header, name);
    if (mManager->stream->write(record.data(), record.size()) != record.size())
        throw error(NativeError::InvalidCompressedSize, {}, static_cast<long long>(sourceSize), 0);
}

CompressedSource TBaseArchiver::writePrepared(CompressionPipeline::Entry &prepared, std::uint64_t sourceSize,
                                              const SourceCompressor::Progress &progress, CentralHeader &header,
                                              const std::string &name, bool &headerFinal)
{
    ArchiveStream &stream = *mManager->stream;
    CompressedSource result;
    bool headerWritten = false;
    ReadyChunk chunk;
    while (prepared.next(chunk)) {
        if (chunk.failed)
            break;
        bool stored = false;
        if (!headerWritten) {
            // The header goes out with the first chunk, in one write. When
            // that chunk is the whole source, the header is complete already.
            headerFinal = chunk.last && chunk.inputLength == sourceSize;
            if (headerFinal) {
                header.crc32 = chunk.crc32;
                header.compressedSize = static_cast<std::uint32_t>(chunk.size);
                header.uncompressedSize = static_cast<std::uint32_t>(chunk.inputLength);
            }
            const std::string record = localRecord(header, name);
            headerWritten = true;
            stored = stream.writeBoth(record.data(), record.size(), chunk.data, chunk.size)
                     == record.size() + chunk.size;
        } else {
            stored = stream.write(chunk.data, chunk.size) == chunk.size;
        }
        if (!stored)
            break;
        result.crc32 = result.bytesRead == 0
                           ? chunk.crc32
                           : static_cast<std::uint32_t>(crc32_combine(result.crc32, chunk.crc32,
                                                                      static_cast<z_off_t>(chunk.inputLength)));
        result.bytesRead += chunk.inputLength;
        result.bytesWritten += chunk.size;
        if (!progress(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
    }
    prepared.discard();
    // No chunk came (an empty source, or one that could not be read or
    // compressed): the header is written alone, to be completed or left.
    if (!headerWritten)
        writeLocalHeader(header, name, sourceSize);
    result.complete = result.bytesRead == sourceSize && !result.cancelled;
    return result;
}

void TBaseArchiver::writeEntry(TArchiveDirEntry &entry, CompressionPipeline::Entry *prepared)
{
    // Whatever happens, the buffers of a preparation go back to the pipeline.
    struct DiscardPrepared
    {
        CompressionPipeline::Entry *entry;
        ~DiscardPrepared()
        {
            if (entry)
                entry->discard();
        }
    } discardPrepared {prepared};

    ArchiveStream &stream = *mManager->stream;
    const std::uint16_t entryMethod = entry.isDirectory() ? zip::methodStored : static_cast<std::uint16_t>(method());
    mProgress.currentName = entry.storedName;
    mProgress.fileSize = entry.uncompressedSize64;
    mProgress.fileBytesDone = 0;
    reportFile(TProgressPhase::Start);

    entry.zip64 = false;
    std::unique_ptr<SourceFile> source;
    if (!entry.isDirectory()) {
        if (entry.sourcePath.size() > longestPath)
            throw error(NativeError::FileNameTooLong, entry.sourcePath);
        if (prepared) {
            if (!prepared->opened())
                throw error(NativeError::CannotOpenFile, entry.sourcePath);
        } else {
            source = mFileSystem->openSource(entry.sourcePath, Options.ShareMode);
            if (!source)
                throw error(NativeError::CannotOpenFile, entry.sourcePath);
        }
    }
    const std::uint64_t sourceSize = source ? source->size() : prepared && !entry.isDirectory() ? prepared->size() : 0;
    const std::uint64_t offset = stream.position();
    entry.headerOffset64 = offset;
    entry.uncompressedSize64 = sourceSize;
    if (offset >= zip::max32 || sourceSize >= zip::max32)
        entry.zip64 = true;

    CentralHeader &header = entry.header;
    const std::string name = nameBytes(entry.storedName);
    header.versionMadeBy = header.versionNeeded = entry.zip64 ? zip::version45 : zip::version20;
    header.method = entryMethod;
    if (!Options.OEMFileNames)
        header.flags |= flagUtf8Names;
    header.crc32 = entry.isDirectory() ? 0 : zip::max32;
    header.compressedSize = 0;
    header.uncompressedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(sourceSize, zip::max32));
    header.nameLength = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), zip::max16));
    header.extraLength = 0;
    header.headerOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, zip::max32));
    // ZIP64 entries are never written: nothing of the entry is in the file yet.
    if (entry.zip64)
        throw error(NativeError::Zip64NotEnabled, entry.sourcePath);

    // A prepared source's header is written with its first chunk.
    if (!prepared || entry.isDirectory())
        writeLocalHeader(header, name, sourceSize);

    if (!entry.isDirectory()) {
        const auto progress = [this](std::uint64_t bytesRead) {
            mProgress.bytesDone += bytesRead - mProgress.fileBytesDone;
            mProgress.fileBytesDone = bytesRead;
            reportFile(TProgressPhase::Progress);
            reportOverall(TProgressPhase::Progress);
            return !mCancel;
        };
        bool headerFinal = false;
        const CompressedSource result =
            prepared ? writePrepared(*prepared, sourceSize, progress, header, name, headerFinal)
                     : mCompressor.compress(
                           *source, entry.compressionMode, entryMethod,
                           [&stream](const char *data, std::size_t size) { return stream.write(data, size) == size; },
                           progress);
        if (result.cancelled)
            return;
        if (!result.complete)
            throw error(NativeError::InvalidCompressedSize, {}, static_cast<long long>(sourceSize),
                        static_cast<long long>(result.bytesRead));
        if (result.bytesWritten >= zip::max32 || result.bytesRead >= zip::max32)
            throw error(NativeError::Zip64SizeNotEnabled, entry.sourcePath);
        header.crc32 = result.crc32;
        header.compressedSize = static_cast<std::uint32_t>(result.bytesWritten);
        header.uncompressedSize = static_cast<std::uint32_t>(result.bytesRead);
        if (sourceSize == 0)
            header.method = zip::methodStored;

        if (!headerFinal) {
            std::string patched;
            appendLocalHeader(patched, header);
            if (stream.writeAt(offset, patched.data(), patched.size()) != patched.size())
                throw error(NativeError::InvalidCompressedSize, {}, static_cast<long long>(sourceSize),
                            static_cast<long long>(result.bytesRead));
        }
    }
    ++mProgress.filesDone;
    reportFile(TProgressPhase::End);
    reportOverall(TProgressPhase::Progress);
}

void TBaseArchiver::writeCentralDirectory()
{
    ArchiveStream &stream = *mManager->stream;
    stream.seek(stream.size());
    stream.truncate();
    const std::uint64_t offset = stream.position();
    mManager->centralDirectoryOffset = offset;

    // Written in pieces of about a megabyte, so a directory of many entries
    // costs few writes and little memory.
    std::string block;
    std::uint64_t size = 0;
    const auto writeBlock = [&] {
        if (stream.write(block.data(), block.size()) != block.size())
            throw error(NativeError::StreamWriteFailed);
        size += block.size();
        block.clear();
    };
    for (const TArchiveDirEntry &entry : mManager->current) {
        appendCentralHeader(block, entry.header);
        block.append(nameBytes(entry.storedName), 0, entry.header.nameLength);
        block.append(entry.comment, 0, entry.header.commentLength);
        if (block.size() >= (1u << 20))
            writeBlock();
    }
    if (!block.empty())
        writeBlock();

    const std::uint64_t count = mManager->current.size();
    EndRecord &record = mManager->endRecord;
    record = {};
    record.entriesOnDisk = record.totalEntries =
        count >= zip::max16 ? zip::max16 : static_cast<std::uint16_t>(count);
    record.centralDirectorySize = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, zip::max32));
    record.centralDirectoryOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, zip::max32));

    std::string tail;
    const std::uint64_t tailOffset = stream.position();
    if (tailOffset >= zip::max32 || count >= zip::max16)
        appendZip64EndRecords(tail, count, size, offset, tailOffset);
    appendEndRecord(tail, record);
    if (stream.write(tail.data(), tail.size()) != tail.size())
        throw StreamWriteError();
}

} // namespace voriraz

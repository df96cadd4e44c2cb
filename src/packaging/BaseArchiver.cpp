#include "packaging/BaseArchiver.h"

#include "packaging/NameRules.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <thread>
#include <utility>
#include <zlib.h>

namespace voriraz {

namespace {

constexpr std::uint16_t flagUtf8Names = 0x800;

// Items left out are kept for the summary up to this many; more are counted.
constexpr std::size_t keptSkips = 100;

// A local header followed by the name as far as the header's length says.
std::string localRecord(const CentralHeader &header, const std::string &name)
{
    std::string record;
    appendLocalHeader(record, header);
    record.append(name, 0, header.nameLength);
    return record;
}

} // namespace

TBaseArchiver::TBaseArchiver() : mFileSystem(std::make_shared<SystemArchiveFileSystem>()) {}

TBaseArchiver::~TBaseArchiver()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report it; the target is as it was.
    }
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

EArchiveError TBaseArchiver::error(NativeError nativeError, const ErrorArguments &arguments,
                                   const SystemReason &reason) const
{
    return archiveError(nativeError, Name, arguments, reason);
}

EArchiveError TBaseArchiver::streamError() const
{
    return error(NativeError::StreamWriteFailed, {}, {mManager->stream->error(), FileName});
}

void TBaseArchiver::openArchive(std::uint16_t openMode)
{
    // An archive still open is closed as Close() does; one that cannot be
    // finished is dropped, since nobody asked for it any more.
    try {
        Close();
    } catch (const EArchiveError &) {
    }
    mOpenMode = openMode;
    auto manager = std::make_unique<TArchiveDirManager>();
    manager->stream = mFileSystem->createArchive(FileName);
    mManager = std::move(manager);
    mOpen = true;
    mDiscard = false;
    mAborted = false;
    mCancelRequested = false;
    mWalkStopped = false;
    mWarnings.clear();
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
        mSkipped.clear();
        std::fill(std::begin(mSkippedCount), std::end(mSkippedCount), 0);
        mWalkStopped = false;
    }
    ++mUpdateCount;
}

void TBaseArchiver::AbandonUpdate()
{
    mUpdateCount = 0;
    setPipeline(nullptr);
}

void TBaseArchiver::setPipeline(std::unique_ptr<CompressionPipeline> pipeline)
{
    std::unique_ptr<CompressionPipeline> previous;
    {
        std::lock_guard lock(mPipelineMutex);
        previous = std::exchange(mPipeline, std::move(pipeline));
    }
    mPipelineStale = false;
}

void TBaseArchiver::Cancel()
{
    mCancelRequested = true;
    std::lock_guard lock(mPipelineMutex);
    if (mPipeline)
        mPipeline->interrupt();
}

void TBaseArchiver::skip(TSkippedItem item)
{
    ++mSkippedCount[static_cast<int>(item.kind)];
    if (OnSkip)
        OnSkip(item);
    if (mSkipped.size() < keptSkips)
        mSkipped.push_back(std::move(item));
}

void TBaseArchiver::prepareSelection(SelectionRequest &request)
{
    request.archive = mManager->stream->identity();
    // The file the archive would replace: when it is an archive itself, a
    // previous one, the walk leaves it out where it lies; any other file of
    // the tree there refuses the archive.
    request.target = fileIdentity(FileName);
    if (request.target && looksLikeZipArchive(FileName)) {
        request.previousArchive = std::exchange(request.target, std::nullopt);
        request.previousArchivePath = resolveLinkedPath(FileName);
    }
    request.cancelled = &mCancelRequested;
    request.leftOut = [this](LeftOutKind kind, const std::string &name, const std::string &reason) {
        const TSkippedItem::Kind skipped = kind == LeftOutKind::LinkOutside ? TSkippedItem::Kind::LinkOutside
                                           : kind == LeftOutKind::LinkNowhere ? TSkippedItem::Kind::LinkNowhere
                                                                               : TSkippedItem::Kind::NotAFile;
        skip({skipped, printableName(name), printableName(reason)});
    };
    request.failed = [this](const WalkFailure &failure) { return walkFailed(failure); };
}

WalkDecision TBaseArchiver::walkFailed(const WalkFailure &failure)
{
    if (stopping())
        return WalkDecision::Stop;
    // The failure is raised, asked and answered as an entry's would be: the
    // entry it would have become stands for it.
    std::vector<std::string_view> arguments(failure.arguments.begin(), failure.arguments.end());
    const EArchiveError raised = error(failure.error, {arguments}, failure.reason);
    TArchiveDirEntry entry;
    entry.sourceFolder = failure.folder;
    entry.storedName = failure.storedName;
    entry.header.externalAttributes = failure.isDirectory ? zip::attributeDirectory : zip::attributeArchive;
    switch (failureAction(entry, raised)) {
    case TFailureAction::faRetry:
        // A name cannot become another by trying again.
        if (raised.retryCanHelp())
            return WalkDecision::Retry;
        [[fallthrough]];
    case TFailureAction::faIgnore:
        skip({TSkippedItem::Kind::Failed, printableName(failure.storedName), raised.what()});
        return WalkDecision::LeaveOut;
    case TFailureAction::faAbort:
        break;
    }
    mWalkStopped = true;
    return WalkDecision::Stop;
}

void TBaseArchiver::prepareWhileFinding(SelectionRequest &request)
{
    // From an empty directory, the commit writes every entry, in the order
    // they were appended.
    if (mUpdateCount != 1 || !mManager || !mManager->current.empty() || mPipeline)
        return;
    const int threads = effectiveThreads();
    if (threads <= 1)
        return;
    setPipeline(std::make_unique<CompressionPipeline>(*mFileSystem, Options.ShareMode, threads));
    request.appended = [this](const TArchiveDirEntry &entry) { mPipeline->add(jobFor(entry)); };
    // An entry replaced by name would be written from another source than
    // the one prepared.
    request.replaced = [this] { mPipelineStale = true; };
}

PipelineJob TBaseArchiver::jobFor(const TArchiveDirEntry &entry) const
{
    if (entry.isDirectory())
        return PipelineJob(std::string(), entry.compressionMode, 0);
    const std::string path = entry.sourcePath();
    return PipelineJob(entry.sourceFolder, path.substr(path.rfind('/') + 1), entry.compressionMode, method());
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
    if (!mOpen) {
        Discard();
        return;
    }
    try {
        if (mUpdateCount > 0)
            commit();
        if (!mDiscard) {
            const std::optional<std::uint64_t> size = mManager->stream->size();
            if (!size)
                throw streamError();
            if (*size == 0)
                writeCentralDirectory();
            switch (mManager->stream->finish(Options.FlushBuffers)) {
            case platform::Replacement::Failed:
                throw streamError();
            case platform::Replacement::DoneNotFlushed:
                // In place all the same: the pack succeeded, and the user is
                // told that the disk may not hold it yet.
                mWarnings.push_back("The archive is in place, but its folder could not be flushed to the disk ("
                                    + platform::errorText(mManager->stream->error())
                                    + "): until the system writes it, a crash could still lose it.");
                break;
            case platform::Replacement::Done:
                break;
            }
        }
    } catch (...) {
        Discard();
        throw;
    }
    Discard();
}

void TBaseArchiver::Discard()
{
    mOpen = false;
    mUpdateCount = 0;
    setPipeline(nullptr);
    // An unfinished stream removes its temporary file as it goes.
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

std::size_t TBaseArchiver::firstChangedEntry()
{
    TArchiveDirArray &current = mManager->current;
    const TArchiveDirArray &backup = mManager->backup;
    // Entries before the first difference stay where they are; from there
    // on every entry is written again, from its source.
    std::size_t first = 0;
    const std::size_t shorter = std::min(current.size(), backup.size());
    while (first < shorter && current[first].storedName == backup[first].storedName && !current[first].modified)
        ++first;
    for (std::size_t i = first; i < current.size(); ++i) {
        current[i].modified = true;
        ++mProgress.totalFiles;
        mProgress.totalBytes += current[i].uncompressedSize64;
    }
    return first;
}

void TBaseArchiver::startPipeline(std::size_t first)
{
    // Sources are read and compressed ahead on worker threads; each entry's
    // first attempt takes its preparation, in order, and a retry reads the
    // source again on this thread. What was prepared while the entries were
    // found is used when it is exactly what is to be written.
    const TArchiveDirArray &current = mManager->current;
    const int threads = effectiveThreads();
    if (threads <= 1 || first >= current.size()) {
        setPipeline(nullptr);
        return;
    }
    if (mPipeline && !mPipelineStale && first == 0 && mPipeline->jobCount() == current.size()) {
        mPipeline->seal();
    } else {
        std::vector<PipelineJob> jobs;
        for (std::size_t i = first; i < current.size(); ++i)
            jobs.push_back(jobFor(current[i]));
        setPipeline(nullptr);
        setPipeline(std::make_unique<CompressionPipeline>(std::move(jobs), *mFileSystem, Options.ShareMode, threads));
    }
    // Cancel() may have come before the pipeline it would have stopped.
    if (stopping())
        mPipeline->interrupt();
}

void TBaseArchiver::commit()
{
    mUpdateCount = 0;
    mCancel = false;
    mAborted = false;
    mProgress = {};
    TArchiveDirArray &current = mManager->current;
    const TArchiveDirArray &backup = mManager->backup;
    const std::size_t first = firstChangedEntry();
    const std::uint64_t start = first < backup.size() ? backup[first].headerOffset64
                                : backup.empty()       ? 0
                                                       : mManager->centralDirectoryOffset;
    reportOverall(TProgressPhase::Start);

    bool aborted = stopping();
    try {
        if (!mManager->stream->seek(start) || !mManager->stream->truncate())
            throw streamError();
        // The names kept before the first entry written count as written.
        mWrittenNames.clear();
        for (std::size_t i = 0; i < first; ++i)
            if (const std::optional<EncodedName> name = storedBytes(current[i].storedName))
                recordName(*name, i);
        if (aborted)
            setPipeline(nullptr);
        else
            startPipeline(first);
        for (std::size_t i = first; i < current.size() && !aborted;) {
            const EntryOutcome outcome = writeWithRetries(i, mPipeline ? &mPipeline->take() : nullptr);
            aborted = outcome == EntryOutcome::Aborted || stopping();
            if (outcome == EntryOutcome::Written)
                ++i;
        }
        if (!aborted)
            writeCentralDirectory();
    } catch (...) {
        rollBack();
        throw;
    }
    setPipeline(nullptr);
    mWrittenNames.clear();
    reportOverall(TProgressPhase::End);
    if (aborted || stopping()) {
        mAborted = true;
        rollBack();
        return;
    }
    warnAboutCollidingNames();
}

void TBaseArchiver::warnAboutCollidingNames()
{
    NameCollisions names;
    for (const TArchiveDirEntry &entry : mManager->current)
        names.add(entry.storedName);
    for (const std::vector<std::string> &group : names.groups()) {
        std::string line;
        for (std::size_t i = 0; i < group.size(); ++i)
            line += (i == 0 ? "" : i + 1 == group.size() ? " and " : ", ") + printableName(group[i]);
        mWarnings.push_back(line + " differ only in letter case or Unicode normalisation: one name on Windows "
                                   "and macOS, where extracting keeps only one");
    }
}

TBaseArchiver::EntryOutcome TBaseArchiver::writeWithRetries(std::size_t index, EntrySource *prepared)
{
    TArchiveDirArray &current = mManager->current;
    TArchiveDirEntry &entry = current[index];
    const std::uint64_t listedSize = entry.uncompressedSize64;
    for (;;) {
        const std::uint64_t bytesBefore = mProgress.bytesDone;
        const std::uint64_t entryStart = mManager->stream->position();
        try {
            writeEntry(entry, index, std::exchange(prepared, nullptr));
            return EntryOutcome::Written;
        } catch (const EArchiveError &failure) {
            // A failure that a stop brought about is no failure of the
            // entry: nothing is asked.
            if (stopping())
                return EntryOutcome::Aborted;
            // Whatever the failed attempt wrote is cut off: the archive
            // holds whole entries only, so no reader meets a header whose
            // data never came.
            mProgress.bytesDone = bytesBefore;
            if (!mManager->stream->seek(entryStart) || !mManager->stream->truncate())
                throw streamError();
            switch (failureAction(entry, failure)) {
            case TFailureAction::faRetry:
                break;
            case TFailureAction::faIgnore:
                --mProgress.totalFiles;
                mProgress.totalBytes -= std::min(listedSize, mProgress.totalBytes);
                skip({TSkippedItem::Kind::Failed, printableName(entry.storedName), failure.what()});
                current.removeAt(index);
                return EntryOutcome::Removed;
            case TFailureAction::faAbort:
                return EntryOutcome::Aborted;
            }
        }
        if (stopping())
            return EntryOutcome::Aborted;
    }
}

void TBaseArchiver::rollBack()
{
    setPipeline(nullptr);
    mWrittenNames.clear();
    mManager->current = mManager->backup;
    mCancelRequested = false;
    // What was written is dropped with the archive: the target keeps the
    // file it had.
    mDiscard = true;
}

TFailureAction TBaseArchiver::failureAction(const TArchiveDirEntry &entry, const EArchiveError &failure)
{
    if (OnProcessFileFailure)
        return OnProcessFileFailure(entry, failure);
    if (!mManager || !mManager->stream)
        return TFailureAction::faAbort;
    if (failure.nativeError() == NativeError::Aborted || !OnFailurePrompt)
        return TFailureAction::faAbort;
    // A failure that trying again cannot mend is asked about as it is;
    // others with the sentence about the disk, the system's reason last.
    TPromptAnswer answer;
    if (!failure.retryCanHelp())
        answer = OnFailurePrompt(failure.what(), TPromptButtons::AbortIgnore);
    else
        answer = OnFailurePrompt(failure.message() + ". File processing error, possibly disk is full"
                                     + (failure.reason().empty() ? "" : " (" + failure.reason() + ")"),
                                 TPromptButtons::AbortRetryIgnore);
    switch (answer) {
    case TPromptAnswer::Retry: return TFailureAction::faRetry;
    case TPromptAnswer::Ignore: return TFailureAction::faIgnore;
    case TPromptAnswer::Abort: break;
    }
    return TFailureAction::faAbort;
}

std::optional<EncodedName> TBaseArchiver::storedBytes(std::string_view storedName) const
{
    std::optional<EncodedName> name = encodeName(storedName, Options.OEMFileNames);
    if (name)
        name->bytes.resize(std::min<std::size_t>(name->bytes.size(), zip::max16));
    return name;
}

EncodedName TBaseArchiver::entryName(const TArchiveDirEntry &entry) const
{
    const std::optional<EncodedName> name = storedBytes(entry.storedName);
    if (!name)
        throw error(NativeError::InvalidFileName, {{printableName(entry.sourcePath())}});
    // Readers that go by the bytes alone would see one name twice.
    const auto same = mWrittenNames.find(std::hash<std::string> {}(name->bytes), [&](std::size_t position) {
        return storedBytes(mManager->current[position].storedName)->bytes == name->bytes;
    });
    if (same)
        throw error(NativeError::DuplicateName,
                    {{printableName(entry.sourcePath()), printableName(mManager->current[*same].sourcePath())}});
    return *name;
}

void TBaseArchiver::recordName(const EncodedName &name, std::size_t index)
{
    mWrittenNames.insert(std::hash<std::string> {}(name.bytes), index);
}

int TBaseArchiver::effectiveThreads() const
{
    if (Threads > 0)
        return Threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void TBaseArchiver::writeLocalHeader(const CentralHeader &header, const std::string &name, std::uint64_t sourceSize)
{
    ArchiveStream &stream = *mManager->stream;
    const std::string record = localRecord(header, name);
    if (stream.write(record.data(), record.size()) != record.size())
        throw error(NativeError::InvalidCompressedSize, {{}, static_cast<long long>(sourceSize), 0},
                    {stream.error(), FileName});
}

void TBaseArchiver::writeEntry(TArchiveDirEntry &entry, std::size_t index, EntrySource *prepared)
{
    // Without a preparation the source is read and compressed here, chunk
    // by chunk; a directory has nothing to read.
    EntrySource *source = prepared;
    if (!source && !entry.isDirectory())
        source = &mCompressor.start(*mFileSystem, Options.ShareMode, entry.sourcePath(), entry.compressionMode,
                                    method());
    // Whatever happens, the source gives back what it holds.
    struct DiscardSource
    {
        EntrySource *source;
        ~DiscardSource()
        {
            if (source)
                source->discard();
        }
    } discardSource {source};

    mProgress.currentName = entry.storedName;
    mProgress.fileSize = entry.uncompressedSize64;
    mProgress.fileBytesDone = 0;
    reportFile(TProgressPhase::Start);
    // A name no reader could give back, or one stored already, is refused
    // before the source is read.
    const EncodedName name = entryName(entry);
    entry.zip64 = false;
    const std::uint64_t sourceSize = entry.isDirectory() ? 0 : openSource(entry, *source);
    startHeader(entry, name, sourceSize);
    if (entry.isDirectory())
        writeLocalHeader(entry.header, name.bytes, 0);
    else if (!writeData(entry, *source, name.bytes, sourceSize))
        return;
    recordName(name, index);
    ++mProgress.filesDone;
    reportFile(TProgressPhase::End);
    reportOverall(TProgressPhase::Progress);
}

std::uint64_t TBaseArchiver::openSource(const TArchiveDirEntry &entry, EntrySource &source)
{
    const std::string sourcePath = entry.sourcePath();
    if (sourcePathTooLong(sourcePath))
        throw error(NativeError::FileNameTooLong, {{sourcePath}});
    if (!source.opened())
        throw error(NativeError::CannotOpenFile, {{sourcePath}}, {source.openError(), printableName(entry.storedName)});
    return source.size();
}

void TBaseArchiver::startHeader(TArchiveDirEntry &entry, const EncodedName &name, std::uint64_t sourceSize)
{
    const std::uint64_t offset = mManager->stream->position();
    entry.headerOffset64 = offset;
    entry.uncompressedSize64 = sourceSize;
    entry.zip64 = needsZip64(offset) || needsZip64(sourceSize);

    CentralHeader &header = entry.header;
    header.versionNeeded = entry.zip64 ? zip::version45 : zip::version20;
    header.versionMadeBy = static_cast<std::uint16_t>(header.versionNeeded | (name.utf8 ? zip::hostNtfs : 0));
    header.method = entry.isDirectory() ? zip::methodStored : static_cast<std::uint16_t>(method());
    header.flags = static_cast<std::uint16_t>((header.flags & ~flagUtf8Names) | (name.utf8 ? flagUtf8Names : 0));
    header.crc32 = entry.isDirectory() ? 0 : zip::max32;
    header.compressedSize = 0;
    header.uncompressedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(sourceSize, zip::max32));
    header.nameLength = static_cast<std::uint16_t>(name.bytes.size());
    header.extraLength = 0;
    header.headerOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, zip::max32));
    // ZIP64 entries are never written: nothing of the entry is in the file yet.
    if (entry.zip64)
        throw error(NativeError::Zip64NotEnabled, {{entry.sourcePath()}});
}

bool TBaseArchiver::writeData(TArchiveDirEntry &entry, EntrySource &source, const std::string &name,
                              std::uint64_t sourceSize)
{
    ArchiveStream &stream = *mManager->stream;
    CentralHeader &header = entry.header;
    bool headerFinal = false;
    const WrittenData result = writeChunks(source, sourceSize, header, name, headerFinal);
    if (result.cancelled)
        return false;
    const ErrorArguments sizes {{}, static_cast<long long>(sourceSize), static_cast<long long>(result.bytesRead)};
    if (!result.complete)
        throw error(NativeError::InvalidCompressedSize, sizes,
                    result.writeFailed ? SystemReason {stream.error(), FileName}
                                       : SystemReason {result.readError, printableName(entry.storedName)});
    // Read to the size it had when opened, but no longer that size: what was
    // stored is no state the file was ever in as a whole.
    if (const std::uint64_t sizeAtEnd = source.sizeAtEnd(); sizeAtEnd != sourceSize) {
        const std::string path = printableName(entry.sourcePath());
        throw error(NativeError::SourceChanged,
                    {{path}, static_cast<long long>(sourceSize), static_cast<long long>(sizeAtEnd)});
    }
    if (needsZip64(result.bytesWritten) || needsZip64(result.bytesRead))
        throw error(NativeError::Zip64SizeNotEnabled, {{entry.sourcePath()}});
    header.crc32 = result.crc32;
    header.compressedSize = static_cast<std::uint32_t>(result.bytesWritten);
    header.uncompressedSize = static_cast<std::uint32_t>(result.bytesRead);
    if (sourceSize == 0)
        header.method = zip::methodStored;
    if (headerFinal)
        return true;
    std::string patched;
    appendLocalHeader(patched, header);
    if (stream.writeAt(entry.headerOffset64, patched.data(), patched.size()) != patched.size())
        throw error(NativeError::InvalidCompressedSize, sizes, {stream.error(), FileName});
    return true;
}

TBaseArchiver::WrittenData TBaseArchiver::writeChunks(EntrySource &source, std::uint64_t sourceSize,
                                                      CentralHeader &header, const std::string &name,
                                                      bool &headerFinal)
{
    ArchiveStream &stream = *mManager->stream;
    WrittenData result;
    bool headerWritten = false;
    ReadyChunk chunk;
    while (source.next(chunk) && !chunk.failed) {
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
        if (!stored) {
            result.writeFailed = true;
            break;
        }
        result.crc32 = result.bytesRead == 0
                           ? chunk.crc32
                           : static_cast<std::uint32_t>(crc32_combine(result.crc32, chunk.crc32,
                                                                      static_cast<z_off_t>(chunk.inputLength)));
        result.bytesRead += chunk.inputLength;
        result.bytesWritten += chunk.size;
        if (!reportBytes(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
    }
    if (source.shortRead())
        result.readError = source.readError();
    source.discard();
    // No chunk came (an empty source, or one that could not be read or
    // compressed): the header is written alone, to be completed or left.
    if (!headerWritten)
        writeLocalHeader(header, name, sourceSize);
    result.complete = result.bytesRead == sourceSize && !result.cancelled && !result.writeFailed;
    return result;
}

bool TBaseArchiver::reportBytes(std::uint64_t bytesRead)
{
    mProgress.bytesDone += bytesRead - mProgress.fileBytesDone;
    mProgress.fileBytesDone = bytesRead;
    reportFile(TProgressPhase::Progress);
    reportOverall(TProgressPhase::Progress);
    return !stopping();
}

void TBaseArchiver::writeCentralDirectory()
{
    ArchiveStream &stream = *mManager->stream;
    const std::optional<std::uint64_t> end = stream.size();
    if (!end || !stream.seek(*end) || !stream.truncate())
        throw streamError();
    const std::uint64_t offset = stream.position();
    mManager->centralDirectoryOffset = offset;

    // Written in pieces of about a megabyte, so a directory of many entries
    // costs few writes and little memory.
    std::string block;
    block.reserve(std::min<std::size_t>(mManager->current.size() * 128, 1u << 20) + zip::centralHeaderSize + zip::max16);
    std::uint64_t size = 0;
    const auto writeBlock = [&] {
        if (stream.write(block.data(), block.size()) != block.size())
            throw streamError();
        size += block.size();
        block.clear();
    };
    for (const TArchiveDirEntry &entry : mManager->current) {
        appendCentralHeader(block, entry.header);
        // Every entry written has a valid name.
        block.append(storedBytes(entry.storedName).value_or(EncodedName {}).bytes, 0, entry.header.nameLength);
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
        throw StreamWriteError({stream.error(), FileName});
}

} // namespace voriraz

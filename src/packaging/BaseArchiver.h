#pragma once

#include "packaging/ArchiveDirectory.h"
#include "packaging/ArchiveError.h"
#include "packaging/ArchiveIo.h"
#include "packaging/CompressionPipeline.h"
#include "packaging/NameEncoding.h"
#include "packaging/FileSelection.h"
#include "packaging/SourceCompressor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace voriraz {

enum class TCompressionLevel { clNone, clFastest, clNormal, clMax };
enum class TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum class TFailureAction { faAbort, faRetry, faIgnore };

// Open modes: create (0xFFFF) is the only one with which an archive is made.
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmCreate = 0xFFFF;

struct TArchiverOptions
{
    TStorePathMode StorePath = TStorePathMode::spRelativePath;
    bool Recurse = true;
    TFileShareMode ShareMode = TFileShareMode::smShareDenyNone;
    TOverwriteMode OverwriteMode = TOverwriteMode::omAlways;
    int SearchAttr = searchAttr::all;
    // Flush the archive file to disk once the update is written.
    bool FlushBuffers = true;
    // Store names in code page 437 (the ZIP default); off stores them as
    // UTF-8 and sets the UTF-8 flag (bit 11).
    bool OEMFileNames = true;
};

// The buttons of the failure prompt and the user's answer.
enum class TPromptButtons { AbortIgnore, AbortRetryIgnore };
enum class TPromptAnswer { Abort, Retry, Ignore };

// Where packing stands: files and bytes done of all, and the current file.
struct TArchiveProgress
{
    std::size_t totalFiles = 0;
    std::size_t filesDone = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t bytesDone = 0;
    std::string currentName;
    std::uint64_t fileSize = 0;
    std::uint64_t fileBytesDone = 0;
};
enum class TProgressPhase { Start, Progress, End };

// Something of the tree that the archive does not hold, and why: a link
// leading outside the base directory, a link leading nowhere or round in a
// loop, a pipe, socket or device, or an item given up after a failure.
struct TSkippedItem
{
    enum class Kind { LinkOutside, Failed, LinkNowhere, NotAFile };
    static constexpr int kindCount = 4;
    Kind kind = Kind::Failed;
    std::string name; // as it would have been stored, invalid UTF-8 as \xNN
    std::string reason;
};

// Common state of archive objects: configuration, the open archive and its
// directory, the update bracket with its commit, the failure prompt and
// the roll-back. Everything runs on the caller's thread (with helper
// threads of its own), but for Cancel().
//
// The archive is written to a temporary file beside FileName's target and
// put in its place only by Close(), complete and flushed; until then, and
// for good when an update is aborted, cancelled or fails, the target stays
// as it was.
class TBaseArchiver
{
public:
    // Decides what happens to an entry whose write failed; replaces the
    // default prompt.
    using ProcessFileFailureEvent = std::function<TFailureAction(const TArchiveDirEntry &, const EArchiveError &)>;
    // Shows the failure prompt (a confirmation with the given text and
    // buttons) and returns the button chosen.
    using FailurePrompt = std::function<TPromptAnswer(const std::string &text, TPromptButtons buttons)>;
    // Reports progress; setting cancel stops packing and rolls it back.
    using ProgressEvent = std::function<void(TProgressPhase, const TArchiveProgress &, bool &cancel)>;
    // Told of each item left out, as it is left out.
    using SkipEvent = std::function<void(const TSkippedItem &)>;

    TBaseArchiver();
    virtual ~TBaseArchiver();
    TBaseArchiver(const TBaseArchiver &) = delete;
    TBaseArchiver &operator=(const TBaseArchiver &) = delete;

    // The component's name, which prefixes its error messages.
    std::string Name;
    std::string FileName;
    std::string BaseDir;
    TArchiverOptions Options;
    // Entries needing ZIP64 (4 GiB and more) are refused in every mode.
    TZip64Mode Zip64Mode = TZip64Mode::zmDisabled;
    // Threads compressing ahead of the writer: 0 for one per processor
    // core, 1 to read and compress on the caller's thread alone. The
    // archive is the same either way, but for the exact compressed bytes of
    // sources larger than one chunk.
    int Threads = 0;

    ProcessFileFailureEvent OnProcessFileFailure;
    // The prompt behind the default failure handling. Without one, a failed
    // entry aborts the update.
    FailurePrompt OnFailurePrompt;
    ProgressEvent OnOverallProgress;
    ProgressEvent OnFileProgress;
    SkipEvent OnSkip;

    TCompressionLevel CompressionLevel() const { return mCompressionLevel; }
    // Also sets the mode: 0, 1, 6 or 9.
    void SetCompressionLevel(TCompressionLevel level);
    int CompressionMode() const { return mCompressionMode; }
    // Also sets the level. Throws EArchiveError (native error 5) above 9.
    void SetCompressionMode(int mode);

    bool IsOpen() const { return mOpen; }
    // The entries of the open archive, in order.
    const TArchiveDirArray &Directory() const;

    // Starts an update (nested calls only count). Throws EArchiveError:
    // native error 13 when closed, 32 when opened for reading only.
    void BeginUpdate();
    // Ends an update; the outermost call writes the modified entries, the
    // central directory and the end record (see commit()).
    void EndUpdate();
    // Leaves the update without writing anything more.
    void AbandonUpdate();
    // Commits a pending update, writes the records of an archive that is
    // still empty, and puts it in place of FileName's target, flushed to
    // the disk first when Options.FlushBuffers is on. When an update since
    // the archive was opened was aborted, cancelled or failed, the archive
    // is dropped instead, as Discard() does. Closed either way; throws
    // EArchiveError 46 with the system's reason when the archive cannot be
    // finished, the target then left as it was.
    void Close();
    // Closes the archive without putting it in place: the target stays as
    // it was and the temporary file is removed. Never throws.
    void Discard();
    // Asks the update under way to stop as soon as it can, from any thread:
    // the walk, the reading and the compressing stop at the next file or
    // chunk, and the update rolls back as after a cancel from a progress
    // handler.
    void Cancel();

    // The items the last update left out (the first hundred), and how many
    // of a kind there were in all.
    const std::vector<TSkippedItem> &Skipped() const { return mSkipped; }
    std::size_t SkippedCount(TSkippedItem::Kind kind) const { return mSkippedCount[static_cast<int>(kind)]; }
    // Whether the last update ended in an abort or a cancel.
    bool Aborted() const { return mAborted; }
    // What the user should know of an archive written whole: the names it
    // holds that Windows and macOS take for one (differing only in letter
    // case or Unicode normalisation), one line each group, and, after
    // Close(), that the archive is in place but its folder could not be
    // flushed to the disk. Cleared when an archive is opened.
    const std::vector<std::string> &Warnings() const { return mWarnings; }

    // Test seam: where files are opened. Defaults to the real file system.
    void SetFileSystem(std::shared_ptr<ArchiveFileSystem> fileSystem) { mFileSystem = std::move(fileSystem); }

protected:
    EArchiveError error(NativeError nativeError, const ErrorArguments &arguments = {},
                        const SystemReason &reason = {}) const;
    void openArchive(std::uint16_t openMode);
    TArchiveDirManager &manager() { return *mManager; }
    ArchiveFileSystem &fileSystem() { return *mFileSystem; }
    int method() const { return mCompressionMode == 0 ? zip::methodStored : zip::methodDeflated; }
    // When the update just begun will write every entry in the order they
    // are found (it starts from an empty directory, with worker threads),
    // starts reading and compressing them already, and sets what to tell of
    // each entry found; otherwise sets nothing. The commit uses what was
    // prepared if the directory is what was found, else starts over.
    void prepareWhileFinding(SelectionRequest &request);
    // Fills in what every selection of an update shares: the archive, its
    // target or the previous archive it replaces, the stop flag, where the
    // items left out go and who decides about the walk's failures (the
    // failure prompt, as for an entry).
    void prepareSelection(SelectionRequest &request);
    // Records an item left out and tells OnSkip.
    void skip(TSkippedItem item);
    // Marks the archive as not to be put in place.
    void refuseArchive() { mDiscard = true; }
    bool stopping() const { return mCancel || mCancelRequested || mWalkStopped; }

private:
    // Writes every modified entry, then the central directory and the end
    // record. An entry that fails goes to the failure prompt: retried,
    // ignored (and left out) or aborted. An abort or a cancel rolls the
    // archive back to the directory the update began with; so does any error
    // that escapes, which is then raised again.
    void commit();
    // The first entry that differs from the backup; it and every entry after
    // it are marked modified and counted for the progress.
    std::size_t firstChangedEntry();
    // Starts reading and compressing ahead the entries from first on, or
    // seals what was prepared while they were found; none on one thread.
    void startPipeline(std::size_t first);
    enum class EntryOutcome { Written, Removed, Aborted };
    // Writes the entry at index, asking what to do after each failure, until
    // it is written, ignored (and removed) or the update aborted. After a
    // failure the archive is cut back to where the entry began, so that it
    // holds whole entries only, one after the other.
    EntryOutcome writeWithRetries(std::size_t index, EntrySource *prepared);
    // Writes one entry, at index of the directory: from prepared, its source
    // read and compressed ahead, or else reading it here.
    void writeEntry(TArchiveDirEntry &entry, std::size_t index, EntrySource *prepared);
    // Opens the entry's source and returns its size; raises native error 61
    // for a path too long and 33 for a source that cannot be opened.
    std::uint64_t openSource(const TArchiveDirEntry &entry, EntrySource &source);
    // Fills the entry's header for a write at the current position; raises
    // native error 43 for an entry that would need ZIP64.
    void startHeader(TArchiveDirEntry &entry, const EncodedName &name, std::uint64_t sourceSize);
    // Writes the entry's local header and data and completes the header;
    // false when packing was stopped meanwhile. Raises native error 34 when
    // the source was not read or written whole, 66 when its size changed
    // while it was read, 41 when it came too large.
    bool writeData(TArchiveDirEntry &entry, EntrySource &source, const std::string &name, std::uint64_t sourceSize);
    // What writing an entry's chunks came to.
    struct WrittenData
    {
        std::uint32_t crc32 = 0;
        std::uint64_t bytesRead = 0;
        std::uint64_t bytesWritten = 0;
        // Clear when the source was not read whole, a write was short,
        // deflate failed, or packing was stopped.
        bool complete = false;
        bool cancelled = false;
        bool writeFailed = false;
        int readError = 0; // the system's, when reading the source failed
    };
    // Writes the source's chunks, and the local header (pending, not yet in
    // the file) with the first one. The header of a source of one chunk is
    // written complete, and headerFinal is set: it needs no patch.
    WrittenData writeChunks(EntrySource &source, std::uint64_t sourceSize, CentralHeader &header,
                            const std::string &name, bool &headerFinal);
    // Counts the bytes read of the current file and reports them; false
    // once packing is to stop.
    bool reportBytes(std::uint64_t bytesRead);
    // Writes a local header and its name alone, at the current position;
    // a short write is the entry's failure with nothing of the source read.
    void writeLocalHeader(const CentralHeader &header, const std::string &name, std::uint64_t sourceSize);
    // The bytes a name is stored as (cut to what the header can count), or
    // nothing when it is not valid UTF-8.
    std::optional<EncodedName> storedBytes(std::string_view storedName) const;
    // The stored bytes of an entry's name; raises native error 62 for a name
    // that is not valid UTF-8 and 63 for one whose bytes an entry written
    // before has already.
    EncodedName entryName(const TArchiveDirEntry &entry) const;
    // Notes the name of an entry written at index.
    void recordName(const EncodedName &name, std::size_t index);
    // A failure of the archive file itself: native error 46 with the
    // system's reason.
    EArchiveError streamError() const;
    // Sets the pipeline the update uses, or none; the one it replaces is
    // stopped outside the lock Cancel() takes.
    void setPipeline(std::unique_ptr<CompressionPipeline> pipeline);
    int effectiveThreads() const;
    PipelineJob jobFor(const TArchiveDirEntry &entry) const;
    TFailureAction failureAction(const TArchiveDirEntry &entry, const EArchiveError &failure);
    // Writes the central directory and the end record at the end of the
    // file. Throws EArchiveError 46 or StreamWriteError.
    void writeCentralDirectory();
    // Puts back the directory the update began with; the archive is dropped.
    void rollBack();
    // Decides about a failure of the walk as about a failed entry, and
    // records an item left out.
    WalkDecision walkFailed(const WalkFailure &failure);
    // The warnings about names of the directory that are one on Windows.
    void warnAboutCollidingNames();
    void reportOverall(TProgressPhase phase);
    void reportFile(TProgressPhase phase);

    TCompressionLevel mCompressionLevel = TCompressionLevel::clMax;
    int mCompressionMode = 9;
    bool mOpen = false;
    std::uint16_t mOpenMode = 0;
    int mUpdateCount = 0;
    bool mCancel = false;
    std::atomic<bool> mCancelRequested {false};
    bool mDiscard = false;
    bool mAborted = false;
    // The walk was told to stop by an answer of Abort.
    bool mWalkStopped = false;
    std::unique_ptr<TArchiveDirManager> mManager;
    std::shared_ptr<ArchiveFileSystem> mFileSystem;
    // Reads and compresses the sources not prepared ahead.
    SourceCompressor mCompressor;
    // Sources read and compressed ahead: from while the entries are still
    // found (then stale when the walk replaced an entry) through the commit.
    // After the file system, so it goes before it: its threads use it.
    std::unique_ptr<CompressionPipeline> mPipeline;
    bool mPipelineStale = false;
    std::mutex mPipelineMutex;
    // The stored names written by the commit, by a hash of their bytes, to
    // the position of the entry (names are compared when hashes meet).
    PositionIndex mWrittenNames;
    std::vector<TSkippedItem> mSkipped;
    std::size_t mSkippedCount[TSkippedItem::kindCount] = {};
    std::vector<std::string> mWarnings;
    TArchiveProgress mProgress;
};

} // namespace voriraz

#pragma once

#include "packaging/ArchiveDirectory.h"
#include "packaging/ArchiveError.h"
#include "packaging/ArchiveIo.h"
#include "packaging/CompressionPipeline.h"
#include "packaging/FileSelection.h"
#include "packaging/SourceCompressor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// Common state of archive objects: configuration, the open archive and its
// directory, the update bracket with its commit, the failure prompt and
// the roll-back. Everything runs on the caller's thread.
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
    // still empty, and closes the file. Never throws.
    void Close();

    // Test seam: where files are opened. Defaults to the real file system.
    void SetFileSystem(std::shared_ptr<ArchiveFileSystem> fileSystem) { mFileSystem = std::move(fileSystem); }

protected:
    EArchiveError error(NativeError nativeError, const std::string &path = {}, long long first = 0,
                        long long second = 0) const;
    void openArchive(std::uint16_t openMode);
    TArchiveDirManager &manager() { return *mManager; }
    ArchiveFileSystem &fileSystem() { return *mFileSystem; }
    int method() const { return mCompressionMode == 0 ? zip::methodStored : zip::methodDeflated; }
    // When the update just begun will write every entry in the order they
    // are found (it starts from an empty directory, with worker threads),
    // starts reading and compressing them already, and returns what to tell
    // of each entry found; otherwise returns nothing. The commit uses what
    // was prepared if the directory is what was found, else starts over.
    std::function<void(const TArchiveDirEntry &)> prepareWhileFinding();

private:
    // Writes every modified entry, then the central directory and the end
    // record. An entry that fails goes to the failure prompt: retried,
    // ignored (and left out) or aborted. An abort or a cancel rolls the
    // archive back to the directory the update began with; so does any error
    // that escapes, which is then raised again.
    void commit();
    // Writes one entry; prepared, when given, holds its source already read
    // and compressed ahead.
    void writeEntry(TArchiveDirEntry &entry, CompressionPipeline::Entry *prepared);
    // Writes a local header and its name alone, at the current position;
    // a short write is the entry's failure with nothing of the source read.
    void writeLocalHeader(const CentralHeader &header, const std::string &name, std::uint64_t sourceSize);
    // Writes a prepared entry's data, and its local header (pending, not yet
    // in the file) with the first chunk. The header of a source of one chunk
    // is written complete, and headerFinal is set: it needs no patch.
    CompressedSource writePrepared(CompressionPipeline::Entry &prepared, std::uint64_t sourceSize,
                                   const SourceCompressor::Progress &progress, CentralHeader &header,
                                   const std::string &name, bool &headerFinal);
    int effectiveThreads() const;
    PipelineJob jobFor(const TArchiveDirEntry &entry) const;
    TFailureAction failureAction(const TArchiveDirEntry &entry, const EArchiveError &failure);
    // Writes the central directory and the end record at the end of the
    // file. Throws EArchiveError 46 or StreamWriteError.
    void writeCentralDirectory();
    void rollBack(std::uint64_t startPosition);
    std::string nameBytes(const std::string &storedName) const;
    void reportOverall(TProgressPhase phase);
    void reportFile(TProgressPhase phase);

    TCompressionLevel mCompressionLevel = TCompressionLevel::clMax;
    int mCompressionMode = 9;
    bool mOpen = false;
    std::uint16_t mOpenMode = 0;
    int mUpdateCount = 0;
    bool mCancel = false;
    std::unique_ptr<TArchiveDirManager> mManager;
    std::shared_ptr<ArchiveFileSystem> mFileSystem;
    SourceCompressor mCompressor;
    // Entries read and compressed while they are still being found. After
    // the file system, so it goes before it: its threads use it.
    std::unique_ptr<CompressionPipeline> mAhead;
    TArchiveProgress mProgress;
};

} // namespace voriraz

#include "cli/PackCommand.h"

#include "packaging/ModArchive.h"
#include "platform/Files.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace voriraz::cli {

namespace {

const CommandOption onErrorOption {
    {"on-error"}, "What to do with a file that cannot be packed: abort (the default), ignore, or retry-once.", "ACTION",
    "abort"};

enum class OnError { Abort, Ignore, RetryOnce };

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    return text;
}

} // namespace

std::string PackCommand::name() const
{
    return "pack";
}

std::string PackCommand::summary() const
{
    return "Pack the mod folder into an archive, as \"Create mod\" does.";
}

std::string PackCommand::usage() const
{
    return "OUT.pak [--data DIR] [--on-error abort|ignore|retry-once]";
}

std::string PackCommand::description() const
{
    return "Packs every file and folder of DIR/mod into a new ZIP archive OUT.pak, replacing any file of that name,\n"
        "with the same writer and settings as the editor's \"Create mod\".\n\n"
        "OUT.pak is replaced only by a complete archive: until then, and for good when packing is aborted,\n"
        "fails or is interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT), a file already there stays as it was and\n"
        "no temporary file is left. A file of the mod folder is never replaced, but for a previous archive\n"
        "saved inside it, which is left out of the new one and replaced.\n\n"
        "A file or folder that cannot be packed (unreadable, changed while read, a name that could not be\n"
        "extracted safely) is handled by --on-error: abort stops and keeps the previous OUT.pak; ignore leaves\n"
        "it out and goes on; retry-once tries it once more and aborts if it fails again. Links that lead\n"
        "outside the mod folder or nowhere, pipes, sockets and devices are not packed. Everything left out is\n"
        "reported, one line each.\n\n"
        "Exit status: 0 when the archive was written, 1 when packing was aborted or failed, 2 when the data\n"
        "folder or its mod folder was not found or cannot be listed, or OUT.pak cannot be created;\n"
        "128 + the signal's number when interrupted.";
}

void PackCommand::declare(CommandLine &line)
{
    line.addOption(onErrorOption);
    line.addArguments("OUT.pak", "The archive to write.");
}

int PackCommand::run(const CommandLine &line, CommandStreams streams)
{
    const Arguments &arguments = line.arguments();
    if (arguments.size() != 1)
        throw CommandError("pack takes exactly one OUT.pak. Try \"voriraz-cli pack --help\".");
    const std::string action = line.value(onErrorOption);
    OnError onError;
    if (action == "abort")
        onError = OnError::Abort;
    else if (action == "ignore")
        onError = OnError::Ignore;
    else if (action == "retry-once")
        onError = OnError::RetryOnce;
    else
        throw CommandError("Invalid --on-error action: \"" + action + "\". Use abort, ignore or retry-once.");

    // Shown as the user would type them, one separator throughout.
    const std::string archive = platform::shownPath(std::filesystem::absolute(arguments.front()).string());
    const std::string source = platform::shownPath((std::filesystem::path(dataFolder(line).path) / "mod").string());

    TArchiveWriter writer;
    configureModArchiveWriter(writer);
    std::string lastSource;
    int attempts = 0;
    writer.OnProcessFileFailure = [&](const TArchiveDirEntry &entry, const EArchiveError &failure) {
        attempts = entry.sourcePath() == lastSource ? attempts + 1 : 1;
        lastSource = entry.sourcePath();
        if (onError == OnError::Ignore && failure.nativeError() != NativeError::Aborted) {
            streams.err << programName << ": skipped: " << failure.what() << '\n';
            return TFailureAction::faIgnore;
        }
        if (onError == OnError::RetryOnce && attempts == 1 && failure.retryCanHelp())
            return TFailureAction::faRetry;
        streams.err << programName << ": " << failure.what() << '\n';
        return TFailureAction::faAbort;
    };
    // Failures are told as they are answered; the rest as they are met.
    writer.OnSkip = [&](const TSkippedItem &item) {
        if (item.kind != TSkippedItem::Kind::Failed)
            streams.err << programName << ": skipped: " << item.name << ": " << item.reason << '\n';
    };

    // The progress line is for a person watching a terminal, not for logs.
    const bool terminal = platform::standardErrorIsTerminal() && &streams.err == &std::cerr;
    bool progressShown = false;
    writer.OnOverallProgress = [&](TProgressPhase phase, const TArchiveProgress &progress, bool &) {
        if (!terminal || phase == TProgressPhase::End)
            return;
        streams.err << "\r" << "Packing file " << std::min(progress.filesDone + 1, progress.totalFiles) << " of "
                    << progress.totalFiles << " (" << megabytes(progress.bytesDone) << " of "
                    << megabytes(progress.totalBytes) << ")\x1b[K" << std::flush;
        progressShown = true;
    };

    // What became of the file at the archive's path when packing stopped.
    const auto left = [&archive](bool previous) {
        return previous ? "the previous " + archive + " was kept" : archive + " was not written";
    };
    const bool previous = std::filesystem::exists(archive);
    ModArchiveReport report;
    try {
        report = writeModArchive(writer, archive, source);
    } catch (const SourceFolderError &e) {
        throw CommandError(e.what());
    } catch (const FileCreateError &e) {
        throw CommandError(e.what());
    } catch (const ArchiveTargetError &e) {
        throw CommandError(e.what());
    } catch (const std::exception &e) {
        if (progressShown)
            streams.err << '\n';
        streams.err << programName << ": " << e.what() << '\n'
                    << programName << ": packing failed; " << left(previous) << '\n';
        return exitStatus::problems;
    }
    if (progressShown)
        streams.err << '\n';
    if (!report.written) {
        streams.err << programName << ": packing aborted; " << left(previous) << '\n';
        return exitStatus::problems;
    }
    streams.out << "Packed " << report.entries << (report.entries == 1 ? " entry" : " entries") << " of " << source
                << " into " << archive << " (" << report.archiveBytes << " bytes)";
    if (report.failedFiles > 0)
        streams.out << "; " << report.failedFiles << (report.failedFiles == 1 ? " file" : " files") << " left out";
    if (report.linksOutside > 0)
        streams.out << "; " << report.linksOutside << (report.linksOutside == 1 ? " link" : " links")
                    << " leading outside the folder not followed";
    if (report.linksNowhere > 0)
        streams.out << "; " << report.linksNowhere << (report.linksNowhere == 1 ? " link" : " links")
                    << " leading nowhere left out";
    if (report.notFiles > 0)
        streams.out << "; " << report.notFiles << (report.notFiles == 1 ? " pipe, socket or device" : " pipes, sockets or devices")
                    << " left out";
    streams.out << '\n';
    for (const std::string &warning : report.warnings)
        streams.err << programName << ": warning: " << warning << '\n';
    return exitStatus::success;
}

} // namespace voriraz::cli

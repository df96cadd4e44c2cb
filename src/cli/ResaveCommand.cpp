#include "cli/ResaveCommand.h"

#include "cli/DataTree.h"
#include "editing/PresetSession.h"
#include "presets/AtomicFile.h"

#include <algorithm>

namespace voriraz::cli {

namespace {

const CommandOption stdoutOption {{"stdout"}, "Write nothing; print the document the save would write.", {}, {}};
const CommandOption keepLayoutOption {
    {"keep-layout"}, "Keep the file's own layout: change only the values that differ.", {}, {}};
const CommandOption outputOption {
    {"o", "output"}, "Write the re-saved preset to FILE and leave PRESET as it is.", "FILE", {}};
const CommandOption dropUnknownOption {
    {"drop-unknown"}, "Save even when army and skill items the catalogs lack are dropped (a warning line each).", {}, {}};

// "army stack CRT_X (slot 2)"
std::string itemName(const DroppedItem &item)
{
    return std::string(item.kind == DroppedItem::Kind::Skill ? "skill item " : "army stack ") + item.identifier + " (slot "
        + std::to_string(item.slot) + ")";
}

} // namespace

std::string ResaveCommand::name() const
{
    return "resave";
}

std::string ResaveCommand::summary() const
{
    return "Load and save presets as the editor does, without edits.";
}

std::string ResaveCommand::usage() const
{
    return "[--data DIR] [--stdout | -o FILE] [--keep-layout] [--drop-unknown] PRESET...";
}

std::string ResaveCommand::description() const
{
    return "Loads each PRESET and saves it exactly as the editor saves it when nothing was edited: skill,\n"
        "mastery and creature identifiers in their catalogs' letter case, the same refusals, the same\n"
        "all-or-nothing replacement of the file. Army and skill items the catalogs lack would be dropped, so\n"
        "such a preset is refused (one line per item) unless --drop-unknown is given (then a warning line\n"
        "each). With --stdout the file stays as it is and the document the save would write is printed\n"
        "instead (one PRESET only), e.g. to compare it with diff. With -o FILE the document is saved to FILE\n"
        "instead, in the same all-or-nothing way, and PRESET stays as it is (one PRESET only); FILE must be\n"
        "a regular file or not exist yet. With --keep-layout the save keeps the file's whitespace and\n"
        "spelling and changes only what differs, so a preset without edits is written back byte for byte,\n"
        "items the catalogs lack included. Every save reads its result back before writing it.\n\n"
        + presetArgumentHelp()
        + "\n\nExit status: 0 when every preset was saved, 1 when one could not be loaded or saved,\n"
                         "2 when nothing could be done (a preset or the data folder not found, a target that is no\n"
                         "regular file).";
}

void ResaveCommand::declare(CommandLine &line)
{
    line.addOption(stdoutOption);
    line.addOption(keepLayoutOption);
    line.addOption(outputOption);
    line.addOption(dropUnknownOption);
    line.addArguments("PRESET", "Presets to load and save.");
}

int ResaveCommand::run(const CommandLine &line, CommandStreams streams)
{
    const Arguments &arguments = line.arguments();
    const bool toStdout = line.isSet(stdoutOption);
    if (arguments.empty())
        throw CommandError("resave needs at least one PRESET. Try \"voriraz-cli resave --help\".");
    if (toStdout && arguments.size() > 1)
        throw CommandError("resave --stdout takes exactly one PRESET");
    // An empty target would make the save fall back to the preset itself.
    const std::string output = line.value(outputOption);
    if (line.isSet(outputOption) && output.empty())
        throw CommandError("resave -o needs the name of a file");
    if (!output.empty() && toStdout)
        throw CommandError("resave takes --stdout or -o FILE, not both");
    if (!output.empty() && arguments.size() > 1)
        throw CommandError("resave -o takes exactly one PRESET");

    // A device, pipe or folder at the target would be replaced by a file.
    if (!output.empty()) {
        try {
            refuseIrregularTarget(output);
        } catch (const NotRegularFileError &e) {
            throw CommandError(shownError(e));
        }
    }

    const DataTree tree(dataFolder(line));
    // Every name is checked before the first file is written.
    const std::vector<PresetFile> presets = tree.presets(arguments);
    const bool dropUnknown = line.isSet(dropUnknownOption);

    int status = exitStatus::success;
    for (const PresetFile &preset : presets) {
        PresetSession session(tree.presetCatalogs());
        session.setKeepLayout(line.isSet(keepLayoutOption));
        auto failed = [&](const std::exception &e, int failure) {
            streams.err << programName << ": " << preset.name << ": " << shownError(e) << '\n';
            status = std::max(status, failure);
        };
        try {
            session.load(preset.path);
            session.checkSave();
            const std::vector<DroppedItem> dropped = session.droppedItems();
            // Nothing is lost without being asked for.
            if (!dropUnknown && !dropped.empty()) {
                for (const DroppedItem &item : dropped) {
                    streams.err << programName << ": " << preset.name << ": " << itemName(item)
                                << " is not in the catalogs; not saved (--drop-unknown drops it, --keep-layout keeps it)\n";
                }
                status = std::max(status, exitStatus::problems);
                continue;
            }
            for (const DroppedItem &item : dropped)
                streams.err << programName << ": " << preset.name << ": warning: " << dropWarning(item) << '\n';
            if (toStdout) {
                const std::string bytes = session.bytesToSave();
                streams.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                streams.out.flush();
            } else {
                session.save(output);
            }
        } catch (const NotRegularFileError &e) {
            failed(e, exitStatus::trouble);
        } catch (const std::exception &e) {
            failed(e, exitStatus::problems);
        }
    }
    return status;
}

} // namespace voriraz::cli

#include "cli/ResaveCommand.h"

#include "cli/DataTree.h"
#include "editing/PresetSession.h"

namespace voriraz::cli {

namespace {

const CommandOption stdoutOption {{"stdout"}, "Write nothing; print the document the save would write.", {}, {}};
const CommandOption keepLayoutOption {
    {"keep-layout"}, "Keep the file's own layout: change only the values that differ.", {}, {}};
const CommandOption outputOption {
    {"o", "output"}, "Write the re-saved preset to FILE and leave PRESET as it is.", "FILE", {}};

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
    return "[--data DIR] [--stdout | -o FILE] [--keep-layout] PRESET...";
}

std::string ResaveCommand::description() const
{
    return "Loads each PRESET and saves it exactly as the editor saves it when nothing was edited: identifiers\n"
        "in their catalogs' letter case, army and skill items the catalogs lack dropped (a warning line\n"
        "each), the same refusals, the same all-or-nothing replacement of the file. With --stdout the file\n"
        "stays as it is and the document the save would write is printed instead (one PRESET only), e.g. to\n"
        "compare it with diff. With -o FILE the document is saved to FILE instead, in the same all-or-nothing\n"
        "way, and PRESET stays as it is (one PRESET only). With --keep-layout the save keeps the file's\n"
        "whitespace and spelling and changes only what differs, so a preset without edits is written back\n"
        "byte for byte.\n\n"
        + presetArgumentHelp()
        + "\n\nExit status: 0 when every preset was saved, 1 when one could not be loaded or saved,\n"
                         "2 when nothing could be done (a preset or the data folder not found).";
}

void ResaveCommand::declare(CommandLine &line)
{
    line.addOption(stdoutOption);
    line.addOption(keepLayoutOption);
    line.addOption(outputOption);
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

    const DataTree tree(dataFolder(line));
    // Every name is checked before the first file is written.
    const std::vector<PresetFile> presets = tree.presets(arguments);

    int status = exitStatus::success;
    for (const PresetFile &preset : presets) {
        PresetSession session(tree.presetCatalogs());
        session.setKeepLayout(line.isSet(keepLayoutOption));
        PresetControls controls;
        try {
            session.load(preset.path, controls);
            session.checkSave(controls);
            for (const DroppedItem &item : session.droppedItems(controls))
                streams.err << programName << ": " << preset.name << ": warning: " << dropWarning(item) << '\n';
            if (toStdout) {
                const std::string bytes = session.bytesToSave(controls);
                streams.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                streams.out.flush();
            } else {
                session.save(controls, output);
            }
        } catch (const std::exception &e) {
            streams.err << programName << ": " << preset.name << ": " << shownError(e) << '\n';
            status = exitStatus::problems;
        }
    }
    return status;
}

} // namespace voriraz::cli

#include "cli/ResaveCommand.h"

#include "cli/DataTree.h"
#include "editing/PresetSession.h"

namespace voriraz::cli {

namespace {

const QCommandLineOption stdoutOption(QStringLiteral("stdout"),
                                      QStringLiteral("Write nothing; print the document the save would write."));
const QCommandLineOption keepLayoutOption(QStringLiteral("keep-layout"),
                                          QStringLiteral("Keep the file's own layout: change only the values that differ."));

} // namespace

QString ResaveCommand::name() const
{
    return QStringLiteral("resave");
}

QString ResaveCommand::summary() const
{
    return QStringLiteral("Load and save presets as the editor does, without edits.");
}

QString ResaveCommand::usage() const
{
    return QStringLiteral("[--data DIR] [--stdout] [--keep-layout] PRESET...");
}

QString ResaveCommand::description() const
{
    return QStringLiteral(
        "Loads each PRESET and saves it exactly as the editor saves it when nothing was edited: identifiers\n"
        "in their catalogs' letter case, army and skill items the catalogs lack dropped (a warning line\n"
        "each), the same refusals, the same all-or-nothing replacement of the file. With --stdout the file\n"
        "stays as it is and the document the save would write is printed instead (one PRESET only), e.g. to\n"
        "compare it with diff. With --keep-layout the save keeps the file's whitespace and spelling and\n"
        "changes only what differs, so a preset without edits is written back byte for byte.\n\n")
        + presetArgumentHelp()
        + QStringLiteral("\n\nExit status: 0 when every preset was saved, 1 when one could not be loaded or saved,\n"
                         "2 when nothing could be done (a preset or the data folder not found).");
}

void ResaveCommand::declare(QCommandLineParser &parser)
{
    parser.addOption(stdoutOption);
    parser.addOption(keepLayoutOption);
    parser.addPositionalArgument(QStringLiteral("PRESET"), QStringLiteral("Presets to load and save."),
                                 QStringLiteral("PRESET..."));
}

int ResaveCommand::run(const QCommandLineParser &parser, CommandStreams streams)
{
    const QStringList arguments = parser.positionalArguments();
    const bool toStdout = parser.isSet(stdoutOption);
    if (arguments.isEmpty())
        throw CommandError("resave needs at least one PRESET. Try \"voriraz-cli resave --help\".");
    if (toStdout && arguments.size() > 1)
        throw CommandError("resave --stdout takes exactly one PRESET");

    const DataTree tree(dataFolder(parser));
    // Every name is checked before the first file is written.
    const std::vector<PresetFile> presets = tree.presets(arguments);

    int status = exitStatus::success;
    for (const PresetFile &preset : presets) {
        PresetSession session(tree.presetCatalogs());
        session.setKeepLayout(parser.isSet(keepLayoutOption));
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
                session.save(controls);
            }
        } catch (const std::exception &e) {
            streams.err << programName << ": " << preset.name << ": " << shownError(e) << '\n';
            status = exitStatus::problems;
        }
    }
    return status;
}

} // namespace voriraz::cli

#include "cli/StatsCommand.h"

#include "cli/DataTree.h"
#include "editing/ArmyStatistics.h"
#include "editing/PresetSession.h"

namespace voriraz::cli {

QString StatsCommand::name() const
{
    return QStringLiteral("stats");
}

QString StatsCommand::summary() const
{
    return QStringLiteral("Print the army totals the editor shows for a preset.");
}

QString StatsCommand::usage() const
{
    return QStringLiteral("PRESET [--data DIR]");
}

QString StatsCommand::description() const
{
    return QStringLiteral(
        "Loads PRESET as the editor does and prints the army's total experience, gold cost and power as the\n"
        "editor shows them, or the error the editor shows instead.\n\n")
        + presetArgumentHelp()
        + QStringLiteral("\n\nExit status: 0 with the totals, 1 when the editor would show an error, 2 when the\n"
                         "preset or the data folder was not found.");
}

void StatsCommand::declare(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("PRESET"), QStringLiteral("The preset."), QStringLiteral("PRESET"));
}

int StatsCommand::run(const QCommandLineParser &parser, CommandStreams streams)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1)
        throw CommandError("stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".");
    const DataTree tree(dataFolder(parser));
    const PresetFile preset = tree.preset(arguments.first());

    try {
        PresetSession session(tree.presetCatalogs());
        PresetControls controls;
        session.load(preset.path, controls);
        ArmyStatistics statistics(tree.folder());
        const ArmyTotals totals = statistics.compute(armySlotStates(controls, tree.presetCatalogs().creatures));
        streams.out << "Total experience: " << totals.experience << '\n'
                    << "Total cost (gold): " << totals.gold << '\n'
                    << "Total power: " << totals.power << '\n';
        streams.out.flush();
        return exitStatus::success;
    } catch (const std::exception &e) {
        streams.err << programName << ": " << preset.name << ": " << shownError(e) << '\n';
        return exitStatus::problems;
    }
}

} // namespace voriraz::cli

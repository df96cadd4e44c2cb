#include "cli/StatsCommand.h"

#include "cli/DataTree.h"
#include "editing/ArmyStatistics.h"
#include "editing/PresetSession.h"

namespace voriraz::cli {

std::string StatsCommand::name() const
{
    return "stats";
}

std::string StatsCommand::summary() const
{
    return "Print the army totals the editor shows for a preset.";
}

std::string StatsCommand::usage() const
{
    return "PRESET [--data DIR]";
}

std::string StatsCommand::description() const
{
    return "Loads PRESET as the editor does and prints the army's total experience, gold cost and power as the\n"
        "editor shows them, or the error the editor shows instead. Totals that leave a stack out (a creature\n"
        "the catalog or the reference table lacks) or pass over a second table entry of a creature say so\n"
        "on the error stream, one warning each; the exit status stays 0.\n\n"
        + presetArgumentHelp()
        + "\n\nExit status: 0 with the totals, 1 when the editor would show an error, 2 when the\n"
                         "preset or the data folder was not found.";
}

void StatsCommand::declare(CommandLine &line)
{
    line.addArguments("PRESET", "The preset.");
}

int StatsCommand::run(const CommandLine &line, CommandStreams streams)
{
    const Arguments &arguments = line.arguments();
    if (arguments.size() != 1)
        throw CommandError("stats takes exactly one PRESET. Try \"voriraz-cli stats --help\".");
    const DataTree tree(dataFolder(line));
    const PresetFile preset = tree.preset(arguments.front());

    try {
        PresetSession session(tree.presetCatalogs());
        session.load(preset.path);
        ArmyStatistics statistics(tree.folder());
        std::vector<std::string> warnings;
        const ArmyTotals totals = statistics.compute(
            armySlotStates(session.values(), tree.presetCatalogs().creatures, &session.unknownIdentifiers()), &warnings);
        // Scripts read the totals: what they leave out is said beside them,
        // on the error stream, and the status stays.
        for (const std::string &warning : warnings)
            streams.err << programName << ": " << preset.name << ": warning: " << warning << '\n';
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

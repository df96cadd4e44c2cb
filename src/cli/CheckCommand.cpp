#include "cli/CheckCommand.h"

#include "cli/DataTree.h"
#include "cli/PresetCheck.h"

namespace voriraz::cli {

std::string CheckCommand::name() const
{
    return "check";
}

std::string CheckCommand::summary() const
{
    return "Report what the editor would refuse or lose in presets.";
}

std::string CheckCommand::usage() const
{
    return "[--data DIR] [PRESET...]";
}

std::string CheckCommand::description() const
{
    return "Loads each PRESET (default: every preset of the presets folder) exactly as the editor does and prints\n"
        "one line per finding, \"PRESET: ELEMENT: MESSAGE\": errors that stop the load (the editor's messages),\n"
        "identifiers missing from their catalogs, more than five skills or eight army items, counts that are\n"
        "not integers, army creatures without a reference table entry, errors of the army totals, and saves\n"
        "the editor would refuse; and what each save would change: \"a save\" is every save, the default one\n"
        "and the one that keeps the layout, unless a finding says the one that keeps the layout does\n"
        "otherwise (identifiers the catalogs lack, letter case, empty slots, nodes a save writes anew).\n"
        "Icons shown as placeholders and creatures the reference table holds twice are warnings on the\n"
        "error stream. Nothing is written.\n\n"
        + presetArgumentHelp()
        + "\n\nExit status: 0 when nothing was found, 1 when something was, 2 when the check could not run.";
}

void CheckCommand::declare(CommandLine &line)
{
    line.addArguments("PRESET", "Presets to check (default: all).");
}

int CheckCommand::run(const CommandLine &line, CommandStreams streams)
{
    const DataTree tree(dataFolder(line));
    const Arguments &arguments = line.arguments();
    const std::vector<PresetFile> presets = arguments.empty() ? tree.allPresets() : tree.presets(arguments);

    PresetCheck check(tree);
    // The data folder's own flaws are no finding of a preset: they go to the
    // error stream and leave the exit status alone.
    for (const std::string &warning : check.dataWarnings())
        streams.err << programName << ": warning: " << warning << '\n';
    bool found = false;
    for (const PresetFile &preset : presets) {
        for (const Finding &finding : check.check(preset)) {
            found = true;
            streams.out << preset.name << ": ";
            if (!finding.element.empty())
                streams.out << finding.element << ": ";
            streams.out << finding.message << '\n';
        }
    }
    streams.out.flush();
    return found ? exitStatus::problems : exitStatus::success;
}

} // namespace voriraz::cli

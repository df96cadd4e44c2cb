#include "cli/Commands.h"
#include "cli/DescriptorOutput.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <iostream>

using namespace voriraz::cli;

namespace {

const CommandOption versionOption {{"v", "version"}, "Displays version information.", {}, {}};

int run(const Arguments &arguments, std::ostream &out)
{
    const std::vector<std::unique_ptr<Command>> commands = allCommands();

    std::string description = "Checks, re-saves and totals the presets of a Voriraz Editor data tree "
                              "with the editor's own code, without its window.\n\nCommands:\n";
    for (const auto &command : commands) {
        std::string name = command->name();
        name.resize(std::max<std::size_t>(name.size(), 8), ' ');
        description += "  " + name + "  " + command->summary() + "\n";
    }
    description += "\nRun \"" + std::string(programName) + " COMMAND --help\" for the options of a command.";

    CommandLine line(description);
    line.addOption(helpOption);
    line.addOption(versionOption);
    line.addArguments("COMMAND", "The command to run.");
    // Everything after the command's name is the command's to parse.
    line.endOptionsAtFirstArgument();
    const std::string usage = std::string(programName) + " COMMAND [ARGUMENTS...]";

    try {
        line.parse(arguments);
    } catch (const UsageError &e) {
        std::cerr << programName << ": " << e.what() << " Try \"" << programName << " --help\".\n";
        return exitStatus::trouble;
    }
    if (line.isSet(versionOption)) {
        out << programName << ' ' << VORIRAZ_VERSION << '\n';
        return exitStatus::success;
    }
    const Arguments &given = line.arguments();
    const bool help = line.isSet(helpOption);
    if (help || given.empty()) {
        (help ? out : std::cerr) << line.helpText(usage);
        return help ? exitStatus::success : exitStatus::trouble;
    }

    for (const auto &command : commands) {
        if (command->name() == given.front())
            return command->execute(Arguments(given.begin() + 1, given.end()), {out, std::cerr});
    }
    std::cerr << programName << ": unknown command \"" << given.front() << "\". Try \"" << programName
              << " --help\".\n";
    return exitStatus::trouble;
}

} // namespace

int main(int argc, char *argv[])
{
    // Standard output through a buffer that keeps the reason of a failed
    // write: output that never arrived ends the program with a failure.
    voriraz::platform::useBinaryStandardStreams();
    voriraz::platform::failOversizeWrites();
    // An interrupted pack or save leaves the file it would replace as it was
    // and no temporary file beside it.
    voriraz::platform::removeTemporariesOnInterrupt();
    DescriptorBuffer buffer(1);
    std::ostream out(&buffer);
    int status = run(voriraz::platform::programArguments(argc, argv), out);
    // A command reports its own failed output; the rest is checked here.
    if (out && !outputWritten(out, std::cerr))
        status = std::max(status, exitStatus::problems);
    return status;
}

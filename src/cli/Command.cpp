#include "cli/Command.h"

#include "cli/DescriptorOutput.h"

#include <algorithm>
#include <optional>

namespace voriraz::cli {

namespace {

const CommandOption dataOption {
    {"data"}, "The data folder to use (default: the \"data\" folder beside the program).", "DIR", {}};

std::string quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

} // namespace

const CommandOption helpOption {{"h", "help"}, "Show this help.", {}, {}};

void Command::declareAll(CommandLine &line)
{
    line.addOption(helpOption);
    line.addOption(dataOption);
    declare(line);
}

std::string Command::helpText()
{
    CommandLine line(description());
    declareAll(line);
    return line.helpText(std::string(programName) + " " + name() + " " + usage());
}

int Command::execute(const Arguments &arguments, CommandStreams streams)
{
    try {
        CommandLine line(description());
        declareAll(line);
        try {
            line.parse(arguments);
        } catch (const UsageError &e) {
            throw CommandError(e.what() + std::string(" Try \"") + programName + " " + name() + " --help\".");
        }
        int status = exitStatus::success;
        if (line.isSet(helpOption))
            streams.out << helpText();
        else
            status = run(line, streams);
        // Results that did not reach their file are no success.
        if (!outputWritten(streams.out, streams.err))
            status = std::max(status, exitStatus::problems);
        return status;
    } catch (const std::exception &e) {
        streams.err << programName << ": " << e.what() << '\n';
    }
    return exitStatus::trouble;
}

DataFolder Command::dataFolder(const CommandLine &line) const
{
    DataFolder folder;
    if (line.isSet(dataOption)) {
        folder = dataFolderAt(line.value(dataOption));
        if (folder.path.empty())
            throw CommandError("--data needs the path of a folder");
    } else {
        folder = dataFolderOf(applicationDir());
    }
    if (const std::optional<std::string> problem = dataFolderProblem(folder.path))
        throw CommandError("data folder " + quoted(folder.path) + *problem);
    return folder;
}

} // namespace voriraz::cli

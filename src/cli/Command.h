#pragma once

#include "catalogs/ApplicationDir.h"
#include "cli/CommandLine.h"

#include <ostream>
#include <stdexcept>
#include <string>

namespace voriraz::cli {

// The program's name in its messages and usage lines.
inline constexpr const char *programName = "voriraz-cli";

// The exit statuses of every command.
namespace exitStatus {
inline constexpr int success = 0;  // done; for check: nothing found
inline constexpr int problems = 1; // check found something, or a preset could not be loaded, saved or totalled
inline constexpr int trouble = 2;  // the command could not run: bad usage, data folder or preset not found
} // namespace exitStatus

// A command that cannot run at all (bad usage, a data folder or preset that
// is missing): the message goes to the error stream and the command ends
// with exitStatus::trouble.
class CommandError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Where a command writes: its results to out, its messages to err.
struct CommandStreams
{
    std::ostream &out;
    std::ostream &err;
};

// One sub-command of voriraz-cli. A command declares its own options and
// arguments, parses them with CommandLine and runs; main only picks
// the command by name. Every command takes --help and --data DIR.
class Command
{
public:
    virtual ~Command() = default;

    virtual std::string name() const = 0;
    // One line for the list of commands.
    virtual std::string summary() const = 0;

    // Parses the arguments that follow the command's name and runs the
    // command: prints its help for --help, and for an error that keeps it
    // from running prints "voriraz-cli: <message>" to err. Output that
    // cannot be written to out (a full disk) is said on err and makes the
    // status at least exitStatus::problems. Returns the exit status; never
    // throws.
    int execute(const Arguments &arguments, CommandStreams streams);

    // The usage line and help text of the command.
    std::string helpText();

protected:
    // The part of the usage line after "voriraz-cli <name>", e.g.
    // "[options] [PRESET...]".
    virtual std::string usage() const = 0;
    // What the command does, and anything the option list does not say.
    virtual std::string description() const = 0;
    // Adds the command's own options and positional arguments.
    virtual void declare(CommandLine &line) = 0;
    // Runs with the parsed arguments. Throws CommandError when it cannot run.
    virtual int run(const CommandLine &line, CommandStreams streams) = 0;

    // The folder named by --data, or the "data" folder beside the executable.
    // Throws CommandError when it does not exist or is no folder.
    DataFolder dataFolder(const CommandLine &line) const;

private:
    void declareAll(CommandLine &line);
};

// -h, --help, for the program and each of its commands.
extern const CommandOption helpOption;

} // namespace voriraz::cli

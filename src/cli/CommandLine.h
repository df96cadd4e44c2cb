#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace voriraz::cli {

// The arguments of a command line, without the program's name.
using Arguments = std::vector<std::string>;

// An option: its names (a single letter is a short name, "-o"; longer ones
// are long names, "--output"), the line the help gives it and, for an option
// that takes a value, the value's name in the help ("FILE") and the value it
// has when it is not given.
struct CommandOption
{
    std::vector<std::string> names;
    std::string description;
    std::string valueName;
    std::string defaultValue;
};

// A command line that cannot be parsed: an unknown option, an option without
// its value, a value given to an option that takes none. The message is one
// sentence, such as "Unknown option 'x'.".
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The options and positional arguments of voriraz-cli or one of its
// commands, parsed with CLI11 under the rules the tool has always had:
// options and positional arguments in any order, "--" ends the options, a
// later value of an option replaces an earlier one, short options may be
// compacted ("-ofile"), "--name=" gives an empty value, and a flag takes
// no value. Every unknown option is reported, not only the first. The help
// lists options and arguments in the order they were added.
class CommandLine
{
public:
    explicit CommandLine(const std::string &description);
    ~CommandLine();
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    void addOption(const CommandOption &option);
    // Names the positional arguments, which are collected in order.
    void addArguments(const std::string &name, const std::string &description);
    // Makes everything after the first positional argument positional too,
    // for arguments that belong to a command parsed later.
    void endOptionsAtFirstArgument();

    // Throws UsageError.
    void parse(const Arguments &arguments);

    bool isSet(const CommandOption &option) const;
    // The last value given for the option, or its default.
    std::string value(const CommandOption &option) const;
    const Arguments &arguments() const { return mArguments; }

    // "Usage: <usage>", the description, and the options and arguments with
    // their descriptions in two columns, wrapped to 79 columns.
    std::string helpText(const std::string &usage) const;

private:
    const CLI::Option *find(const CommandOption &option) const;
    std::string unknownOptionsError() const;
    std::string valueError(const Arguments &arguments) const;

    std::unique_ptr<CLI::App> mApp;
    Arguments mArguments;
};

} // namespace voriraz::cli

#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

namespace voriraz::cli {

namespace {

// "-o,--output", as CLI11 takes names.
std::string cliNames(const CommandOption &option)
{
    std::string names;
    for (const std::string &name : option.names)
        names += (names.empty() ? "" : ",") + std::string(name.size() == 1 ? "-" : "--") + name;
    return names;
}

bool takesValue(const CLI::Option &option)
{
    return option.get_items_expected_max() > 0;
}

// The lines of a text, each at most width characters long, broken at blanks
// and at the text's own line breaks.
std::vector<std::string> wrapped(const std::string &text, std::size_t width)
{
    std::vector<std::string> lines;
    std::istringstream paragraphs(text);
    std::string paragraph;
    while (std::getline(paragraphs, paragraph)) {
        std::istringstream words(paragraph);
        std::string line;
        std::string word;
        while (words >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                lines.push_back(line);
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        lines.push_back(line);
    }
    return lines;
}

// One entry of the help's list of options or arguments: the names in a
// column of the given width, the description beside them up to column 79.
std::string listEntry(std::string names, std::size_t width, const std::string &description)
{
    std::string text;
    for (const std::string &line : wrapped(description, 79 - (2 + width + 1))) {
        names.resize(std::max(names.size(), width), ' ');
        text += "  " + names + " " + line + "\n";
        names.clear();
    }
    return text;
}

} // namespace

CommandLine::CommandLine(const std::string &description)
    : mApp(std::make_unique<CLI::App>(description))
{
    // Help is an option like any other here: a command says what it prints.
    mApp->set_help_flag();
    // Unknown options are collected and reported together after the parse.
    mApp->allow_extras();
    // "/name" is a path on every system, never an option.
    mApp->allow_windows_style_options(false);
}

CommandLine::~CommandLine() = default;

void CommandLine::addOption(const CommandOption &option)
{
    if (option.valueName.empty()) {
        const std::string &description = option.description;
        mApp->add_flag(cliNames(option), description)->disable_flag_override();
    } else {
        mApp->add_option(cliNames(option), CLI::callback_t(), option.description)
            ->type_name(option.valueName)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
}

void CommandLine::addArguments(const std::string &name, const std::string &description)
{
    // Taken as given: no splitting of "[a,b]" or at delimiters, any number.
    mApp->add_option(name, CLI::callback_t(), description)
        ->expected(CLI::detail::expected_max_vector_size, CLI::detail::expected_max_vector_size)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void CommandLine::endOptionsAtFirstArgument()
{
    mApp->positionals_at_end();
}

void CommandLine::parse(const Arguments &arguments)
{
    // CLI11 would take the next argument as the value of "--name=", which
    // gives an empty one.
    Arguments given;
    bool optionsEnded = false;
    for (const std::string &argument : arguments) {
        optionsEnded = optionsEnded || argument == "--";
        const CLI::Option *option = !optionsEnded && argument.starts_with("--") && argument.ends_with('=')
                                        ? mApp->get_option_no_throw(argument.substr(0, argument.size() - 1))
                                        : nullptr;
        if (option != nullptr && takesValue(*option)) {
            given.push_back(argument.substr(0, argument.size() - 1));
            given.emplace_back();
        } else {
            given.push_back(argument);
        }
    }
    // CLI11 reads the arguments from the back.
    std::reverse(given.begin(), given.end());
    try {
        mApp->parse(given);
    } catch (const CLI::ArgumentMismatch &) {
        throw UsageError(valueError(arguments));
    } catch (const CLI::ParseError &e) {
        throw UsageError(e.what());
    }
    const std::string unknown = unknownOptionsError();
    if (!unknown.empty())
        throw UsageError(unknown);
    for (const CLI::Option *option : mApp->get_options()) {
        if (option->get_positional())
            mArguments = option->results();
    }
}

std::string CommandLine::unknownOptionsError() const
{
    std::vector<std::string> names;
    for (const std::string &argument : mApp->remaining()) {
        if (argument == "--") {
            // CLI11 keeps the end of the options among the unknown.
        } else if (argument.starts_with("--")) {
            const std::size_t assign = argument.find('=');
            names.push_back(argument.substr(2, assign == std::string::npos ? assign : assign - 2));
        } else if (argument.starts_with('-')) {
            // Compacted short options: every letter up to one that takes the
            // rest as its value, or is given a value with "=".
            for (std::size_t i = 1; i < argument.size(); ++i) {
                const CLI::Option *option = mApp->get_option_no_throw(std::string {'-', argument[i]});
                if (option == nullptr)
                    names.emplace_back(1, argument[i]);
                else if (takesValue(*option) || argument[i + 1] == '=')
                    break;
            }
        }
    }
    if (names.empty())
        return {};
    if (names.size() == 1)
        return "Unknown option '" + names.front() + "'.";
    std::string list;
    for (const std::string &name : names)
        list += (list.empty() ? "" : ", ") + name;
    return "Unknown options: " + list + ".";
}

std::string CommandLine::valueError(const Arguments &arguments) const
{
    // CLI11 stops at the first such error. A flag is given a value with "=";
    // an option lacks its value only when it is the last argument.
    for (const std::string &argument : arguments) {
        if (argument == "--")
            break;
        const std::size_t assign = argument.find('=');
        if (!argument.starts_with("--") || assign == std::string::npos)
            continue;
        const CLI::Option *option = mApp->get_option_no_throw(argument.substr(0, assign));
        if (option != nullptr && !takesValue(*option))
            return "Unexpected value after '" + argument.substr(0, assign) + "'.";
    }
    return "Missing value after '" + arguments.back() + "'.";
}

const CLI::Option *CommandLine::find(const CommandOption &option) const
{
    const std::string &name = option.names.front();
    return mApp->get_option((name.size() == 1 ? "-" : "--") + name);
}

bool CommandLine::isSet(const CommandOption &option) const
{
    return find(option)->count() > 0;
}

std::string CommandLine::value(const CommandOption &option) const
{
    const CLI::Option *found = find(option);
    return found->count() > 0 ? found->results().back() : option.defaultValue;
}

std::string CommandLine::helpText(const std::string &usage) const
{
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::pair<std::string, std::string>> arguments;
    std::size_t width = 0;
    for (const CLI::Option *option : mApp->get_options()) {
        if (option->get_positional()) {
            arguments.emplace_back(option->get_name(), option->get_description());
            continue;
        }
        std::string names;
        for (const std::string &name : option->get_snames())
            names += ", -" + name;
        for (const std::string &name : option->get_lnames())
            names += ", --" + name;
        names.erase(0, 2);
        if (takesValue(*option))
            names += " <" + option->get_type_name() + ">";
        width = std::max(width, names.size() + 1);
        options.emplace_back(names, option->get_description());
    }
    width = std::min<std::size_t>(width, 50);

    std::string text = "Usage: " + usage + "\n";
    if (!mApp->get_description().empty())
        text += mApp->get_description() + "\n";
    text += "\n";
    if (!options.empty())
        text += "Options:\n";
    for (const auto &[names, description] : options)
        text += listEntry(names, width, description);
    if (!arguments.empty()) {
        if (!options.empty())
            text += "\n";
        text += "Arguments:\n";
        for (const auto &[name, description] : arguments)
            text += listEntry(name, width, description);
    }
    return text;
}

} // namespace voriraz::cli

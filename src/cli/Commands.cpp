#include "cli/Commands.h"

#include "cli/CheckCommand.h"
#include "cli/PackCommand.h"
#include "cli/ResaveCommand.h"
#include "cli/StatsCommand.h"

namespace voriraz::cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<PackCommand>());
    commands.push_back(std::make_unique<CheckCommand>());
    commands.push_back(std::make_unique<ResaveCommand>());
    commands.push_back(std::make_unique<StatsCommand>());
    return commands;
}

} // namespace voriraz::cli

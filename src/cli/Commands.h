#pragma once

#include "cli/Command.h"

#include <memory>
#include <vector>

namespace voriraz::cli {

// Every command of voriraz-cli, in the order the help lists them.
std::vector<std::unique_ptr<Command>> allCommands();

} // namespace voriraz::cli

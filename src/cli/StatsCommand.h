#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli stats PRESET [--data DIR]: prints the army totals the window
// shows for the preset (experience, gold, power, under the window's
// captions), or the error the window shows instead.
class StatsCommand : public Command
{
public:
    std::string name() const override;
    std::string summary() const override;

protected:
    std::string usage() const override;
    std::string description() const override;
    void declare(CommandLine &line) override;
    int run(const CommandLine &line, CommandStreams streams) override;
};

} // namespace voriraz::cli

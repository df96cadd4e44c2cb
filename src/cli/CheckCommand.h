#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli check [--data DIR] [PRESET...]: reports, one line per finding
// ("<preset>: <element>: <message>"), what the window would refuse or lose
// in each preset (all presets of the presets folder by default). Exit
// status: success when nothing was found, problems when something was.
class CheckCommand : public Command
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

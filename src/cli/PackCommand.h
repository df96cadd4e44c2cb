#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli pack OUT.pak [--data DIR] [--on-error abort|ignore|retry-once]:
// packs DIR/mod into a new archive at OUT.pak with the archive writer and
// the settings of the editor's "Create mod", so both make the same archive.
// A file that cannot be packed is answered from --on-error instead of a
// prompt. Prints a progress line while it works when stderr is a terminal.
class PackCommand : public Command
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

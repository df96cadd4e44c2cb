#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli resave [--data DIR] [--stdout | -o FILE] [--keep-layout]
// [--drop-unknown] PRESET...: loads and saves each preset exactly as the
// window does when the user saves without editing; with --stdout, writes
// nothing and prints the document instead; with -o, saves it to FILE and
// leaves the preset as it was. A preset the window would not load or save,
// or whose save would drop items the catalogs lack (unless --drop-unknown),
// is reported on the error stream and left as it was; the others are still
// saved. A target that exists and is no regular file is refused, as usage
// that cannot run.
class ResaveCommand : public Command
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

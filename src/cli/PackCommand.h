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
    QString name() const override;
    QString summary() const override;

protected:
    QString usage() const override;
    QString description() const override;
    void declare(QCommandLineParser &parser) override;
    int run(const QCommandLineParser &parser, CommandStreams streams) override;
};

} // namespace voriraz::cli

#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli resave [--data DIR] [--stdout | -o FILE] PRESET...: loads and
// saves each preset exactly as the window does when the user saves without
// editing; with --stdout, writes nothing and prints the document instead;
// with -o, saves it to FILE and leaves the preset as it was. A preset
// the window would not load or save is reported on the error stream and
// left as it was; the others are still saved.
class ResaveCommand : public Command
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

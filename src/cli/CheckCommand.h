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
    QString name() const override;
    QString summary() const override;

protected:
    QString usage() const override;
    QString description() const override;
    void declare(QCommandLineParser &parser) override;
    int run(const QCommandLineParser &parser, CommandStreams streams) override;
};

} // namespace voriraz::cli

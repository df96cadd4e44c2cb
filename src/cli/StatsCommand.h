#pragma once

#include "cli/Command.h"

namespace voriraz::cli {

// voriraz-cli stats PRESET [--data DIR]: prints the army totals the window
// shows for the preset (experience, gold, power, under the window's
// captions), or the error the window shows instead.
class StatsCommand : public Command
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

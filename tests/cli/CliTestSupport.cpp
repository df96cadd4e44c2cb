#include "CliTestSupport.h"

#include "presets/PresetDirectory.h"

#include "SystemSupport.h"

#include <sstream>

namespace fs = std::filesystem;

namespace voriraz::test {

Outcome runCommand(cli::Command &command, const cli::Arguments &arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.status = command.execute(arguments, {out, err});
    run.out = out.str();
    run.err = err.str();
    return run;
}

Outcome runCommand(cli::Command &&command, const cli::Arguments &arguments)
{
    return runCommand(command, arguments);
}

Outcome runProgram(const cli::Arguments &arguments, const fs::path &workingDirectory, const std::string &stdoutFile)
{
    ProcessRequest request;
    request.program = VORIRAZ_CLI_PROGRAM;
    request.arguments = arguments;
    request.workingDirectory = workingDirectory;
    request.stdoutFile = stdoutFile;
    const ProcessRun process = runProcess(request);
    Outcome run;
    run.out = process.out;
    run.err = process.err;
    if (!process.started)
        ADD_FAILURE() << "cannot start voriraz-cli: " << process.failure;
    else if (!process.finished)
        ADD_FAILURE() << "voriraz-cli did not finish normally";
    else
        run.status = process.status;
    return run;
}

DataCopy::DataCopy(const fs::path &from, const std::string &name)
    : mFolder(mDir / name)
{
    copyTree(from, mFolder);
    if (!fs::exists(mFolder / "img"))
        paintCatalogIcons(mFolder);
}

std::vector<std::string> presetNames(const fs::path &dataFolder)
{
    return listPresetFiles((dataFolder / presetsFolder).string());
}

std::string pathArg(const fs::path &path)
{
    return path.string();
}

cli::Arguments concat(cli::Arguments first, const cli::Arguments &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace voriraz::test

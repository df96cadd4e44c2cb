#include "CliTestSupport.h"

#include "presets/PresetDirectory.h"

#include <QProcess>

#include <sstream>

namespace fs = std::filesystem;

namespace voriraz::test {

Outcome runCommand(cli::Command &command, const QStringList &arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.status = command.execute(arguments, {out, err});
    run.out = out.str();
    run.err = err.str();
    return run;
}

Outcome runCommand(cli::Command &&command, const QStringList &arguments)
{
    return runCommand(command, arguments);
}

Outcome runProgram(const QStringList &arguments, const fs::path &workingDirectory, const QString &stdoutFile)
{
    QProcess process;
    if (!workingDirectory.empty())
        process.setWorkingDirectory(qs(workingDirectory));
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(VORIRAZ_CLI_PROGRAM), arguments);
    Outcome run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "voriraz-cli did not finish normally: " << process.errorString().toStdString();
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
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

QString qs(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

} // namespace voriraz::test

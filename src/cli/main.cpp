#include "cli/Commands.h"
#include "cli/DescriptorOutput.h"

#include <QCoreApplication>

#include <algorithm>
#include <iostream>
#include <unistd.h>

using namespace voriraz::cli;

namespace {

int run(QCoreApplication &application, std::ostream &out)
{
    const std::vector<std::unique_ptr<Command>> commands = allCommands();

    QString description = QStringLiteral("Checks, re-saves and totals the presets of a Voriraz Editor data tree "
                                         "with the editor's own code, without its window.\n\nCommands:\n");
    for (const auto &command : commands)
        description += QStringLiteral("  %1  %2\n").arg(command->name(), -8).arg(command->summary());
    description += QStringLiteral("\nRun \"%1 COMMAND --help\" for the options of a command.").arg(QString::fromLatin1(programName));

    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    const QCommandLineOption &help = helpOption();
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("The command to run."),
                                 QStringLiteral("COMMAND [ARGUMENTS...]"));
    // Everything after the command's name is the command's to parse.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QString usage = QString::fromLatin1(programName) + QStringLiteral(" COMMAND [ARGUMENTS...]");

    if (!parser.parse(application.arguments())) {
        std::cerr << programName << ": " << parser.errorText().toStdString() << " Try \"" << programName << " --help\".\n";
        return exitStatus::trouble;
    }
    if (parser.isSet(version)) {
        out << programName << ' ' << VORIRAZ_VERSION << '\n';
        return exitStatus::success;
    }
    const QStringList arguments = parser.positionalArguments();
    if (parser.isSet(help) || arguments.isEmpty()) {
        (arguments.isEmpty() && !parser.isSet(help) ? std::cerr : out)
            << helpWithUsage(parser, usage).toStdString();
        return parser.isSet(help) ? exitStatus::success : exitStatus::trouble;
    }

    for (const auto &command : commands) {
        if (command->name() == arguments.first())
            return command->execute(arguments.mid(1), {out, std::cerr});
    }
    std::cerr << programName << ": unknown command \"" << arguments.first().toStdString() << "\". Try \"" << programName
              << " --help\".\n";
    return exitStatus::trouble;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(programName));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORIRAZ_VERSION));
    // Standard output through a buffer that keeps the reason of a failed
    // write: output that never arrived ends the program with a failure.
    DescriptorBuffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    int status = run(application, out);
    // A command reports its own failed output; the rest is checked here.
    if (out && !outputWritten(out, std::cerr))
        status = std::max(status, exitStatus::problems);
    return status;
}

#include "cli/Command.h"

#include "cli/DescriptorOutput.h"

#include <algorithm>
#include <optional>

namespace voriraz::cli {

namespace {

const QCommandLineOption dataOption(QStringLiteral("data"),
                                    QStringLiteral("The data folder to use (default: the \"data\" folder beside the program)."),
                                    QStringLiteral("DIR"));

std::string quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

} // namespace

const QCommandLineOption &helpOption()
{
    static const QCommandLineOption option({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    return option;
}

QString helpWithUsage(const QCommandLineParser &parser, const QString &usage)
{
    QString text = parser.helpText();
    const qsizetype endOfUsage = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: ") + usage + (endOfUsage < 0 ? QString() : text.mid(endOfUsage));
}

void Command::declareAll(QCommandLineParser &parser)
{
    parser.setApplicationDescription(description());
    parser.addOption(helpOption());
    parser.addOption(dataOption);
    declare(parser);
}

QString Command::helpText()
{
    QCommandLineParser parser;
    declareAll(parser);
    return helpWithUsage(parser, QString::fromLatin1(programName) + QLatin1Char(' ') + name() + QLatin1Char(' ') + usage());
}

int Command::execute(const QStringList &arguments, CommandStreams streams)
{
    try {
        QCommandLineParser parser;
        declareAll(parser);
        // QCommandLineParser skips the first argument, the program's name.
        if (!parser.parse(QStringList {name()} + arguments)) {
            throw CommandError(parser.errorText().toStdString() + " Try \"" + programName + " " + name().toStdString()
                               + " --help\".");
        }
        int status = exitStatus::success;
        if (parser.isSet(helpOption()))
            streams.out << helpText().toStdString();
        else
            status = run(parser, streams);
        // Results that did not reach their file are no success.
        if (!outputWritten(streams.out, streams.err))
            status = std::max(status, exitStatus::problems);
        return status;
    } catch (const std::exception &e) {
        streams.err << programName << ": " << e.what() << '\n';
    }
    return exitStatus::trouble;
}

DataFolder Command::dataFolder(const QCommandLineParser &parser) const
{
    DataFolder folder;
    if (parser.isSet(dataOption)) {
        folder = dataFolderAt(parser.value(dataOption).toStdString());
        if (folder.path.empty())
            throw CommandError("--data needs the path of a folder");
    } else {
        folder = dataFolderOf(applicationDir());
    }
    if (const std::optional<std::string> problem = dataFolderProblem(folder.path))
        throw CommandError("data folder " + quoted(folder.path) + *problem);
    return folder;
}

} // namespace voriraz::cli

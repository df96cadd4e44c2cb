#include "app/Unit1.h"
#include "platform/Files.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char *const programName = "voriraz";

// The window's command line: voriraz [--data DIR] [--keep-layout] [PRESET].
struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption help {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version {{QStringLiteral("v"), QStringLiteral("version")},
                                QStringLiteral("Show the program's version.")};
    QCommandLineOption data {QStringLiteral("data"),
                             QStringLiteral("The data folder to edit (default: the \"data\" folder beside the program)."),
                             QStringLiteral("DIR")};
    QCommandLineOption keepLayout {QStringLiteral("keep-layout"),
                                   QStringLiteral("Saves keep each file's own layout and rewrite only what was edited "
                                                  "(for this run).")};

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral(
            "Edits the hero presets of a data folder: its catalogs, icons and creature tables, and the presets\n"
            "of DIR/mod/Maps/DuelMode/Heroes.\n\n"
            "A PRESET with a \"/\" in it is a path to a file of that folder; a bare file name is a preset of it.\n"
            "The window opens on PRESET, or on the first preset of the list."));
        // Qt's own options are words after one dash (-style, -reverse):
        // never read them as a row of one-letter options such as -h or -v.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, data, keepLayout});
        parser.addPositionalArgument(QStringLiteral("PRESET"), QStringLiteral("The preset to open."),
                                     QStringLiteral("[PRESET]"));
    }

    QString helpText() const
    {
        // Qt's usage line starts with the path the program was started by.
        const QString text = parser.helpText();
        return QStringLiteral("Usage: %1 [--data DIR] [--keep-layout] [PRESET]").arg(QString::fromLatin1(programName))
            + text.mid(text.indexOf(QLatin1Char('\n')));
    }
};

// Prints text to standard output; a failed write is a failure.
int printed(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), stdout)
                             == static_cast<std::size_t>(bytes.size())
                         && std::fflush(stdout) == 0;
    if (!written)
        std::perror("voriraz: cannot write to standard output");
    return written ? 0 : 1;
}

#ifdef _WIN32
// On Windows the editor is a window program, which gets no console: started
// from a command prompt, its standard output and error lead nowhere unless
// they were redirected. Those that lead nowhere are sent to the prompt's
// console, so --help, --version and the command line's errors are seen.
void useParentConsole()
{
    const auto unconnected = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_UNKNOWN;
    };
    const bool output = unconnected(STD_OUTPUT_HANDLE);
    const bool error = unconnected(STD_ERROR_HANDLE);
    if ((!output && !error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (output)
        std::freopen("CONOUT$", "w", stdout);
    if (error)
        std::freopen("CONOUT$", "w", stderr);
}
#endif

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version are answered before anything of the window's
    // platform starts, so they need no display. Qt's own options (such as
    // -style) are only known once the application exists; until then a
    // failed parse is not yet an error.
#ifdef _WIN32
    useParentConsole();
#endif
    {
        CommandLine early;
        early.parser.parse(argumentsOf(argc, argv));
        if (early.parser.isSet(early.help))
            return printed(early.helpText());
        if (early.parser.isSet(early.version))
            return printed(QString::fromLatin1(programName) + QStringLiteral(" " VORIRAZ_VERSION "\n"));
    }

    voriraz::platform::failOversizeWrites();
    QApplication application(argc, argv);
    // Where QSettings keeps the window's few remembered choices.
    QCoreApplication::setOrganizationName(QStringLiteral("Voriraz"));
    QCoreApplication::setApplicationName(QStringLiteral("Voriraz Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORIRAZ_VERSION));

    CommandLine commandLine;
    QCommandLineParser &parser = commandLine.parser;
    QString error;
    if (!parser.parse(application.arguments()))
        error = parser.errorText();
    else if (parser.positionalArguments().size() > 1)
        error = QStringLiteral("Only one PRESET can be opened.");
    else if (parser.isSet(commandLine.data) && parser.value(commandLine.data).isEmpty())
        error = QStringLiteral("--data needs the path of a folder.");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s: %s Try \"%s --help\".\n", programName, qPrintable(error), programName);
        return 2;
    }

    voriraz::WindowOptions options;
    if (parser.isSet(commandLine.data))
        options.dataFolder = voriraz::dataFolderAt(parser.value(commandLine.data).toStdString()).path;
    if (!parser.positionalArguments().isEmpty())
        options.preset = parser.positionalArguments().first().toStdString();

    voriraz::TForm1 Form1(options);
    // Saves keep each file's own layout for this run.
    if (parser.isSet(commandLine.keepLayout))
        Form1.setKeepLayout(true);
    Form1.show();
    return application.exec();
}

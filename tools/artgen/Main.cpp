// voriraz-artgen: paints the editor's catalog icons and window pictures.
//
//   voriraz-artgen icons <dataDir>   one JPEG tile per catalog entry
//   voriraz-artgen art <outDir>      window PNGs and art.qrc
//
// Quiet on success. Qt's own diagnostics are held back and only shown when
// the run fails, so a build log stays clean.

#include "ArtgenJobs.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace {

QStringList gQtMessages;

void holdMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // A fatal message aborts right after this returns, so it cannot wait.
    if (type == QtFatalMsg)
        std::fprintf(stderr, "voriraz-artgen: %s\n", qPrintable(message));
    else
        gQtMessages.append(message);
}

int usage()
{
    std::fputs("usage: voriraz-artgen icons <dataDir>\n"
               "       voriraz-artgen art <outDir>\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // No window is ever shown; do not depend on a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(holdMessage);
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 3)
        return usage();
    const QString& command = args[1];
    const QString& dir = args[2];

    QString error;
    bool ok = false;
    if (command == QLatin1String("icons"))
        ok = voriraz::writeCatalogIcons(dir, error);
    else if (command == QLatin1String("art"))
        ok = voriraz::writeWindowArt(dir, error);
    else
        return usage();

    if (!ok) {
        std::fprintf(stderr, "voriraz-artgen: %s\n", qPrintable(error));
        for (const QString& message : gQtMessages)
            std::fprintf(stderr, "  (Qt) %s\n", qPrintable(message));
        return 1;
    }
    return 0;
}

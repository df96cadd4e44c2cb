#include "app/Unit1.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Where QSettings keeps the window's few remembered choices.
    QCoreApplication::setOrganizationName(QStringLiteral("Voriraz"));
    QCoreApplication::setApplicationName(QStringLiteral("Voriraz Editor"));
    voriraz::TForm1 Form1;
    // Saves keep each file's own layout for this run.
    if (QCoreApplication::arguments().contains(QStringLiteral("--keep-layout")))
        Form1.setKeepLayout(true);
    Form1.show();
    return application.exec();
}

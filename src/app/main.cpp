#include "app/Unit1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    voriraz::TForm1 Form1;
    Form1.show();
    return application.exec();
}

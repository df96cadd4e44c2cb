#include <QCoreApplication>

#include <gtest/gtest.h>

// QProcess, which the tests start the program with, wants an application
// object.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

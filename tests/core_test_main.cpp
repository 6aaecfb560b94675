// Test main for the core units: a QCoreApplication exists for the whole run, so
// Qt Core facilities (event loop, QStandardPaths) behave as in the program.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

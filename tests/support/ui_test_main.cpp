#include <gtest/gtest.h>

#include <QApplication>

#include "support/test_environment.h"

// Widgets need a QApplication, not the QGuiApplication of the other suites.
int main(int argc, char** argv) {
    SetTestEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Widgets need a QApplication, not the QGuiApplication of the other suites.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

// One application object for the whole binary: text drawing needs it.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

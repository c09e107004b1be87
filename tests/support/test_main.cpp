#include <gtest/gtest.h>

#include <QGuiApplication>

#include "support/test_environment.h"

// One application object for the whole binary: text drawing needs it.
int main(int argc, char** argv) {
    SetTestEnvironment();
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Test binaries run at build time (test discovery) and under CI without a display unless a test
// script provides one: default to Qt's offscreen platform.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

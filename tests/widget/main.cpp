#include "platform/pixel_memory.h"

#include <QApplication>

#include <gtest/gtest.h>

// Widget tests drive the real main window on Qt's offscreen platform, with one
// 1920 x 1080 screen.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + PAVO_TEST_SCREEN_CONFIG);
    pavo::installPixelMemory();
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "platform/pixel_memory.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The tests run on the same pixel memory as the program, and in a home of their own:
// what they send to the trash lands in the temporary folder's file system (so that its
// home trash is the test files' own) and never in the user's trash. GLib reads HOME and
// XDG_DATA_HOME once, so they are set before anything runs.
int main(int argc, char** argv) {
    const QTemporaryDir home;
    if (!home.isValid()) return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    pavo::installPixelMemory();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

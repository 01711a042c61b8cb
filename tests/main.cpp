#include "platform/pixel_memory.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

// The tests run on the same pixel memory as the program, and in a home of their own:
// what they send to the trash lands in the temporary folder's file system (so that its
// home trash is the test files' own) and never in the user's trash. GLib reads HOME and
// XDG_DATA_HOME once, so they are set before anything runs. The trash there holds names
// that are not UTF-8, which Qt cannot name: the home is removed by its bytes.
int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    home.setAutoRemove(false);
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    pavo::installPixelMemory();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(home.path()).toStdString(), ignored);
    return result;
}

#include "app/app.h"
#include "platform/settings_store.h"
#include "support/fake_platform.h"
#include "support/test_files.h"
#include "viewer.h"

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pavo {
namespace {

class SettingsTest : public testing::Test {
  protected:
    QString folder() const { return dir.path() + QStringLiteral("/Pavo"); }
    QString storeFile() const { return folder() + QStringLiteral("/settings.reg"); }
    Viewer makeViewer() { return Viewer(platform, SettingsStore(folder())); }

    // A store folder that can never be created: its parent is a regular file.
    QString deniedFolder() const {
        const QString blocker = dir.path() + QStringLiteral("/blocker");
        test::writeBytes(blocker, "x");
        return blocker + QStringLiteral("/Pavo");
    }

    void writeStore(const QString& body) {
        QDir().mkpath(folder());
        test::writeBytes(storeFile(),
                         (QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                         "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n") +
                          body)
                             .toUtf8());
    }

    QTemporaryDir dir;
    test::FakePlatform platform;
};

// Every option set to something other than its default, so a round trip proves each one.
void setEveryOption(ViewerSettings& s) {
    int n = 100;
    for (const auto& [name, field] : numberSettings()) s.*field = n++;
    for (const auto& [name, field] : flagSettings()) s.*field = !(ViewerSettings().*field);
    s.posX = -7;
}

TEST_F(SettingsTest, FirstStartCreatesTheStoreAndKeepsEveryDefault) {
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(QFile::exists(storeFile()));
    for (const auto& [name, field] : numberSettings()) {
        EXPECT_EQ(viewer.settings.*field, viewer.defaults.*field) << name;
    }
    for (const auto& [name, field] : flagSettings()) {
        EXPECT_EQ(viewer.settings.*field, viewer.defaults.*field) << name;
    }
    EXPECT_EQ(viewer.settings.fixWindowPosition, 0)
        << "X11 window managers draw no invisible borders";
    EXPECT_EQ(viewer.settings.bufferTimeout, 900);
    EXPECT_EQ(viewer.settings.width, 600);
    EXPECT_EQ(viewer.settings.height, 800);
    EXPECT_EQ(viewer.settings.largeDownscale, 3);
    EXPECT_TRUE(viewer.settings.reduceFlicker);
    EXPECT_FALSE(viewer.settings.rememberExit);
    EXPECT_EQ(viewer.settings.ignoreVersion, QStringLiteral("1.2.0"));
}

TEST_F(SettingsTest, SavedOptionsReadBackAndLeaveTheUpdateStateAlone) {
    writeStore(
        "\"nextUpdateCheck\"=dword:12345678\n\"ignoreVersion\"=\"0.9\"\n\"custom\"=hex(7):00,00\n");
    Viewer first = makeViewer();
    setEveryOption(first.settings);
    first.settings.nextUpdateCheck = 1;
    first.settings.ignoreVersion = "never stored by saveSettings";
    saveSettings(first);
    ASSERT_TRUE(platform.boxes.empty());

    const QString text = QString::fromUtf8(test::readBytes(storeFile()));
    EXPECT_TRUE(text.contains("\"posX\"=dword:fffffff9")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"rememberExit\"=hex:01"));
    EXPECT_TRUE(text.contains("\"custom\"=hex(7):00,00")) << "values Pavo does not know survive";

    Viewer second = makeViewer();
    loadSettings(second);
    for (const auto& [name, field] : numberSettings()) {
        EXPECT_EQ(second.settings.*field, first.settings.*field) << name;
    }
    for (const auto& [name, field] : flagSettings()) {
        EXPECT_EQ(second.settings.*field, first.settings.*field) << name;
    }
    EXPECT_EQ(second.settings.posX, -7);
    EXPECT_EQ(second.settings.nextUpdateCheck, 0x12345678);
    EXPECT_EQ(second.settings.ignoreVersion, QStringLiteral("0.9"));
}

TEST_F(SettingsTest, ValuesAreReadByTheirTypeRules) {
    const QString longVersion(2047, u'9');
    writeStore(QStringLiteral("\"rememberExit\"=dword:00000001\n"   // flag: first byte 1
                              "\"mute\"=dword:00000100\n"           // flag: first byte 0
                              "\"preScale\"=hex:00,00,00,00,01\n"   // flag: too large to read
                              "\"reverseMerge\"=\"1\"\n"            // flag: any type counts
                              "\"scrollSpeed\"=\"55\"\n"            // number as text: default
                              "\"zoomInStep\"=hex:07,00,00,00\n"    // number as binary: default
                              "\"bufferTimeout\"=dword:00000000\n"  // out of range, used as read
                              "\"largeUpscale\"=dword:00000009\n"   // unknown method kept
                              "\"ignoreVersion\"=\"") +
               longVersion + QStringLiteral("\"\n"));
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    EXPECT_TRUE(viewer.settings.rememberExit);
    EXPECT_FALSE(viewer.settings.mute);
    EXPECT_TRUE(viewer.settings.preScale) << "an unreadable flag keeps its default (on)";
    EXPECT_TRUE(viewer.settings.reverseMerge);
    EXPECT_EQ(viewer.settings.scrollSpeed, 40);
    EXPECT_EQ(viewer.settings.zoomInStep, 5);
    EXPECT_EQ(viewer.settings.bufferTimeout, 0);
    EXPECT_EQ(viewer.settings.largeUpscale, 9);
    EXPECT_EQ(viewer.settings.ignoreVersion, longVersion) << "2047 units fit with the terminator";

    writeStore(QStringLiteral("\"ignoreVersion\"=\"") + longVersion + QStringLiteral("9\"\n"));
    Viewer tooLong = makeViewer();
    loadSettings(tooLong);
    EXPECT_EQ(tooLong.settings.ignoreVersion, QStringLiteral("1.2.0"));
}

TEST_F(SettingsTest, MalformedStoreIsReadAsFarAsValidAndNotRewrittenByLoading) {
    writeStore(
        "\"width\"=dword:00000400\n\"height\"=dword:\n\xff\xfe "
        "garbage\n\"state\"=dword:00000003\n");
    const QByteArray before = test::readBytes(storeFile());
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(viewer.settings.width, 1024);
    EXPECT_EQ(viewer.settings.height, 800);
    EXPECT_EQ(viewer.settings.state, 3);
    EXPECT_EQ(test::readBytes(storeFile()), before);
}

// The registry editor exports UTF-16LE with a byte-order mark and CRLF line ends.
TEST_F(SettingsTest, ARegistryEditorExportIsReadAndSavedInItsOwnEncoding) {
    const auto exported = [](const QString& body) {
        return QByteArray("\xff\xfe") +
               QByteArray(
                   QStringEncoder(QStringConverter::Utf16LE)
                       .encode(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                              "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\r\n") +
                               body));
    };
    QDir().mkpath(folder());
    test::writeBytes(storeFile(),
                     exported("\"mute\"=hex:01\r\n\"nextUpdateCheck\"=dword:00000005\r\n\r\n"));
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    EXPECT_TRUE(viewer.settings.mute);
    EXPECT_EQ(viewer.settings.nextUpdateCheck, 5);

    EXPECT_TRUE(writeUpdateState(viewer.store, 7, QStringLiteral("2.0")));
    EXPECT_EQ(test::readBytes(storeFile()),
              exported("\"mute\"=hex:01\r\n\"nextUpdateCheck\"=dword:00000007\r\n"
                       "\"ignoreVersion\"=\"2.0\"\r\n\r\n"));
}

TEST_F(SettingsTest, UnreachableStoreIsReportedAndNothingIsWritten) {
    Viewer viewer(platform, SettingsStore(deniedFolder()));
    loadSettings(viewer);
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].owner, BoxOwner::None);
    EXPECT_EQ(platform.boxes[0].text, "Registry access was denied, could not read the options.");
    EXPECT_EQ(platform.boxes[0].caption, "Access denied");
    EXPECT_EQ(viewer.settings.bufferTimeout, 900);

    saveSettings(viewer);
    ASSERT_EQ(platform.boxes.size(), 2U);
    EXPECT_EQ(platform.boxes[1].text, "Registry access was denied, cannot store user options.");
    EXPECT_EQ(platform.boxes[1].caption, "Access denied");

    writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck, viewer.settings.ignoreVersion);
    EXPECT_EQ(platform.boxes.size(), 2U) << "the update state fails silently";

    platform.placement = WindowPlacement{{10, 20, 810, 620}, 3};
    saveWindowPlacement(viewer);
    ASSERT_EQ(platform.boxes.size(), 3U);
    EXPECT_EQ(platform.boxes[2].text, "Registry access was denied, cannot store user options.");
    EXPECT_EQ(viewer.settings.width, 800) << "the placement stays in force for the run";
}

TEST_F(SettingsTest, AStoreThatCannotBeReadIsNeverReplaced) {
    QDir().mkpath(storeFile());  // a directory where the file should be
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    ASSERT_EQ(platform.boxes.size(), 1U);
    saveSettings(viewer);
    ASSERT_EQ(platform.boxes.size(), 2U);
    EXPECT_TRUE(QFileInfo(storeFile()).isDir());
}

TEST_F(SettingsTest, ASaveThatCannotReachTheDiskIsReported) {
    writeStore("\"mute\"=hex:01\n");
    const QByteArray before = test::readBytes(storeFile());
    ASSERT_TRUE(QDir().mkpath(storeFile() + ".lock"));  // the lock cannot be taken
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    EXPECT_TRUE(platform.boxes.empty()) << "reading needs no lock";
    saveSettings(viewer);
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "Registry access was denied, cannot store user options.");
    writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck, viewer.settings.ignoreVersion);
    EXPECT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(test::readBytes(storeFile()), before);
}

TEST_F(SettingsTest, WindowPlacementIsRecordedAndWrittenAtEveryExit) {
    writeStore("\"mute\"=hex:01\n");
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    platform.placement = WindowPlacement{{-7, 0, 1200, 900}, 3};
    saveWindowPlacement(viewer);
    Viewer reread = makeViewer();
    loadSettings(reread);
    EXPECT_EQ(reread.settings.posX, -7);
    EXPECT_EQ(reread.settings.posY, 0);
    EXPECT_EQ(reread.settings.width, 1207);
    EXPECT_EQ(reread.settings.height, 900);
    EXPECT_EQ(reread.settings.state, 3);
    EXPECT_TRUE(reread.settings.mute);

    platform.placement.reset();  // no window to ask: the first-start placement
    viewer.settings.fixWindowPosition = 0;
    saveWindowPlacement(viewer);
    EXPECT_EQ(viewer.settings.posX, 0);
    EXPECT_EQ(viewer.settings.width, 600);
    EXPECT_EQ(viewer.settings.height, 800);
    EXPECT_EQ(viewer.settings.state, 1);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(SettingsTest, UpdateStateSavesOnlyItsTwoValues) {
    writeStore("\"scrollSpeed\"=dword:00000007\n");
    Viewer viewer = makeViewer();
    viewer.settings.scrollSpeed = 99;  // in memory only
    viewer.settings.nextUpdateCheck = -2;
    viewer.settings.ignoreVersion = "2.0.10-beta \"x\"";
    writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck, viewer.settings.ignoreVersion);
    Viewer reread = makeViewer();
    loadSettings(reread);
    EXPECT_EQ(reread.settings.scrollSpeed, 7);
    EXPECT_EQ(reread.settings.nextUpdateCheck, -2);
    EXPECT_EQ(reread.settings.ignoreVersion, "2.0.10-beta \"x\"");
}

// Two viewers saving at the same moment: every save lands whole, none of the other's
// values is lost, and no temporary file is left behind.
TEST_F(SettingsTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kRounds = 150;
    Viewer setup = makeViewer();
    loadSettings(setup);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const bool isChild = child == 0;
    {
        SettingsStore store(folder());
        const QString mine =
            isChild ? QStringLiteral("childCounter") : QStringLiteral("parentCounter");
        for (int i = 1; i <= kRounds; ++i) {
            auto key = store.open();
            if (!key) {
                if (isChild) _exit(2);
                FAIL() << "open failed in round " << i;
            }
            key->setValue(mine, dwordValue(i));
            key->setValue(QStringLiteral("shared"), textValue(QString(200, isChild ? u'c' : u'p')));
            if (!store.close(*key)) {
                if (isChild) _exit(3);
                FAIL() << "close failed in round " << i;
            }
        }
    }
    if (isChild) _exit(0);

    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    auto key = SettingsStore(folder()).open();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->value("childCounter"), dwordValue(kRounds));
    EXPECT_EQ(key->value("parentCounter"), dwordValue(kRounds));
    const auto shared = key->value("shared");
    ASSERT_TRUE(shared);
    EXPECT_TRUE(*shared == textValue(QString(200, u'c')) ||
                *shared == textValue(QString(200, u'p')));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"settings.reg", "settings.reg.lock"}));
}

}  // namespace
}  // namespace pavo

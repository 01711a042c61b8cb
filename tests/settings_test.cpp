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

constexpr char kCannotRead[] =
    "Access denied: Registry access was denied, could not read the options.";
constexpr char kCannotStore[] =
    "Access denied: Registry access was denied, cannot store user options.";

const QString kHeaderAndKey = QStringLiteral(
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n");

class SettingsTest : public testing::Test {
  protected:
    QString folder() const { return dir.path() + QStringLiteral("/Pavo"); }
    QString storeFile() const { return folder() + QStringLiteral("/settings.reg"); }
    Viewer makeViewer() { return Viewer(platform, SettingsStore(folder())); }

    // A store holding the header, the key and `body`, in UTF-8 or as the registry editor
    // exports it: UTF-16LE with a byte-order mark and CRLF line ends.
    void writeStore(const QString& body, bool exported = false) {
        QDir().mkpath(folder());
        QString text = kHeaderAndKey + body;
        if (exported) text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
        test::writeBytes(storeFile(),
                         exported
                             ? "\xff\xfe" + QStringEncoder(QStringConverter::Utf16LE).encode(text)
                             : text.toUtf8());
    }

    std::vector<QString> boxTexts() const {
        std::vector<QString> texts;
        for (const auto& box : platform.boxes) texts.push_back(box.caption + ": " + box.text);
        return texts;
    }

    QTemporaryDir dir;
    test::FakePlatform platform;
};

// Every option saved reads back as it was (each set to something other than its default),
// and a save of the options leaves the update state as it was.
TEST_F(SettingsTest, EveryOptionReadsBackAsSavedAndTheUpdateStateIsLeftAlone) {
    Viewer first = makeViewer();
    writeStore("\"nextUpdateCheck\"=dword:12345678\n\"ignoreVersion\"=\"0.9\"\n");
    int n = 100;
    for (const auto& [name, field] : numberSettings()) first.settings.*field = n++;
    for (const auto& [name, field] : flagSettings())
        first.settings.*field = !(first.defaults.*field);
    first.settings.posX = -7;
    first.settings.nextUpdateCheck = 1;
    first.settings.ignoreVersion = "never stored by saveSettings";
    saveSettings(first);

    Viewer second = makeViewer();
    loadSettings(second);
    for (const auto& [name, field] : numberSettings())
        EXPECT_EQ(second.settings.*field, first.settings.*field) << name;
    for (const auto& [name, field] : flagSettings())
        EXPECT_EQ(second.settings.*field, first.settings.*field) << name;
    EXPECT_EQ(second.settings.nextUpdateCheck, 0x12345678);
    EXPECT_EQ(second.settings.ignoreVersion, QStringLiteral("0.9"));
    EXPECT_TRUE(platform.boxes.empty());
}

// Each value is read by the rules of its kind, a missing one is its default, and loading
// never rewrites the store. An export is read and written in its encoding and line ends; the
// update state writes its two values and nothing else.
TEST_F(SettingsTest, AnExportIsReadByEachValuesRulesAndWrittenInItsEncodingByTheUpdateState) {
    const QString longVersion(2047, u'9');
    const QString rules = QStringLiteral(
        "\"rememberExit\"=dword:00000001\n"    // flag: first byte 1
        "\"mute\"=dword:00000100\n"            // flag: first byte 0
        "\"preScale\"=hex:00,00,00,00,01\n"    // flag: too large to read
        "\"reverseMerge\"=\"1\"\n"             // flag: any type counts
        "\"scrollSpeed\"=\"55\"\n"             // number as text: default
        "\"zoomInStep\"=hex:07,00,00,00\n"     // number as binary: default
        "\"bufferTimeout\"=dword:00000000\n"   // out of range, used as read
        "\"largeUpscale\"=dword:00000009\n");  // unknown method kept
    writeStore(rules + "\"ignoreVersion\"=\"" + longVersion + "\"\n", true);
    const QByteArray before = test::readBytes(storeFile());
    Viewer viewer = makeViewer();
    loadSettings(viewer);
    const ViewerSettings& s = viewer.settings;
    // The last of each: not in the store, so at its default.
    EXPECT_EQ((std::vector{s.rememberExit, s.mute, s.preScale, s.reverseMerge, s.animations}),
              (std::vector{true, false, true, true, true}));
    EXPECT_EQ(
        (std::vector{s.scrollSpeed, s.zoomInStep, s.bufferTimeout, s.largeUpscale, s.zoomOutStep}),
        (std::vector{40, 5, 0, 9, 5}));
    EXPECT_EQ(s.ignoreVersion, longVersion) << "2047 units fit with the terminator";
    EXPECT_EQ(test::readBytes(storeFile()), before);
    EXPECT_TRUE(platform.boxes.empty());

    viewer.settings.scrollSpeed = 99;  // in memory only
    EXPECT_TRUE(writeUpdateState(viewer.store, -2, QStringLiteral("2.0 \"x\"")));
    const QByteArray written = test::readBytes(storeFile());
    writeStore(rules + "\"ignoreVersion\"=\"2.0 \\\"x\\\"\"\n\"nextUpdateCheck\"=dword:fffffffe\n",
               true);
    EXPECT_EQ(written, test::readBytes(storeFile()));

    writeStore(QStringLiteral("\"ignoreVersion\"=\"") + longVersion + QStringLiteral("9\"\n"));
    Viewer tooLong = makeViewer();
    loadSettings(tooLong);
    EXPECT_EQ(tooLong.settings.ignoreVersion, tooLong.defaults.ignoreVersion);
}

// A store that cannot be reached is reported at load and at each save but the update state's,
// which fails silently; the options in force stay, and nothing is written. It cannot be
// reached when its folder cannot be made, when its file cannot be read, or, for a save,
// when the lock cannot be taken.
TEST_F(SettingsTest, AStoreThatCannotBeReachedIsReportedAndNothingIsWritten) {
    test::writeBytes(dir.filePath(QStringLiteral("blocker")), "x");
    Viewer denied(platform, SettingsStore(dir.filePath(QStringLiteral("blocker/Pavo"))));
    QDir().mkpath(storeFile());  // a directory where the file should be
    Viewer unreadable = makeViewer();
    for (Viewer* viewer : {&denied, &unreadable}) {
        platform.boxes.clear();
        loadSettings(*viewer);
        saveSettings(*viewer);
        writeUpdateState(viewer->store, 0, "1.0");
        platform.placement = WindowPlacement{{10, 20, 810, 620}, 3};
        saveWindowPlacement(*viewer);
        EXPECT_EQ(boxTexts(), (std::vector<QString>{kCannotRead, kCannotStore, kCannotStore}));
        EXPECT_EQ(platform.boxes[0].owner, BoxOwner::None);
        EXPECT_EQ(viewer->settings.width, 800) << "the placement stays in force for the run";
    }
    EXPECT_TRUE(QFileInfo(storeFile()).isDir());

    QDir(folder()).removeRecursively();
    writeStore("\"mute\"=hex:01\n");
    const QByteArray before = test::readBytes(storeFile());
    ASSERT_TRUE(QDir().mkpath(storeFile() + ".lock"));  // the lock cannot be taken
    platform.boxes.clear();
    Viewer locked = makeViewer();
    loadSettings(locked);
    EXPECT_TRUE(platform.boxes.empty()) << "reading needs no lock";
    saveSettings(locked);
    writeUpdateState(locked.store, 0, "1.0");
    EXPECT_EQ(boxTexts(), std::vector<QString>{kCannotStore});
    EXPECT_EQ(test::readBytes(storeFile()), before);
}

TEST_F(SettingsTest, WindowPlacementIsRecordedAndWrittenAtEveryExit) {
    writeStore("\"mute\"=hex:01\n");
    Viewer viewer = makeViewer();  // mute off in force, on in the store, where it stays
    platform.placement = WindowPlacement{{-7, 0, 1200, 900}, 3};
    saveWindowPlacement(viewer);
    Viewer reread = makeViewer();
    loadSettings(reread);
    const ViewerSettings& s = reread.settings;
    EXPECT_EQ((std::vector{s.posX, s.posY, s.width, s.height, s.state}),
              (std::vector{-7, 0, 1207, 900, 3}));
    EXPECT_TRUE(s.mute);

    platform.placement.reset();  // no window to ask: the first-start placement
    viewer.settings.fixWindowPosition = 7;
    saveWindowPlacement(viewer);
    const ViewerSettings& first = viewer.settings;
    EXPECT_EQ((std::vector{first.posX, first.posY, first.width, first.height, first.state}),
              (std::vector{-7, 0, 600, 800, 1}));
    EXPECT_TRUE(platform.boxes.empty());
}

// Two viewers saving at the same moment: every save lands whole, none of the other's
// values is lost, and no temporary file is left behind.
TEST_F(SettingsTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kRounds = 150;
    ASSERT_TRUE(SettingsStore(folder()).open());  // a first start makes the folder and store
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const bool isChild = child == 0;
    const SettingsStore store(folder());
    int saved = 0;
    for (; saved < kRounds; ++saved) {
        auto key = store.open();
        if (!key) break;
        key->setValue(isChild ? "childCounter" : "parentCounter", dwordValue(saved + 1));
        key->setValue("shared", textValue(QString(200, isChild ? u'c' : u'p')));
        if (!store.close(*key)) break;
    }
    if (isChild) _exit(saved == kRounds ? 0 : 2);  // never back into the test runner
    EXPECT_EQ(saved, kRounds);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's saves";
    const auto key = store.open();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->value("childCounter"), dwordValue(kRounds));
    EXPECT_EQ(key->value("parentCounter"), dwordValue(kRounds));
    EXPECT_TRUE(key->value("shared") == textValue(QString(200, u'c')) ||
                key->value("shared") == textValue(QString(200, u'p')));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"settings.reg", "settings.reg.lock"}));
}

}  // namespace
}  // namespace pavo

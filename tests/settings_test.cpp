#include "app/options_dialogs.h"
#include "platform/reg_file.h"
#include "platform/settings_store.h"
#include "support/viewer_fixture.h"

#include <QDir>
#include <QStringEncoder>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <tuple>

namespace pavo {
namespace {

constexpr char kCannotRead[] =
    "Access denied: Registry access was denied, could not read the options.";
constexpr char kCannotStore[] =
    "Access denied: Registry access was denied, cannot store user options.";

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings");
const QByteArray kHeader = "Windows Registry Editor Version 5.00\n\n";
const QString kHeaderAndKey = kHeader + "[" + kKey + "]\n";

// Every value syntax is read; what cannot be read, and the values of other keys, are not;
// reading goes on after a bad line, and a later line overrides an earlier one.
TEST(RegDocument, ReadsEveryValueSyntaxOfItsOwnKeyAndNothingElse) {
    const RegDocument doc =
        RegDocument::parse(kHeader +
                               "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n\"other\"=dword:00000001\n\n"
                               "[hkey_current_user\\software\\pavo\\settings]\n"
                               "\"posX\"=dword:fffffff9\n\"mute\"=hex:01\n"
                               "\"path\"=\"C:\\\\pics \\\"best\\\"\"\n"
                               "\"multi\"=hex(7):41,00,00,00,\\\n  00,00\n@=\"default\"\n"
                               "\"width\"=dword:0000zz01\n\"broken\"=\"no end quote\n"
                               "\"escape\"=\"bad \\n escape\"\n"
                               "\"state\"=dword:00000003\n\"state\"=dword:00000001\n",
                           kKey);
    EXPECT_EQ(doc.value("POSX"), dwordValue(-7)) << "value names ignore case";
    EXPECT_EQ(doc.value("mute"), flagValue(true));
    EXPECT_EQ(doc.value("path"), textValue(QStringLiteral("C:\\pics \"best\"")));
    EXPECT_EQ(doc.value("multi"), (RegValue{7, QByteArray("A\0\0\0\0\0", 6)}));
    EXPECT_EQ(doc.value(""), textValue("default"));
    EXPECT_EQ(doc.value("state"), dwordValue(1));
    for (const char* unread : {"other", "width", "broken", "escape", "missing"})
        EXPECT_FALSE(doc.value(unread)) << unread;
}

// An untouched document is written back byte for byte; a rewrite replaces only the lines
// of the values set and adds new ones at the end of the key's block, a text with a line
// break as hex(1). A missing header and key are made, the key after any other.
TEST(RegDocument, RewriteChangesOnlyTheValuesSetAndMakesWhatIsMissing) {
    const QByteArray original = kHeader +
                                "; kept comment\n[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n"
                                "\"unknown\"=hex(b):01,02,03,04,05,06,07,08\n"
                                "this line is not a value\n"
                                "\"width\"=dword:00000258\n\n[HKEY_X]\n\"x\"=dword:00000001\n";
    RegDocument doc = RegDocument::parse(original, kKey);
    EXPECT_EQ(doc.toBytes(), original);
    doc.setValue("Width", dwordValue(1024));
    doc.setValue("mute", flagValue(false));
    doc.setValue("ignoreVersion", textValue("line\nbreak"));
    QByteArray expected = original;
    expected.replace("\"width\"=dword:00000258\n",
                     "\"width\"=dword:00000400\n\"mute\"=hex:00\n\"ignoreVersion\"=hex(1):6c,00,69,"
                     "00,6e,00,65,00,0a,00,62,00,72,00,65,00,61,00,6b,00,00,00\n");
    EXPECT_EQ(doc.toBytes(), expected);
    EXPECT_EQ(RegDocument::parse(expected, kKey).value("ignoreVersion"), textValue("line\nbreak"));

    const QByteArray cheese = "\"b\"=\"K\xc3\xa4se \xe2\x82\xac\"\n";
    for (const QByteArray& before : {QByteArray(), kHeader + "[HKEY_X]\n\"a\"=hex:\n"}) {
        doc = RegDocument::parse(before, kKey);
        doc.setValue("b", textValue(QString::fromUtf8("K\xc3\xa4se \xe2\x82\xac")));
        EXPECT_EQ(doc.toBytes(), (before.isEmpty() ? kHeader : before + "\n") + "[" +
                                     kKey.toUtf8() + "]\n" + cheese);
    }
}

// A file keeps its encoding and line ends (the third as the registry editor exports): lines set
// or added are written as the file writes lines; every other byte stays, text or not.
TEST(RegDocument, RewriteKeepsTheFileEncodingAndLineEnds) {
    // The encoding, its byte-order mark, bytes that are no character in it, the first line's
    // end (which added lines take) and the other lines'.
    const std::tuple<QStringConverter::Encoding, QByteArray, QByteArray, QString, QString> cases[] =
        {
            {QStringConverter::Utf8, "", "\xe9", "\n", "\n"},
            {QStringConverter::Utf8, "\xef\xbb\xbf", "\xff", "\r\n", "\n"},
            {QStringConverter::Utf16LE, "\xff\xfe", QByteArray("\0\xd8", 2), "\r\n", "\r\n"},
            {QStringConverter::Utf16BE, "\xfe\xff", QByteArray("\xdc\0", 2), "\n", "\n"},
        };
    for (const auto& [encoding, mark, invalid, firstEnd, end] : cases) {
        SCOPED_TRACE(mark.toHex().toStdString() + " " + invalid.toHex().toStdString());
        const auto file = [&](const QString& width, const QString& added) {
            QStringEncoder encoder(encoding);
            return mark +
                   encoder.encode("Windows Registry Editor Version 5.00" + firstEnd + end + "[" +
                                  kKey + "]" + end + "\"text\"=\"caf") +
                   invalid +
                   encoder.encode("\"" + end + width + end + "\"mute\"=hex:01" + end + added + end);
        };
        RegDocument doc = RegDocument::parse(file("\"width\"=dword:00000258", ""), kKey);
        EXPECT_EQ(doc.value("width"), dwordValue(600));
        EXPECT_FALSE(doc.value("text")) << "a line that is not text is kept, not read";

        doc.setValue("width", dwordValue(1024));
        doc.setValue("added", dwordValue(1));
        EXPECT_EQ(doc.toBytes(),
                  file("\"width\"=dword:00000400", "\"added\"=dword:00000001" + firstEnd));
    }
}

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
        EXPECT_EQ(platform.boxTexts(), (QStringList{kCannotRead, kCannotStore, kCannotStore}));
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
    EXPECT_EQ(platform.boxTexts(), QStringList{kCannotStore});
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

using test::FakeDialogControls;
using test::runFakeDialog;
using S = ViewerSettings;

class OptionsDialogTest : public test::ViewerTest {
  protected:
    // Opens the Options dialog, lets `act` play the user, and presses OK.
    void confirmOptions(const std::function<void(FakeDialogControls&)>& act = [](auto&) {}) {
        OptionsDialog dialog(viewer);
        runFakeDialog(dialog, kOkButton, act);
    }
};

// Each box shows its own flag when the dialog opens and turns only that flag at OK, which
// also records the window's placement and stores the options.
TEST_F(OptionsDialogTest, EachBoxShowsAndStoresItsOwnFlag) {
    // The boxes and, in the same order, their flags.
    const int ids[] = {kReverseMergeBox,  kRememberExitBox, kRelativeScrollBox, kMuteBox,
                       kReduceFlickerBox, kPreScaleBox,     kFitToScreenBox,    kSnapToEdgeBox,
                       kStickySizeBox,    kUpdateCheckBox,  kAnimationsBox,     kMouseAnchorBox};
    const std::array flags{&S::reverseMerge,   &S::rememberExit,      &S::useRelativeScroll,
                           &S::mute,           &S::reduceFlicker,     &S::preScale,
                           &S::fitToScreen,    &S::snapToMonitorEdge, &S::stickyWindowSize,
                           &S::checkForUpdate, &S::animations,        &S::useMouseAnchor};
    viewer.view.fitActive = true;
    platform.setWindowRect({100, 50, 900, 650});
    for (std::size_t box = 0; box < flags.size(); ++box) {
        SCOPED_TRACE(ids[box]);
        const S before = viewer.settings;
        confirmOptions([&](FakeDialogControls& c) {
            EXPECT_EQ(c.checks.at(ids[box]), before.*flags[box]);  // set, not merely missing
            c.setChecked(ids[box], !(before.*flags[box]));
        });
        for (std::size_t other = 0; other < flags.size(); ++other)
            EXPECT_EQ(viewer.settings.*flags[other], before.*flags[other] != (other == box));
        EXPECT_EQ(viewer.merge.reverseMergeActive, viewer.settings.reverseMerge);
    }
    EXPECT_TRUE(viewer.view.fitActive) << "fit to screen is the next start's";
    const S& s = viewer.settings;
    EXPECT_EQ((std::vector{s.posX, s.posY, s.width, s.height, s.state}),
              (std::vector{100, 50, 800, 600, 1}));
    EXPECT_TRUE(test::readBytes(viewer.store.filePath()).contains("\"mute\"=hex:01\n"));
}

// Each field shows its own option (the buffer time-out in whole minutes) and stores what is
// typed into it within the option's range; only a changed zoom step resets the zoom.
TEST_F(OptionsDialogTest, EachFieldShowsItsNumberAndStoresItWithinItsRange) {
    openCommandLine(viewer, {imageFile("a.png", 64, 48)}, dir.path());
    // The field, its option, the option's value, the text shown, the text typed, the value stored.
    const std::tuple<int, std::int32_t S::*, int, const char*, const char*, int> rows[] = {
        {kBufferTimeoutEdit, &S::bufferTimeout, 179, "2", "0", 60},
        // Minutes whose seconds leave 32 bits: the longest time-out, not a wrapped product.
        {kBufferTimeoutEdit, &S::bufferTimeout, 60, "1", "40000000", 360000},
        {kShowOriginalEdit, &S::autoShowOriginal, 0, "0", "-5", 0},
        {kShowOriginalEdit, &S::autoShowOriginal, 3, "3", "1001", 1000},
        {kScrollSpeedEdit, &S::scrollSpeed, 41, "41", "", 1},  // not a number
        {kShiftScrollEdit, &S::shiftScrollSpeed, 201, "201", "20000", 10000},
        {kCtrlScrollEdit, &S::ctrlScrollSpeed, 2, "2", "10000", 10000},
        {kRelativeScrollEdit, &S::relativeScroll, 33, "33", "1001", 1000},
        {kZoomInEdit, &S::zoomInStep, 7, "7", "80", 50},
        {kZoomOutEdit, &S::zoomOutStep, 9, "9", "0", 1},
    };
    for (const auto& [id, field, value, shown, typed, stored] : rows) {
        SCOPED_TRACE(typed);
        viewer.settings.*field = value;
        press(Key::Plus);
        const std::int32_t zoom = viewer.view.zoomPerMille;
        confirmOptions([&, id = id, shown = shown, typed = typed](FakeDialogControls& c) {
            EXPECT_EQ(c.text(id), shown);
            c.setText(id, typed);
        });
        EXPECT_EQ(viewer.settings.*field, stored);
        const bool stepChanged = (id == kZoomInEdit || id == kZoomOutEdit) && stored != value;
        EXPECT_EQ(viewer.view.zoomPerMille, stepChanged ? 1000 : zoom);
        EXPECT_EQ(viewer.view.zoomStepCount == 0, stepChanged);
    }
}

TEST_F(OptionsDialogTest, TheThinBorderBoxStoresSevenOrNoneAndAChangeRescalesEveryPicture) {
    for (const char* neighbour : {"1.png", "3.png"}) imageFile(neighbour, 64, 48);
    openCommandLine(viewer, {imageFile("2.png", 64, 48)}, dir.path());
    settle();
    press(Key::Right);               // the picture stepped to was scaled ahead
    onTimer(viewer, PrescaleTimer);  // and its neighbours are when the timer fires
    settle();
    const auto scaled = [this] {  // how many of the three pictures are scaled for the window
        return viewer.previousImage.displayReady + viewer.shownImage.displayReady +
               viewer.nextImage.displayReady;
    };
    ASSERT_EQ(scaled(), 3);
    confirmOptions();  // ticked, as the allowance of 7 was: no change, the pictures still fit
    EXPECT_EQ(scaled(), 3);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920 + 14);
    confirmOptions([](FakeDialogControls& c) { c.setChecked(kThinBordersBox, false); });
    EXPECT_EQ(viewer.settings.fixWindowPosition, 0);
    EXPECT_EQ(scaled(), 0);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920) << "the usable screen area follows at once";
    viewer.settings.fixWindowPosition = 3;  // any allowance of 1 or more ticks the box
    confirmOptions([](FakeDialogControls& c) { EXPECT_TRUE(c.checked(kThinBordersBox)); });
    EXPECT_EQ(viewer.settings.fixWindowPosition, 7);
}

// Reset shows the defaults and keeps the dialog open. Cancel keeps the options in force,
// with what the Scaling dialog opened from it confirmed, and stores nothing.
TEST_F(OptionsDialogTest, ResetShowsTheDefaultsAndCancelKeepsTheOptionsUnstored) {
    viewer.settings.scrollSpeed = 99;
    viewer.settings.largeDownscale = 0;
    Viewer fresh(platform, SettingsStore(dir.filePath(QStringLiteral("fresh"))));
    FakeDialogControls defaults;
    OptionsDialog(fresh).opened(defaults);
    FakeDialogControls c;
    c.onChild = [this](DialogId id, DialogHandler& scaling) {
        EXPECT_EQ(id, DialogId::Scaling);
        FakeDialogControls s;
        scaling.opened(s);
        s.setText(kLargeDownscaleCombo, "Bilinear");
        EXPECT_EQ(scaling.pressed(s, kCancelButton), kCancelButton);
        EXPECT_EQ(viewer.settings.largeDownscale, 0);
        EXPECT_EQ(scaling.pressed(s, kResetButton), std::nullopt);
        return *scaling.pressed(s, kOkButton);
    };
    OptionsDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_EQ(dialog.pressed(c, kResetButton), std::nullopt);
    EXPECT_TRUE(c.texts == defaults.texts && c.checks == defaults.checks);
    EXPECT_EQ(dialog.pressed(c, kScalingButton), std::nullopt);
    EXPECT_EQ(dialog.pressed(c, kCancelButton), kCancelButton);
    EXPECT_EQ(viewer.settings.scrollSpeed, 99);
    EXPECT_EQ(viewer.settings.largeDownscale, viewer.defaults.largeDownscale);
    EXPECT_FALSE(QFile::exists(viewer.store.filePath()));
}

// The Scaling dialog opens on each method's name ("None" for a number no name stands for)
// and the thresholds. At OK it reads whole names in any letter case, keeps the method for
// any other text, and clamps the thresholds.
TEST_F(OptionsDialogTest, ScalingShowsEachChoiceAndReadsWhatIsTyped) {
    S& s = viewer.settings;
    std::tie(s.largeDownscale, s.downscale, s.upscale, s.largeUpscale, s.zoomInScale,
             s.zoomOutScale, s.largeUpscaleThreshold) = std::tuple{0, 1, 2, 3, 4, 7, 12};
    FakeDialogControls c;
    ScalingDialog dialog(viewer);
    dialog.opened(c);
    const int combos[] = {kLargeDownscaleCombo, kDownscaleCombo, kUpscaleCombo,
                          kLargeUpscaleCombo,   kZoomInCombo,    kZoomOutCombo};
    QStringList shown;
    for (const int id : combos) shown << c.text(id);
    EXPECT_EQ(shown,
              QStringList({"Nearest Neighbour", "Bilinear", "Bicubic", "Area", "Lanczos", "None"}));
    EXPECT_EQ(c.text(kLargeDownscaleThresholdEdit) + " " + c.text(kLargeUpscaleThresholdEdit),
              "3 12");
    const QStringList typed{"biLinear", "Lanczos ", "NEAREST NEIGHBOUR", "lanczos", "", "None"};
    for (int i = 0; i < 6; ++i) c.setText(combos[i], typed[i]);
    c.setText(kLargeDownscaleThresholdEdit, "0");
    c.setText(kLargeUpscaleThresholdEdit, "250");
    EXPECT_EQ(dialog.pressed(c, kOkButton), kOkButton);
    EXPECT_EQ((std::vector{s.largeDownscale, s.downscale, s.upscale, s.largeUpscale, s.zoomInScale,
                           s.zoomOutScale, s.largeDownscaleThreshold, s.largeUpscaleThreshold}),
              (std::vector{1, 1, 0, 4, 4, 7, 1, 100}));
}

}  // namespace
}  // namespace pavo

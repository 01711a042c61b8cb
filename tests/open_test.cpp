#include "browse/open.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <tuple>

namespace pavo {
namespace {

using test::ViewerTest;

class CommandLineTest : public ViewerTest {
  protected:
    void SetUp() override {
        for (const char* name : {"10.png", "2.png", "1.png"})
            imageFile(QStringLiteral("pics/") + name, 40, 30);
        folder("pics/sub.png");
    }
    QString pics(const QString& name = {}) const {
        return dir.filePath("pics") + (name.isEmpty() ? "" : "/" + name);
    }
};

// A file opens with its folder as the playlist; one of an extension the scan leaves out,
// but that decodes, gets its place there.
TEST_F(CommandLineTest, AFileOpensWithItsFolderAndOneOfAnotherExtensionGetsItsPlace) {
    const QString odd = pics("photo.jpe");
    test::writeBytes(odd, test::readBytes(pics("1.png")));
    openCommandLine(viewer, {odd}, dir.path());
    EXPECT_EQ(viewer.playlist.paths, std::vector<QString>{odd}) << "alone until it is listed";
    settle();
    ASSERT_EQ(viewer.playlist.paths.size(), 5U);
    EXPECT_EQ(viewer.playlist.paths[0], odd) << "inserted before the entry at the old index";
    EXPECT_EQ(viewer.playlist.paths[1], pics("1.png"));
    openCommandLine(viewer, {pics("2.png")}, dir.path());
    settle();
    EXPECT_EQ(viewer.playlist.paths.size(), 4U) << "a single file's scan keeps what the scan lists";
    EXPECT_EQ(platform.titles.back(), pics("2.png"));
    EXPECT_FALSE(platform.quitCode);
}

// A start shows its file before its folder is listed (a folder of a hundred thousand files
// lists slower than a photo decodes); steps asked for meanwhile are taken once it is, and
// a listing that comes after another open is dropped.
TEST_F(CommandLineTest, AStartShowsItsFileBeforeItsFolderIsListed) {
    const QString other = imageFile("other/x.png", 20, 20);
    holdJobs();
    openCommandLine(viewer, {pics("1.png")}, dir.path());
    ASSERT_TRUE(viewer.shownImage.ready);
    events.keyDown(Key::Right, 2);
    EXPECT_EQ(viewer.playlist.index, 0) << "nowhere to go yet";
    settle();
    EXPECT_EQ(viewer.playlist.paths.size(), 4U);
    EXPECT_EQ(platform.titles.back(), pics("10.png")) << "both presses taken";

    openCommandLine(viewer, {pics("1.png")}, dir.path());
    events.keyDown(Key::Period, 1);  // merged while the file is alone
    settle();
    EXPECT_EQ(viewer.shownImage.partnerPath, pics("2.png")) << "the pair made once listed";
    events.keyDown(Key::Period, 1);

    openCommandLine(viewer, {pics("2.png")}, dir.path());
    onDrop(viewer, {other});
    settle();
    EXPECT_EQ(viewer.playlist.paths, std::vector<QString>{other})
        << "the start's listing came after the drop: dropped";
}

TEST_F(CommandLineTest, AnUnreadableFileIsReportedAndEndsTheProgram) {
    test::writeBytes(pics("broken.png"), "garbage");
    openCommandLine(viewer, {pics("broken.png")}, dir.path());
    EXPECT_EQ(boxes(), QStringList{"Not Supported: Failed to load " + pics("broken.png") + "."});
    EXPECT_EQ(platform.boxes.at(0).owner, BoxOwner::MainWindow);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Failure});
    EXPECT_EQ(platform.quitCode, 0);
}

// A folder lists its images in natural order, without the folder named like an image;
// several arguments keep their order, and what is not an image is left out.
TEST_F(CommandLineTest, AFolderAndSeveralArgumentsOpenInOrderAtTheFirst) {
    const QString extra = imageFile("extra.png", 20, 20);
    openCommandLine(viewer, {pics(), extra, dir.filePath("notes.txt")}, dir.path());
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png"), extra}));
    EXPECT_EQ(viewer.playlist.index, 0);
    EXPECT_TRUE(platform.boxes.empty());
}

// Arguments that name the program itself (case-sensitively) or spell its folder split at
// its spaces are no failed open; what else opens nothing is reported, with a beep unless
// muted.
TEST_F(CommandLineTest, NothingSupportedIsReportedUnlessItNamesTheProgram) {
    viewer.settings.mute = true;
    openCommandLine(viewer, {pics("pavo.exe")}, dir.path());
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.quitCode);
    openCommandLine(viewer, {pics("PAVO.EXE")}, dir.path());
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.quitCode, 0);
    openCommandLine(viewer, {folder("empty")}, dir.path());
    EXPECT_EQ(boxes().value(1), "Not Supported: No supported files found.");
    EXPECT_TRUE(platform.beeps.empty()) << "mute silences the beep";

    platform.programFolder = QStringLiteral("/opt/my apps/pavo/");
    openCommandLine(viewer, {"/opt/my", "apps/pavo/pavo"}, dir.path());
    EXPECT_EQ(platform.boxes.size(), 2U) << "the program's own path split at a space";
    openCommandLine(viewer, {"/nowhere/a", "b"}, dir.path());
    EXPECT_EQ(platform.boxes.size(), 3U);
    // Given relative to the folder Pavo was started in, they are joined before they are made
    // absolute; another folder's arguments are a failed open.
    platform.programFolder = QStringLiteral("/home/me/my apps/pavo/");
    openCommandLine(viewer, {"my", "apps/pavo/pavo"}, QStringLiteral("/home/me"));
    EXPECT_EQ(platform.boxes.size(), 3U);
    openCommandLine(viewer, {"my", "apps/pavo/pavo"}, QStringLiteral("/elsewhere"));
    EXPECT_EQ(platform.boxes.size(), 4U);
}

TEST_F(CommandLineTest, NamesThatAreNotUtf8AreSteppedToAndShown) {
    const QByteArray folder = encodeFileName(dir.path());
    test::RawPathCleanup cleanup;
    const QByteArray odd = cleanup.add(folder + "/b\xe9.png");
    test::writeImageAt(folder + "/a.png", cv::Mat(30, 40, CV_8UC3, cv::Scalar(10, 10, 10)));
    test::writeImageAt(odd, cv::Mat(30, 40, CV_8UC3, cv::Scalar(200, 200, 200)));
    test::writeImageAt(folder + "/c.png", cv::Mat(30, 40, CV_8UC3, cv::Scalar(90, 90, 90)));
    openCommandLine(viewer, {"a.png"}, dir.path());
    ASSERT_TRUE(viewer.shownImage.ready);
    press(Key::Right);
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes[0].text.toStdString();
    EXPECT_EQ(encodeFileName(platform.titles.back()), odd) << "the title holds the name's bytes";
    EXPECT_EQ(viewer.shownImage.image.at<cv::Vec3b>(0, 0)[0], 200);
}

// The open dialog: one file opens its folder, several are the playlist as chosen, a file
// where nothing opens is reported and empties the playlist.
TEST_F(CommandLineTest, TheOpenDialogOpensAFolderOrExactlyTheFilesChosen) {
    ASSERT_TRUE(QDir(pics("sub.png")).removeRecursively());  // files only here
    platform.chosenFiles = {pics("2.png")};
    onMouseButton(viewer, MouseButton::Left, MouseAction::DoubleClick);  // empty window
    ASSERT_EQ(platform.fileDialogTitles.size(), 1U);
    EXPECT_EQ(platform.fileDialogTitles[0], "Choose one or more files to open");
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png")}));
    EXPECT_EQ(viewer.playlist.index, 1);

    platform.chosenFiles = {pics("10.png"), pics("1.png"), pics("2.png")};
    onCommand(viewer, static_cast<int>(Command::Open));
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("10.png"), pics("1.png"), pics("2.png")}));
    EXPECT_EQ(viewer.playlist.index, 0);

    platform.chosenFiles.clear();  // cancelled
    onCommand(viewer, static_cast<int>(Command::Open));
    EXPECT_EQ(viewer.playlist.paths.size(), 3U);
    EXPECT_TRUE(platform.boxes.empty());

    test::writeBytes(dir.filePath("notes.txt"), "text");  // where nothing opens
    platform.chosenFiles = {dir.filePath("notes.txt")};
    onCommand(viewer, static_cast<int>(Command::Open));
    EXPECT_EQ(boxes(),
              QStringList{"Not Supported: Failed to load " + dir.filePath("notes.txt") + "."});
    EXPECT_TRUE(viewer.playlist.paths.empty());
    EXPECT_FALSE(platform.quitCode) << "a failed choice never ends the program";
}

TEST_F(CommandLineTest, DropsOpenLikeTheCommandLineAndRefuseWhatIsNotALocalFile) {
    onDrop(viewer, {pics("10.png")});
    EXPECT_EQ(platform.broughtToFront, 1);
    EXPECT_EQ(viewer.playlist.index, 2);

    viewer.input.lastActivityTime = 0;
    onDrop(viewer, {QStringLiteral("https://example.invalid/cat.png")});
    EXPECT_GT(viewer.input.lastActivityTime, 0) << "a drop is activity";
    EXPECT_EQ(boxes(),
              QStringList{"Not Supported: Failed to load https://example.invalid/cat.png."});

    onDrop(viewer, {folder("empty")});
    onDrop(viewer, {folder("empty"), QStringLiteral("https://example.invalid/a.png")});
    EXPECT_EQ(boxes().mid(1), QStringList(2, "Not Supported: No supported files found."));

    onDrop(viewer, {pics("2.png"), pics("sub.png"), pics()});
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("2.png"), pics("1.png"), pics("2.png"), pics("10.png")}))
        << "several items: files, then each folder's supported files, in drop order";
}

TEST_F(CommandLineTest, FullReloadKeepsThePlaceOrShowsTheFirstWhenTheLastIsGone) {
    ASSERT_TRUE(QDir(pics("sub.png")).removeRecursively());  // files only here
    openCommandLine(viewer, {pics("10.png")}, dir.path());
    imageFile("pics/3.png", 40, 30);
    press(Key::F5);
    EXPECT_EQ(viewer.playlist.paths.size(), 4U);
    EXPECT_EQ(viewer.playlist.index, 3) << "the same file, at its new place";

    ASSERT_TRUE(QFile::remove(pics("10.png")));
    onCommand(viewer, static_cast<int>(Command::FullReload));
    EXPECT_EQ(viewer.playlist.index, 0) << "the last file gone: the first";
    EXPECT_EQ(platform.titles.back(), pics("1.png"));

    press(Key::Right);
    ASSERT_TRUE(QFile::remove(pics("2.png")));
    press(Key::F5);
    EXPECT_EQ(platform.titles.back(), pics("3.png")) << "the file that took its place";

    ASSERT_TRUE(QDir(pics()).removeRecursively());
    press(Key::F5);
    EXPECT_EQ(boxes(), QStringList{"Invalid path: Directory was not found."});
    EXPECT_EQ(viewer.playlist.paths.size(), 2U) << "the playlist stays";
}

TEST_F(CommandLineTest, GoToClampsWhatIsTypedIntoThePlaylist) {
    ASSERT_TRUE(QDir(pics("sub.png")).removeRecursively());  // files only here
    openCommandLine(viewer, {pics("2.png")}, dir.path());
    settle();
    const auto goTo = [&](std::optional<QString> typed) {
        platform.positionTyped = std::move(typed);
        press(Key::G);
        return viewer.playlist.index;
    };
    EXPECT_EQ(goTo(QStringLiteral("3")), 2);
    EXPECT_EQ(platform.positionsAsked.back(), (std::pair<std::int32_t, std::int32_t>{2, 3}));
    EXPECT_EQ(goTo(QStringLiteral("0")), 0);
    EXPECT_EQ(goTo(QStringLiteral("2")), 1);
    EXPECT_EQ(goTo(QString()), 0) << "an empty field is the first";
    EXPECT_EQ(goTo(QStringLiteral("99")), 2) << "past the end is the last";
    EXPECT_EQ(goTo(std::nullopt), 2) << "Cancel changes nothing";

    viewer.playlist.paths.resize(1);
    viewer.playlist.index = 0;
    EXPECT_EQ(goTo(QStringLiteral("1")), 0) << "nothing to go to with one image";
}

TEST(Playlist, SupportedFilesAreChosenByTheirLastExtension) {
    for (const char* path :
         {"IMG_0001.JPG", "photo.Png",       "/a/b/c.tiff", "a.tar.webp", "x.JpEg",
          ".png",         "/dir.d/scan.pgm", "s.jps",       "s.mpo",      "s.ppm",
          "s.bmp",        "s.tif",           "IMG_1.HEIC",  "s.heif",     "s.avif",
          "s.jxl",        "s.jfif",          "s.pbm",       "s.pnm",      "a.GIF"}) {
        EXPECT_TRUE(isSupportedFile(QString::fromUtf8(path))) << path;
    }
    // Only ASCII letters are lower-cased: a dotless capital I is not an i.
    for (const char* path : {"scan.jpe", "a.giff", "noextension", "/pics.png/readme", "a.png.txt",
                             "a.", "", "a.pngx", "a.p ng", "/x.jpg/", "a.t\xc4\xb0\x66"}) {
        EXPECT_FALSE(isSupportedFile(QString::fromUtf8(path))) << path;
    }
}

// Supported entries of the folder, folders named so among them but not what they hold, in
// natural order: digit runs by their value, letters without regard to case, whatever the
// user's locale; a name that is not UTF-8 keeps its exact bytes. What cannot be listed is
// reported, not thrown.
TEST(Playlist, AScanListsSupportedEntriesInNaturalOrder) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());  // ASCII
    test::RawPathCleanup cleanup;
    test::writeBytesAt(cleanup.add(folder + "/z\xe9.png"), "x");
    for (const char* name : {"10.png", "2.png", "1.png", "b.JPG", "A.jpg", "notes.txt", "clip.svg",
                             ".hidden.bmp", "page 10.png", "Page 9.png", "page 100.png",
                             "IMG_2.jpg", "img_10.jpg", "img_1.jpg", "b2.png", "B10.png"}) {
        test::writeBytes(dir.filePath(QString::fromUtf8(name)), "x");
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("album.jpg"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("nested/inside.png"));
    const auto scanned = scanDirectory(dir.path());
    ASSERT_TRUE(scanned);
    std::vector<QByteArray> names;
    for (const QString& path : *scanned) names.push_back(encodeFileName(path).mid(folder.size()));
    EXPECT_EQ(names, (std::vector<QByteArray>{
                         "/.hidden.bmp", "/1.png", "/2.png", "/10.png", "/A.jpg", "/album.jpg",
                         "/b.JPG", "/b2.png", "/B10.png", "/img_1.jpg", "/IMG_2.jpg", "/img_10.jpg",
                         "/Page 9.png", "/page 10.png", "/page 100.png", "/z\xe9.png"}));
    EXPECT_EQ(scanDirectory(dir.path() + u'/'), scanned) << "a trailing separator adds none";
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    qputenv("LC_COLLATE", "C");
    EXPECT_EQ(scanDirectory(dir.path()), scanned) << "in the C locale";
    qputenv("LC_ALL", saved);
    qunsetenv("LC_COLLATE");

    EXPECT_FALSE(scanDirectory(dir.path() + "/does-not-exist"));
    EXPECT_FALSE(scanDirectory(dir.filePath("notes.txt"))) << "a file is not a directory";
    EXPECT_EQ(scanDirectory(dir.filePath("album.jpg")), std::vector<QString>{});
}

TEST(Playlist, IndexLookupFindsExactPathOrClampsAndDirectoryKeepsTheSeparator) {
    const std::vector<QString> list{"/pics/A.png", "/pics/b.png", "/pics/c.png"};
    EXPECT_EQ(findPlaylistIndex(list, "/pics/b.png", 0), 1);
    EXPECT_EQ(findPlaylistIndex(list, "/pics/a.png", 1), 1) << "case matters; falls back";
    EXPECT_EQ(findPlaylistIndex(list, "/pics/x.png", 7), 2);
    EXPECT_EQ(findPlaylistIndex(list, "/pics/x.png", -1), 2) << "negative clamps to the last";
    EXPECT_EQ(findPlaylistIndex({}, "/pics/x.png", 5), 0);
    EXPECT_EQ(findPlaylistIndex({"/a.png", "/a.png"}, "/a.png", 1), 0) << "the first equal entry";
    EXPECT_EQ((QStringList{directoryOf("/pics/a.png"), directoryOf("/a.png"), directoryOf("a.png"),
                           directoryOf("rel/dir/")}),
              (QStringList{"/pics/", "/", "", "rel/dir/"}));
}

// Deleting the shown file of a folder of three, with a trash folder beside it.
class DeleteTest : public test::ViewerTest {
  protected:
    void SetUp() override {
        platform.trashFolder = folder("trash");
        imageFolder("pics/%1.png", 3, 40, 30);
    }
    QString pic(const QString& name) const { return dir.filePath("pics/" + name); }
};

TEST_F(DeleteTest, TheShownFileGoesToTheTrashAndTheNextTakesItsPlace) {
    open(pic("2.png"));
    press(Key::Delete);
    EXPECT_TRUE(QFile::exists(dir.filePath("trash/2.png")));
    EXPECT_EQ(viewer.playlist.paths, (std::vector<QString>{pic("1.png"), pic("3.png")}));
    EXPECT_EQ(platform.titles.back(), pic("3.png"));

    press(Key::Delete);  // now the last one
    EXPECT_EQ(platform.titles.back(), pic("1.png")) << "the first after the last";
    press(Key::Delete);  // the only one
    EXPECT_TRUE(viewer.playlist.paths.empty());
    EXPECT_EQ(boxes(), QStringList{"Not Supported: No supported files found."});
    press(Key::Delete);
    EXPECT_EQ(platform.questions.size(), 3U) << "an empty playlist asks nothing";
}

TEST_F(DeleteTest, DecliningOrARefusingTrashLeavesEverythingAsItWas) {
    open(pic("2.png"));
    const std::size_t titles = platform.titles.size();
    platform.answerYes = false;
    press(Key::Delete);
    EXPECT_TRUE(QFile::exists(pic("2.png")));
    EXPECT_EQ(platform.titles.size(), titles);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.trashed.empty()) << "nothing is sent before the user agrees";

    platform.answerYes = true;
    platform.trashRefuses = true;
    press(Key::Delete);
    EXPECT_TRUE(QFile::exists(pic("2.png"))) << "never deleted outright";
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].caption, "Delete failed");
    EXPECT_EQ(viewer.playlist.index, 1);
    EXPECT_EQ(platform.titles.size(), titles);
}

TEST_F(DeleteTest, AFileGoneAlreadyIsReportedAndTheFolderListedAgain) {
    open(pic("2.png"));
    ASSERT_TRUE(QFile::remove(pic("2.png")));
    press(Key::Delete);
    EXPECT_EQ(boxes(), QStringList{"Delete failed: Could not delete " + pic("2.png") + "."});
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(platform.titles.back(), pic("3.png"));
}

TEST_F(DeleteTest, APathTooLongForTheFileSystemIsNeverCutShort) {
    open(pic("2.png"));
    QString longWay = dir.filePath("pics/");
    while (longWay.size() < 4200) longWay += QStringLiteral("./");
    viewer.playlist.paths[1] = longWay + QStringLiteral("2.png");  // names the shown file
    press(Key::Delete);
    EXPECT_EQ(boxes(),
              QStringList{"Delete failed: The file path is too long.\nManual delete is required."});
    EXPECT_TRUE(platform.trashed.empty());
    EXPECT_TRUE(QFile::exists(pic("2.png")));
}

using LoadTest = ViewerTest;

TEST_F(LoadTest, ALoadedImageSizesTheWindowAndTitlesIt) {
    const QString path = imageFile("a.png", 640, 480);
    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1200;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    const ImageBuffer& shown = viewer.shownImage;
    EXPECT_EQ(platform.titles.back(), path);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 649, 539}));
    EXPECT_EQ(shown.displayWidth, 640);
    EXPECT_EQ(shown.display.data, shown.image.data) << "own size: shown as decoded";
    EXPECT_EQ(shown.channels, 3);
    EXPECT_EQ(shown.fileSize, fileSizeOf(path));
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    ASSERT_FALSE(platform.redraws.empty()) << "the picture is drawn before the load returns";

    viewer.view.fitActive = true;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Step));
    EXPECT_EQ(platform.windowRect().height(), 1047);
    EXPECT_EQ(viewer.shownImage.displayHeight, 988);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1317);
}

TEST_F(LoadTest, FailedLoadsLeaveNothingReadyAndResetTheZoom) {
    viewer.view.zoomPerMille = 1500;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("missing.png"), LoadOrigin::Opened));
    EXPECT_EQ(viewer.view.zoomPerMille, 1500) << "a missing file never reaches the size query";

    test::writeBytes(dir.filePath("empty.png"), {});
    viewer.shownImage.loadTimeMs = -1;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("empty.png"), LoadOrigin::Opened));
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_GE(viewer.shownImage.loadTimeMs, 0);

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), LoadOrigin::Opened));
    EXPECT_FALSE(viewer.shownImage.ready);
    EXPECT_TRUE(platform.titles.empty());
}

// The decode a start begins before its window exists is what the load of that file
// shows, once; a load of any other file decodes afresh and drops it.
TEST_F(LoadTest, TheEarlyDecodeServesTheLoadOfItsOwnFileOnce) {
    const QString path = imageFile("a.png", 640, 480);
    const QString other = imageFile("b.png", 320, 200);
    viewer.view.fitActive = false;
    startEarlyDecode(viewer, path, StartPreview::None);
    settle();
    ASSERT_TRUE(decodeDone(viewer, path));
    imageFile("a.png", 64, 48);  // changed on disk after the early decode
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 640) << "the early decode was not used";
    EXPECT_FALSE(decodeStarted(viewer, path));
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 64) << "an early decode serves one load only";

    startEarlyDecode(viewer, path, StartPreview::None);
    settle();
    ASSERT_TRUE(loadShownImage(viewer, other, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 320);
    EXPECT_FALSE(decodeStarted(viewer, path)) << "an early decode of another file is dropped";

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    startEarlyDecode(viewer, dir.filePath("junk.jpg"), StartPreview::None);
    settle();
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), LoadOrigin::Opened));
    EXPECT_FALSE(viewer.shownImage.ready);
}

// A start shows a rough preview of a large JPEG, where the window keeps its size, and
// decodes the image once the preview is drawn; once the decode is there the image is
// shown as it is really scaled.
TEST_F(LoadTest, APreviewShowsUntilTheImageReplacesIt) {
    cv::Mat photo(1800, 3000, CV_8UC3);
    cv::randu(photo, 0, 256);
    const QString path = dir.filePath("photo.jpg");
    test::writeImage(path, photo);
    platform.showInitial({0, 0, 800, 600}, true);
    holdJobs();
    startEarlyDecode(viewer, path, StartPreview::First);
    openCommandLine(viewer, {path}, dir.path());
    ASSERT_TRUE(stepUnderWay(viewer)) << "the start waits for its decode";
    ASSERT_EQ(held.waiting(), 2U) << "the preview and the folder's listing; the image after";
    ASSERT_TRUE(held.runOne()) << "the preview's job";
    EXPECT_EQ(held.waiting(), 1U) << "the image's decode waits while the preview is drawn";
    platform.runQueued();
    EXPECT_EQ(held.waiting(), 2U) << "and starts once it is";
    ASSERT_EQ(viewer.navigation.startPreview.size(), cv::Size(1500, 900))
        << "halved: the most that keeps 1280 x 720";
    const Size client = platform.clientSize();
    const cv::Mat& display = viewer.shownImage.display;
    EXPECT_EQ(display.type(), CV_8UC4);
    EXPECT_TRUE(display.cols == client.width || display.rows == client.height);
    EXPECT_FALSE(viewer.shownImage.ready) << "a preview is no loaded image";

    settle();
    ASSERT_TRUE(viewer.shownImage.ready);
    cv::Mat exact;
    scaleToSize(scaleContext(viewer), viewer.shownImage.image, exact,
                viewer.shownImage.displayWidth, viewer.shownImage.displayHeight);
    EXPECT_EQ(cv::norm(viewer.shownImage.display, exact, cv::NORM_INF), 0.0)
        << "the preview is replaced by the scaled image";

    viewer.navigation.startPreview = photo;
    viewer.navigation.pending = PendingStep{.origin = LoadOrigin::Opened, .path = path};
    viewer.view.fitActive = false;
    EXPECT_FALSE(showStartPreview(viewer)) << "at its own size a preview would mislead";
    viewer.view.fitActive = true;
    platform.restorePlacement({{0, 0, 800, 600}, 1});
    EXPECT_FALSE(showStartPreview(viewer)) << "the window is about to be sized to it";
    viewer.navigation.pending.reset();

    test::writeImage(dir.filePath("small.jpg"), cv::Mat(1000, 1600, CV_8UC3));
    EXPECT_TRUE(previewOfFile(dir.filePath("small.jpg")).empty())
        << "too small to be worth a reduced decode";
}

// The first look a start began before the viewer existed is the one it shows, not decoded
// again; a start without a preview stops it. A named pipe in the file's place ends it at
// once with nothing, instead of holding its thread until someone writes.
TEST_F(LoadTest, TheFirstLookBegunAtProcessStartIsTakenOrStopped) {
    cv::Mat photo(1800, 3000, CV_8UC3);
    cv::randu(photo, 0, 256);
    const QString path = dir.filePath("photo.jpg");
    test::writeImage(path, photo);
    const cv::Mat expected = previewOfFile(path);
    platform.showInitial({0, 0, 800, 600}, true);
    test::HeldJobs early;
    viewer.navigation.earlyFirstLook = beginFirstLook(early, path);
    ASSERT_TRUE(early.runOne());
    QFile::remove(path);  // only the early decode can show it now
    holdJobs();
    startEarlyDecode(viewer, path, StartPreview::First);
    EXPECT_FALSE(viewer.navigation.earlyFirstLook) << "taken";
    ASSERT_TRUE(held.runOne()) << "the preview's job";
    platform.runQueued();
    ASSERT_FALSE(viewer.navigation.startPreview.empty());
    EXPECT_EQ(cv::norm(viewer.navigation.startPreview, expected, cv::NORM_INF), 0.0);
    cancelFileDecode(viewer);

    test::writeImage(path, photo);
    viewer.navigation.earlyFirstLook = beginFirstLook(early, path);
    const CancelToken token = viewer.navigation.earlyFirstLook->token;
    startEarlyDecode(viewer, path, StartPreview::None);
    EXPECT_TRUE(token.cancelled()) << "no preview: the early decode stops";
    EXPECT_TRUE(decodeStarted(viewer, path)) << "the image decodes as ever";
    ASSERT_TRUE(early.runOne());
    cancelFileDecode(viewer);

    const QString pipe = dir.filePath("pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const EarlyFirstLook nothing = beginFirstLook(early, pipe);
    ASSERT_TRUE(early.runOne());
    EXPECT_FALSE(nothing.decoded.get());
}

// Opened directly, an image `autoShowOriginal` times as high as wide starts at its own size.
TEST_F(LoadTest, TallImagesOpenUnfittedOnlyWhenOpenedDirectly) {
    const QString tall = imageFile("tall.png", 100, 300);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Step));
    EXPECT_TRUE(viewer.view.fitActive);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Opened));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{100, 300}));
    for (const auto& [threshold, height, fit] :
         {std::tuple{3, 1800, false}, std::tuple{3, 1799, true}, std::tuple{0, 1800, true}}) {
        viewer.settings.autoShowOriginal = threshold;
        viewer.view.fitActive = true;
        showImage(600, height);
        applyAutoShowOriginal(viewer, LoadOrigin::Opened);
        EXPECT_EQ(viewer.view.fitActive, fit) << threshold << ", 600 x " << height;
    }
}

}  // namespace
}  // namespace pavo

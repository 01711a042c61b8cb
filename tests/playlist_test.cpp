#include "playlist/playlist.h"
#include "image/image.h"
#include "platform/files.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <gtest/gtest.h>

namespace pavo {
namespace {

TEST(Playlist, SupportedFilesAreChosenByTheirLastExtension) {
    for (const char* path :
         {"IMG_0001.JPG", "photo.Png", "/a/b/c.tiff", "a.tar.webp", "x.JpEg", ".png",
          "/dir.d/scan.pgm", "s.jps", "s.mpo", "s.ppm", "s.bmp", "s.tif"}) {
        EXPECT_TRUE(isSupportedFile(QString::fromUtf8(path))) << path;
    }
    for (const char* path : {"scan.jpe", "a.gif", "noextension", "/pics.png/readme", "a.png.txt",
                             "a.", "", "a.pngx", "a.p ng", "/x.jpg/"}) {
        EXPECT_FALSE(isSupportedFile(QString::fromUtf8(path))) << path;
    }
    // Only ASCII letters are lower-cased: a dotless capital I is not an i.
    EXPECT_FALSE(
        isSupportedFile(QString::fromUtf8("a.t\xc4\xb0"
                                          "f")));
}

class ScanTest : public testing::Test {
  protected:
    void touch(const QString& name) { test::writeBytes(dir.filePath(name), "x"); }
    QString full(const QString& name) const { return dir.path() + u'/' + name; }
    QTemporaryDir dir;
};

TEST_F(ScanTest, ListsSupportedEntriesInNaturalOrder) {
    for (const char* name :
         {"10.png", "2.png", "1.png", "b.JPG", "A.jpg", "notes.txt", "clip.gif", ".hidden.bmp"}) {
        touch(QString::fromUtf8(name));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("album.jpg"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("nested"));
    touch("nested/inside.png");

    const std::vector<QString> expected{full(".hidden.bmp"), full("1.png"), full("2.png"),
                                        full("10.png"),      full("A.jpg"), full("album.jpg"),
                                        full("b.JPG")};
    EXPECT_EQ(scanDirectory(dir.path()), expected);
    EXPECT_EQ(scanDirectory(dir.path() + u'/'), expected) << "a trailing separator adds none";
}

TEST_F(ScanTest, NaturalOrderComparesDigitRunsByValueAndIgnoresCase) {
    std::vector<QString> names{"page 10.png", "Page 9.png", "page 100.png",
                               "IMG_2.jpg",   "img_10.jpg", "img_1.jpg",
                               "b2.png",      "B10.png",    "a.png"};
    sortNaturally(names);
    const std::vector<QString> expected{"a.png",      "b2.png",      "B10.png",
                                        "img_1.jpg",  "IMG_2.jpg",   "img_10.jpg",
                                        "Page 9.png", "page 10.png", "page 100.png"};
    EXPECT_EQ(names, expected);
}

TEST_F(ScanTest, OrderDoesNotDependOnTheUsersLocale) {
    for (const char* name : {"b.png", "A.png", "a10.png", "a9.png", "_x.png"})
        touch(QString::fromUtf8(name));
    const auto inDefault = scanDirectory(dir.path());
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    qputenv("LC_COLLATE", "C");
    const auto inC = scanDirectory(dir.path());
    qputenv("LC_ALL", saved);
    qunsetenv("LC_COLLATE");
    ASSERT_TRUE(inDefault);
    EXPECT_EQ(inDefault, inC);
    EXPECT_EQ(inDefault->at(1), full("A.png")) << "upper case does not sort before all lower case";
}

// A name that is not valid UTF-8 is listed, sorted and opened under its exact bytes.
TEST_F(ScanTest, NamesThatAreNotUtf8AreListedAndOpen) {
    const QByteArray folder = QFile::encodeName(dir.path());  // ASCII
    const std::vector<QByteArray> files{folder + "/a.png", folder + "/b\xe9.png",
                                        folder + "/c.png"};
    test::RawPathCleanup cleanup;
    cleanup.add(files[1]);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const double value = 50.0 * static_cast<double>(i + 1);
        test::writeImageAt(files[i], cv::Mat(3, 4, CV_8UC3, cv::Scalar(value, value, value)));
    }
    const auto scanned = scanDirectory(dir.path());
    ASSERT_TRUE(scanned);
    ASSERT_EQ(scanned->size(), 3U);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(encodeFileName(scanned->at(i)), files[i]);

    const auto middle = loadImageFile(scanned->at(1));
    ASSERT_TRUE(middle) << "the second of three, named with a Latin-1 byte";
    EXPECT_EQ(middle->image.at<cv::Vec3b>(1, 1), cv::Vec3b(100, 100, 100));
}

TEST_F(ScanTest, UnlistableDirectoriesAreReportedNotThrown) {
    EXPECT_FALSE(scanDirectory(dir.path() + "/does-not-exist"));
    touch("file.png");
    EXPECT_FALSE(scanDirectory(full("file.png"))) << "a file is not a directory";
    ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
    EXPECT_EQ(scanDirectory(full("empty")), std::vector<QString>{});
}

TEST(Playlist, IndexLookupFindsExactPathOrClampsTheCurrentIndex) {
    const std::vector<QString> list{"/pics/A.png", "/pics/b.png", "/pics/c.png"};
    EXPECT_EQ(findPlaylistIndex(list, "/pics/b.png", 0), 1);
    EXPECT_EQ(findPlaylistIndex(list, "/pics/a.png", 1), 1) << "case matters; falls back";
    EXPECT_EQ(findPlaylistIndex(list, "/pics/x.png", 7), 2);
    EXPECT_EQ(findPlaylistIndex(list, "/pics/x.png", -1), 2) << "negative clamps to the last";
    EXPECT_EQ(findPlaylistIndex({}, "/pics/x.png", 5), 0);
    EXPECT_EQ(findPlaylistIndex({"/a.png", "/a.png"}, "/a.png", 1), 0) << "the first equal entry";
}

TEST(Playlist, DirectoryOfKeepsTheFinalSeparator) {
    EXPECT_EQ(directoryOf("/pics/a.png"), "/pics/");
    EXPECT_EQ(directoryOf("/a.png"), "/");
    EXPECT_EQ(directoryOf("a.png"), "");
    EXPECT_EQ(directoryOf("rel/dir/"), "rel/dir/");
}

TEST(StepIndex, WrapsAtBothEnds) {
    EXPECT_EQ(stepIndex(3, 2, 1), 0);
    EXPECT_EQ(stepIndex(3, 0, -1), 2);
    EXPECT_EQ(stepIndex(10, 8, 5), 3);
    EXPECT_EQ(stepIndex(10, 1, -5), 6);
    EXPECT_EQ(stepIndex(1, 0, 5), 0);
}

}  // namespace
}  // namespace pavo

#include "playlist/playlist.h"
#include "platform/files.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace pavo {
namespace {

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

// An entry is found by its exact path, else the index clamps; a folder keeps its separator.
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

}  // namespace
}  // namespace pavo

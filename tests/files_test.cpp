#include "platform/files.h"
#include "platform/pixel_memory.h"
#include "platform/trash.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <random>
#include <set>
#include <thread>

namespace pavo {
namespace {

QString text(const char16_t* units) {
    return QStringView(units).toString();
}

// Valid UTF-8 decodes as text and each byte of anything else as U+DC80 + (byte - 0x80),
// which valid UTF-8 never gives; every string of bytes comes back exactly.
TEST(FileNames, EveryByteStringDecodesAsTextOrEscapesAndComesBackExactly) {
    const std::pair<const char*, const char16_t*> names[] = {
        {"caf\xc3\xa9 \xe6\x97\xa5.png", u"caf\u00e9 \u65e5.png"},  // two and three bytes
        {"/pics/b\xe9.png", u"/pics/b\xdce9.png"},                  // Latin-1
        {"\xe2\x82.png", u"\xdce2\xdc82.png"},                      // cut short
        {"\xe0\x80\xaf", u"\xdce0\xdc80\xdcaf"},                    // an overlong '/'
        {"\xed\xb2\x80", u"\xdced\xdcb2\xdc80"},                    // U+DC80 encoded
        {"\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},          // beyond U+10FFFF
        {"\xe9\xf0\x9f\x98\x80\xe9", u"\xdce9\U0001F600\xdce9"}};   // a surrogate pair amid escapes
    for (const auto& [bytes, decoded] : names) {
        EXPECT_EQ(decodeFileName(bytes), text(decoded)) << bytes;
        EXPECT_EQ(encodeFileName(text(decoded)), QByteArray(bytes)) << bytes;
    }
    // Every string of two bytes, and many longer ones biased towards bytes above 0x7F.
    for (int pair = 0; pair < 0x10000; ++pair) {
        const char two[] = {static_cast<char>(pair >> 8), static_cast<char>(pair)};
        const QByteArray bytes(two, 2);
        ASSERT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes(static_cast<qsizetype>(1 + random() % 9), '\0');
        for (char& b : bytes)
            b = static_cast<char>(random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        ASSERT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

// Titles show escaped bytes as U+FFFD; other text encodes as Qt's file functions write it.
TEST(FileNames, EscapesShowAsReplacementsAndOtherTextEncodesAsQtWritesIt) {
    EXPECT_EQ(displayName(decodeFileName("/pics/b\xe9.png")), text(u"/pics/b\ufffd.png"));
    EXPECT_EQ(displayName(text(u"\U0001F600 a\xd800")), text(u"\U0001F600 a\ufffd"));
    EXPECT_EQ(encodeFileName(text(u"a\xd800z")), QByteArray("a\xef\xbf\xbdz"));
    EXPECT_EQ(encodeFileName(text(u"\xdc7f")), QByteArray("\xef\xbf\xbd"));
}

// Two names that differ only in a byte that is not UTF-8 are two files, and each is
// found, measured, read and listed under its own name.
TEST(FileNames, FilesNamedWithAnyBytesCanBeUsed) {
    QTemporaryDir dir;
    test::RawPathCleanup cleanup;
    const QByteArray folder = QFile::encodeName(dir.path());  // ASCII
    const QByteArray e8 = cleanup.add(folder + "/b\xe8.png");
    const QByteArray e9 = cleanup.add(folder + "/b\xe9.png");
    test::writeBytesAt(e8, "eight");
    test::writeBytesAt(e9, "nine!!");
    const QByteArray sub = cleanup.add(folder + "/d\xff");
    ASSERT_EQ(mkdir(sub.constData(), 0755), 0);
    test::writeBytesAt(cleanup.add(sub + "/in\xfe"), "x");

    EXPECT_TRUE(fileExists(decodeFileName(e9)));
    EXPECT_FALSE(fileExists(decodeFileName(folder + "/b\xea.png")));
    EXPECT_EQ(fileSizeOf(decodeFileName(e8)), 5);
    EXPECT_EQ(fileSizeOf(decodeFileName(e9)), 6);
    EXPECT_EQ(readFileBytes(decodeFileName(e9), 8),
              (FileBytes{'n', 'i', 'n', 'e', '!', '!', 0, 0}));
    EXPECT_TRUE(isDirectory(decodeFileName(sub)));
    const auto names = listDirectory(dir.path()).value_or(std::vector<QString>{});
    EXPECT_EQ(std::set<QString>(names.begin(), names.end()),
              (std::set<QString>{decodeFileName("b\xe8.png"), decodeFileName("b\xe9.png"),
                                 decodeFileName("d\xff")}));
    EXPECT_EQ(listDirectory(decodeFileName(sub)), std::vector<QString>{decodeFileName("in\xfe")});

    // A NUL would end the name early and reach another file.
    EXPECT_FALSE(fileExists(decodeFileName(e9) + QChar(u'\0') + QStringLiteral("x")));
    EXPECT_EQ(fileSizeOf(decodeFileName(e9) + QChar(u'\0')), -1);
}

QByteArray rawContents(const QByteArray& rawPath) {
    const QString path = decodeFileName(rawPath);
    const FileBytes bytes = readFileBytes(path, std::max(fileSizeOf(path), 0));
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// The desktop's real trash, in the home tests/main.cpp gives the run. A name that is not
// UTF-8 lies beside the name a lossy decoding makes of it: only the file asked for leaves.
TEST(Trash, TheFileOfTheExactBytesGoesToTheTrash) {
    QTemporaryDir dir;
    test::RawPathCleanup cleanup;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray trash = qgetenv("XDG_DATA_HOME") + "/Trash";
    // Named after the folder, so that no earlier test of the run trashed a file of that name.
    const QByteArray name = folder.mid(folder.lastIndexOf('/') + 1) + ".png";
    const QByteArray shown = cleanup.add(folder + "/x\xff" + name);
    const QByteArray sibling = cleanup.add(folder + "/x\xef\xbf\xbd" + name);
    const QByteArray trashed = cleanup.add(trash + "/files/x\xff" + name);
    const QByteArray info = cleanup.add(trash + "/info/x\xff" + name + ".trashinfo");
    test::writeBytesAt(shown, "shown");
    test::writeBytesAt(sibling, "sibling");

    // A NUL would end the name at another file; a missing file has nothing to trash.
    EXPECT_EQ(moveFileToTrash(decodeFileName(shown) + QChar(u'\0') + QStringLiteral("x")),
              TrashResult::Refused);
    EXPECT_EQ(moveFileToTrash(decodeFileName(folder + "/gone.png")), TrashResult::Refused);
    ASSERT_EQ(moveFileToTrash(decodeFileName(shown)), TrashResult::Moved);

    EXPECT_EQ(listDirectory(dir.path()),
              std::vector<QString>{decodeFileName(sibling.mid(folder.size() + 1))});
    EXPECT_EQ(rawContents(sibling), "sibling");
    EXPECT_EQ(rawContents(trashed), "shown");
    // The .trashinfo names the original bytes, so a file manager can put the file back.
    EXPECT_TRUE(rawContents(info).contains("\nPath=" + folder + "/x%FF" + name + "\n"))
        << rawContents(info).toStdString();
}

// A freed large buffer serves the next matrix or file of a close size, filled as asked, but
// no far smaller one; small matrices stay on the heap; few are kept; a release frees them.
TEST(PixelMemory, FreedLargeBuffersAreReusedBoundedAndReleasedOnRequest) {
    releaseCachedPixelMemory();
    const std::size_t mapped = pixelMemoryStats().mappedBuffers;  // by other tests' matrices
    const uchar* first = cv::Mat(2000, 1500, CV_8UC4, cv::Scalar::all(1)).data;  // freed
    {
        const cv::Mat again(1999, 1500, CV_8UC4, cv::Scalar::all(9));
        EXPECT_EQ(again.data, first) << "a close size reuses the freed buffer";
        const cv::Mat tiny(2, 2, CV_8UC4);
        EXPECT_EQ(pixelMemoryStats().mappedBuffers, mapped + 1) << "a small matrix is not mapped";
    }
    EXPECT_NE(cv::Mat(1000, 1000, CV_8UC4).data, first) << "a far larger buffer is not wasted";
    releaseCachedPixelMemory();
    first = FileBytes(3 << 20, 7).data();
    const FileBytes again(3 << 20, 0);
    EXPECT_EQ(again.data(), first) << "files take from the same pool";
    EXPECT_EQ(again.back(), 0) << "reused memory is filled as asked";
    {
        { const cv::Mat small(1024, 1024, CV_8UC4), large(4096, 2048, CV_8UC4); }
        ASSERT_EQ(pixelMemoryStats().cachedBuffers, 2U);
        const cv::Mat between(2048, 2048, CV_8UC4);  // fits neither cached buffer
        EXPECT_EQ(pixelMemoryStats().cachedBuffers, 1U) << "the smaller one went back";
        EXPECT_EQ(pixelMemoryStats().cachedBytes, std::size_t{32} << 20) << "the larger one waits";
    }
    {
        std::vector<cv::Mat> many(10);
        for (int i = 0; i < 10; ++i) many[i].create(1024, 1024 + 64 * i, CV_8UC4);
    }
    EXPECT_LE(pixelMemoryStats().cachedBuffers, 2U);
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().cachedBuffers, 0U);
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, mapped + 1) << "only the file's bytes are left";
}

TEST(PixelMemory, ThreadsAllocateAndFreeConcurrently) {
    {
        const auto work = [](int t) {
            for (int i = 0; i < 20; ++i) {
                const cv::Mat m(700 + 10 * t, 800, CV_8UC4, cv::Scalar::all(t));
                ASSERT_EQ(m.clone().at<cv::Vec4b>(699, 799)[0], t);
            }
        };
        const std::jthread a(work, 0), b(work, 1), c(work, 2);
    }
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, 0U);
}

}  // namespace
}  // namespace pavo

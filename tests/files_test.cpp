#include "platform/files.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <random>

namespace pavo {
namespace {

QByteArray raw(const char* bytes) {
    return QByteArray(bytes);
}

QString units(std::initializer_list<char16_t> codeUnits) {
    QString text;
    for (const char16_t unit : codeUnits) text.append(QChar(unit));
    return text;
}

TEST(FileNames, EveryByteStringComesBackExactly) {
    const std::vector<QByteArray> tricky{
        // Latin-1, lone continuation bytes, sequences cut short, ASCII where a
        // continuation should be.
        raw("b\xe9.png"), raw("\x80"), raw("\xbf\xbf.jpg"), raw("\xc3"), raw("\xe2\x82.png"),
        raw("\xf0\x9f\x98"), raw("\xe2(a"),
        // Overlong forms of '/', encoded surrogates (U+DC80 among them, which must not
        // pass for an escape), beyond U+10FFFF, bytes never valid.
        raw("\xc0\xaf"), raw("\xe0\x80\xaf"), raw("\xf0\x80\x80\xaf"), raw("\xed\xa0\x80"),
        raw("\xed\xb2\x80"), raw("\xf4\x90\x80\x80"), raw("\xff\xfe"),
        // Valid UTF-8, an emoji (a surrogate pair in the QString), and a pair next to an
        // escaped byte on either side.
        raw("caf\xc3\xa9.png"), raw("\xe6\x97\xa5\xe6\x9c\xac.jpg"),
        raw("\xf0\x9f\x98\x80 smile.png"), raw("\xf0\x9f\x98\x80\xe9"),
        raw("\xe9\xf0\x9f\x98\x80")};
    for (const QByteArray& bytes : tricky) {
        EXPECT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }

    // Every two-byte string, and many longer ones biased towards bytes above 0x7F.
    QByteArray pair(2, '\0');
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            pair[0] = static_cast<char>(first);
            pair[1] = static_cast<char>(second);
            ASSERT_EQ(encodeFileName(decodeFileName(pair)), pair) << pair.toHex().toStdString();
        }
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes(static_cast<qsizetype>(1 + random() % 9), '\0');
        for (char& b : bytes) {
            const auto value = random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80;
            b = static_cast<char>(value);
        }
        ASSERT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

TEST(FileNames, ValidUtf8DecodesAsTextAndOtherBytesAsEscapes) {
    for (const char* valid :
         {"plain.png", "caf\xc3\xa9.png", "\xe6\x97\xa5.jpg", "\xf0\x9f\x98\x80.png"}) {
        EXPECT_EQ(decodeFileName(raw(valid)), QString::fromUtf8(valid)) << valid;
    }
    EXPECT_EQ(decodeFileName(raw("b\xe9.png")),
              QStringLiteral("b") + units({0xDCE9}) + QStringLiteral(".png"));
    EXPECT_EQ(decodeFileName(raw("\xed\xb2\x80")), units({0xDCED, 0xDCB2, 0xDC80}))
        << "an encoded surrogate is three bytes that are not UTF-8";
    EXPECT_EQ(decodeFileName(raw("\xe2(a")), units({0xDCE2, u'(', u'a'}));
    EXPECT_EQ(decodeFileName(raw("\xc0\xaf")), units({0xDCC0, 0xDCAF}));

    // Text that no file name decodes to still encodes as Qt's file functions write it.
    EXPECT_EQ(encodeFileName(units({u'a', 0xD800, u'b'})), raw("a\xef\xbf\xbd"
                                                               "b"));
    EXPECT_EQ(encodeFileName(units({0xDC7F})), raw("\xef\xbf\xbd"));
    EXPECT_EQ(encodeFileName(units({0xD83D, 0xDE00})), raw("\xf0\x9f\x98\x80"));
    EXPECT_EQ(encodeFileName(units({0xDCFF, 0xDC80})), raw("\xff\x80"));
}

TEST(FileNames, DisplayNamesReplaceTheBytesThatAreNotText) {
    EXPECT_EQ(displayName(decodeFileName(raw("/pics/b\xe9.png"))),
              QStringLiteral("/pics/b\uFFFD.png"));
    EXPECT_EQ(displayName(decodeFileName(raw("\xc0\xaf"))), QStringLiteral("\uFFFD\uFFFD"));
    const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80 caf\xc3\xa9.png");
    EXPECT_EQ(displayName(emoji), emoji) << "surrogate pairs are text";
    EXPECT_EQ(displayName(units({u'a', 0xD800})), QStringLiteral("a\uFFFD"));
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
    EXPECT_EQ(readFileBytes(decodeFileName(e9), 6), (FileBytes{'n', 'i', 'n', 'e', '!', '!'}));
    EXPECT_TRUE(isDirectory(decodeFileName(sub)));
    EXPECT_FALSE(isDirectory(decodeFileName(e9)));

    auto names = listDirectory(dir.path());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    std::vector<QString> expected{decodeFileName("b\xe8.png"), decodeFileName("b\xe9.png"),
                                  decodeFileName("d\xff")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*names, expected);
    EXPECT_EQ(listDirectory(decodeFileName(sub)), std::vector<QString>{decodeFileName("in\xfe")});

    // A NUL would end the name early and reach another file.
    EXPECT_FALSE(fileExists(decodeFileName(e9) + QChar(u'\0') + QStringLiteral("x")));
    EXPECT_EQ(fileSizeOf(decodeFileName(e9) + QChar(u'\0')), -1);
}

}  // namespace
}  // namespace pavo

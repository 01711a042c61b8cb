#include "platform/files.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <random>
#include <set>

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

}  // namespace
}  // namespace pavo

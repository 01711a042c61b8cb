#include "platform/reg_file.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

namespace pavo {
namespace {

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings");

QByteArray storeText(const QString& body) {
    return (QStringLiteral("Windows Registry Editor Version 5.00\n\n[") + kKey +
            QStringLiteral("]\n") + body)
        .toUtf8();
}

TEST(RegDocument, ReadsEveryValueSyntax) {
    const RegDocument doc =
        RegDocument::parse(storeText(QStringLiteral("\"posX\"=dword:fffffff9\n"
                                                    "\"mute\"=hex:01\n"
                                                    "\"path\"=\"C:\\\\pics \\\"best\\\"\"\n"
                                                    "\"multi\"=hex(7):41,00,00,00,\\\n"
                                                    "  00,00\n"
                                                    "@=\"default\"\n")),
                           kKey);
    EXPECT_EQ(doc.value("posX"), dwordValue(-7));
    EXPECT_EQ(doc.value("POSX"), dwordValue(-7)) << "value names ignore case";
    EXPECT_EQ(doc.value("mute"), flagValue(true));
    EXPECT_EQ(doc.value("path"), textValue(QStringLiteral("C:\\pics \"best\"")));
    EXPECT_EQ(doc.value("multi"), (RegValue{7, QByteArray("A\0\0\0\0\0", 6)}));
    EXPECT_EQ(doc.value(""), textValue("default"));
    EXPECT_FALSE(doc.value("missing"));
}

TEST(RegDocument, IgnoresWhatItCannotReadAndValuesOfOtherKeys) {
    const RegDocument doc =
        RegDocument::parse(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n"
                                          "\"width\"=dword:00000001\n\n"
                                          "[hkey_current_user\\software\\pavo\\settings]\n"
                                          "\"width\"=dword:0000zz01\n"
                                          "\"height\"=dword:00000320\n"
                                          "\"broken\"=\"no end quote\n"
                                          "\"escape\"=\"bad \\n escape\"\n"
                                          "\"state\"=dword:00000003\n"
                                          "\"state\"=dword:00000001\n")
                               .toUtf8(),
                           kKey);
    EXPECT_FALSE(doc.value("width")) << "the other key's value and the malformed one are not ours";
    EXPECT_EQ(doc.value("height"), dwordValue(800)) << "reading goes on after a bad line";
    EXPECT_FALSE(doc.value("broken"));
    EXPECT_FALSE(doc.value("escape"));
    EXPECT_EQ(doc.value("state"), dwordValue(1)) << "a later line overrides an earlier one";
}

TEST(RegDocument, RewriteChangesOnlyTheValuesSet) {
    const QByteArray original = QByteArrayLiteral(
        "Windows Registry Editor Version 5.00\n\n"
        "; kept comment\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n"
        "\"x\"=dword:00000001\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n"
        "\"unknown\"=hex(b):01,02,03,04,05,06,07,08\n"
        "this line is not a value\n"
        "\"width\"=dword:00000258\n\n");
    RegDocument doc = RegDocument::parse(original, kKey);
    EXPECT_EQ(doc.toBytes(), original) << "an untouched document is written back byte for byte";

    doc.setValue("Width", dwordValue(1024));
    doc.setValue("mute", flagValue(false));
    doc.setValue("ignoreVersion", textValue("line\nbreak"));
    const QByteArray expected = QByteArrayLiteral(
        "Windows Registry Editor Version 5.00\n\n"
        "; kept comment\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n"
        "\"x\"=dword:00000001\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n"
        "\"unknown\"=hex(b):01,02,03,04,05,06,07,08\n"
        "this line is not a value\n"
        "\"width\"=dword:00000400\n"
        "\"mute\"=hex:00\n"
        "\"ignoreVersion\"=hex(1):6c,00,69,00,6e,00,65,00,0a,00,62,00,72,00,65,00,61,00,6b,00,00,"
        "00\n"
        "\n");
    EXPECT_EQ(doc.toBytes(), expected);

    const RegDocument reread = RegDocument::parse(doc.toBytes(), kKey);
    EXPECT_EQ(reread.value("ignoreVersion"), textValue("line\nbreak"));
    EXPECT_EQ(reread.value("unknown"), (RegValue{0xb, QByteArray("\1\2\3\4\5\6\7\x08", 8)}));
}

TEST(RegDocument, CreatesHeaderAndKeyWhenMissing) {
    RegDocument doc = RegDocument::parse(QByteArray(), kKey);
    doc.setValue("rememberExit", flagValue(true));
    EXPECT_EQ(doc.toBytes(), storeText("\"rememberExit\"=hex:01\n"));

    RegDocument other = RegDocument::parse(
        QByteArray("Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"a\"=hex:\n"), kKey);
    other.setValue("b", textValue(QString::fromUtf8("K\xc3\xa4se \xe2\x82\xac")));
    EXPECT_EQ(other.toBytes(),
              QByteArray("Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"a\"=hex:\n\n[") +
                  kKey.toUtf8() + "]\n\"b\"=\"K\xc3\xa4se \xe2\x82\xac\"\n");
}

// A file keeps its encoding and line ends: the line set and the line added are written
// as the file writes its lines, and every other byte stays, even bytes that are not text.
TEST(RegDocument, RewriteKeepsTheFileEncodingAndLineEnds) {
    struct Case {
        const char* name;
        QStringConverter::Encoding encoding;
        QByteArray byteOrderMark;
        QByteArray invalidCharacter;  // bytes that are no character in the encoding
        QString firstEnd;             // the first line's end, which added lines take
        QString end;                  // every other line's end
    };
    const Case cases[] = {
        {"UTF-8 with a Latin-1 byte", QStringConverter::Utf8, "", "\xe9", "\n", "\n"},
        {"UTF-8 with its mark and mixed line ends", QStringConverter::Utf8, "\xef\xbb\xbf", "\xff",
         "\r\n", "\n"},
        {"UTF-16LE as the registry editor exports", QStringConverter::Utf16LE, "\xff\xfe",
         QByteArray("\0\xd8", 2), "\r\n", "\r\n"},
        {"UTF-16BE", QStringConverter::Utf16BE, "\xfe\xff", QByteArray("\xdc\0", 2), "\n", "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto encoded = [&](const QString& text) {
            return QByteArray(QStringEncoder(c.encoding).encode(text));
        };
        const auto file = [&](const QString& width, const QString& added) {
            return c.byteOrderMark +
                   encoded("Windows Registry Editor Version 5.00" + c.firstEnd + c.end + "[" +
                           kKey + "]" + c.end + "\"text\"=\"caf") +
                   c.invalidCharacter +
                   encoded("\"" + c.end + width + c.end + "\"mute\"=hex:01" + c.end + added +
                           c.end);
        };
        RegDocument doc = RegDocument::parse(file("\"width\"=dword:00000258", ""), kKey);
        EXPECT_EQ(doc.value("width"), dwordValue(600));
        EXPECT_EQ(doc.value("mute"), flagValue(true));
        EXPECT_FALSE(doc.value("text")) << "a line that is not text is kept, not read";

        doc.setValue("width", dwordValue(1024));
        doc.setValue("added", dwordValue(1));
        EXPECT_EQ(doc.toBytes(),
                  file("\"width\"=dword:00000400", "\"added\"=dword:00000001" + c.firstEnd));
    }
}

}  // namespace
}  // namespace pavo

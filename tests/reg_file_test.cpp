#include "platform/reg_file.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <tuple>

namespace pavo {
namespace {

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings");
const QByteArray kHeader = "Windows Registry Editor Version 5.00\n\n";

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

}  // namespace
}  // namespace pavo

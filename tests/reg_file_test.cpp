#include "platform/reg_file.h"

#include <gtest/gtest.h>

namespace pavo {
namespace {

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings");

QString storeText(const QString& body) {
    return QStringLiteral("Windows Registry Editor Version 5.00\n\n[") + kKey +
           QStringLiteral("]\n") + body;
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
                                          "\"state\"=dword:00000001\n"),
                           kKey);
    EXPECT_FALSE(doc.value("width")) << "the other key's value and the malformed one are not ours";
    EXPECT_EQ(doc.value("height"), dwordValue(800)) << "reading goes on after a bad line";
    EXPECT_FALSE(doc.value("broken"));
    EXPECT_FALSE(doc.value("escape"));
    EXPECT_EQ(doc.value("state"), dwordValue(1)) << "a later line overrides an earlier one";
}

TEST(RegDocument, RewriteChangesOnlyTheValuesSet) {
    const QString original = QStringLiteral(
        "Windows Registry Editor Version 5.00\n\n"
        "; kept comment\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n"
        "\"x\"=dword:00000001\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]\n"
        "\"unknown\"=hex(b):01,02,03,04,05,06,07,08\n"
        "this line is not a value\n"
        "\"width\"=dword:00000258\n\n");
    RegDocument doc = RegDocument::parse(original, kKey);
    EXPECT_EQ(doc.toText(), original) << "an untouched document is written back byte for byte";

    doc.setValue("Width", dwordValue(1024));
    doc.setValue("mute", flagValue(false));
    doc.setValue("ignoreVersion", textValue("line\nbreak"));
    const QString expected = QStringLiteral(
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
    EXPECT_EQ(doc.toText(), expected);

    const RegDocument reread = RegDocument::parse(doc.toText(), kKey);
    EXPECT_EQ(reread.value("ignoreVersion"), textValue("line\nbreak"));
    EXPECT_EQ(reread.value("unknown"), (RegValue{0xb, QByteArray("\1\2\3\4\5\6\7\x08", 8)}));
}

TEST(RegDocument, CreatesHeaderAndKeyWhenMissing) {
    RegDocument doc = RegDocument::parse({}, kKey);
    doc.setValue("rememberExit", flagValue(true));
    EXPECT_EQ(doc.toText(), storeText("\"rememberExit\"=hex:01\n"));

    RegDocument other =
        RegDocument::parse("Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"a\"=hex:\n", kKey);
    other.setValue("b", textValue(QString::fromUtf8("K\xc3\xa4se \xe2\x82\xac")));
    EXPECT_EQ(other.toText(),
              QStringLiteral("Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"a\"=hex:\n\n[") +
                  kKey + QString::fromUtf8("]\n\"b\"=\"K\xc3\xa4se \xe2\x82\xac\"\n"));
}

}  // namespace
}  // namespace pavo

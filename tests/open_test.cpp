#include "support/viewer_fixture.h"

#include <QDir>

namespace pavo {
namespace {

using test::ViewerTest;

class CommandLineTest : public ViewerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkdir("pics"));
        for (const char* name : {"10.png", "2.png", "1.png"})
            imageFile(QStringLiteral("pics/") + name, 40, 30);
        ASSERT_TRUE(QDir(dir.path()).mkdir("pics/sub.png"));
    }
    QString pics(const QString& name = {}) const {
        return dir.filePath("pics") + (name.isEmpty() ? "" : "/" + name);
    }
};

TEST_F(CommandLineTest, ADirectoryOpensItsFirstImage) {
    openCommandLine(viewer, {pics()});
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png")}))
        << "the sub-directory named like an image is left out";
    EXPECT_EQ(viewer.playlist.index, 0);
    EXPECT_EQ(platform.titles.back(), pics("1.png"));
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(CommandLineTest, AFileOpensWithItsFolderAsThePlaylist) {
    openCommandLine(viewer, {pics("2.png")});
    EXPECT_EQ(viewer.playlist.paths.size(), 4U) << "a single file's scan keeps what the scan lists";
    EXPECT_EQ(viewer.playlist.paths[static_cast<std::size_t>(viewer.playlist.index)],
              pics("2.png"));
    EXPECT_EQ(platform.titles.back(), pics("2.png"));
    EXPECT_FALSE(platform.quitCode);
}

TEST_F(CommandLineTest, ADecodableFileOfAnotherExtensionGetsItsPlace) {
    const QString odd = pics("photo.jpe");
    test::writeBytes(odd, test::readBytes(pics("1.png")));
    openCommandLine(viewer, {odd});
    EXPECT_EQ(platform.titles.back(), odd);
    ASSERT_EQ(viewer.playlist.paths.size(), 5U);
    EXPECT_EQ(viewer.playlist.paths[0], odd) << "inserted before the entry at the old index";
    EXPECT_EQ(viewer.playlist.paths[1], pics("1.png"));
}

TEST_F(CommandLineTest, AnUnreadableFileIsReportedAndEndsTheProgram) {
    test::writeBytes(pics("broken.png"), "garbage");
    openCommandLine(viewer, {pics("broken.png")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "Failed to load " + pics("broken.png") + ".");
    EXPECT_EQ(platform.boxes[0].caption, "Not Supported");
    EXPECT_EQ(platform.boxes[0].owner, BoxOwner::MainWindow);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Failure});
    EXPECT_EQ(platform.quitCode, 0);
}

TEST_F(CommandLineTest, TheExeRuleIsCaseSensitive) {
    openCommandLine(viewer, {pics("pavo.exe")});
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.quitCode);
    openCommandLine(viewer, {pics("PAVO.EXE")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.quitCode, 0);
}

TEST_F(CommandLineTest, SeveralArgumentsKeepTheirOrder) {
    const QString extra = imageFile("extra.png", 20, 20);
    openCommandLine(viewer, {pics(), extra, dir.filePath("notes.txt")});
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png"), extra}));
    EXPECT_EQ(platform.titles.back(), pics("1.png"));
}

TEST_F(CommandLineTest, NothingSupportedIsReportedUnlessItSpellsTheProgramFolder) {
    viewer.settings.mute = true;
    ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
    openCommandLine(viewer, {dir.filePath("empty")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "No supported files found.");
    EXPECT_TRUE(platform.beeps.empty()) << "mute silences the beep";

    platform.programFolder = QStringLiteral("/opt/my apps/pavo/");
    openCommandLine(viewer, {"/opt/my", "apps/pavo/pavo"});
    EXPECT_EQ(platform.boxes.size(), 1U) << "the program's own path split at a space";
    openCommandLine(viewer, {"/nowhere/a", "b"});
    EXPECT_EQ(platform.boxes.size(), 2U);
}

}  // namespace
}  // namespace pavo

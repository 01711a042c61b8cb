#include "browse/open.h"
#include "support/viewer_fixture.h"

#include <QFile>

namespace pavo {
namespace {

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

}  // namespace
}  // namespace pavo

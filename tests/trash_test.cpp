#include "platform/trash.h"
#include "platform/files.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace pavo {
namespace {

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

}  // namespace
}  // namespace pavo

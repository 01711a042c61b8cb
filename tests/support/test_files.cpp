#include "support/test_files.h"

#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <unistd.h>

namespace pavo::test {

void writeImage(const QString& path, const cv::Mat& image, const std::vector<int>& params) {
    ASSERT_TRUE(cv::imwrite(path.toStdString(), image, params)) << path.toStdString();
}

void writeBytesAt(const QByteArray& rawPath, const QByteArray& bytes) {
    const int fd = open(rawPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << rawPath.toHex().toStdString();
    const ssize_t written = write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    close(fd);
    ASSERT_EQ(written, bytes.size());
}

void writeImageAt(const QByteArray& rawPath, const cv::Mat& image) {
    ASSERT_TRUE(cv::imwrite(rawPath.toStdString(), image)) << rawPath.toHex().toStdString();
}

RawPathCleanup::~RawPathCleanup() {
    for (auto path = paths_.rbegin(); path != paths_.rend(); ++path) {
        if (rmdir(path->constData()) != 0) unlink(path->constData());
    }
}

}  // namespace pavo::test

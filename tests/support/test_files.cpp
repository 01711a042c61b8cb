#include "support/test_files.h"

#include <opencv2/imgcodecs.hpp>

#include <unistd.h>
#include <fstream>

namespace pavo::test {

void writeImage(const QString& path, const cv::Mat& image, const std::vector<int>& params) {
    ASSERT_TRUE(cv::imwrite(path.toStdString(), image, params)) << path.toStdString();
}

void writeBytesAt(const QByteArray& rawPath, const QByteArray& bytes) {
    std::ofstream file(rawPath.constData(), std::ios::binary);
    ASSERT_TRUE(file.write(bytes.constData(), bytes.size()).flush())
        << rawPath.toHex().toStdString();
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

#include "support/test_files.h"

#include <opencv2/imgcodecs.hpp>

namespace pavo::test {

void writeImage(const QString& path, const cv::Mat& image, const std::vector<int>& params) {
    ASSERT_TRUE(cv::imwrite(path.toStdString(), image, params)) << path.toStdString();
}

}  // namespace pavo::test

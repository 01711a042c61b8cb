#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <opencv2/core/mat.hpp>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pavo::test {

// Writes raw bytes to a file, failing the test when it cannot.
inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a matrix with OpenCV's encoder for the path's extension.
void writeImage(const QString& path, const cv::Mat& image, const std::vector<int>& params = {});

}  // namespace pavo::test

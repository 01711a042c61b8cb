#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <opencv2/core/mat.hpp>

#include <gtest/gtest.h>
#include <span>
#include <vector>

namespace pavo::test {

// Writes raw bytes to a file, failing the test when it cannot.
inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The same for bytes made as a decoder reads them.
inline void writeByteSpan(const QString& path, std::span<const unsigned char> bytes) {
    writeBytes(path, QByteArray(reinterpret_cast<const char*>(bytes.data()),  // NOLINT: bytes
                                static_cast<qsizetype>(bytes.size())));
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs a program to its end; false when it could not run or failed. Spawned, not forked
// through Qt: ThreadSanitizer refuses a process that starts threads after a fork, as Qt's
// process watcher does.
bool runProgram(const char* program, const QStringList& arguments);

// Writes a matrix with OpenCV's encoder for the path's extension.
void writeImage(const QString& path, const cv::Mat& image, const std::vector<int>& params = {});

// The same for a path given as the exact bytes of its name, which need not be UTF-8.
void writeBytesAt(const QByteArray& rawPath, const QByteArray& bytes);
void writeImageAt(const QByteArray& rawPath, const cv::Mat& image);

// Removes files and folders named by raw bytes, newest first, when it goes (not to be
// copied): Qt's own removal (QTemporaryDir) cannot name what is not UTF-8.
class RawPathCleanup {
  public:
    ~RawPathCleanup();
    const QByteArray& add(const QByteArray& rawPath) { return paths_.emplace_back(rawPath); }

  private:
    std::vector<QByteArray> paths_;
};

}  // namespace pavo::test

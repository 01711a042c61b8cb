#include "support/test_files.h"

#include <opencv2/imgcodecs.hpp>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

namespace pavo::test {

bool runProgram(const char* program, const QStringList& arguments) {
    std::vector<QByteArray> words{QByteArray(program)};
    words.reserve(static_cast<std::size_t>(arguments.size()) + 1);
    for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    return posix_spawnp(&child, program, nullptr, nullptr, argv.data(), environ) == 0 &&
           waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

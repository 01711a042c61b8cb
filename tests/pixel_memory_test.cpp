#include "platform/pixel_memory.h"
#include "platform/files.h"

#include <opencv2/core.hpp>

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace pavo {
namespace {

// A freed large buffer serves the next matrix or file of a close size, filled as asked, but
// no far smaller one; small matrices stay on the heap; few are kept; a release frees them.
TEST(PixelMemory, FreedLargeBuffersAreReusedBoundedAndReleasedOnRequest) {
    releaseCachedPixelMemory();
    const std::size_t mapped = pixelMemoryStats().mappedBuffers;  // by other tests' matrices
    const uchar* first = cv::Mat(2000, 1500, CV_8UC4, cv::Scalar::all(1)).data;  // freed
    {
        const cv::Mat again(1999, 1500, CV_8UC4, cv::Scalar::all(9));
        EXPECT_EQ(again.data, first) << "a close size reuses the freed buffer";
        const cv::Mat tiny(2, 2, CV_8UC4);
        EXPECT_EQ(pixelMemoryStats().mappedBuffers, mapped + 1) << "a small matrix is not mapped";
    }
    EXPECT_NE(cv::Mat(1000, 1000, CV_8UC4).data, first) << "a far larger buffer is not wasted";
    releaseCachedPixelMemory();
    first = FileBytes(3 << 20, 7).data();
    const FileBytes again(3 << 20, 0);
    EXPECT_EQ(again.data(), first) << "files take from the same pool";
    EXPECT_EQ(again.back(), 0) << "reused memory is filled as asked";
    {
        std::vector<cv::Mat> many(10);
        for (int i = 0; i < 10; ++i) many[i].create(1024, 1024 + 64 * i, CV_8UC4);
    }
    EXPECT_LE(pixelMemoryStats().cachedBuffers, 2U);
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().cachedBuffers, 0U);
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, mapped + 1) << "only the file's bytes are left";
}

TEST(PixelMemory, ThreadsAllocateAndFreeConcurrently) {
    {
        const auto work = [](int t) {
            for (int i = 0; i < 20; ++i) {
                const cv::Mat m(700 + 10 * t, 800, CV_8UC4, cv::Scalar::all(t));
                ASSERT_EQ(m.clone().at<cv::Vec4b>(699, 799)[0], t);
            }
        };
        const std::jthread a(work, 0), b(work, 1), c(work, 2);
    }
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, 0U);
}

}  // namespace
}  // namespace pavo

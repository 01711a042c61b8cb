#include "platform/pixel_memory.h"
#include "platform/files.h"

#include <opencv2/core.hpp>

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace pavo {
namespace {

TEST(PixelMemory, FreedLargeBuffersAreReusedAndReleasedOnRequest) {
    releaseCachedPixelMemory();
    const auto before = pixelMemoryStats();
    const uchar* first = nullptr;
    {
        cv::Mat big(2000, 1500, CV_8UC4, cv::Scalar(1, 2, 3, 4));
        first = big.data;
        EXPECT_EQ(big.at<cv::Vec4b>(1999, 1499), cv::Vec4b(1, 2, 3, 4));
    }
    EXPECT_EQ(pixelMemoryStats().cachedBuffers, before.cachedBuffers + 1);
    {
        cv::Mat again(1999, 1500, CV_8UC4, cv::Scalar::all(9));
        EXPECT_EQ(again.data, first) << "a close size reuses the freed buffer";
        EXPECT_EQ(pixelMemoryStats().reuses, before.reuses + 1);
        cv::Mat tiny(2, 2, CV_8UC4);  // small matrices stay on the heap
        EXPECT_EQ(pixelMemoryStats().mappedBuffers, before.mappedBuffers + 1);
    }
    {
        cv::Mat muchSmaller(500, 500, CV_8UC4);
        EXPECT_NE(muchSmaller.data, first) << "a far larger buffer is not wasted on it";
    }
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().cachedBuffers, 0U);
    EXPECT_EQ(pixelMemoryStats().cachedBytes, 0U);
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, 0U);
}

TEST(PixelMemory, LargeFileBuffersComeFromTheSamePool) {
    releaseCachedPixelMemory();
    const unsigned char* first = nullptr;
    {
        FileBytes bytes(3 << 20, 7);
        first = bytes.data();
    }
    FileBytes again(3 << 20, 0);
    EXPECT_EQ(again.data(), first);
    EXPECT_EQ(again[(3 << 20) - 1], 0) << "reused memory is filled as asked";
    FileBytes small(100, 1);
    EXPECT_EQ(small[99], 1);
}

TEST(PixelMemory, TheCacheIsBounded) {
    releaseCachedPixelMemory();
    {
        std::vector<cv::Mat> many;
        many.reserve(10);
        for (int i = 0; i < 10; ++i) many.emplace_back(1024, 1024 + 64 * i, CV_8UC4);
    }
    EXPECT_LE(pixelMemoryStats().cachedBuffers, 2U);
    releaseCachedPixelMemory();
}

TEST(PixelMemory, ThreadsAllocateAndFreeConcurrently) {
    std::vector<std::thread> threads;
    threads.reserve(3);
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 20; ++i) {
                cv::Mat m(700 + 10 * t, 800, CV_8UC4, cv::Scalar::all(t));
                cv::Mat copy = m.clone();
                ASSERT_EQ(copy.at<cv::Vec4b>(699, 799)[0], t);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    releaseCachedPixelMemory();
    EXPECT_EQ(pixelMemoryStats().mappedBuffers, 0U);
}

}  // namespace
}  // namespace pavo

// Times each stage of the decode pipeline on a 6000 x 4000 JPEG and a 6000 x 4000 PNG
// with alpha, the alpha composite against the plain per-pixel double formula, and the
// whole pipeline with and without Pavo's pixel memory.
#include "image/image.h"
#include "platform/files.h"
#include "platform/pixel_memory.h"

#include <QDir>
#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <benchmark/benchmark.h>

namespace pavo {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth gradients with some texture, so that the codecs work
// as hard as on a real photograph rather than on noise or flat colour.
cv::Mat photoLike(int channels) {
    cv::Mat image(kHeight, kWidth, CV_8UC(channels));
    cv::RNG rng(42);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = image.ptr<unsigned char>(y);
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < channels; ++c) {
                const int wave = ((x * (c + 1)) / 23 + (y * (3 - c % 3)) / 31) % 256;
                row[x * channels + c] =
                    static_cast<unsigned char>((wave + rng.uniform(0, 12)) & 0xFF);
            }
            if (channels == 4) row[x * 4 + 3] = static_cast<unsigned char>((x / 24 + y / 16) % 256);
        }
    }
    return image;
}

// The sample files, written once per machine.
const QString& samplePath(bool alphaPng) {
    static const QString folder = [] {
        QString dir = QDir::tempPath() + QStringLiteral("/pavo-bench");
        QDir().mkpath(dir);
        return dir;
    }();
    static const QString jpeg = folder + QStringLiteral("/photo-6000x4000.jpg");
    static const QString png = folder + QStringLiteral("/alpha-6000x4000.png");
    const QString& path = alphaPng ? png : jpeg;
    if (!QFile::exists(path)) {
        cv::imwrite(path.toStdString(), photoLike(alphaPng ? 4 : 3),
                    {cv::IMWRITE_JPEG_QUALITY, 92, cv::IMWRITE_PNG_COMPRESSION, 3});
    }
    return path;
}

void useAllocator(bool pixelMemory) {
    if (pixelMemory) {
        installPixelMemory();
    } else {
        cv::Mat::setDefaultAllocator(cv::Mat::getStdAllocator());
    }
}

void BM_ReadFile(benchmark::State& state) {
    const QString& path = samplePath(state.range(0) != 0);
    for (auto _ : state) {
        (void)_;
        const auto size = fileSizeOf(path);
        benchmark::DoNotOptimize(readFileBytes(path, size));
    }
}
BENCHMARK(BM_ReadFile)->ArgName("png")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_DecodeBytes(benchmark::State& state) {
    useAllocator(state.range(1) != 0);
    const QString& path = samplePath(state.range(0) != 0);
    const auto bytes = readFileBytes(path, fileSizeOf(path));
    for (auto _ : state) {
        (void)_;
        benchmark::DoNotOptimize(decodeImageBytes(bytes));
    }
    releaseCachedPixelMemory();
}
BENCHMARK(BM_DecodeBytes)
    ->ArgNames({"png", "pool"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// convertToBgr8: nothing for the JPEG, the alpha composite for the PNG.
void BM_ConvertToBgr8(benchmark::State& state) {
    useAllocator(state.range(1) != 0);
    const QString& path = samplePath(state.range(0) != 0);
    const cv::Mat decoded = decodeImageBytes(readFileBytes(path, fileSizeOf(path)));
    for (auto _ : state) {
        (void)_;
        state.PauseTiming();
        cv::Mat matrix = decoded.clone();
        state.ResumeTiming();
        benchmark::DoNotOptimize(convertToBgr8(matrix, DecodeRole::Shown));
    }
    releaseCachedPixelMemory();
}
BENCHMARK(BM_ConvertToBgr8)
    ->ArgNames({"png", "pool"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The composite as the plain formula states it: a new zeroed matrix, then per pixel
// and channel a double product, truncated.
void naiveComposite(cv::Mat& matrix) {
    cv::Mat out(matrix.rows, matrix.cols, CV_8UC4, cv::Scalar::all(0));
    for (int y = 0; y < matrix.rows; ++y) {
        const auto* in = matrix.ptr<cv::Vec4b>(y);
        auto* o = out.ptr<cv::Vec4b>(y);
        for (int x = 0; x < matrix.cols; ++x) {
            const double a = in[x][3] / 255.0;
            if (a > 0) {
                for (int c = 0; c < 4; ++c)
                    o[x][c] = static_cast<unsigned char>(0.0 * (1.0 - a) + in[x][c] * a);
            }
        }
    }
    matrix = out;
}

void BM_Composite(benchmark::State& state) {
    useAllocator(true);
    const cv::Mat source = photoLike(4);
    const bool naive = state.range(0) != 0;
    for (auto _ : state) {
        (void)_;
        state.PauseTiming();
        cv::Mat matrix = source.clone();
        state.ResumeTiming();
        if (naive) {
            naiveComposite(matrix);
        } else {
            flattenAlphaOnBlack(matrix);
        }
        benchmark::DoNotOptimize(matrix.data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.total() * 4));
    releaseCachedPixelMemory();
}
BENCHMARK(BM_Composite)->ArgName("naive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// For scale: one pass that touches every byte once, the floor of any composite.
void BM_MemoryPass(benchmark::State& state) {
    useAllocator(true);
    cv::Mat matrix = photoLike(4);
    for (auto _ : state) {
        (void)_;
        cv::bitwise_not(matrix, matrix);
        benchmark::DoNotOptimize(matrix.data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(matrix.total() * 4));
}
BENCHMARK(BM_MemoryPass)->Unit(benchmark::kMillisecond);

// The whole pipeline as a worker runs it, one image after another, the previous
// result released before the next decode as stepping does.
void BM_LoadImageFile(benchmark::State& state) {
    useAllocator(state.range(1) != 0);
    const QString& path = samplePath(state.range(0) != 0);
    for (auto _ : state) {
        (void)_;
        auto loaded = loadImageFile(path);
        benchmark::DoNotOptimize(loaded);
    }
    releaseCachedPixelMemory();
}
BENCHMARK(BM_LoadImageFile)
    ->ArgNames({"png", "pool"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// A Display P3 photo converted for an sRGB monitor, in place, as every decode of one is:
// on one thread, and split over the cores as a decode does.
void BM_ColourConversion(benchmark::State& state) {
    const cv::Mat photo = photoLike(3);
    PictureColour p3;
    p3.kind = PictureColour::Kind::CodePoints;
    p3.primaries = 12;
    p3.transfer = 13;
    const PreparedColour prepared = prepareColour(p3, ColourPixels::Bgr, ColourTarget{});
    cv::Mat pixels;
    const bool split = state.range(0) != 0;
    for (auto _ : state) {
        (void)_;
        state.PauseTiming();
        photo.copyTo(pixels);
        state.ResumeTiming();
        if (split) {
            applyColour(prepared, pixels);
        } else {
            applyColourToRows(prepared, pixels, 0, pixels.rows);
        }
    }
}
BENCHMARK(BM_ColourConversion)
    ->ArgName("split")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pavo

BENCHMARK_MAIN();

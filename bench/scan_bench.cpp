// Times the scan and natural sort of a directory of 10,000 image files.
#include "playlist/playlist.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <random>

namespace pavo {
namespace {

constexpr int kFiles = 10000;

// Names as cameras and scanners make them, in random order on disk.
const QString& folderOfImages() {
    static const QString folder = [] {
        QString dir = QDir::tempPath() + QStringLiteral("/pavo-bench-scan");
        if (QDir(dir).entryList(QDir::Files).size() != kFiles) {
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
            const char* patterns[] = {"IMG_%1.JPG", "scan %1.png", "Page-%1.webp", "DSC%1.jpeg"};
            for (int i = 0; i < kFiles; ++i) {
                QFile file(dir + u'/' + QString::fromLatin1(patterns[i % 4]).arg(i));
                (void)file.open(QIODevice::WriteOnly);
            }
        }
        return dir;
    }();
    return folder;
}

void BM_ScanDirectory(benchmark::State& state) {
    const QString& dir = folderOfImages();
    for (auto _ : state) {
        (void)_;
        auto paths = scanDirectory(dir);
        benchmark::DoNotOptimize(paths);
    }
}
BENCHMARK(BM_ScanDirectory)->Unit(benchmark::kMillisecond);

void BM_SortNaturally(benchmark::State& state) {
    auto paths = *scanDirectory(folderOfImages());
    std::mt19937 shuffle(7);
    for (auto _ : state) {
        (void)_;
        state.PauseTiming();
        std::shuffle(paths.begin(), paths.end(), shuffle);
        state.ResumeTiming();
        sortNaturally(paths);
    }
}
BENCHMARK(BM_SortNaturally)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pavo

BENCHMARK_MAIN();

// Time to build the configuration package of a full 320 x 240 project
// (8 cards x 32 detectors with mixed fills, pen widths and divisions), and
// the rasterised pixels per second behind it. Also the whole project file
// (state, composer lists and package) and reading it back.
#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "raster/DetectorRaster.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace korvex;

namespace {

RenderState FullProject() {
    RenderState s = RenderState::NewProject();
    s.EnsureBackgrounds(8);
    std::mt19937 rng(42);
    const int32_t fills[] = {0, 0, 20, 50, 100, 75, 5, 0};
    for (uint32_t card = 0; card < 8; ++card)
        for (uint32_t n = 1; n <= 32; ++n) {
            Detector d(rng() % 7, 1 + rng() % 5, rng() % 8 == 0 ? 1 : 0, card, n, 320, 240);
            int32_t x = int32_t(rng() % 260), y = int32_t(rng() % 180);
            int32_t w = 10 + int32_t(rng() % 50), h = 10 + int32_t(rng() % 50);
            d.points = {{{x, y}, {x + w, y + int32_t(rng() % 8)}, {x + w - 3, y + h}, {x + 2, y + h - 4}}};
            d.fill = fills[rng() % 8];
            for (int k = 0; k < 20; ++k)
                d.exclusion.PaintBlack(uint32_t(x) + rng() % 40, uint32_t(y) + rng() % 40);
            s.detectors.push_back(std::move(d));
        }
    return s;
}

uint64_t RasterisedPixels(const RenderState& s) {
    uint64_t total = 0;
    for (const Detector& d : s.detectors)
        total += DetectorPixelCount(d, s.CanvasWidth(), s.CanvasHeight());
    return total;
}

void BM_BuildConfigPackage(benchmark::State& bench) {
    RenderState s = FullProject();
    uint64_t pixels = RasterisedPixels(s);
    size_t bytes = 0;
    for (auto _ : bench) {
        std::vector<uint8_t> package = BuildConfigPackage(s, "bench.kvx");
        bytes = package.size();
        benchmark::DoNotOptimize(package.data());
    }
    bench.counters["detectors"] = double(s.detectors.size());
    bench.counters["package_bytes"] = double(bytes);
    bench.counters["pixels_per_package"] = double(pixels);
    bench.counters["raster_pixels"] =
        benchmark::Counter(double(pixels) * double(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildConfigPackage)->Unit(benchmark::kMillisecond);

void BM_ProjectFileBytes(benchmark::State& bench) {
    RenderState s = FullProject();
    for (auto _ : bench) {
        std::vector<uint8_t> file = ProjectFileBytes(s, "bench.kvx");
        benchmark::DoNotOptimize(file.data());
    }
}
BENCHMARK(BM_ProjectFileBytes)->Unit(benchmark::kMillisecond);

void BM_ParseProject(benchmark::State& bench) {
    std::vector<uint8_t> file = ProjectFileBytes(FullProject(), "bench.kvx");
    for (auto _ : bench) {
        auto state = ParseProject(file.data(), file.size());
        benchmark::DoNotOptimize(state);
    }
    bench.SetBytesProcessed(int64_t(file.size()) * bench.iterations());
}
BENCHMARK(BM_ParseProject)->Unit(benchmark::kMillisecond);

} // namespace

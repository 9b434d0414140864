// Rasterising a full 320 x 240 project: 8 cards x 32 detectors with mixed
// fills, pen widths, divisions and line detectors.
//
//   raster_bench --benchmark_counters_tabular=true
//
// "per project" is the time for all 256 detectors; "pixels/s" counts the
// rasterised pixels (DrawResult counts) per second.

#include "model/RenderState.h"
#include "raster/DetectorRaster.h"

#include <benchmark/benchmark.h>

#include <random>

namespace korvex {
namespace {

RenderState MakeProject() {
    RenderState state = RenderState::NewProject();
    state.EnsureBackgrounds(8);
    std::mt19937 rng(2026);
    const int32_t fills[] = {0, 0, 20, 50, 100, 5};
    for (uint32_t card = 0; card < 8; ++card) {
        for (uint32_t n = 1; n <= 32; ++n) {
            const uint32_t line = n % 8 == 0 ? 1 : 0;
            Detector d(uint32_t(rng() % 7), 1 + uint32_t(rng() % 4), line, card, n, 320, 240);
            d.fill = fills[rng() % 6];
            // A convex-ish quadrilateral of 20..120 pixels a side.
            const int32_t x = int32_t(rng() % 200), y = int32_t(rng() % 120);
            const int32_t w = 20 + int32_t(rng() % 100), h = 20 + int32_t(rng() % 100);
            const int32_t j = int32_t(rng() % 15);
            d.points = {{{x + j, y}, {x + w, y + j}, {x + w - j, y + h}, {x, y + h - j}}};
            for (int k = 0; k < 40; ++k) // a few painted-out pixels
                d.exclusion.PaintBlack(uint32_t(x + int32_t(rng() % uint32_t(w))), uint32_t(y + int32_t(rng() % uint32_t(h))));
            state.detectors.push_back(std::move(d));
        }
    }
    return state;
}

// The masks the configuration package needs: every detector rasterised,
// read back and packed into 1-bit rows.
void BM_ProjectMasks(benchmark::State& bench) {
    const RenderState state = MakeProject();
    uint64_t pixels = 0;
    for (auto _ : bench) {
        for (const Detector& d : state.detectors) {
            const DetectorMask mask = ComputeDetectorMask(d, state.CanvasWidth(), state.CanvasHeight());
            std::vector<uint8_t> rows = PackMaskRows(mask, 0, state.width, state.height);
            benchmark::DoNotOptimize(rows.data());
            pixels += mask.count;
        }
    }
    bench.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
    bench.counters["detectors"] = double(state.detectors.size());
    bench.SetLabel("per project (256 detectors)");
}
BENCHMARK(BM_ProjectMasks)->Unit(benchmark::kMillisecond);

// The editor's painting: each card's background copied and its detectors
// drawn over it (one of them selected, with handles).
void BM_ProjectDraw(benchmark::State& bench) {
    const RenderState state = MakeProject();
    uint64_t pixels = 0;
    for (auto _ : bench) {
        for (uint32_t card = 0; card < 8; ++card) {
            Bitmap canvas = state.backgrounds[card];
            for (size_t i = 0; i < state.detectors.size(); ++i) {
                const Detector& d = state.detectors[i];
                if (d.card != card)
                    continue;
                const DrawResult r = DrawDetector(canvas, d.points, d, -1, i == 3, false, state.CanvasWidth(),
                                                  state.CanvasHeight(), d.exclusion);
                pixels += r.count;
            }
            benchmark::DoNotOptimize(canvas.Data().data());
        }
    }
    bench.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
    bench.SetLabel("per project (8 cards)");
}
BENCHMARK(BM_ProjectDraw)->Unit(benchmark::kMillisecond);

// Only the rasterisation (coverage and count), as the inspector's area.
void BM_ProjectCounts(benchmark::State& bench) {
    const RenderState state = MakeProject();
    uint64_t pixels = 0;
    for (auto _ : bench)
        for (const Detector& d : state.detectors)
            pixels += DetectorPixelCount(d, state.CanvasWidth(), state.CanvasHeight());
    bench.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
    bench.SetLabel("per project (256 detectors)");
}
BENCHMARK(BM_ProjectCounts)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvex

BENCHMARK_MAIN();

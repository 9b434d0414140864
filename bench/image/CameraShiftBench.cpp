// Camera shift estimate.
//
//   camera_shift_bench [--benchmark_filter=...]
//
// First prints the accuracy tables (20 % and 25 % covered): each of the sample project's camera
// backgrounds is moved by every offset in -40..40 (step 5) on both axes,
// with new scenery coming in at the edges, 20 % (then 25 %) of the picture covered by
// vehicles, the brightness changed by -40 % or +40 % and sensor noise;
// each row counts exact answers, answers off by one pixel, wrong answers,
// "cannot tell", and wrong answers given with high confidence. Then the
// time per estimate for 320 x 240 and 180 x 144 pictures.

#include "files/ProjectFile.h"
#include "image/CameraShift.h"
#include "model/CameraFollow.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <random>

namespace korvex {
namespace {

uint8_t Clamp8(double v) {
    return uint8_t(std::clamp(v, 0.0, 255.0));
}

// The scenery that comes into view at the edges: smooth random shapes.
uint8_t Scenery(int x, int y, uint32_t seed) {
    const double a = std::sin(x * 0.07 + seed) * std::cos(y * 0.05 + seed * 0.3);
    const double b = std::sin((x + y) * 0.11 + seed * 0.7);
    return Clamp8(120 + 60 * a + 30 * b);
}

// `bg` as the camera sees it after moving by (dx, dy), with the day's
// brightness `gain`, vehicles on `cover` of the picture and noise.
Bitmap Moved(const Bitmap& bg, int dx, int dy, double gain, double cover, double noise, uint32_t seed) {
    const int w = int(bg.Width()), h = int(bg.Height());
    Bitmap out(bg.Width(), bg.Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = x - dx, sy = y - dy;
            uint8_t* o = out.Row(uint32_t(y)) + size_t(x) * 3;
            if (sx >= 0 && sy >= 0 && sx < w && sy < h) {
                const uint8_t* s = bg.Row(uint32_t(sy)) + size_t(sx) * 3;
                o[0] = s[0], o[1] = s[1], o[2] = s[2];
            } else {
                o[0] = o[1] = o[2] = Scenery(x, y, seed);
            }
        }
    std::mt19937 rng(seed);
    // Vehicles: boxes of a body colour with a darker window band.
    long covered = 0;
    std::vector<uint8_t> mask(size_t(w) * size_t(h));
    while (double(covered) < cover * w * h) {
        const int vw = w / 10 + int(rng() % unsigned(w / 8)), vh = h / 10 + int(rng() % unsigned(h / 8));
        const int vx = int(rng() % unsigned(w - vw)), vy = int(rng() % unsigned(h - vh));
        const uint8_t body = uint8_t(rng() % 256), glass = uint8_t(body / 3);
        for (int y = vy; y < vy + vh; ++y)
            for (int x = vx; x < vx + vw; ++x) {
                uint8_t* o = out.Row(uint32_t(y)) + size_t(x) * 3;
                o[0] = o[1] = o[2] = (y - vy > vh / 4 && y - vy < vh / 2) ? glass : body;
                covered += mask[size_t(y) * size_t(w) + size_t(x)] == 0;
                mask[size_t(y) * size_t(w) + size_t(x)] = 1;
            }
    }
    std::normal_distribution<double> n(0.0, noise);
    for (uint8_t& b : out.Data())
        b = Clamp8(b * gain + n(rng));
    return out;
}

struct Row {
    int cases = 0, exact = 0, offByOne = 0, wrong = 0, unknown = 0, confidentWrong = 0, confident = 0;
};

void AccuracyTable(double cover) {
    const RenderState project = LoadProject(KORVEX_SAMPLE_PROJECT);
    std::printf("Accuracy on %s (%ux%u), offsets -40..40 step 5, %.0f%% vehicles, noise sigma 6,\n"
                "brightness -40%% / +40%% alternately:\n\n",
                KORVEX_SAMPLE_PROJECT, project.width, project.height, cover * 100);
    std::printf("card  cases  exact  off-by-1  wrong  cannot-tell  confident  confident-wrong\n");
    Row all;
    for (uint32_t card = 0; card < project.backgrounds.size() && card < 4; ++card) {
        const Bitmap bg = CameraPictureOf(project, card);
        Row row;
        uint32_t seed = 17 + card * 1000;
        for (int dy = -40; dy <= 40; dy += 5)
            for (int dx = -40; dx <= 40; dx += 5) {
                const double gain = (row.cases % 2) ? 1.4 : 0.6;
                const Bitmap seen = Moved(bg, dx, dy, gain, cover, 6.0, ++seed);
                const ShiftEstimate e = EstimateShift(bg, seen);
                row.cases++;
                if (!e.Known()) {
                    row.unknown++;
                    continue;
                }
                const int err = std::max(std::abs(e.dx - dx), std::abs(e.dy - dy));
                row.exact += err == 0;
                row.offByOne += err == 1;
                row.wrong += err > 1;
                row.confident += e.Confident();
                row.confidentWrong += e.Confident() && err != 0;
                if (err != 0 && std::getenv("SHIFT_BENCH_VERBOSE"))
                    std::printf("  card %c (%d,%d) -> (%d,%d) conf %.2f\n", 'A' + card, dx, dy, e.dx, e.dy,
                                e.confidence);
            }
        std::printf("%-4c  %5d  %5d  %8d  %5d  %11d  %9d  %15d\n", char('A' + card), row.cases, row.exact,
                    row.offByOne, row.wrong, row.unknown, row.confident, row.confidentWrong);
        all.cases += row.cases, all.exact += row.exact, all.offByOne += row.offByOne, all.wrong += row.wrong;
        all.unknown += row.unknown, all.confident += row.confident, all.confidentWrong += row.confidentWrong;
    }
    std::printf("all   %5d  %5d  %8d  %5d  %11d  %9d  %15d   exact %.1f %%\n\n", all.cases, all.exact,
                all.offByOne, all.wrong, all.unknown, all.confident, all.confidentWrong,
                100.0 * all.exact / std::max(1, all.cases));
}

void BM_EstimateShift(benchmark::State& state) {
    RenderState project = LoadProject(KORVEX_SAMPLE_PROJECT);
    Bitmap bg = CameraPictureOf(project, 0);
    if (state.range(0) != int64_t(bg.Width())) {
        // The other size: the first background cut or repeated to fit.
        Bitmap other(uint32_t(state.range(0)), uint32_t(state.range(1)));
        for (uint32_t y = 0; y < other.Height(); ++y)
            for (uint32_t x = 0; x < other.Width(); ++x)
                other.SetPixelColour(x, y, bg.GetPixelColour(x % bg.Width(), y % bg.Height()));
        bg = other;
    }
    const Bitmap seen = Moved(bg, 13, -7, 1.3, 0.2, 6.0, 5);
    for (auto _ : state) {
        ShiftEstimate e = EstimateShift(bg, seen);
        benchmark::DoNotOptimize(e);
    }
}
BENCHMARK(BM_EstimateShift)->Args({320, 240})->Args({180, 144})->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvex

int main(int argc, char** argv) {
    korvex::AccuracyTable(0.20);
    korvex::AccuracyTable(0.25);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

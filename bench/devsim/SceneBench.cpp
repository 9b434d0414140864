// What the demo device costs and shows, with the sample project's scenes:
//
//   korvex_scene_bench [--benchmark_filter=...]
//
// DemoRound: one round of the demo's four cameras as the live server makes
// it - each scene drawn, measured for the traces and the camera check, and
// turned into its format (grey 320 x 240, grey 180 x 144, 16-bit colour,
// H.264 through the simulator's encoder). The counter core_share_10fps is
// the share of one core that ten rounds a second take (goal: at most 0.15).
//
// ChangingPixels: of the live page's picture pixels (the four cameras at
// their sizes), the share that changes by more than `tolerance` grey levels
// at least once within a second, averaged over a minute of scene time
// (goal: at least 0.05 beyond the sensor noise, tolerance 8).
#include "devsim/H264Encoder.h"
#include "devsim/SceneRenderer.h"
#include "devsim/SceneStream.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include <memory>

using namespace korvex::devsim;

namespace {

constexpr unsigned kFps = 10;

const SceneSet& Sample() {
    static const SceneSet scenes = SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, 1);
    return scenes;
}

// The pictures of the four cameras at time t_ms, as grey values the live
// page shows (the H.264 camera before encoding).
std::vector<std::vector<uint8_t>> LivePictures(SceneStream& stream, int64_t t_ms) {
    std::vector<std::vector<uint8_t>> out;
    out.push_back(SceneGrey(stream.Draw(0, t_ms, {}), 320, 240));
    out.push_back(SceneGrey(stream.Draw(1, t_ms, {}), 180, 144));
    const std::vector<uint16_t> colour = SceneColour565(stream.Draw(2, t_ms, {}));
    std::vector<uint8_t> grey(colour.size());
    for (size_t i = 0; i < colour.size(); ++i) {
        const uint16_t v = colour[i];
        grey[i] = uint8_t((((v >> 8) & 0xF8) * 77 + ((v >> 3) & 0xFC) * 150 + ((v & 0x1F) << 3) * 29) >> 8);
    }
    out.push_back(grey);
    out.push_back(SceneGrey(stream.Draw(3, t_ms, {}), 320, 240));
    return out;
}

void DemoRound(benchmark::State& state) {
    av_log_set_level(AV_LOG_ERROR);
    SceneStream stream(Sample());
    H264Encoder encoder(2 * kFps, kFps);
    int64_t t_ms = 0;
    std::string unit;
    bool key = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SceneGrey(stream.Draw(0, t_ms, {}), 320, 240));
        benchmark::DoNotOptimize(SceneGrey(stream.Draw(1, t_ms, {}), 180, 144));
        benchmark::DoNotOptimize(SceneColour565(stream.Draw(2, t_ms, {})));
        encoder.Encode(SceneLuma(stream.Draw(3, t_ms, {}), H264Encoder::kWidth, H264Encoder::kHeight), unit,
                       key);
        benchmark::DoNotOptimize(unit);
        t_ms += 1000 / kFps;
    }
    // CPU seconds per round times rounds per second.
    state.counters["core_share_10fps"] = benchmark::Counter(
        double(state.iterations()) / double(kFps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(DemoRound)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void ChangingPixels(benchmark::State& state) {
    const int tolerance = int(state.range(0));
    double share = 0;
    for (auto _ : state) {
        SceneStream stream(Sample());
        double sum = 0;
        int seconds = 0;
        for (int64_t second = 0; second < 60; ++second, ++seconds) {
            auto previous = LivePictures(stream, second * 1000);
            std::vector<std::vector<uint8_t>> changed;
            for (const auto& p : previous)
                changed.emplace_back(p.size(), 0);
            for (unsigned k = 1; k <= kFps; ++k) {
                auto now = LivePictures(stream, second * 1000 + k * 1000 / kFps);
                for (size_t c = 0; c < now.size(); ++c)
                    for (size_t i = 0; i < now[c].size(); ++i)
                        changed[c][i] |= std::abs(int(now[c][i]) - int(previous[c][i])) > tolerance;
                previous = std::move(now);
            }
            size_t moving = 0, all = 0;
            for (const auto& c : changed) {
                all += c.size();
                for (uint8_t v : c)
                    moving += v;
            }
            sum += double(moving) / double(all);
        }
        share = sum / seconds;
    }
    state.counters["changing_share"] = share;
}
BENCHMARK(ChangingPixels)->Arg(8)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();

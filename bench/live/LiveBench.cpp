// Speed of the live picture path.
//
//   korvex_live_bench                       all benchmarks, then the ratios
//   korvex_live_bench --benchmark_filter=Convert
//
// Pipeline/<stream>: the whole H.264 path of the live thread for every unit
// of a recorded stream - message read (from memory), header parse, decode,
// 320 x 240 centre crop, exact BT.601 conversion, delivery into the camera
// slot queues - against RawDecode/<stream>: the same units through a bare
// libavcodec decoder, single-threaded like the live decoder. Both report
// pictures per second on one core; the ratio is printed at the end.
#include "live/H264Decoder.h"
#include "live/H264TestStream.h"
#include "live/LiveSession.h"
#include "live/LiveViewCore.h"
#include "live/PictureConvert.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

using namespace korvex;
using namespace korvex::test;

namespace {

constexpr int kStreamLength = 250;

const char* StreamName(int which) { return which == 0 ? "light" : which == 1 ? "1.5Mbps" : "plain"; }

const std::vector<EncodedUnit>& Stream(int which) {
    static std::map<int, std::vector<EncodedUnit>> streams;
    auto it = streams.find(which);
    if (it == streams.end()) {
        av_log_set_level(AV_LOG_ERROR);
        // 0: light (400 kb/s), 1: 1.5 Mb/s, both of a detailed scene;
        // 2: a plain scene at constant quality (about 0.1 Mb/s), which
        // decodes so fast that the per-picture work around it shows most.
        auto units = which == 0   ? EncodeTestStream(kStreamLength, 25, 400000, true)
                     : which == 1 ? EncodeTestStream(kStreamLength, 25, 1500000, true)
                                  : EncodeTestStream(kStreamLength, 25);
        it = streams.emplace(which, std::move(units)).first;
        size_t bytes = 0;
        for (const auto& u : it->second)
            bytes += u.data.size();
        std::fprintf(stderr, "stream %s: %zu units, %.1f kB per unit, %.2f Mb/s at 25 pictures/s\n", StreamName(which), it->second.size(), bytes / 1024.0 / double(it->second.size()),
                     bytes * 8.0 * 25 / double(it->second.size()) / 1e6);
    }
    return it->second;
}

void RawDecode(benchmark::State& state) {
    const auto& units = Stream(int(state.range(0)));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int64_t pictures = 0;
    for (auto _ : state) {
        AVCodecContext* c = avcodec_alloc_context3(codec);
        c->thread_count = 1;
        avcodec_open2(c, codec, nullptr);
        for (const auto& u : units) {
            av_new_packet(packet, int(u.data.size()));
            std::memcpy(packet->data, u.data.data(), u.data.size());
            avcodec_send_packet(c, packet);
            av_packet_unref(packet);
            while (avcodec_receive_frame(c, frame) >= 0) {
                benchmark::DoNotOptimize(frame->data[0][0]);
                ++pictures;
                av_frame_unref(frame);
            }
        }
        avcodec_free_context(&c);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    state.SetItemsProcessed(pictures);
    state.SetLabel(StreamName(int(state.range(0))));
}

class NullHost : public LiveViewHost {
public:
    void Invalidate(bool) override {}
    void SetContentSize(int, int) override {}
};

class NoOptions : public LiveViewOptions {
public:
    bool ViewOptionA() const override { return true; }
    bool ViewOptionB() const override { return true; }
    int ZoomCamera() const override { return -1; }
};

class NoTuning : public TuningSelection {
public:
    void SetTrace(const TuningTrace&) override {}
};

class Replay : public LiveChannel {
public:
    explicit Replay(const std::vector<uint8_t>& bytes) : bytes(bytes) {}
    bool ReadExact(uint8_t* buffer, size_t n) override {
        if (bytes.size() - position < n)
            return false;
        std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        return true;
    }
    bool Send(const uint8_t*, size_t) override { return true; }
    const std::vector<uint8_t>& bytes;
    size_t position = 0;
};

std::vector<uint8_t> Messages(const std::vector<EncodedUnit>& units) {
    std::vector<uint8_t> out;
    uint32_t frame = 1;
    for (const auto& u : units) {
        PictureHeader h;
        h.headerLength = 64;
        h.frameNumber = frame++;
        h.kind = kKindPicture;
        h.format = kFormatH264;
        h.width = 320;
        h.height = 240;
        h.payloadLength = uint32_t(u.data.size() + 8);
        auto head = EncodePictureHeader(h);
        out.insert(out.end(), head.begin(), head.end());
        const uint32_t flags = u.keyFrame ? 1 : 0, length = uint32_t(u.data.size());
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(flags >> (8 * i)));
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(length >> (8 * i)));
        out.insert(out.end(), u.data.begin(), u.data.end());
    }
    return out;
}

void Pipeline(benchmark::State& state) {
    const auto& units = Stream(int(state.range(0)));
    const std::vector<uint8_t> bytes = Messages(units);
    NullHost host;
    // A clock that moves 100 ms per reading: every picture goes straight
    // into its camera slot, as when the view keeps up with the device.
    uint64_t now = 1000000;
    LiveViewCore view(host, [&now] { return now += 100; });
    NoOptions options;
    OptionMaskState mask;
    NoTuning tuning;
    LiveBuffers buffers;
    int64_t messages = 0;
    for (auto _ : state) {
        Replay channel(bytes);
        LiveSession session(channel, buffers, view, options, mask, tuning);
        while (session.ProcessMessage())
            ++messages;
    }
    state.SetItemsProcessed(messages);
    state.SetLabel(StreamName(int(state.range(0))));
}

// --- conversions of one picture ---

struct Planes {
    std::vector<uint8_t> y, u, v;
    I420Planes p;
    Planes() : y(352 * 288), u(176 * 144), v(176 * 144) {
        std::mt19937 rng(1);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane)
                b = uint8_t(rng());
        p = I420Planes{y.data(), u.data(), v.data(), 352, 176, 176, 352, 288};
    }
};

void ConvertI420(benchmark::State& state, const char* path) {
    Planes planes;
    ForceConversionPath(path);
    Bitmap out(320, 240);
    for (auto _ : state) {
        ConvertI420Window(planes.p, 16, 24, out);
        benchmark::DoNotOptimize(out.Data().data());
    }
    state.SetLabel(ConversionPath());
    ForceConversionPath(nullptr);
}

void ConvertI420Reference(benchmark::State& state) {
    Planes planes;
    Bitmap out(320, 240);
    for (auto _ : state) {
        ConvertI420WindowReference(planes.p, 16, 24, out);
        benchmark::DoNotOptimize(out.Data().data());
    }
}

void ConvertI420Table(benchmark::State& state) {
    // Per-pixel exact formula with a clamping table instead of compares.
    Planes planes;
    Bitmap out(320, 240);
    static uint8_t clampTable[1024 + 256];
    for (int i = 0; i < int(sizeof clampTable); ++i)
        clampTable[i] = uint8_t(std::min(std::max(i - 512, 0), 255));
    const uint8_t* clamp = clampTable + 512;
    for (auto _ : state) {
        for (int r = 0; r < 240; ++r) {
            const uint8_t* y = planes.y.data() + (r + 24) * 352 + 16;
            const uint8_t* u = planes.u.data() + ((r + 24) / 2) * 176 + 8;
            const uint8_t* v = planes.v.data() + ((r + 24) / 2) * 176 + 8;
            uint8_t* o = out.Row(uint32_t(r));
            for (int c = 0; c < 320; ++c, o += 3) {
                const int C = 298 * (y[c] - 16) + 128, d = u[c / 2] - 128, e = v[c / 2] - 128;
                o[0] = clamp[(C + 516 * d) >> 8];
                o[1] = clamp[(C - 100 * d - 208 * e) >> 8];
                o[2] = clamp[(C + 409 * e) >> 8];
            }
        }
        benchmark::DoNotOptimize(out.Data().data());
    }
}

void ConvertGreyFast(benchmark::State& state) {
    std::vector<uint8_t> payload(76800, 90);
    Bitmap out(320, 240);
    for (auto _ : state) {
        ConvertGrey(payload.data(), out);
        benchmark::DoNotOptimize(out.Data().data());
    }
    state.SetLabel(ConversionPath());
}

void ConvertGreyReference(benchmark::State& state) {
    std::vector<uint8_t> payload(76800, 90);
    Bitmap out(320, 240);
    for (auto _ : state) {
        korvex::ConvertGreyReference(payload.data(), out);
        benchmark::DoNotOptimize(out.Data().data());
    }
}

void ConvertColourFast(benchmark::State& state) {
    std::vector<uint8_t> payload(153600, 0x5A);
    Bitmap out(320, 240);
    for (auto _ : state) {
        ConvertColour16(payload.data(), out);
        benchmark::DoNotOptimize(out.Data().data());
    }
    state.SetLabel(ConversionPath());
}

void ConvertColourReference(benchmark::State& state) {
    std::vector<uint8_t> payload(153600, 0x5A);
    Bitmap out(320, 240);
    for (auto _ : state) {
        ConvertColour16Reference(payload.data(), out);
        benchmark::DoNotOptimize(out.Data().data());
    }
}

// The memcpy-class yardstick: copy a whole 320 x 240 x 3 picture.
void CopyPicture(benchmark::State& state) {
    std::vector<uint8_t> from(230400, 1), to(230400);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// Remembers the time per item of each run for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration && run.aggregate_name != "mean")
                continue;
            const std::string name = run.benchmark_name();
            auto it = run.counters.find("items_per_second");
            if (it != run.counters.end())
                perSecond[name] = it->second;
            nsPerIteration[name] = run.GetAdjustedCPUTime() * (run.time_unit == benchmark::kMicrosecond ? 1e3 : run.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> perSecond;
    std::map<std::string, double> nsPerIteration;
};

} // namespace

BENCHMARK(RawDecode)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Pipeline)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertI420, best, nullptr)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ConvertI420, ssse3, "ssse3")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ConvertI420, portable, "portable")->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertI420Table)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertI420Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertGreyFast)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertGreyReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertColourFast)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertColourReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyPicture)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nsummary\n");
    for (const char* stream : {"0", "1", "2"}) {
        const std::string raw = std::string("RawDecode/") + stream, pipe = std::string("Pipeline/") + stream;
        if (reporter.perSecond.count(raw) && reporter.perSecond.count(pipe))
            std::printf("  %-8s raw decode %7.0f pictures/s, pipeline %7.0f pictures/s, pipeline/raw = %.1f %%\n",
                        StreamName(std::atoi(stream)), reporter.perSecond[raw], reporter.perSecond[pipe],
                        100.0 * reporter.perSecond[pipe] / reporter.perSecond[raw]);
    }
    const double copy = reporter.nsPerIteration.count("CopyPicture") ? reporter.nsPerIteration["CopyPicture"] : 0;
    for (const char* name : {"ConvertGreyFast", "ConvertColourFast", "ConvertI420/best"})
        if (reporter.nsPerIteration.count(name) && copy > 0)
            std::printf("  %-18s %7.1f us per 320x240 picture, %.2f x a picture copy (%.1f us)\n", name,
                        reporter.nsPerIteration[name] / 1e3, reporter.nsPerIteration[name] / copy, copy / 1e3);
    return 0;
}

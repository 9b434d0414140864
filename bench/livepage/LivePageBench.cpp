// Speed of the live page with eight H.264 cameras, measured in one run:
//
//   korvex_livepage_bench [seconds per phase, default 10]
//
// The device simulator runs as its own process (korvex-devsim, 8 H.264
// cameras at 25 pictures per second on free loopback ports). This process
// is the program's live path: the "Live" thread reading, decoding and
// delivering into the camera slots, and the UI thread pacing and painting
// the LiveView on the offscreen platform. It prints:
//  (a) the UI thread's paint time per 25-ms tick, all cells at zoom 1 and
//      one zoomed cell;
//  (b) this process's CPU time per second of video against a bare
//      libavcodec decode of the same number of units from the same encoder,
//      timed in the same run;
//  (c) the delay from a picture's arrival in the view to its first paint,
//      at 25 pictures per second and again with a device sending 8;
//  (d) the extra paint time per tick of the project's detectors drawn over
//      the pictures, 32 detectors on each of the 8 cameras (with and
//      without them in alternating stretches of the same run).
#include "app/live/LiveView.h"
#include "app/sinks/LiveForwarders.h"
#include "devsim/H264Encoder.h"
#include "live/LiveInterfaces.h"
#include "live/LiveThread.h"
#include "live/LiveViewCore.h"
#include "model/LiveOverlay.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace korvex;

namespace {

constexpr unsigned kCameras = 8;

uint64_t NowUs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint16_t FreeTcpPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The simulator as a child process.
class Simulator {
public:
    Simulator(unsigned fps, uint16_t livePort) {
        root = std::filesystem::temp_directory_path() /
               ("korvex-bench-" + std::to_string(getpid()) + "-" + std::to_string(fps));
        std::string formats;
        for (unsigned i = 0; i < kCameras; ++i)
            formats += i ? ",h264" : "h264";
        const std::string fpsText = std::to_string(fps), port = std::to_string(livePort),
                          ssh = std::to_string(FreeTcpPort()), cams = std::to_string(kCameras),
                          rootText = root.string();
        pid = fork();
        if (pid == 0) {
            execl(KORVEX_DEVSIM_PATH, "korvex-devsim", "--root", rootText.c_str(), "--no-announce",
                  "--live-port", port.c_str(), "--ssh-port", ssh.c_str(), "--cameras", cams.c_str(),
                  "--format", formats.c_str(), "--fps", fpsText.c_str(), "--key-interval", "50",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Simulator() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

private:
    pid_t pid = -1;
    std::filesystem::path root;
};

class LoopbackTarget : public TargetAddressSource {
public:
    explicit LoopbackTarget(uint16_t port) : port(port) {}
    uint32_t TargetAddress() const override { return 0x0100007Fu; }
    uint16_t TargetPort() const override { return port; }

private:
    uint16_t port;
};

class NoTuning : public TuningSelection {
public:
    void SetTrace(const TuningTrace&) override {}
};

// Passes everything to the view's core and notes when each picture
// arrived, by its pixel buffer (which moves with the picture into the slot).
class StampingSink : public LiveSink {
public:
    explicit StampingSink(LiveViewCore& core) : core(core) {}
    void OnFrameHeader(const PictureHeader& h) override { core.OnFrameHeader(h); }
    void Deliver(unsigned camera, Bitmap picture) override {
        {
            std::lock_guard<std::mutex> g(lock);
            arrived[picture.Data().data()] = NowUs();
            delivered++;
        }
        core.Deliver(camera, std::move(picture));
    }
    void ResetCameras() override { core.ResetCameras(); }
    void RequestRepaint() override { core.RequestRepaint(); }
    Bitmap NewPicture(uint32_t w, uint32_t h) override { return core.NewPicture(w, h); }

    // First paint of a picture: its delay from arrival, once.
    void Painted(const uint8_t* pixels) {
        const uint64_t now = NowUs();
        std::lock_guard<std::mutex> g(lock);
        auto it = arrived.find(pixels);
        if (it == arrived.end())
            return;
        if (recording)
            delays_us.push_back(now - it->second);
        arrived.erase(it);
    }
    void StartRecording() {
        std::lock_guard<std::mutex> g(lock);
        delays_us.clear();
        recording = true;
    }
    std::vector<uint64_t> Delays() {
        std::lock_guard<std::mutex> g(lock);
        return delays_us;
    }
    uint64_t Delivered() {
        std::lock_guard<std::mutex> g(lock);
        return delivered;
    }

private:
    LiveViewCore& core;
    std::mutex lock;
    std::map<const uint8_t*, uint64_t> arrived;
    std::vector<uint64_t> delays_us;
    uint64_t delivered = 0;
    bool recording = false;
};

struct Percentiles {
    double median = 0, p95 = 0, max = 0;
};
Percentiles Summarise(std::vector<uint64_t> v) {
    Percentiles p;
    if (v.empty())
        return p;
    std::sort(v.begin(), v.end());
    p.median = double(v[v.size() / 2]) / 1000.0;
    p.p95 = double(v[std::min(v.size() - 1, v.size() * 95 / 100)]) / 1000.0;
    p.max = double(v.back()) / 1000.0;
    return p;
}

// One live page against one simulator.
struct Page {
    explicit Page(uint16_t port)
        : core(sink), stamping(core), target(port), thread(stamping, target, core, mask, tuning, Settings()) {
        sink.AttachHost(&view, &view);
        view.Attach(&core);
        view.SetPaintObserver([this](unsigned, const uint8_t* pixels) { stamping.Painted(pixels); });
        view.show();
        thread.Start();
    }
    ~Page() {
        thread.Stop();
        view.Attach(nullptr);
        sink.DetachHost(&view);
    }
    static LiveThreadSettings Settings() {
        LiveThreadSettings s;
        s.connectAtOnce = true;
        s.connectPause_ms = 200;
        return s;
    }
    bool WaitForCameras(int timeout_ms) {
        QElapsedTimer t;
        t.start();
        while (core.Layout().cameraCount < kCameras) {
            if (t.elapsed() > timeout_ms)
                return false;
            Pump(20);
        }
        return true;
    }

    LiveViewForwarder sink;
    LiveViewCore core;
    StampingSink stamping;
    LoopbackTarget target;
    OptionMaskState mask;
    NoTuning tuning;
    LiveView view;
    LiveThread thread;
};

// Decodes `units` per camera for 8 cameras with a bare single-threaded
// libavcodec decoder; returns the CPU seconds it took.
double RawDecodeSeconds(unsigned unitsPerCamera) {
    std::vector<std::vector<std::string>> streams(kCameras);
    for (unsigned cam = 0; cam < kCameras; ++cam) {
        devsim::H264Encoder encoder(50, 25);
        for (unsigned i = 0; i < unitsPerCamera; ++i) {
            std::string unit;
            bool key = false;
            if (encoder.Encode(devsim::H264TestFrame(i * kCameras + cam), unit, key))
                streams[cam].push_back(std::move(unit));
        }
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const double start = ProcessCpuSeconds();
    for (const auto& units : streams) {
        AVCodecContext* c = avcodec_alloc_context3(codec);
        c->thread_count = 1;
        avcodec_open2(c, codec, nullptr);
        for (const auto& u : units) {
            av_new_packet(packet, int(u.size()));
            std::memcpy(packet->data, u.data(), u.size());
            avcodec_send_packet(c, packet);
            av_packet_unref(packet);
            while (avcodec_receive_frame(c, frame) >= 0)
                av_frame_unref(frame);
        }
        avcodec_free_context(&c);
    }
    const double took = ProcessCpuSeconds() - start;
    av_packet_free(&packet);
    av_frame_free(&frame);
    return took;
}

// A 320 x 240 project with 32 detectors on each of the 8 cameras: mixed
// sizes, every eighth a line, one selected.
RenderState BusyProject() {
    RenderState state = RenderState::NewProject();
    state.EnsureBackgrounds(kCameras);
    std::mt19937 rng(26);
    for (uint32_t card = 0; card < kCameras; ++card)
        for (uint32_t n = 1; n <= 32; ++n) {
            Detector d(1, 1, n % 8 == 0 ? 1 : 0, card, n, 320, 240);
            const int32_t x = int32_t(rng() % 240), y = int32_t(rng() % 180);
            const int32_t w = 15 + int32_t(rng() % 60), h = 10 + int32_t(rng() % 50);
            d.points = {{{x, y}, {x + w, y + 3}, {x + w - 4, y + h}, {x + 2, y + h - 2}}};
            state.detectors.push_back(std::move(d));
        }
    state.selected = 5;
    return state;
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// Over `ms` milliseconds: the mean paint time (ms, wall clock) and the UI
// thread's CPU time per paint (ms; the other helpers' load on the machine
// does not count in it).
struct PaintCost {
    double wall_ms = 0, cpu_ms = 0;
};
PaintCost MeanPaint(LiveView& view, int ms) {
    view.ResetStats();
    const double cpuBefore = ThreadCpuMs();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        Pump(25);
    const auto stats = view.Stats();
    if (!stats.paints)
        return {};
    return {double(stats.total_us) / double(stats.paints) / 1000.0,
            (ThreadCpuMs() - cpuBefore) / double(stats.paints)};
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    av_log_set_level(AV_LOG_ERROR);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    QApplication app(argc, argv);

    double cpuPerVideoSecond = 0, paintZoom1 = 0, paintZoomed = 0, paintZoom1Max = 0;
    double paintWithDetectors = 0, paintWithout = 0, cpuWithDetectors = 0, cpuWithout = 0;
    Percentiles delay25, delay8;
    uint64_t dropped = 0;
    unsigned pictures = 0;
    {
        const uint16_t port = FreeTcpPort();
        Simulator device(25, port);
        Page page(port);
        if (!page.WaitForCameras(15000)) {
            std::fprintf(stderr, "no eight cameras from the simulator\n");
            return 1;
        }
        Pump(2000); // decoders warm, queues at their working length

        // (a) zoom 1 and (b) CPU over the same interval.
        page.view.ResetStats();
        page.stamping.StartRecording();
        const uint64_t deliveredBefore = page.stamping.Delivered();
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        uint64_t maxPaint = 0;
        while (wall.elapsed() < seconds * 1000) {
            Pump(25);
            maxPaint = std::max(maxPaint, page.view.Stats().last_us);
        }
        const double elapsed = double(wall.elapsed()) / 1000.0;
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        pictures = unsigned(page.stamping.Delivered() - deliveredBefore);
        // Seconds of video: pictures received over the camera rate.
        const double videoSeconds = double(pictures) / (kCameras * 25.0);
        cpuPerVideoSecond = cpu / std::max(videoSeconds, 1e-9);
        auto stats = page.view.Stats();
        paintZoom1 = stats.paints ? double(stats.total_us) / double(stats.paints) / 1000.0 : 0;
        paintZoom1Max = double(maxPaint) / 1000.0;
        delay25 = Summarise(page.stamping.Delays());
        dropped = page.core.DroppedCount();
        std::printf("measured %.1f s: %u pictures (%.1f s of video), %llu paints\n", elapsed, pictures,
                    videoSeconds, static_cast<unsigned long long>(stats.paints));

        // (d) the detectors over the pictures, on and off in turns.
        const RenderState busy = BusyProject();
        page.view.SetDetectors(LiveOverlayOf(busy), busy.width, busy.height);
        for (int turn = 0; turn < 6; ++turn) {
            page.view.ShowDetectors(turn % 2 == 1);
            Pump(200);
            const PaintCost cost = MeanPaint(page.view, seconds * 1000 / 6);
            (turn % 2 ? paintWithDetectors : paintWithout) += cost.wall_ms / 3;
            (turn % 2 ? cpuWithDetectors : cpuWithout) += cost.cpu_ms / 3;
        }
        page.view.ShowDetectors(false);

        // (a) the zoomed cell.
        page.core.OnDoubleClick(5, 5);
        Pump(500);
        page.view.ResetStats();
        QElapsedTimer zoomed;
        zoomed.start();
        while (zoomed.elapsed() < std::max(2, seconds / 2) * 1000)
            Pump(25);
        stats = page.view.Stats();
        paintZoomed = stats.paints ? double(stats.total_us) / double(stats.paints) / 1000.0 : 0;
    }
    const double rawCpu = RawDecodeSeconds(unsigned(std::max(1u, pictures / kCameras)));
    const double rawPerVideoSecond = rawCpu / std::max(double(pictures) / (kCameras * 25.0), 1e-9);
    {
        // (c) again with a device below the display rate.
        const uint16_t port = FreeTcpPort();
        Simulator device(8, port);
        Page page(port);
        if (page.WaitForCameras(15000)) {
            Pump(1000);
            page.stamping.StartRecording();
            Pump(std::max(2, seconds / 2) * 1000);
            delay8 = Summarise(page.stamping.Delays());
        }
    }

    std::printf(
        "\n(a) paint per 25-ms tick, 8 cells at zoom 1: mean %.2f ms (max %.2f ms); zoomed cell: mean %.2f ms"
        "   goal <= 3 ms\n",
        paintZoom1, paintZoom1Max, paintZoomed);
    std::printf(
        "(b) process CPU per second of video: %.3f s; raw libavcodec decode of the same units: %.3f s;"
        " ratio %.2f   goal <= 2 x raw + 0.10 = %.3f s\n",
        cpuPerVideoSecond, rawPerVideoSecond, cpuPerVideoSecond / std::max(rawPerVideoSecond, 1e-9),
        2 * rawPerVideoSecond + 0.10);
    std::printf("(c) arrival to first paint at 25 pictures/s: median %.0f ms, p95 %.0f ms, max %.0f ms"
                " (%llu pictures dropped by the bounded queues)\n",
                delay25.median, delay25.p95, delay25.max, static_cast<unsigned long long>(dropped));
    std::printf("    at 8 pictures/s: median %.0f ms, p95 %.0f ms, max %.0f ms   goal <= 100 + 25 ms\n",
                delay8.median, delay8.p95, delay8.max);
    std::printf("(d) paint per tick with 8 x 32 detectors drawn: %.3f ms, without: %.3f ms; extra %.3f ms"
                "   goal <= 0.5 ms\n"
                "    UI-thread CPU per paint: %.3f ms with, %.3f ms without; extra %.3f ms\n",
                paintWithDetectors, paintWithout, paintWithDetectors - paintWithout, cpuWithDetectors,
                cpuWithout, cpuWithDetectors - cpuWithout);
    return 0;
}

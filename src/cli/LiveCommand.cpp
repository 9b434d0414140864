// korvex-cli live: connects to a device's live stream like the live view
// does, and counts, saves and describes the pictures it delivers.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "framework/AtomicFile.h"
#include "live/LiveThread.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace korvex::cli {
namespace {

const char* const Usage =
    "korvex-cli live --host ADDR [--port N] [--seconds S | --frames N] [--out DIR] [--tune CAM:DET]";

std::atomic<bool> interrupted{false};
void OnLiveInterrupt(int) {
    interrupted.store(true);
}

std::string FormatName(const PictureHeader& h) {
    char text[48];
    switch (h.format) {
    case kFormatGrey:
        std::snprintf(text, sizeof text, "grey %ux%u", unsigned(h.width), unsigned(h.height));
        break;
    case kFormatColour16:
        std::snprintf(text, sizeof text, "colour %ux%u", unsigned(h.width), unsigned(h.height));
        break;
    case kFormatBlank:
        std::snprintf(text, sizeof text, "blank %ux%u", unsigned(h.width), unsigned(h.height));
        break;
    case kFormatH264:
        std::snprintf(text, sizeof text, "h264 %ux%u", unsigned(h.width), unsigned(h.height));
        break;
    default:
        std::snprintf(text, sizeof text, "format %u", unsigned(h.format));
        break;
    }
    return text;
}

// Counts pictures per camera, writes them as BMP files, and says when the
// requested number has arrived. Called on the live thread.
class CaptureSink : public LiveSink {
public:
    CaptureSink(std::string outDir, uint64_t limit) : outDir(std::move(outDir)), limit(limit) {}

    void OnFrameHeader(const PictureHeader& header) override {
        std::lock_guard<std::mutex> g(lock);
        formats[header.camera].insert(FormatName(header));
    }
    void Deliver(unsigned camera, Bitmap picture) override {
        std::lock_guard<std::mutex> g(lock);
        if (done || camera >= kCameraSlots)
            return; // nothing after the end is drained
        const uint64_t sequence = counts[camera]++;
        ++total;
        if (!outDir.empty()) {
            char name[40];
            std::snprintf(name, sizeof name, "cam%u-%06llu.bmp", camera,
                          static_cast<unsigned long long>(sequence));
            const std::vector<uint8_t> bmp = EncodeBmp24(picture);
            try {
                AtomicFile::WriteAll((std::filesystem::path(outDir) / name).string(), bmp.data(), bmp.size());
            } catch (const std::exception& e) {
                if (writeError.empty())
                    writeError = e.what();
                done = true;
            }
        }
        if (limit != 0 && total >= limit)
            done = true;
    }
    void ResetCameras() override {}
    void RequestRepaint() override {}

    bool Done() const {
        std::lock_guard<std::mutex> g(lock);
        return done;
    }
    void Finish() {
        std::lock_guard<std::mutex> g(lock);
        done = true;
    }
    void Report() const {
        std::lock_guard<std::mutex> g(lock);
        std::printf("pictures: %llu\n", static_cast<unsigned long long>(total));
        for (unsigned c = 0; c < kCameraSlots; ++c) {
            if (counts[c] == 0 && formats[c].empty())
                continue;
            std::printf("camera %u: %llu pictures", c, static_cast<unsigned long long>(counts[c]));
            const char* separator = ", formats: ";
            for (const auto& f : formats[c]) {
                std::printf("%s%s", separator, f.c_str());
                separator = "; ";
            }
            std::printf("\n");
        }
    }
    uint64_t Total() const {
        std::lock_guard<std::mutex> g(lock);
        return total;
    }
    std::string WriteError() const {
        std::lock_guard<std::mutex> g(lock);
        return writeError;
    }

private:
    mutable std::mutex lock;
    std::string outDir;
    uint64_t limit;
    uint64_t total = 0;
    uint64_t counts[kCameraSlots] = {};
    std::set<std::string> formats[kCameraSlots];
    bool done = false;
    std::string writeError;
};

class CliOptions : public LiveViewOptions {
public:
    bool ViewOptionA() const override { return true; }
    bool ViewOptionB() const override { return true; }
    int ZoomCamera() const override { return -1; }
};

class CliTarget : public TargetAddressSource {
public:
    explicit CliTarget(uint32_t address) : address(address) {}
    uint32_t TargetAddress() const override { return address; }

private:
    uint32_t address;
};

// Prints every trace of the chosen detector as it arrives.
class CliTuning : public TuningSelection {
public:
    void SetTrace(const TuningTrace& values) override {
        std::lock_guard<std::mutex> g(lock);
        std::printf("trace camera %d detector %d:", SelectedCamera(), SelectedDetector());
        for (uint16_t v : values)
            std::printf(" %u", unsigned(v));
        std::printf("\n");
        std::fflush(stdout);
        ++traces;
    }
    unsigned Traces() const {
        std::lock_guard<std::mutex> g(lock);
        return traces;
    }

private:
    mutable std::mutex lock;
    unsigned traces = 0;
};

int PrintHelp() {
    std::printf("usage: %s\n\n"
                "Connects to the live stream of the device at ADDR (IPv4, port 25100 unless\n"
                "--port says otherwise), answers every message as the live view does and\n"
                "reconnects after every failure. Stops after S seconds, after N pictures\n"
                "delivered over all cameras together, or on Ctrl-C; without --seconds and\n"
                "--frames it runs until Ctrl-C. With --out every delivered picture is written\n"
                "to DIR as camC-NNNNNN.bmp (24-bit BMP; NNNNNN counts per camera, across\n"
                "reconnections). With --tune CAM:DET it asks for that detector's tuning trace\n"
                "and prints the 250 values of each trace received.\n"
                "At the end it prints the pictures per camera and their formats.\n"
                "Every reconnection line says why the connection before it ended.\n"
                "Exit status: 0 done, 1 failure (no picture was delivered, or one could not be\n"
                "written), 2 bad usage.\n",
                Usage);
    return ExitOk;
}

// Waits for the end of the run: Ctrl-C, the pictures asked for, or the
// seconds; every new connection attempt is said on stderr.
void Watch(LiveThread& thread, CaptureSink& sink, unsigned seconds, const std::string& host, uint16_t port) {
    const auto start = std::chrono::steady_clock::now();
    unsigned lastConnections = 0;
    while (!interrupted.load() && !sink.Done()) {
        if (seconds != 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(seconds))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const unsigned c = thread.ConnectionCount();
        if (c != lastConnections) {
            lastConnections = c;
            // From the second attempt on, the line says why the one before
            // ended.
            const std::string why = c > 1 ? thread.LastEnd() : "";
            std::fprintf(stderr, "korvex-cli: connecting to %s:%u (attempt %u%s%s)\n", host.c_str(),
                         unsigned(port), c, why.empty() ? "" : "; the last connection ended: ", why.c_str());
        }
    }
}

int RunLive(const std::vector<std::string>& args) {
    if (WantsHelp(args))
        return PrintHelp();
    auto parsed =
        ParseArgs(args, {"--host", "--port", "--seconds", "--frames", "--out", "--tune"}, {}, 0, 0, Usage);
    if (!parsed)
        return ExitUsage;
    auto& o = parsed->options;
    if (!o.count("--host"))
        return UsageError("--host ADDR is required");
    in_addr address{};
    if (inet_pton(AF_INET, o["--host"].c_str(), &address) != 1 || address.s_addr == 0)
        return UsageError("--host must be an IPv4 address such as 192.168.1.20");
    LiveThreadSettings settings;
    if (o.count("--port")) {
        auto n = ParseNumber(o["--port"], 65535);
        if (!n || *n == 0)
            return UsageError("--port must be a number from 1 to 65535");
        settings.port = uint16_t(*n);
    }
    if (o.count("--seconds") && o.count("--frames"))
        return UsageError("give --seconds or --frames, not both");
    unsigned seconds = 0, frames = 0;
    if (o.count("--seconds")) {
        auto n = ParseNumber(o["--seconds"], 1000000);
        if (!n || *n == 0)
            return UsageError("--seconds must be a positive number");
        seconds = *n;
    }
    if (o.count("--frames")) {
        auto n = ParseNumber(o["--frames"], 100000000);
        if (!n || *n == 0)
            return UsageError("--frames must be a positive number");
        frames = *n;
    }
    CliTuning tuning;
    if (o.count("--tune")) {
        const std::string& t = o["--tune"];
        const size_t colon = t.find(':');
        auto camera = colon == std::string::npos ? std::nullopt : ParseNumber(t.substr(0, colon), 255);
        auto detector = colon == std::string::npos ? std::nullopt : ParseNumber(t.substr(colon + 1), 65535);
        if (!camera || !detector)
            return UsageError("--tune must be CAM:DET, for example 0:3");
        tuning.Select(int(*camera), int(*detector));
        tuning.RequestOnce();
    }
    std::string outDir;
    if (o.count("--out")) {
        outDir = o["--out"];
        std::error_code error;
        std::filesystem::create_directories(outDir, error);
        if (!std::filesystem::is_directory(outDir))
            return Failure("cannot create the folder '" + outDir + "'");
    }

    CaptureSink sink(outDir, frames);
    CliOptions view;
    CliTarget target(address.s_addr); // network order: first octet first
    OptionMaskState mask;
    // The first attempt goes out at once; retries wait the usual second.
    settings.connectAtOnce = true;
    LiveThread thread(sink, target, view, mask, tuning, settings);
    thread.Start();

    interrupted.store(false);
    auto previous = std::signal(SIGINT, OnLiveInterrupt);
    Watch(thread, sink, seconds, o["--host"], settings.port);
    sink.Finish();
    thread.Stop();
    std::signal(SIGINT, previous);
    sink.Report();
    if (!sink.WriteError().empty())
        return Failure(sink.WriteError());
    // A run that never delivered a picture has failed, whatever ended it.
    if (sink.Total() == 0) {
        const std::string why = thread.LastEnd();
        return Failure("no picture was delivered" +
                       (why.empty() ? std::string() : "; the last connection ended: " + why));
    }
    return ExitOk;
}

} // namespace

KORVEX_CLI_COMMAND("live", "watch a device's live stream, save pictures and tuning traces", RunLive);

} // namespace korvex::cli

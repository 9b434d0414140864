#include "devsim/LiveServer.h"

#include "devsim/H264Encoder.h"
#include "devsim/SceneStream.h"
#include "devsim/Sockets.h"
#include "framework/ByteOrder.h"
#include "framework/Trace.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex::devsim {

namespace {

constexpr int kReplyTimeout_ms = 10000;
constexpr int kSendTimeout_ms = 10000;
constexpr size_t kMaxLiveLog = 20000;
constexpr uint32_t kMaxH264Unit = 131072;

void PutU16(std::string& b, size_t at, uint16_t v) {
    WriteLe16(reinterpret_cast<uint8_t*>(&b[at]), v);
}

void PutU32(std::string& b, size_t at, uint32_t v) {
    WriteLe32(reinterpret_cast<uint8_t*>(&b[at]), v);
}

// A 64-byte header for a message.
std::string Header(uint32_t frameNumber, uint8_t kind, uint8_t camera, uint32_t payloadLength) {
    std::string h(64, '\0');
    PutU32(h, 0, 64);
    PutU32(h, 4, frameNumber);
    h[8] = char(kind);
    h[9] = char(camera);
    PutU32(h, 12, payloadLength);
    return h;
}

template <typename T> void AppendCapped(std::vector<T>& log, const T& entry) {
    if (log.size() >= kMaxLiveLog)
        log.erase(log.begin(), log.begin() + kMaxLiveLog / 2);
    log.push_back(entry);
}

} // namespace

// One client connection: the per-camera encoders and the fault counter.
class LiveServer::Connection {
public:
    Connection(LiveServer& server, int fd) : server(server), state(server.state), fd(fd) {
        encoders.resize(8);
        if (state.scenes)
            scenes = std::make_unique<SceneStream>(*state.scenes);
    }

    void Serve() {
        const Options& o = state.options;
        // Rounds are timed in microseconds so that rates like 60 per
        // second come out right.
        const int64_t period_us = 1000000 / int64_t(o.fps);
        int64_t next_us = SteadyMs() * 1000;
        while (Alive()) {
            for (unsigned cam = 0; cam < o.cameraCount && Alive(); ++cam) {
                if (!FaultDue() && !SendPicture(uint8_t(cam)))
                    return;
                if (FaultDue() && !Strike(uint8_t(cam)))
                    return;
            }
            if (traceWanted) {
                traceWanted = false;
                if (!FaultDue() && !SendTrace(traceCamera, traceDetector))
                    return;
            }
            next_us += period_us;
            int64_t wait = next_us / 1000 - SteadyMs();
            if (wait < 0) {
                next_us = SteadyMs() * 1000; // running late: do not try to catch up
                wait = 0;
            }
            while (wait > 0 && Alive()) {
                int64_t step = std::min<int64_t>(wait, 50);
                server.SleepOrStop(unsigned(step));
                wait -= step;
            }
        }
    }

private:
    bool Alive() const { return !server.StopRequested() && !state.DeviceDown(); }

    bool FaultDue() {
        FaultOptions f = state.CurrentFaults();
        return f.liveFault != LiveFault::None && !faultDone && sent >= f.liveFaultAfter;
    }

    // Performs the configured fault; false ends the connection.
    bool Strike(uint8_t camera) {
        faultDone = true;
        FaultOptions f = state.CurrentFaults();
        Trace("LiveServer: fault %d after %u messages\n", int(f.liveFault), sent);
        switch (f.liveFault) {
        case LiveFault::None:
            return true;
        case LiveFault::Stall:
            // Keep the connection open and silent until the client gives up.
            while (Alive()) {
                int r = WaitReady(fd, 100);
                if (r < 0)
                    return false;
                if (r > 0) {
                    char scratch[256];
                    ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
                    if (n <= 0)
                        return false;
                }
            }
            return false;
        case LiveFault::Close:
            return false;
        case LiveFault::ShortHeader: {
            std::string h = Header(state.nextFrameNumber++, 1, camera, 0);
            PutU32(h, 0, 8);
            h.resize(16);
            return Send(h) && AwaitReply();
        }
        case LiveFault::OversizedUnit: {
            std::string unit(64, '\x55');
            uint32_t frame = state.nextFrameNumber++;
            std::string m = Header(frame, 1, camera, uint32_t(8 + unit.size()));
            PutU16(m, 20, 320);
            PutU16(m, 22, 240);
            m[24] = 3;
            std::string pre(8, '\0');
            PutU32(pre, 0, 1);
            PutU32(pre, 4, uint32_t(unit.size()) + 1); // one byte more than there is
            return Send(m + pre + unit) && AwaitReply();
        }
        case LiveFault::Raw:
            return Send(f.liveRaw) && AwaitReply();
        case LiveFault::EndlessPayload:
        case LiveFault::EndlessHeader: {
            // A peer that never stops sending: the client must be able to
            // leave in the middle of such a message.
            std::string h = Header(state.nextFrameNumber++, 1, camera, 0);
            if (f.liveFault == LiveFault::EndlessPayload) {
                h[8] = char(9); // a kind nobody knows
                PutU32(h, 12, 0xFFFFFFFFu);
                h.resize(16);
            } else {
                PutU32(h, 0, 0xFFFFFFF0u);
            }
            if (!Send(h))
                return false;
            const std::string chunk(64 * 1024, '\0');
            while (Send(chunk)) {
            }
            return false;
        }
        case LiveFault::RandomBytes: {
            std::mt19937 random(12345 + sent);
            std::string junk(4096, '\0');
            for (auto& ch : junk)
                ch = char(random() & 0xFF);
            return Send(junk) && AwaitReply();
        }
        }
        return true;
    }

    enum class Encoded { Ready, Nothing, Failed };

    // The payload of one H.264 picture: its key flag, length and unit.
    Encoded H264Payload(uint8_t camera, uint32_t frame, bool scene, std::string& payload,
                        LiveMessageRecord& rec) {
        const Options& o = state.options;
        try {
            if (!encoders[camera])
                encoders[camera] = std::make_unique<H264Encoder>(o.keyFrameInterval, o.fps);
            std::string unit;
            bool key = false;
            const std::vector<uint8_t> luma =
                scene ? SceneLuma(*drawn, H264Encoder::kWidth, H264Encoder::kHeight, Shift(camera))
                      : H264TestFrame(frame);
            if (!encoders[camera]->Encode(luma, unit, key) || unit.size() > kMaxH264Unit)
                return Encoded::Nothing;
            payload.assign(8, '\0');
            PutU32(payload, 0, key ? 1 : 0);
            PutU32(payload, 4, uint32_t(unit.size()));
            payload += unit;
            rec.keyFrame = key;
            return Encoded::Ready;
        } catch (const std::exception& e) {
            Trace("LiveServer: %s\n", e.what());
            return Encoded::Failed;
        }
    }

    bool SendPicture(uint8_t camera) {
        const Options& o = state.options;
        CameraFormat format = camera < o.formats.size() ? o.formats[camera] : CameraFormat::Grey320;
        uint32_t frame = state.nextFrameNumber++;
        LiveMessageRecord rec;
        rec.frameNumber = frame;
        rec.kind = 1;
        rec.camera = camera;
        std::string payload;
        uint16_t width = 320, height = 240, x = 0;
        uint8_t formatCode = 0;
        const bool scene = scenes && scenes->HasScene(camera) && format != CameraFormat::Blank;
        if (scene)
            DrawScene(camera);
        switch (format) {
        case CameraFormat::Grey180:
            width = 180;
            height = 144;
            [[fallthrough]];
        case CameraFormat::Grey320:
            if (scene) {
                const std::vector<uint8_t> grey = SceneGrey(*drawn, width, height, Shift(camera));
                payload.assign(grey.begin(), grey.end());
                break;
            }
            payload.resize(size_t(width) * height);
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t xx = 0; xx < width; ++xx)
                    payload[y * width + xx] = char(PatternGrey(xx, y, width, height, frame));
            break;
        case CameraFormat::Colour320:
            formatCode = 1;
            payload.resize(320 * 240 * 2);
            if (scene) {
                const std::vector<uint16_t> colour = SceneColour565(*drawn, Shift(camera));
                for (size_t i = 0; i < colour.size(); ++i)
                    PutU16(payload, i * 2, colour[i]);
                break;
            }
            for (uint32_t y = 0; y < 240; ++y)
                for (uint32_t xx = 0; xx < 320; ++xx)
                    PutU16(payload, (y * 320 + xx) * 2, PatternColour(xx, y, frame));
            break;
        case CameraFormat::Blank:
            formatCode = 2;
            x = BlankRegionX(frame);
            break;
        case CameraFormat::H264: {
            formatCode = 3;
            const Encoded encoded = H264Payload(camera, frame, scene, payload, rec);
            if (encoded != Encoded::Ready)
                return encoded == Encoded::Nothing; // nothing to send for this picture, or a failure
            break;
        }
        }
        std::string m = Header(frame, 1, camera, uint32_t(payload.size()));
        PutU16(m, 16, x);
        PutU16(m, 18, 0);
        PutU16(m, 20, width);
        PutU16(m, 22, height);
        m[24] = char(formatCode);
        // The camera check flags a camera that no longer looks where it did.
        uint8_t flags =
            ((o.blurEvery && frame % o.blurEvery == 0) || (scene && scenes->Moved(camera))) ? 1 : 0;
        m[25] = char(flags);
        rec.format = formatCode;
        rec.pictureFlags = flags;
        rec.payloadLength = uint32_t(payload.size());
        Log(rec);
        return Send(m + payload) && AwaitReply();
    }

    bool SendTrace(uint8_t camera, uint8_t detector) {
        uint32_t frame = state.nextFrameNumber++;
        std::string m = Header(frame, 2, camera, 500);
        PutU16(m, 16, 250);
        PutU16(m, 18, 16);
        m[36] = char(detector);
        std::vector<uint16_t> values = scenes ? scenes->Trace(camera, detector) : std::vector<uint16_t>{};
        if (values.empty())
            values = TuningTraceValues(camera, detector);
        std::string payload(500, '\0');
        for (size_t i = 0; i < values.size(); ++i)
            PutU16(payload, i * 2, values[i]);
        LiveMessageRecord rec;
        rec.frameNumber = frame;
        rec.kind = 2;
        rec.camera = camera;
        rec.detector = detector;
        rec.payloadLength = 500;
        Log(rec);
        return Send(m + payload) && AwaitReply();
    }

    PictureShift Shift(uint8_t camera) const {
        return {state.shiftX[camera % 8].load(), state.shiftY[camera % 8].load()};
    }

    void DrawScene(uint8_t camera) {
        drawn = &scenes->Draw(camera, SteadyMs() - state.startedAt_ms, Shift(camera));
    }

    void Log(const LiveMessageRecord& rec) {
        std::lock_guard guard(state.lock);
        AppendCapped(state.messages, rec);
    }

    bool Send(const std::string& bytes) {
        size_t done = 0;
        int64_t deadline = SteadyMs() + kSendTimeout_ms;
        while (done < bytes.size()) {
            if (!Alive() || SteadyMs() > deadline)
                return false;
            int r = WaitReady(fd, 100, true);
            if (r < 0)
                return false;
            if (r == 0)
                continue;
            ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                return false;
            }
            done += size_t(n);
        }
        return true;
    }

    // Reads the 64-byte reply to the message just sent and records it.
    bool AwaitReply() {
        uint8_t reply[64];
        size_t got = 0;
        int64_t deadline = SteadyMs() + kReplyTimeout_ms;
        while (got < sizeof reply) {
            if (!Alive() || SteadyMs() > deadline)
                return false;
            int r = WaitReady(fd, 100);
            if (r < 0)
                return false;
            if (r == 0)
                continue;
            ssize_t n = ::recv(fd, reply + got, sizeof reply - got, MSG_DONTWAIT);
            if (n == 0)
                return false;
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                return false;
            }
            got += size_t(n);
        }
        LiveReplyRecord rec;
        std::memcpy(rec.raw.data(), reply, sizeof reply);
        rec.length = ReadLe32(reply);
        rec.frameNumber = ReadLe32(reply + 4);
        rec.camera = reply[9];
        rec.options = reply[16];
        rec.mask = reply[17] | reply[20] << 8 | uint32_t(reply[21]) << 16;
        rec.tuningDetector = reply[18];
        rec.tuningCamera = reply[19];
        {
            std::lock_guard guard(state.lock);
            AppendCapped(state.replies, rec);
        }
        ++sent;
        if (rec.options & 0x04) {
            traceWanted = true;
            traceCamera = rec.tuningCamera;
            traceDetector = rec.tuningDetector;
        }
        return true;
    }

    LiveServer& server;
    DeviceSimulator::State& state;
    int fd;
    std::vector<std::unique_ptr<H264Encoder>> encoders;
    std::unique_ptr<SceneStream> scenes; // when the simulator shows scenes
    const ScenePicture* drawn = nullptr; // the scene picture being sent
    unsigned sent = 0;                   // answered messages on this connection
    bool faultDone = false;
    bool traceWanted = false;
    uint8_t traceCamera = 0;
    uint8_t traceDetector = 0;
};

LiveServer::LiveServer(DeviceSimulator::State& state) : Thread("LiveServer"), state(state) {}
LiveServer::~LiveServer() = default;

void LiveServer::Open() {
    port.Open(state.options.livePort, state.livePort);
}

void LiveServer::Run() {
    while (!StopRequested()) {
        int fd = port.Accept(stopEvent, {});
        if (fd < 0)
            continue;
        ++state.liveConnections;
        {
            std::lock_guard guard(clientLock);
            client = fd;
        }
        ServeClient(fd);
        std::lock_guard guard(clientLock);
        CloseSocket(client);
    }
}

void LiveServer::OnStopRequested() {
    std::lock_guard guard(clientLock);
    if (client >= 0)
        ::shutdown(client, SHUT_RDWR);
}

void LiveServer::ServeClient(int fd) {
    Connection connection(*this, fd);
    connection.Serve();
}

} // namespace korvex::devsim

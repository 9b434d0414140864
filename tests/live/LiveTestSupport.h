#pragma once

#include "live/LiveInterfaces.h"
#include "live/LiveProtocol.h"
#include "live/LiveSession.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace korvex::test {

// Sink that records everything the live thread hands it.
class RecordingSink : public LiveSink {
public:
    struct Delivery {
        unsigned camera;
        Bitmap picture;
        // Frame number of the last header seen before this picture.
        uint32_t frameNumber;
        uint8_t pictureFlags;
    };
    void OnFrameHeader(const PictureHeader& h) override {
        std::lock_guard<std::mutex> g(lock);
        headers.push_back(h);
    }
    void Deliver(unsigned camera, Bitmap picture) override {
        std::lock_guard<std::mutex> g(lock);
        const uint32_t frame = headers.empty() ? 0 : headers.back().frameNumber;
        const uint8_t flags = headers.empty() ? 0 : headers.back().pictureFlags;
        deliveries.push_back({camera, std::move(picture), frame, flags});
    }
    void ResetCameras() override {
        std::lock_guard<std::mutex> g(lock);
        ++resets;
    }
    void RequestRepaint() override {
        std::lock_guard<std::mutex> g(lock);
        ++repaints;
    }
    size_t DeliveryCount() const {
        std::lock_guard<std::mutex> g(lock);
        return deliveries.size();
    }
    unsigned ResetCount() const {
        std::lock_guard<std::mutex> g(lock);
        return resets;
    }
    std::vector<Delivery> Deliveries() const {
        std::lock_guard<std::mutex> g(lock);
        return deliveries;
    }
    std::vector<PictureHeader> Headers() const {
        std::lock_guard<std::mutex> g(lock);
        return headers;
    }

    mutable std::mutex lock;
    std::vector<PictureHeader> headers;
    std::vector<Delivery> deliveries;
    unsigned resets = 0;
    unsigned repaints = 0;
};

class FixedOptions : public LiveViewOptions {
public:
    bool ViewOptionA() const override { return a; }
    bool ViewOptionB() const override { return b; }
    int ZoomCamera() const override { return zoom; }
    bool a = true, b = true;
    int zoom = -1;
};

class FixedTarget : public TargetAddressSource {
public:
    uint32_t TargetAddress() const override { return address.load(); }
    std::atomic<uint32_t> address{0};
};

// 127.0.0.1 in network order (first octet in the lowest byte).
constexpr uint32_t kLoopback = 0x0100007F;

class RecordingTuning : public TuningSelection {
public:
    void SetTrace(const TuningTrace& values) override {
        std::lock_guard<std::mutex> g(lock);
        traces.push_back(values);
    }
    std::vector<TuningTrace> Traces() const {
        std::lock_guard<std::mutex> g(lock);
        return traces;
    }
    mutable std::mutex lock;
    std::vector<TuningTrace> traces;
};

// A scripted byte stream: reads come from `input`, replies are collected.
class MemoryChannel : public LiveChannel {
public:
    explicit MemoryChannel(std::vector<uint8_t> bytes = {}) : input(std::move(bytes)) {}
    bool ReadExact(uint8_t* buffer, size_t n) override {
        if (input.size() - position < n)
            return false;
        std::memcpy(buffer, input.data() + position, n);
        position += n;
        return true;
    }
    bool Send(const uint8_t* data, size_t n) override {
        replies.emplace_back(data, data + n);
        return sendOk;
    }
    std::vector<uint8_t> input;
    size_t position = 0;
    bool sendOk = true;
    std::vector<std::vector<uint8_t>> replies;
};

// A whole message: header of headerLength bytes (zeros beyond 64), then the
// payload.
inline std::vector<uint8_t> Message(PictureHeader h, const std::vector<uint8_t>& payload, bool setPayloadLength = true) {
    if (h.headerLength == 0)
        h.headerLength = 64;
    if (setPayloadLength)
        h.payloadLength = uint32_t(payload.size());
    auto fixed = EncodePictureHeader(h);
    std::vector<uint8_t> out(fixed.begin(), fixed.end());
    if (h.headerLength > 64)
        out.resize(h.headerLength, 0xEE);
    else
        out.resize(h.headerLength);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline PictureHeader Picture(uint8_t format, uint16_t width, uint16_t height, uint8_t camera = 0, uint32_t frame = 1) {
    PictureHeader h;
    h.kind = kKindPicture;
    h.format = format;
    h.width = width;
    h.height = height;
    h.camera = camera;
    h.frameNumber = frame;
    return h;
}

// H.264 payload: flags, length, unit, then `extra` filler bytes.
inline std::vector<uint8_t> H264Payload(const std::vector<uint8_t>& unit, bool key, size_t extra = 0) {
    std::vector<uint8_t> p(8);
    const uint32_t flags = key ? 1 : 0, length = uint32_t(unit.size());
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(flags >> (8 * i));
        p[4 + i] = uint8_t(length >> (8 * i));
    }
    p.insert(p.end(), unit.begin(), unit.end());
    p.resize(p.size() + extra, 0x55);
    return p;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

} // namespace korvex::test

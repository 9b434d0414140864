// Feeds arbitrary bytes to the live message loop as if a device sent them:
// every header, length and payload comes from the input. The loop must end
// cleanly (no crash, no read beyond what it checked, no endless wait).
#include "live/LiveSession.h"

#include <cstring>

using namespace korvex;

namespace {

class Bytes : public LiveChannel {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool ReadExact(uint8_t* buffer, size_t n) override {
        if (size - position < n)
            return false;
        std::memcpy(buffer, data + position, n);
        position += n;
        return true;
    }
    bool Send(const uint8_t*, size_t n) override { return n == kReplySize; }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

class Sink : public LiveSink {
public:
    void OnFrameHeader(const PictureHeader& h) override {
        if (h.width % 4 != 0 || h.camera >= kCameraSlots)
            __builtin_trap();  // the loop promised never to pass these on
    }
    void Deliver(unsigned camera, Bitmap picture) override {
        if (camera >= kCameraSlots || picture.Data().size() != size_t(picture.Width()) * picture.Height() * 3)
            __builtin_trap();
    }
    void ResetCameras() override {}
    void RequestRepaint() override {}
};

class Options : public LiveViewOptions {
public:
    bool ViewOptionA() const override { return true; }
    bool ViewOptionB() const override { return false; }
    int ZoomCamera() const override { return 1; }
};

class Tuning : public TuningSelection {
public:
    void SetTrace(const TuningTrace&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LiveBuffers buffers;
    Bytes channel(data, size);
    Sink sink;
    Options options;
    OptionMaskState mask;
    Tuning tuning;
    tuning.Select(0, 0);
    LiveSession session(channel, buffers, sink, options, mask, tuning);
    for (int i = 0; i < 10000 && session.ProcessMessage(); ++i) {
    }
    return 0;
}

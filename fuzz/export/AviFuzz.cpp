// Feeds arbitrary bytes to the AVI reader, and the first frames it finds to
// the JPEG re-encoder; only a raised LocalException may come back.
#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/JpegReencoder.h"
#include "framework/LocalException.h"

#include <cstdint>
#include <vector>

namespace {

struct Touch : korvex::AviInputSink {
    uint32_t sum = 0;
    std::vector<std::pair<const uint8_t*, uint32_t>> frames;
    void OnMainHeader(uint32_t width, uint32_t height) override { sum += width ^ height; }
    void OnFrame(const uint8_t* data, uint32_t size) override {
        // Read every byte the reader claims is a frame (ASan checks the range).
        for (uint32_t i = 0; i < size; ++i)
            sum += data[i];
        if (frames.size() < 2)
            frames.push_back({data, size});
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so reads past the end are caught.
    std::vector<uint8_t> bytes(data, data + size);
    Touch touch;
    try {
        korvex::ParseAvi(bytes.data(), bytes.size(), touch);
    } catch (const korvex::LocalException&) {
    }
    static std::vector<uint8_t> output(korvex::kJpegOutputBuffer);
    // One encoder for every input, as a worker thread keeps one for every frame.
    static korvex::JpegReencoder encoder;
    for (const auto& [frame, length] : touch.frames) {
        try {
            encoder.Reencode(frame, length, output.data());
        } catch (const korvex::LocalException&) {
        }
    }
    return 0;
}

// Feeds arbitrary bytes to the AVI reader, and the first frames it finds to
// the JPEG re-encoder; only a raised LocalException may come back.
#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/JpegReencoder.h"
#include "framework/LocalException.h"

#include <cstdint>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEX_FUZZ_POISON 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KORVEX_FUZZ_POISON 1
#endif
#ifdef KORVEX_FUZZ_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace {

// The export reads its input as the walk goes; every byte past what the
// reader announced with Need is poisoned, so looking at it early is caught.
void Poison(const uint8_t* begin, size_t n, bool poisoned) {
#ifdef KORVEX_FUZZ_POISON
    if (poisoned)
        ASAN_POISON_MEMORY_REGION(begin, n);
    else
        ASAN_UNPOISON_MEMORY_REGION(begin, n);
#else
    (void)begin, (void)n, (void)poisoned;
#endif
}

struct Touch : korvex::AviInputSink {
    const uint8_t* base = nullptr;
    size_t size = 0;
    size_t readable = 0;
    void Need(size_t end) override {
        if (end > size)
            __builtin_trap(); // the reader asked for bytes beyond the file
        if (end > readable) {
            Poison(base + readable, end - readable, false);
            readable = end;
        }
    }
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
    touch.base = bytes.data();
    touch.size = bytes.size();
    Poison(bytes.data(), bytes.size(), true);
    try {
        korvex::ParseAvi(bytes.data(), bytes.size(), touch);
    } catch (const korvex::LocalException&) {
    }
    Poison(bytes.data(), bytes.size(), false);
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

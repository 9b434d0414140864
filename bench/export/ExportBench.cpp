// Per-frame costs of the export: re-encoding one 320 x 240 frame, and
// reading plus writing a recording's frames unchanged.
#include "export/AviFormat.h"
#include "export/AviReader.h"
#include "export/AviWriter.h"
#include "export/JpegReencoder.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> CameraFrame() {
    const int width = 320, height = 240;
    std::vector<unsigned char> rgb(width * height * 3);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k)
                rgb[(y * width + x) * 3 + k] =
                    static_cast<unsigned char>(60 + y / 2 + ((x / 8 + y / 8) % 2) * 20 + int(random() % 21));
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 80, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &rgb[c.next_scanline * width * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<unsigned char> jpeg(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return jpeg;
}

void BM_ReencodeFrame(benchmark::State& state) {
    auto jpeg = CameraFrame();
    std::vector<uint8_t> output(korvex::kJpegOutputBuffer);
    korvex::JpegReencoder encoder;
    for (auto _ : state)
        benchmark::DoNotOptimize(encoder.Reencode(jpeg.data(), jpeg.size(), output.data()));
    state.SetItemsProcessed(state.iterations());
    state.counters["input_bytes"] = double(jpeg.size());
}
BENCHMARK(BM_ReencodeFrame)->Unit(benchmark::kMicrosecond);

void BM_CopyFrames(benchmark::State& state) {
    auto jpeg = CameraFrame();
    const int frames = 1000;
    std::string path = "/tmp/korvex-bench-export-" + std::to_string(getpid()) + ".avi";
    for (auto _ : state) {
        korvex::AviWriter writer(path);
        for (int i = 0; i < frames; ++i)
            writer.AddFrameReference(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
        // Written but not committed: the disk flush of Commit is not what
        // is measured here, and the abandoned file is removed.
        writer.Flush();
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * frames);
    state.SetBytesProcessed(int64_t(state.iterations()) * frames * int64_t(jpeg.size()));
}
BENCHMARK(BM_CopyFrames)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

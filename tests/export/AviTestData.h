#pragma once

// Recordings built in memory for the export tests: JPEG pictures made with
// the JPEG library and AVI files laid out the way a recorder writes them.

#include "support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::test {

using Bytes = std::vector<uint8_t>;

// A JPEG picture of `components` (1 grey, 3 colour, 4 CMYK) with content
// that depends on `seed`.
Bytes MakeJpeg(int width, int height, int components, int seed, int quality = 85);
// A JPEG picture of the given pixels (rows top to bottom, `components` bytes each).
Bytes MakeJpegFromPixels(int width, int height, int components, const Bytes& pixels, int quality);

// Chunk and list building blocks (pads odd data with one zero byte).
Bytes Chunk(const char* code, const Bytes& data);
Bytes ChunkWithLength(const char* code, uint32_t length, const Bytes& data);
Bytes List(const char* type, const std::vector<Bytes>& children);
Bytes Riff(const char* form, const std::vector<Bytes>& children);
Bytes MainHeader(uint32_t width, uint32_t height, uint32_t frames);

struct RecordingOptions {
    uint32_t width = 64;
    uint32_t height = 48;
    bool audio = true;  // "01wb" chunks between the frames, a second stream list
    bool extras = true; // "JUNK", an "INFO" list and an "idx1" index
};

// A recorder-like AVI file holding `frames` as its "00dc" chunks.
Bytes MakeRecording(const std::vector<Bytes>& frames, const RecordingOptions& options = {});

// `count` distinct colour frames of the given size.
std::vector<Bytes> MakeFrames(int count, int width, int height, int firstSeed = 0);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The number of components of a JPEG picture and its size, or 0 when it
// does not decode.
struct JpegInfo {
    int components = 0;
    int width = 0;
    int height = 0;
};
JpegInfo InspectJpeg(const uint8_t* data, size_t size);

// Installs a string table whose texts name their own numbers ("E244"), so
// that errors can be told apart whatever the language files hold.
void InstallNumberedTexts();

} // namespace korvex::test

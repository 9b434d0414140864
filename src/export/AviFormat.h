#pragma once

#include "framework/ByteOrder.h"

#include <cstddef>
#include <cstdint>

namespace korvex {

// The AVI container as the export reads and writes it: RIFF chunks of a
// four-character code, a little-endian u32 length and the data, padded to an
// even length.

constexpr size_t kAviHeaderSize = 524;        // everything up to the first frame chunk
constexpr uint32_t kAviMoviCodeOffset = 520;  // file offset of the "movi" code
constexpr size_t kAviWorkingBuffer = 1048576; // largest padded frame chunk
constexpr size_t kJpegOutputBuffer = 262144;  // largest re-encoded frame
constexpr uint32_t kAviKeyFrame = 0x10;

inline bool IsCode(const uint8_t* p, const char (&code)[5]) {
    return p[0] == uint8_t(code[0]) && p[1] == uint8_t(code[1]) && p[2] == uint8_t(code[2]) &&
           p[3] == uint8_t(code[3]);
}

inline void WriteCode(uint8_t* p, const char (&code)[5]) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(code[i]);
}

// Length of a chunk with `dataLength` bytes of data once its head and pad
// byte are counted.
inline uint64_t PaddedChunkLength(uint64_t dataLength) {
    return 8 + dataLength + (dataLength & 1);
}

} // namespace korvex

#pragma once

#include "export/AviFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace korvex {

// Decodes one JPEG picture and encodes it again as a three-component RGB
// JPEG with the library's defaults at quality 98. Grey pictures come out as
// colour pictures of the same size. Rows go from the decoder to the encoder
// a band at a time, so no whole picture is ever held.
//
// Errors raised (string-table numbers): 247 the picture cannot be decoded,
// 248 no memory for a picture row, 249 the encoder gave no result or one
// larger than the output buffer (kJpegOutputBuffer bytes unless told).
//
// One object per thread; objects share nothing.
class JpegReencoder {
public:
    // `capacity` is the room of the output buffers given to Reencode
    // (tests pass smaller values to reach the limit with small pictures).
    explicit JpegReencoder(size_t capacity = kJpegOutputBuffer);
    ~JpegReencoder();
    JpegReencoder(const JpegReencoder&) = delete;
    JpegReencoder& operator=(const JpegReencoder&) = delete;

    // Writes the new picture to `output`, which has room for `capacity`
    // bytes, and returns its length. A picture of exactly that length fits.
    size_t Reencode(const uint8_t* data, size_t size, uint8_t* output);

    static constexpr int kQuality = 98;

    struct State;

private:
    std::unique_ptr<State> state;
};

} // namespace korvex

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex::devsim {

// Encodes 352 x 288 pictures into H.264 access units (Annex B byte
// stream, parameter sets in front of every key frame) with libavcodec's
// H.264 encoder: no B-frames and no delay, so each picture gives one unit.
class H264Encoder {
public:
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 288;

    // Throws std::runtime_error when libavcodec has no H.264 encoder.
    H264Encoder(unsigned keyFrameInterval, unsigned fps);
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // `luma` is kWidth x kHeight bytes; chroma is neutral (grey picture).
    // Returns false when the encoder gave no unit for this picture.
    bool Encode(const std::vector<uint8_t>& luma, std::string& unit, bool& keyFrame);

    const char* EncoderName() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// The luma plane of H.264 test frame `frameNumber`: the 320 x 240 test
// pattern in the centre, scaled into the studio range so that decoding
// gives the pattern's grey values back, and black around it.
std::vector<uint8_t> H264TestFrame(uint32_t frameNumber);

} // namespace korvex::devsim

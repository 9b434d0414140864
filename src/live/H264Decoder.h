#pragma once

#include "live/LiveInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace korvex {

// One libavcodec H.264 decoder: units in, decoded pictures out in stream
// order, single-threaded so that no unit waits for a second core.
class H264Decoder {
public:
    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // False when the decoder could not be created.
    bool Open();
    bool IsOpen() const { return context != nullptr; }

    // Submits one access unit and hands every picture the decoder yields to
    // `onFrame`. False when the decoder rejected the unit (it is dropped).
    bool Decode(const uint8_t* data, size_t length, const std::function<void(const AVFrame&)>& onFrame);

private:
    void Drain(const std::function<void(const AVFrame&)>& onFrame);

    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t sampleTime = 0;
};

// How many libavcodec messages reach the trace: at most kLinesPerWindow in
// each window of kWindow_ms; the number left out is told with the next line
// that goes through.
class DecoderLogBudget {
public:
    static constexpr uint64_t kWindow_ms = 1000;
    static constexpr unsigned kLinesPerWindow = 10;
    // True when a line may be written at `now_ms`; `skippedBefore` is then
    // the number left out since the last one written.
    bool Take(uint64_t now_ms, uint64_t& skippedBefore);

private:
    uint64_t windowStart_ms = 0;
    unsigned used = 0;
    uint64_t skipped = 0;
};

// Sends libavcodec's log to the trace through one DecoderLogBudget for the
// whole process (done by the first decoder opened).
void RouteDecoderLog();

// Size of the decoded pictures and the camera window in their centre.
constexpr int kDecodedWidth = 352;
constexpr int kDecodedHeight = 288;
constexpr int kWindowLeft = 16;
constexpr int kWindowTop = 24;

// Fills `picture` (of `header`'s size) from a decoded frame: the window at
// (16, 24), converted with the exact BT.601 formula. False (and `picture`
// untouched) when the frame is not planar 4:2:0 or too small, or the
// picture is not of the header's size.
bool CropDecodedFrame(const AVFrame& frame, const PictureHeader& header, Bitmap& picture);

// The per-camera decoders of one connection. A camera's decoder is created
// on its first key frame and lives until ReleaseSlots.
class DecoderSlots {
public:
    DecoderSlots();
    ~DecoderSlots();

    // Handles one accepted H.264 message: refuses a unit whose parameter sets
    // declare another picture size than 352 x 288 (counted, nothing decoded),
    // creates the decoder on a key frame,
    // passes the header to OnFrameHeader, decodes, delivers every picture
    // (marked "BLUR" when flagged) and asks for a repaint. A decoder error
    // drops the unit only.
    void DecodeUnit(unsigned camera, const PictureHeader& header, uint32_t unitFlags, const uint8_t* data, size_t length,
                    LiveSink& sink);
    void ReleaseSlots();
    bool HasDecoder(unsigned camera) const;
    // Units refused unread because their parameter sets declared another
    // picture size than the stream's, or could not be read.
    uint64_t RefusedUnits() const;

private:
    std::unique_ptr<H264Decoder> slots[kCameraSlots];
    uint64_t refused = 0;
};

} // namespace korvex

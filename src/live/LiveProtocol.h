#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvex {

// Wire layout of the device's live stream. Every number is little-endian.

constexpr uint16_t kDefaultLivePort = 25100;
constexpr unsigned kCameraSlots = 8;

constexpr size_t kMessageHeaderSize = 16;
constexpr size_t kPictureHeaderSize = 64;
constexpr size_t kReplySize = 64;

// Message kinds.
constexpr uint8_t kKindPicture = 1;
constexpr uint8_t kKindTuningTrace = 2;

// Picture formats (kind 1).
constexpr uint8_t kFormatGrey = 0;
constexpr uint8_t kFormatColour16 = 1;
constexpr uint8_t kFormatBlank = 2;
constexpr uint8_t kFormatH264 = 3;

// Payload sizes of the accepted formats.
constexpr uint32_t kGreySmallPayload = 180 * 144;      // 25920
constexpr uint32_t kColourPayload = 320 * 240 * 2;     // 153600
constexpr uint32_t kGreyLargePayload = 320 * 240;      // 76800
constexpr uint32_t kH264MinPayload = 9;
constexpr uint32_t kH264MaxPayload = 131080;
constexpr uint32_t kH264Preamble = 8;

// Tuning traces (kind 2).
constexpr unsigned kTraceSamples = 250;
constexpr uint32_t kTracePayload = kTraceSamples * 2;  // 500

using TuningTrace = std::array<uint16_t, kTraceSamples>;

// The 16-byte message header followed by the rest of the 64-byte picture
// header, as decoded from the wire. For kind 2, x is the number of samples
// and y the bits per sample.
struct PictureHeader {
    uint32_t headerLength = 0;
    uint32_t frameNumber = 0;
    uint8_t kind = 0;
    uint8_t camera = 0;
    uint32_t payloadLength = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t format = 0;
    uint8_t pictureFlags = 0;
    uint8_t detector = 0;

    bool Blur() const { return (pictureFlags & 1) != 0; }
};

// Decodes bytes 0-15 into the message-header fields of `header`.
void ParseMessageHeader(const uint8_t* bytes, PictureHeader& header);
// Decodes bytes 16-63 into the picture-header fields of `header`.
void ParsePictureHeader(const uint8_t* bytes, PictureHeader& header);
// Encodes a whole 64-byte header (for simulators and tests).
std::array<uint8_t, kPictureHeaderSize> EncodePictureHeader(const PictureHeader& header);

// Which row of the picture-format table a kind-1 header matches.
enum class PictureKind { None, GreySmall, Colour16, GreyLarge, H264, Blank };
PictureKind ClassifyPicture(const PictureHeader& header);

// `options` bits of the reply.
constexpr uint8_t kOptionViewAOff = 0x01;
constexpr uint8_t kOptionMaskOpen = 0x02;
constexpr uint8_t kOptionTuning = 0x04;
constexpr uint8_t kOptionTuningOnce = 0x08;
constexpr uint8_t kOptionAlways = 0x10;
constexpr uint8_t kOptionOtherZoomed = 0x20;
constexpr uint8_t kOptionViewBOff = 0x40;
constexpr uint8_t kOptionViewBOn = 0x80;

// The viewer state carried by one reply.
struct ReplyState {
    bool viewOptionA = true;
    bool viewOptionB = true;
    int zoomCamera = -1;
    bool maskOpen = false;
    uint32_t optionMask = 0;
    bool tuning = false;
    bool tuningOnce = false;
    int tuningCamera = 0;
    int tuningDetector = 0;
};

std::array<uint8_t, kReplySize> BuildReply(uint32_t frameNumber, uint8_t camera, const ReplyState& state);

} // namespace korvex

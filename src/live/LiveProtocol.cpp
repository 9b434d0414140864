#include "live/LiveProtocol.h"

namespace korvex {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

void ParseMessageHeader(const uint8_t* b, PictureHeader& h) {
    h.headerLength = Get32(b);
    h.frameNumber = Get32(b + 4);
    h.kind = b[8];
    h.camera = b[9];
    h.payloadLength = Get32(b + 12);
}

void ParsePictureHeader(const uint8_t* b, PictureHeader& h) {
    h.x = Get16(b + 16);
    h.y = Get16(b + 18);
    h.width = Get16(b + 20);
    h.height = Get16(b + 22);
    h.format = b[24];
    h.pictureFlags = b[25];
    h.detector = b[36];
}

std::array<uint8_t, kPictureHeaderSize> EncodePictureHeader(const PictureHeader& h) {
    std::array<uint8_t, kPictureHeaderSize> b{};
    Put32(&b[0], h.headerLength);
    Put32(&b[4], h.frameNumber);
    b[8] = h.kind;
    b[9] = h.camera;
    Put32(&b[12], h.payloadLength);
    Put16(&b[16], h.x);
    Put16(&b[18], h.y);
    Put16(&b[20], h.width);
    Put16(&b[22], h.height);
    b[24] = h.format;
    b[25] = h.pictureFlags;
    b[36] = h.detector;
    return b;
}

PictureKind ClassifyPicture(const PictureHeader& h) {
    // The first row whose every condition holds takes the message.
    const bool origin = h.x == 0 && h.y == 0;
    if (origin && h.format == kFormatGrey && h.width == 180 && h.height == 144 && h.payloadLength == kGreySmallPayload)
        return PictureKind::GreySmall;
    if (origin && h.format == kFormatColour16 && h.width == 320 && h.height == 240 && h.payloadLength == kColourPayload)
        return PictureKind::Colour16;
    if (origin && h.format == kFormatGrey && h.width == 320 && h.height == 240 && h.payloadLength == kGreyLargePayload)
        return PictureKind::GreyLarge;
    if (origin && h.format == kFormatH264 && h.width == 320 && h.height == 240 && h.payloadLength >= kH264MinPayload &&
        h.payloadLength <= kH264MaxPayload)
        return PictureKind::H264;
    if (h.format == kFormatBlank)
        return PictureKind::Blank;
    return PictureKind::None;
}

std::array<uint8_t, kReplySize> BuildReply(uint32_t frameNumber, uint8_t camera, const ReplyState& s) {
    std::array<uint8_t, kReplySize> r{};
    Put32(&r[0], uint32_t(kReplySize));
    Put32(&r[4], frameNumber);
    r[9] = camera;
    uint8_t options = kOptionAlways;
    if (!s.viewOptionA)
        options |= kOptionViewAOff;
    if (s.maskOpen) {
        options |= kOptionMaskOpen;
        r[17] = uint8_t(s.optionMask);
        r[20] = uint8_t(s.optionMask >> 8);
        r[21] = uint8_t(s.optionMask >> 16);
    }
    if (s.tuning) {
        options |= kOptionTuning;
        if (s.tuningOnce)
            options |= kOptionTuningOnce;
        r[18] = uint8_t(s.tuningDetector);
        r[19] = uint8_t(s.tuningCamera);
    }
    if (s.zoomCamera != -1 && s.zoomCamera != int(camera))
        options |= kOptionOtherZoomed;
    options |= s.viewOptionB ? kOptionViewBOn : kOptionViewBOff;
    r[16] = options;
    return r;
}

} // namespace korvex

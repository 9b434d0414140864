#include "live/LiveProtocol.h"

#include "framework/ByteOrder.h"

namespace korvex {

namespace {


} // namespace

void ParseMessageHeader(const uint8_t* b, PictureHeader& h) {
    h.headerLength = ReadLe32(b);
    h.frameNumber = ReadLe32(b + 4);
    h.kind = b[8];
    h.camera = b[9];
    h.payloadLength = ReadLe32(b + 12);
}

void ParsePictureHeader(const uint8_t* b, PictureHeader& h) {
    h.x = ReadLe16(b + 16);
    h.y = ReadLe16(b + 18);
    h.width = ReadLe16(b + 20);
    h.height = ReadLe16(b + 22);
    h.format = b[24];
    h.pictureFlags = b[25];
    h.detector = b[36];
}

std::array<uint8_t, kPictureHeaderSize> EncodePictureHeader(const PictureHeader& h) {
    std::array<uint8_t, kPictureHeaderSize> b{};
    WriteLe32(&b[0], h.headerLength);
    WriteLe32(&b[4], h.frameNumber);
    b[8] = h.kind;
    b[9] = h.camera;
    WriteLe32(&b[12], h.payloadLength);
    WriteLe16(&b[16], h.x);
    WriteLe16(&b[18], h.y);
    WriteLe16(&b[20], h.width);
    WriteLe16(&b[22], h.height);
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
    WriteLe32(&r[0], uint32_t(kReplySize));
    WriteLe32(&r[4], frameNumber);
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

#include "live/LiveSession.h"

#include "framework/ByteOrder.h"
#include "framework/Trace.h"
#include "live/Overlay.h"
#include "live/PictureConvert.h"

#include <algorithm>
#include <cstring>

namespace korvex {

namespace {
const char* const kRun = "LiveThread::Run";

} // namespace

LiveBuffers::LiveBuffers()
    : header(kPictureHeaderSize), payload(kColourPayload), unit(kH264MaxPayload), scratch(256) {}

LiveSession::LiveSession(LiveChannel& channel, LiveBuffers& buffers, LiveSink& sink,
                         const LiveViewOptions& view, const OptionMaskSource& mask, TuningSource& tuning)
    : channel(channel), buffers(buffers), sink(sink), view(view), mask(mask), tuning(tuning) {}

LiveSession::~LiveSession() {
    decoders.ReleaseSlots();
}

bool LiveSession::Refuse(std::string why) {
    malformed = std::move(why);
    return false;
}

bool LiveSession::Skip(uint64_t n) {
    if (n > kMaxSkippedPayload)
        return Refuse("malformed message: " + std::to_string(n) + " bytes to skip");
    while (n > 0) {
        const size_t chunk = size_t(std::min<uint64_t>(n, buffers.scratch.size()));
        if (!channel.ReadExact(buffers.scratch.data(), chunk))
            return false;
        n -= chunk;
    }
    return true;
}

bool LiveSession::ProcessMessage() {
    uint8_t* h = buffers.header.data();
    if (!channel.ReadExact(h, kMessageHeaderSize))
        return false;
    header = PictureHeader{};
    ParseMessageHeader(h, header);
    if (header.headerLength < kMessageHeaderSize || header.headerLength > kMaxHeaderLength)
        return Refuse("malformed message: header length " + std::to_string(header.headerLength));
    bool ok;
    switch (header.kind) {
    case kKindPicture:
        ok = HandlePicture();
        break;
    case kKindTuningTrace:
        ok = HandleTrace();
        break;
    default:
        ok = Skip(header.headerLength - kMessageHeaderSize) && Skip(header.payloadLength);
        break;
    }
    return ok && Reply();
}

Bitmap LiveSession::NewPicture() {
    // Every pixel gets written, so the sink may hand back a used picture; one
    // of the wrong size is not trusted.
    Bitmap picture = sink.NewPicture(header.width, header.height);
    if (picture.Width() != header.width || picture.Height() != header.height ||
        picture.Data().size() != size_t(header.width) * header.height * 3)
        return Bitmap(header.width, header.height);
    return picture;
}

void LiveSession::Finish(Bitmap& picture) {
    if (header.Blur())
        MarkBlur(picture);
    sink.Deliver(header.camera, std::move(picture));
}

bool LiveSession::ReadPictureHeader() {
    if (header.headerLength < kPictureHeaderSize)
        return Refuse("malformed message: picture header length " + std::to_string(header.headerLength));
    uint8_t* h = buffers.header.data();
    if (!channel.ReadExact(h + kMessageHeaderSize, kPictureHeaderSize - kMessageHeaderSize))
        return false;
    ParsePictureHeader(h, header);
    return Skip(header.headerLength - kPictureHeaderSize);
}

bool LiveSession::HandlePicture() {
    if (!ReadPictureHeader())
        return false;
    if (header.camera >= kCameraSlots)
        return Skip(header.payloadLength);

    uint8_t* payload = buffers.payload.data();
    switch (ClassifyPicture(header)) {
    case PictureKind::GreySmall:
    case PictureKind::GreyLarge: {
        if (header.width == 180)
            Trace("%s: Frame 180x144x8 %u\n", kRun, header.frameNumber);
        else
            Trace("%s: [%u] Frame 320x240x8 %u\n", kRun, unsigned(header.camera), header.frameNumber);
        if (!channel.ReadExact(payload, header.payloadLength))
            return false;
        sink.OnFrameHeader(header);
        Bitmap picture = NewPicture();
        ConvertGrey(payload, picture);
        Finish(picture);
        return true;
    }
    case PictureKind::Colour16: {
        Trace("%s: Frame 320x240x16 %u\n", kRun, header.frameNumber);
        if (!channel.ReadExact(payload, header.payloadLength))
            return false;
        sink.OnFrameHeader(header);
        Bitmap picture = NewPicture();
        ConvertColour16(payload, picture);
        Finish(picture);
        return true;
    }
    case PictureKind::H264: {
        uint8_t preamble[kH264Preamble];
        if (!channel.ReadExact(preamble, kH264Preamble))
            return false;
        const uint32_t unitFlags = ReadLe32(preamble);
        const uint32_t unitLength = ReadLe32(preamble + 4);
        if (unitLength > header.payloadLength - kH264Preamble)
            return Refuse("malformed message: H.264 unit of " + std::to_string(unitLength) +
                          " bytes in a payload of " + std::to_string(header.payloadLength));
        if (!channel.ReadExact(buffers.unit.data(), unitLength))
            return false;
        if (!Skip(header.payloadLength - unitLength - kH264Preamble))
            return false;
        decoders.DecodeUnit(header.camera, header, unitFlags, buffers.unit.data(), unitLength, sink);
        return true;
    }
    case PictureKind::Blank: {
        // Nothing after the header belongs to a blank picture, whatever
        // payloadLength says.
        Trace("%s: [%u] Blank %ux%u->%ux%u %u\n", kRun, unsigned(header.camera), unsigned(header.x),
              unsigned(header.y), unsigned(header.width), unsigned(header.height), header.frameNumber);
        if (header.width % 4 != 0 || header.width > kMaxBlankWidth || header.height > kMaxBlankHeight)
            return true; // dropped: a width that is not a multiple of 4, or too large
        sink.OnFrameHeader(header);
        Bitmap picture(header.width, header.height);
        const uint32_t right = std::min<uint32_t>(uint32_t(header.x) + header.width, header.width);
        const uint32_t bottom = std::min<uint32_t>(uint32_t(header.y) + header.height, header.height);
        for (uint32_t r = header.y; r < bottom && header.x < right; ++r)
            std::memset(picture.Row(r) + size_t(header.x) * 3, 0, size_t(right - header.x) * 3);
        Finish(picture);
        return true;
    }
    case PictureKind::None:
        break;
    }
    return Skip(header.payloadLength);
}

bool LiveSession::HandleTrace() {
    if (!ReadPictureHeader())
        return false;
    if (header.payloadLength != kTracePayload || header.x != kTraceSamples || header.y != 16)
        return Skip(header.payloadLength);
    uint8_t* payload = buffers.payload.data();
    if (!channel.ReadExact(payload, kTracePayload))
        return false;
    if (int(header.camera) == tuning.SelectedCamera() && int(header.detector) == tuning.SelectedDetector()) {
        TuningTrace values;
        for (unsigned i = 0; i < kTraceSamples; ++i)
            values[i] = uint16_t(payload[2 * i] | payload[2 * i + 1] << 8);
        tuning.SetTrace(values);
    }
    return true;
}

bool LiveSession::Reply() {
    ReplyState state;
    state.viewOptionA = view.ViewOptionA();
    state.viewOptionB = view.ViewOptionB();
    state.zoomCamera = view.ZoomCamera();
    state.maskOpen = mask.MaskDialogOpen();
    state.optionMask = state.maskOpen ? mask.OptionMask() : 0;
    int camera = 0, detector = 0;
    bool once = false;
    state.tuning = tuning.GetTuningRequest(camera, detector, once);
    if (state.tuning) {
        state.tuningCamera = camera;
        state.tuningDetector = detector;
        state.tuningOnce = once;
    }
    const auto reply = BuildReply(header.frameNumber, header.camera, state);
    if (!channel.Send(reply.data(), reply.size()))
        return false;
    ++answered;
    return true;
}

} // namespace korvex

#include "live/H264Decoder.h"

#include "live/Overlay.h"
#include "live/PictureConvert.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace korvex {

namespace {
// Rounds of "take output, offer the unit again" per unit: a decoder that
// keeps refusing input without yielding pictures must not hold the thread.
constexpr int kMaxRounds = 8;
// Time stamp step per unit, in units of 100 ns (100 ms).
constexpr int64_t kSampleDuration = 1000000;
} // namespace

H264Decoder::H264Decoder() = default;

H264Decoder::~H264Decoder() {
    avcodec_free_context(&context);
    av_frame_free(&frame);
    av_packet_free(&packet);
}

bool H264Decoder::Open() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr)
        return false;
    context = avcodec_alloc_context3(codec);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (context == nullptr || frame == nullptr || packet == nullptr) {
        avcodec_free_context(&context);
        return false;
    }
    context->thread_count = 1;
    context->width = kDecodedWidth;
    context->height = kDecodedHeight;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return false;
    }
    return true;
}

void H264Decoder::Drain(const std::function<void(const AVFrame&)>& onFrame) {
    while (avcodec_receive_frame(context, frame) >= 0) {
        onFrame(*frame);
        av_frame_unref(frame);
    }
}

bool H264Decoder::Decode(const uint8_t* data, size_t length, const std::function<void(const AVFrame&)>& onFrame) {
    if (context == nullptr || length == 0 || length > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE)
        return false;
    // The decoder reads a little past the unit: give it a padded copy.
    if (av_new_packet(packet, int(length)) < 0)
        return false;
    std::memcpy(packet->data, data, length);
    packet->pts = sampleTime;
    packet->duration = kSampleDuration;
    sampleTime += kSampleDuration;
    bool accepted = false;
    for (int round = 0; round < kMaxRounds; ++round) {
        const int result = avcodec_send_packet(context, packet);
        if (result == AVERROR(EAGAIN)) {
            Drain(onFrame);
            continue;
        }
        accepted = result >= 0;
        break;
    }
    av_packet_unref(packet);
    if (accepted)
        Drain(onFrame);
    return accepted;
}

bool CropDecodedFrame(const AVFrame& f, const PictureHeader& header, Bitmap& picture) {
    if (f.format != AV_PIX_FMT_YUV420P && f.format != AV_PIX_FMT_YUVJ420P)
        return false;
    if (header.width % 4 != 0 || f.width < kWindowLeft + header.width || f.height < kWindowTop + header.height)
        return false;
    I420Planes planes;
    planes.y = f.data[0];
    planes.u = f.data[1];
    planes.v = f.data[2];
    planes.yStride = f.linesize[0];
    planes.uStride = f.linesize[1];
    planes.vStride = f.linesize[2];
    planes.width = f.width;
    planes.height = f.height;
    if (planes.yStride < f.width || planes.uStride < (f.width + 1) / 2 || planes.vStride < (f.width + 1) / 2)
        return false;
    if (picture.Width() != header.width || picture.Height() != header.height ||
        picture.Data().size() != size_t(header.width) * header.height * 3)
        return false;
    ConvertI420Window(planes, kWindowLeft, kWindowTop, picture);
    return true;
}

DecoderSlots::DecoderSlots() = default;
DecoderSlots::~DecoderSlots() = default;

void DecoderSlots::DecodeUnit(unsigned camera, const PictureHeader& header, uint32_t unitFlags, const uint8_t* data,
                              size_t length, LiveSink& sink) {
    if (camera >= kCameraSlots)
        return;
    auto& slot = slots[camera];
    if (!slot && (unitFlags & 1) != 0) {
        auto decoder = std::make_unique<H264Decoder>();
        if (decoder->Open())
            slot = std::move(decoder);
    }
    sink.OnFrameHeader(header);
    if (slot) {
        slot->Decode(data, length, [&](const AVFrame& frame) {
            // A handed-back picture of the wrong size is not trusted (the
            // message loop does the same for grey and colour pictures).
            Bitmap picture = sink.NewPicture(header.width, header.height);
            if (picture.Width() != header.width || picture.Height() != header.height ||
                picture.Data().size() != size_t(header.width) * header.height * 3)
                picture = Bitmap(header.width, header.height);
            if (!CropDecodedFrame(frame, header, picture))
                return;
            if (header.Blur())
                MarkBlur(picture);
            sink.Deliver(camera, std::move(picture));
        });
    }
    sink.RequestRepaint();
}

void DecoderSlots::ReleaseSlots() {
    for (auto& slot : slots)
        slot.reset();
}

bool DecoderSlots::HasDecoder(unsigned camera) const { return camera < kCameraSlots && slots[camera] != nullptr; }

} // namespace korvex

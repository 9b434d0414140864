#include "live/H264Decoder.h"

#include "framework/Trace.h"
#include "live/H264Units.h"
#include "live/Overlay.h"
#include "live/PictureConvert.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

namespace korvex {

namespace {
// Rounds of "take output, offer the unit again" per unit: a decoder that
// keeps refusing input without yielding pictures must not hold the thread.
constexpr int kMaxRounds = 8;
// Time stamp step per unit, in units of 100 ns (100 ms).
constexpr int64_t kSampleDuration = 1000000;

std::mutex logLock;
DecoderLogBudget logBudget;

uint64_t LogClockMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// libavcodec's messages go to our trace, a few a second: a broken stream
// makes the decoder complain about every unit, and the messages say the
// same thing over and over.
void DecoderLog(void* object, int level, const char* format, va_list args) {
    if (level > std::min(av_log_get_level(), AV_LOG_WARNING))
        return;
    std::lock_guard<std::mutex> guard(logLock);
    uint64_t skipped = 0;
    if (!logBudget.Take(LogClockMs(), skipped))
        return;
    if (skipped != 0)
        Trace("%s: %llu decoder messages left out\n", "H264Decoder::Log",
              static_cast<unsigned long long>(skipped));
    char line[100];
    int prefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
    size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = 0;
    Trace("%s: %s\n", "H264Decoder::Log", line);
}

} // namespace

bool DecoderLogBudget::Take(uint64_t now_ms, uint64_t& skippedBefore) {
    skippedBefore = 0;
    if (now_ms >= windowStart_ms + kWindow_ms) {
        windowStart_ms = now_ms;
        used = 0;
    }
    if (used >= kLinesPerWindow) {
        ++skipped;
        return false;
    }
    ++used;
    skippedBefore = skipped;
    skipped = 0;
    return true;
}

void RouteDecoderLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(DecoderLog); });
}

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
    RouteDecoderLog();
    // One thread, and no picture much larger than the stream's: the units
    // say what they hold, and the decoder would size its memory by that.
    // (The decoder checks its row-aligned width, hence the room.)
    context->thread_count = 1;
    context->max_pixels = 2 * int64_t(kDecodedWidth) * kDecodedHeight;
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
    // A unit whose parameter sets declare another picture size than the
    // stream's is refused before the decoder sees it.
    const UnitCheck check = CheckUnitSize(data, length, kDecodedWidth, kDecodedHeight);
    if (check != UnitCheck::Accept) {
        if (refused++ == 0)
            Trace("%s: camera %u: unit %s, refused\n", "DecoderSlots::DecodeUnit", camera,
                  check == UnitCheck::WrongSize ? "declares another picture size"
                                                : "has an unreadable parameter set");
        sink.OnFrameHeader(header);
        return;
    }
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

uint64_t DecoderSlots::RefusedUnits() const {
    return refused;
}

void DecoderSlots::ReleaseSlots() {
    for (auto& slot : slots)
        slot.reset();
}

bool DecoderSlots::HasDecoder(unsigned camera) const { return camera < kCameraSlots && slots[camera] != nullptr; }

} // namespace korvex

#include "devsim/H264Encoder.h"

#include "devsim/DeviceSimulator.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <stdexcept>

namespace korvex::devsim {

struct H264Encoder::Impl {
    const AVCodec* codec = nullptr;
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t pts = 0;
    unsigned keyInterval = 10;

    ~Impl() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

H264Encoder::H264Encoder(unsigned keyFrameInterval, unsigned fps) : impl(std::make_unique<Impl>()) {
    impl->keyInterval = keyFrameInterval ? keyFrameInterval : 1;
    impl->codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!impl->codec)
        throw std::runtime_error(
            "devsim: this libavcodec has no H.264 encoder (install libavcodec with libx264)");
    AVCodecContext* c = avcodec_alloc_context3(impl->codec);
    impl->context = c;
    if (!c)
        throw std::runtime_error("devsim: cannot allocate the H.264 encoder");
    c->width = kWidth;
    c->height = kHeight;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, int(fps ? fps : 5)};
    c->framerate = AVRational{int(fps ? fps : 5), 1};
    c->gop_size = int(impl->keyInterval);
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->bit_rate = 0;
    // Fast, one unit per picture, parameter sets before each key frame,
    // key frames only where asked for.
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "forced-idr", "1", 0);
    av_opt_set(c->priv_data, "x264-params", "scenecut=0:repeat-headers=1", 0);
    if (avcodec_open2(c, impl->codec, nullptr) < 0)
        throw std::runtime_error(std::string("devsim: cannot open the H.264 encoder ") + impl->codec->name);
    impl->frame = av_frame_alloc();
    impl->packet = av_packet_alloc();
    if (!impl->frame || !impl->packet)
        throw std::runtime_error("devsim: out of memory for the H.264 encoder");
    impl->frame->format = AV_PIX_FMT_YUV420P;
    impl->frame->width = kWidth;
    impl->frame->height = kHeight;
    if (av_frame_get_buffer(impl->frame, 0) < 0)
        throw std::runtime_error("devsim: cannot allocate an H.264 picture");
}

H264Encoder::~H264Encoder() = default;

const char* H264Encoder::EncoderName() const {
    return impl->codec->name;
}

bool H264Encoder::Encode(const std::vector<uint8_t>& luma, std::string& unit, bool& keyFrame) {
    if (luma.size() != size_t(kWidth) * kHeight)
        throw std::invalid_argument("devsim: H.264 picture of the wrong size");
    AVFrame* f = impl->frame;
    if (av_frame_make_writable(f) < 0)
        return false;
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(f->data[0] + y * f->linesize[0], luma.data() + size_t(y) * kWidth, kWidth);
    for (int y = 0; y < kHeight / 2; ++y) {
        std::memset(f->data[1] + y * f->linesize[1], 128, kWidth / 2);
        std::memset(f->data[2] + y * f->linesize[2], 128, kWidth / 2);
    }
    bool forceKey = impl->pts % impl->keyInterval == 0;
    f->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    f->key_frame = forceKey ? 1 : 0;
    f->pts = impl->pts++;
    if (avcodec_send_frame(impl->context, f) < 0)
        return false;
    unit.clear();
    keyFrame = false;
    // Zero latency: the picture's unit comes out at once; collect all
    // packets there are (normally one).
    while (avcodec_receive_packet(impl->context, impl->packet) == 0) {
        unit.append(reinterpret_cast<const char*>(impl->packet->data), size_t(impl->packet->size));
        keyFrame = keyFrame || (impl->packet->flags & AV_PKT_FLAG_KEY);
        av_packet_unref(impl->packet);
    }
    return !unit.empty();
}

std::vector<uint8_t> H264TestFrame(uint32_t frameNumber) {
    std::vector<uint8_t> luma(size_t(H264Encoder::kWidth) * H264Encoder::kHeight, 16);
    for (uint32_t y = 0; y < 240; ++y) {
        uint8_t* row = luma.data() + size_t(y + 24) * H264Encoder::kWidth + 16;
        for (uint32_t x = 0; x < 320; ++x)
            row[x] = uint8_t(16 + (PatternGrey(x, y, 320, 240, frameNumber) * 219 + 127) / 255);
    }
    return luma;
}

} // namespace korvex::devsim

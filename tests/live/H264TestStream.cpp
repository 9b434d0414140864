#include "live/H264TestStream.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace korvex::test {

uint8_t TestLuma(int x, int y, int n, bool detail) {
    // Quadrants with a bright square moving right by 8 pixels per picture.
    int v = (x < 176 ? 60 : 120) + (y < 144 ? 0 : 60);
    const int left = (n * 8) % 320;
    if (x >= left && x < left + 32 && y >= 40 && y < 72)
        v = 230;
    if (detail)
        v += int((uint32_t(x * 7919 + y * 104729 + n * 1299709) * 2654435761u) >> 28) * 2 - 15;
    return uint8_t(v < 16 ? 16 : v > 235 ? 235 : v);
}

std::vector<EncodedUnit> EncodeTestStream(int count, int keyInterval, int bitRate, bool detail) {
    std::vector<EncodedUnit> units;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr)
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (codec == nullptr)
        return units;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = 352;
    c->height = 288;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    c->framerate = AVRational{25, 1};
    c->gop_size = keyInterval;
    c->max_b_frames = 0;
    c->thread_count = 1;
    if (bitRate > 0) {
        c->bit_rate = bitRate;
        c->rc_max_rate = bitRate;
        c->rc_buffer_size = bitRate;
    }
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "profile", "baseline", 0);
    if (bitRate == 0)
        av_opt_set(c->priv_data, "crf", "28", 0);
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return units;
    }
    AVFrame* f = av_frame_alloc();
    f->format = c->pix_fmt;
    f->width = c->width;
    f->height = c->height;
    av_frame_get_buffer(f, 0);
    AVPacket* p = av_packet_alloc();
    auto collect = [&] {
        while (avcodec_receive_packet(c, p) >= 0) {
            EncodedUnit u;
            u.data.assign(p->data, p->data + p->size);
            u.keyFrame = (p->flags & AV_PKT_FLAG_KEY) != 0;
            units.push_back(std::move(u));
            av_packet_unref(p);
        }
    };
    for (int n = 0; n < count; ++n) {
        av_frame_make_writable(f);
        for (int y = 0; y < 288; ++y)
            for (int x = 0; x < 352; ++x)
                f->data[0][y * f->linesize[0] + x] = TestLuma(x, y, n, detail);
        for (int y = 0; y < 144; ++y)
            for (int x = 0; x < 176; ++x) {
                f->data[1][y * f->linesize[1] + x] = uint8_t(128 + (x < 88 ? -40 : 30) + (n % 7));
                f->data[2][y * f->linesize[2] + x] = uint8_t(128 + (y < 72 ? 50 : -20));
            }
        f->pts = n;
        avcodec_send_frame(c, f);
        collect();
    }
    avcodec_send_frame(c, nullptr);
    collect();
    av_packet_free(&p);
    av_frame_free(&f);
    avcodec_free_context(&c);
    return units;
}

// Decodes the units with a decoder of its own and crops the centre with the
// formula written out here: what the live pictures must equal.
std::vector<Bitmap> IndependentDecode(const std::vector<EncodedUnit>& units) {
    std::vector<Bitmap> out;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->thread_count = 1;
    avcodec_open2(c, codec, nullptr);
    AVFrame* f = av_frame_alloc();
    AVPacket* p = av_packet_alloc();
    auto clamp = [](int x) { return uint32_t(x < 0 ? 0 : x > 255 ? 255 : x); };
    for (const auto& u : units) {
        av_new_packet(p, int(u.data.size()));
        std::memcpy(p->data, u.data.data(), u.data.size());
        avcodec_send_packet(c, p);
        av_packet_unref(p);
        while (avcodec_receive_frame(c, f) >= 0) {
            Bitmap b(320, 240);
            for (int r = 0; r < 240; ++r)
                for (int col = 0; col < 320; ++col) {
                    const int x = col + 16, y = r + 24;
                    const int Y = f->data[0][y * f->linesize[0] + x];
                    const int U = f->data[1][(y / 2) * f->linesize[1] + x / 2];
                    const int V = f->data[2][(y / 2) * f->linesize[2] + x / 2];
                    const int C = 298 * (Y - 16) + 128;
                    b.SetPixelColour(uint32_t(col), uint32_t(r),
                                     clamp((C + 516 * (U - 128)) >> 8) << 16 |
                                         clamp((C - 100 * (U - 128) - 208 * (V - 128)) >> 8) << 8 |
                                         clamp((C + 409 * (V - 128)) >> 8));
                }
            out.push_back(std::move(b));
            av_frame_unref(f);
        }
    }
    av_packet_free(&p);
    av_frame_free(&f);
    avcodec_free_context(&c);
    return out;
}

} // namespace korvex::test

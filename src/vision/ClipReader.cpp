#include "vision/ClipReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace korvex::vision {

namespace {

// Pictures larger than this are not camera pictures; refusing them keeps a
// damaged header from asking for gigabytes.
constexpr int kMaxSide = 4096;

// Owns the libav objects of one clip being read.
struct Decoding {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int stream = -1;
    GreyPicture grey;

    ~Decoding() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    void Open(const std::string& path, ClipInfo& info) {
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
            throw ClipError("cannot open " + path + " as a video file");
        if (avformat_find_stream_info(format, nullptr) < 0)
            throw ClipError(path + " has no readable streams");
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder)
            throw ClipError(path + " has no video stream that can be decoded");
        const AVStream* s = format->streams[stream];
        codec = avcodec_alloc_context3(decoder);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!codec || !frame || !packet)
            throw ClipError("out of memory reading " + path);
        if (avcodec_parameters_to_context(codec, s->codecpar) < 0)
            throw ClipError(path + ": the video stream cannot be described to the decoder");
        codec->thread_count = 1;
        if (avcodec_open2(codec, decoder, nullptr) < 0)
            throw ClipError(path + ": cannot open the video decoder");
        if (s->avg_frame_rate.num > 0 && s->avg_frame_rate.den > 0)
            info.fps = av_q2d(s->avg_frame_rate);
        else if (s->r_frame_rate.num > 0 && s->r_frame_rate.den > 0)
            info.fps = av_q2d(s->r_frame_rate);
        if (!(info.fps > 0.5 && info.fps < 1000))
            info.fps = 10;
    }

    // The decoded frame as a grey picture; false when its size is unusable.
    bool ToGrey(ClipInfo& info) {
        const int w = frame->width, h = frame->height;
        if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide)
            return false;
        if (info.width == 0) {
            info.width = w;
            info.height = h;
        }
        // Every picture of a clip is given at the clip's first size.
        if (grey.width != info.width || grey.height != info.height)
            grey = GreyPicture(info.width, info.height);
        scaler = sws_getCachedContext(scaler, w, h, AVPixelFormat(frame->format), info.width, info.height,
                                      AV_PIX_FMT_GRAY8, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler)
            return false;
        uint8_t* dst[4] = {grey.pixels.data(), nullptr, nullptr, nullptr};
        int dstStride[4] = {grey.width, 0, 0, 0};
        sws_scale(scaler, frame->data, frame->linesize, 0, h, dst, dstStride);
        return true;
    }

    // Hands out every frame the decoder has; false when the reader asked to
    // stop.
    bool Drain(ClipInfo& info, const std::function<bool(const GreyPicture&)>& picture) {
        while (avcodec_receive_frame(codec, frame) == 0) {
            const bool usable = ToGrey(info);
            av_frame_unref(frame);
            if (usable && !picture(grey))
                return false;
        }
        return true;
    }
};

} // namespace

void QuietDecoderMessages() {
    av_log_set_level(AV_LOG_QUIET);
}

ClipInfo ReadClip(const std::string& path, const std::function<bool(const GreyPicture&)>& picture) {
    ClipInfo info;
    Decoding d;
    d.Open(path, info);
    bool going = true;
    while (going && av_read_frame(d.format, d.packet) >= 0) {
        if (d.packet->stream_index == d.stream) {
            // A unit the decoder refuses is skipped; the next key frame
            // brings the pictures back.
            avcodec_send_packet(d.codec, d.packet);
            going = d.Drain(info, picture);
        }
        av_packet_unref(d.packet);
    }
    if (going) {
        avcodec_send_packet(d.codec, nullptr);
        d.Drain(info, picture);
    }
    if (info.width == 0)
        throw ClipError(path + " holds no picture that can be decoded");
    return info;
}

} // namespace korvex::vision

#include "vision/synth/ClipWriter.h"

#include "vision/synth/RoadClip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <stdexcept>

namespace korvex::vision::synth {

struct ClipWriter::Impl {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    bool fileOpen = false, closed = false;
    int64_t pts = 0;

    ~Impl() {
        if (fileOpen)
            avio_closep(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    [[noreturn]] static void Fail(const std::string& what) {
        throw std::runtime_error("cannot write the clip: " + what);
    }

    void Send(AVFrame* f) {
        if (avcodec_send_frame(codec, f) < 0)
            Fail("the encoder refused a picture");
        while (avcodec_receive_packet(codec, packet) == 0) {
            packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                Fail("cannot write a picture");
        }
    }
};

ClipWriter::ClipWriter(const std::string& path, int width, int height, double fps)
    : impl(std::make_unique<Impl>()) {
    av_log_set_level(AV_LOG_QUIET);
    const bool avi = path.size() > 4 && path.compare(path.size() - 4, 4, ".avi") == 0;
    Impl& m = *impl;
    if (avformat_alloc_output_context2(&m.format, nullptr, avi ? "avi" : "mp4", path.c_str()) < 0 ||
        !m.format)
        Impl::Fail("no muxer for " + path);
    const AVCodec* encoder = avcodec_find_encoder(avi ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_H264);
    if (!encoder)
        Impl::Fail(avi ? "this libavcodec has no MJPG encoder" : "this libavcodec has no H.264 encoder");
    m.codec = avcodec_alloc_context3(encoder);
    m.stream = avformat_new_stream(m.format, nullptr);
    m.frame = av_frame_alloc();
    m.packet = av_packet_alloc();
    if (!m.codec || !m.stream || !m.frame || !m.packet)
        Impl::Fail("out of memory");
    const int rate = std::max(1, int(fps + 0.5));
    m.codec->width = width;
    m.codec->height = height;
    m.codec->pix_fmt = avi ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    m.codec->time_base = AVRational{1, rate};
    m.codec->framerate = AVRational{rate, 1};
    m.codec->gop_size = rate;
    m.codec->max_b_frames = 0;
    m.codec->thread_count = 1;
    if (m.format->oformat->flags & AVFMT_GLOBALHEADER)
        m.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!avi) {
        av_opt_set(m.codec->priv_data, "preset", "ultrafast", 0);
        av_opt_set(m.codec->priv_data, "tune", "zerolatency", 0);
    } else {
        m.codec->flags |= AV_CODEC_FLAG_QSCALE;
        m.codec->global_quality = FF_QP2LAMBDA * 4;
    }
    if (avcodec_open2(m.codec, encoder, nullptr) < 0)
        Impl::Fail(std::string("cannot open the encoder ") + encoder->name);
    if (avcodec_parameters_from_context(m.stream->codecpar, m.codec) < 0)
        Impl::Fail("cannot describe the video stream");
    m.stream->time_base = m.codec->time_base;
    m.frame->format = m.codec->pix_fmt;
    m.frame->width = width;
    m.frame->height = height;
    if (av_frame_get_buffer(m.frame, 0) < 0)
        Impl::Fail("out of memory");
    if (avio_open(&m.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        Impl::Fail("cannot create " + path);
    m.fileOpen = true;
    if (avformat_write_header(m.format, nullptr) < 0)
        Impl::Fail("cannot write the header");
}

ClipWriter::~ClipWriter() = default;

void ClipWriter::Write(const GreyPicture& picture) {
    Impl& m = *impl;
    if (picture.width != m.codec->width || picture.height != m.codec->height)
        throw std::invalid_argument("a picture of the wrong size for the clip");
    if (av_frame_make_writable(m.frame) < 0)
        Impl::Fail("out of memory");
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(m.frame->data[0] + y * m.frame->linesize[0],
                    &picture.pixels[size_t(y) * size_t(picture.width)], size_t(picture.width));
    for (int y = 0; y < (picture.height + 1) / 2; ++y) {
        std::memset(m.frame->data[1] + y * m.frame->linesize[1], 128, size_t(picture.width + 1) / 2);
        std::memset(m.frame->data[2] + y * m.frame->linesize[2], 128, size_t(picture.width + 1) / 2);
    }
    m.frame->pts = m.pts++;
    m.Send(m.frame);
}

void ClipWriter::Close() {
    Impl& m = *impl;
    if (m.closed)
        return;
    m.closed = true;
    m.Send(nullptr);
    if (av_write_trailer(m.format) < 0)
        Impl::Fail("cannot finish the file");
    avio_closep(&m.format->pb);
    m.fileOpen = false;
}

void WriteRoadClip(const RoadClip& clip, const std::string& path) {
    ClipWriter writer(path, clip.Width(), clip.Height(), clip.Fps());
    GreyPicture picture;
    for (int i = 0; i < clip.FrameCount(); ++i) {
        clip.Render(i, picture);
        writer.Write(picture);
    }
    writer.Close();
}

} // namespace korvex::vision::synth

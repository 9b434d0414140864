#include "export/LibavReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace korvex::test {

LibavReport ReadWithLibav(const std::string& path) {
    LibavReport report;
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return report;
    report.opened = true;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return report;
    }
    report.streams = format->nb_streams;
    const AVCodecParameters* par = format->streams[0]->codecpar;
    report.mjpeg = par->codec_type == AVMEDIA_TYPE_VIDEO && par->codec_id == AV_CODEC_ID_MJPEG;
    report.width = par->width;
    report.height = par->height;

    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (decoder)
        decoder->err_recognition |= AV_EF_EXPLODE;
    if (!decoder || avcodec_parameters_to_context(decoder, par) < 0 ||
        avcodec_open2(decoder, codec, nullptr) < 0) {
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        return report;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            if (frame->decode_error_flags == 0 && !(frame->flags & AV_FRAME_FLAG_CORRUPT))
                ++report.decoded;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == 0) {
            ++report.packets;
            if (avcodec_send_packet(decoder, packet) < 0)
                ++report.failures;
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return report;
}

} // namespace korvex::test

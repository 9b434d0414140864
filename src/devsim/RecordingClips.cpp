#include "devsim/RecordingClips.h"

#include "devsim/DeviceFiles.h"
#include "devsim/SceneRenderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

// Owns the libav objects of one clip being written.
struct ClipWriter {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    bool fileOpen = false;

    ~ClipWriter() {
        if (fileOpen)
            avio_closep(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    [[noreturn]] static void Fail(const std::string& what) {
        throw std::runtime_error("devsim: cannot write a recording: " + what);
    }

    void Open(const std::string& path, unsigned fps) {
        if (avformat_alloc_output_context2(&format, nullptr, "mp4", path.c_str()) < 0 || !format)
            Fail("no MP4 muxer");
        const AVCodec* h264 = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!h264)
            Fail("this libavcodec has no H.264 encoder");
        codec = avcodec_alloc_context3(h264);
        stream = avformat_new_stream(format, nullptr);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!codec || !stream || !frame || !packet)
            Fail("out of memory");
        codec->width = ScenePicture::kWidth;
        codec->height = ScenePicture::kHeight;
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->time_base = AVRational{1, int(fps)};
        codec->framerate = AVRational{int(fps), 1};
        codec->gop_size = int(fps);
        codec->max_b_frames = 0;
        codec->thread_count = 1;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(codec->priv_data, "preset", "ultrafast", 0);
        av_opt_set(codec->priv_data, "tune", "zerolatency", 0);
        if (avcodec_open2(codec, h264, nullptr) < 0)
            Fail("cannot open the H.264 encoder");
        if (avcodec_parameters_from_context(stream->codecpar, codec) < 0)
            Fail("cannot describe the video stream");
        stream->time_base = codec->time_base;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = codec->width;
        frame->height = codec->height;
        if (av_frame_get_buffer(frame, 0) < 0)
            Fail("out of memory");
        if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
            Fail("cannot create " + path);
        fileOpen = true;
        if (avformat_write_header(format, nullptr) < 0)
            Fail("cannot write the MP4 header");
    }

    // Studio-range YUV 4:2:0 from the picture's RGB.
    void Fill(const ScenePicture& picture, int64_t pts) {
        if (av_frame_make_writable(frame) < 0)
            Fail("out of memory");
        constexpr int W = ScenePicture::kWidth, H = ScenePicture::kHeight;
        const uint8_t* rgb = picture.rgb.data();
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const uint8_t* p = rgb + (size_t(y) * W + size_t(x)) * 3;
                frame->data[0][y * frame->linesize[0] + x] =
                    uint8_t(16 + ((66 * p[0] + 129 * p[1] + 25 * p[2] + 128) >> 8));
            }
        for (int y = 0; y < H / 2; ++y)
            for (int x = 0; x < W / 2; ++x) {
                int r = 0, g = 0, b = 0;
                for (int k = 0; k < 4; ++k) {
                    const uint8_t* p = rgb + (size_t(2 * y + k / 2) * W + size_t(2 * x + k % 2)) * 3;
                    r += p[0];
                    g += p[1];
                    b += p[2];
                }
                r /= 4, g /= 4, b /= 4;
                frame->data[1][y * frame->linesize[1] + x] =
                    uint8_t(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
                frame->data[2][y * frame->linesize[2] + x] =
                    uint8_t(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
            }
        frame->pts = pts;
    }

    void Send(AVFrame* f) {
        if (avcodec_send_frame(codec, f) < 0)
            Fail("the encoder refused a picture");
        while (avcodec_receive_packet(codec, packet) == 0) {
            // Every picture lasts one tick; without it the file's length
            // ends before the last picture and players drop it.
            packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                Fail("cannot write a picture");
        }
    }

    void Finish() {
        Send(nullptr);
        if (av_write_trailer(format) < 0)
            Fail("cannot finish the MP4 file");
        avio_closep(&format->pb);
        fileOpen = false;
    }
};

struct Cancelled {};

} // namespace

bool WriteSceneClip(const std::string& path, const SceneSet& scenes, size_t card, int64_t start_ms,
                    unsigned seconds, unsigned fps, const std::atomic<bool>* cancel) {
    if (fps == 0 || card >= scenes.CardCount())
        throw std::invalid_argument("devsim: no scene for that recording");
    const std::string temporary = path + ".part" + std::to_string(::getpid());
    try {
        ClipWriter writer;
        writer.Open(temporary, fps);
        ScenePicture picture;
        for (unsigned i = 0; i < seconds * fps; ++i) {
            if (cancel && cancel->load())
                throw Cancelled{};
            scenes.Render(card, start_ms + int64_t(i) * 1000 / fps, picture);
            writer.Fill(picture, int64_t(i));
            writer.Send(writer.frame);
        }
        writer.Finish();
    } catch (const Cancelled&) {
        std::error_code ec;
        fs::remove(temporary, ec);
        return false;
    } catch (...) {
        std::error_code ec;
        fs::remove(temporary, ec);
        throw;
    }
    fs::rename(temporary, path);
    return true;
}

void WriteSceneRecordings(const std::string& usbFolder, const SceneSet& scenes,
                          const std::atomic<bool>* cancel) {
    constexpr unsigned kSeconds = 2, kFps = 10;
    const char* days[] = {"2026-12-06", "2026-12-07"};
    const unsigned hours[] = {8, 9};
    const size_t cameras = std::min<size_t>(scenes.CardCount(), 4);
    for (size_t cam = 1; cam <= cameras; ++cam)
        for (const char* day : days)
            for (unsigned hour : hours)
                for (unsigned minute : {0u, 15u}) {
                    char folder[32], name[32];
                    std::snprintf(folder, sizeof folder, "%02u", hour);
                    std::snprintf(name, sizeof name, "%02u-%02u-00.mp4", hour, minute);
                    const fs::path dir = fs::path(usbFolder) / ("cam" + std::to_string(cam)) / day / folder;
                    if (fs::exists(dir / name))
                        continue;
                    fs::create_directories(dir);
                    // The scene at the clock time the name gives.
                    const int64_t start_ms = (int64_t(hour) * 3600 + minute * 60) * 1000;
                    if (!WriteSceneClip((dir / name).string(), scenes, cam - 1, start_ms, kSeconds, kFps,
                                        cancel))
                        return;
                }
}

RecordingWriter::RecordingWriter(std::string usbFolder, std::shared_ptr<const SceneSet> scenesIn)
    : scenes(std::move(scenesIn)) {
    // What the browser must skip is there from the start.
    const fs::path usb(usbFolder);
    fs::create_directories(usb / "cam1/2026-12-07/08");
    fs::create_directories(usb / "lost+found");
    if (!fs::exists(usb / "cam1/2026-12-07/08/index.txt"))
        WriteFileAtomically((usb / "cam1/2026-12-07/08/index.txt").string(), "not a recording\n");
    if (!fs::exists(usb / "readme.txt"))
        WriteFileAtomically((usb / "readme.txt").string(), "USB drive of the simulated device\n");
    worker = std::thread([this, usbFolder] {
        try {
            WriteSceneRecordings(usbFolder, *scenes, &cancel);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        done = true;
    });
}

RecordingWriter::~RecordingWriter() {
    cancel = true;
    if (worker.joinable())
        worker.join();
}

} // namespace korvex::devsim

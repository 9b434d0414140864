// Recordings of a simulator that shows scenes: real H.264 clips in MP4
// files that a player reads as the scene.

#include "DevsimFixture.h"
#include "devsim/RecordingClips.h"
#include "devsim/SceneRenderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <filesystem>
#include <gtest/gtest.h>

using namespace korvex::devsim;
using namespace devsimtest;
namespace fs = std::filesystem;

namespace {

// What a player finds in a file: the video stream and its decoded luma.
struct Probe {
    bool opened = false;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    int pictures = 0;
    int packets = 0;
    std::vector<uint8_t> firstLuma; // width x height
};

Probe ProbeFile(const std::string& path) {
    Probe probe;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return probe;
    probe.opened = avformat_find_stream_info(format, nullptr) >= 0;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (probe.opened && index >= 0) {
        const AVCodecParameters* par = format->streams[index]->codecpar;
        probe.codec = par->codec_id;
        probe.width = par->width;
        probe.height = par->height;
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        AVCodecContext* context = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(context, par);
        context->thread_count = 1;
        avcodec_open2(context, decoder, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(context, frame) == 0) {
                if (probe.pictures++ == 0)
                    for (int y = 0; y < frame->height; ++y)
                        probe.firstLuma.insert(probe.firstLuma.end(), frame->data[0] + y * frame->linesize[0],
                                               frame->data[0] + y * frame->linesize[0] + frame->width);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index) {
                ++probe.packets;
                if (avcodec_send_packet(context, packet) >= 0)
                    drain();
            }
            av_packet_unref(packet);
        }
        avcodec_send_packet(context, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }
    avformat_close_input(&format);
    return probe;
}

const SceneSet& Sample() {
    av_log_set_level(AV_LOG_ERROR);
    static const SceneSet scenes = SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, 3);
    return scenes;
}

} // namespace

TEST(RecordingClips, AClipIsH264VideoOfTheScene) {
    TempDir root;
    const std::string path = root.Path() + "/08-00-00.mp4";
    ASSERT_TRUE(WriteSceneClip(path, Sample(), 0, 30'000, 1, 5));
    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.opened);
    EXPECT_EQ(probe.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(probe.width, 320);
    EXPECT_EQ(probe.height, 240);
    EXPECT_EQ(probe.packets, 5);
    EXPECT_EQ(probe.pictures, 5);
    // The first picture is the scene at the clip's start (studio-range luma,
    // lossy): on average within a few levels of it.
    ScenePicture picture;
    Sample().Render(0, 30'000, picture);
    ASSERT_EQ(probe.firstLuma.size(), 320u * 240u);
    long long difference = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int expected = 16 + picture.Grey(x, y) * 219 / 255;
            difference += std::abs(int(probe.firstLuma[size_t(y) * 320 + size_t(x)]) - expected);
        }
    EXPECT_LT(difference / (320 * 240), 4);
    // Nothing of the temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(root.Path()), fs::directory_iterator()), 1);
}

TEST(RecordingClips, ACancelledClipLeavesNoFile) {
    TempDir root;
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(WriteSceneClip(root.Path() + "/x.mp4", Sample(), 1, 0, 1, 5, &cancel));
    EXPECT_TRUE(fs::is_empty(root.Path()));
    EXPECT_THROW(WriteSceneClip(root.Path() + "/y.mp4", Sample(), 9, 0, 1, 5), std::invalid_argument);
}

TEST(RecordingClips, TheDeviceWritesClipsNamedAsItNamesRecordingsAndStopsCleanly) {
    TempDir root;
    av_log_set_level(AV_LOG_ERROR);
    Options options = QuietOptions(root.Path());
    options.scenesProject = KORVEX_SAMPLE_PROJECT;
    DeviceSimulator device(options);
    device.Start();
    EXPECT_TRUE(device.ShowsScenes());
    const std::string usb = options.rootDir + "/mnt/usbdrive";
    const std::string first = usb + "/cam1/2026-12-06/08/08-00-00.mp4";
    // The clips are written in the background, in order; stopping in the
    // middle of one leaves whole clips only.
    ASSERT_TRUE(device.WaitUntil([&] { return fs::exists(first); }, 60'000));
    device.Stop();
    EXPECT_EQ(ProbeFile(first).codec, AV_CODEC_ID_H264);
    for (const auto& entry : fs::recursive_directory_iterator(usb)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        if (entry.path().extension() == ".mp4") {
            EXPECT_EQ(ProbeFile(entry.path().string()).pictures, 20) << entry.path();
        }
    }
    // The entries the recordings browser must skip are there from the start.
    EXPECT_TRUE(fs::exists(usb + "/cam1/2026-12-07/08/index.txt"));
    EXPECT_TRUE(fs::exists(usb + "/readme.txt"));
}

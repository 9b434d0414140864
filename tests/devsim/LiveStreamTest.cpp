// A minimal live-stream client against the simulator's live server.

#include "DevsimFixture.h"
#include "LiveClient.h"
#include "devsim/SceneRenderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

using namespace korvex::devsim;
using namespace devsimtest;

namespace {

class LiveStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        options = QuietOptions(root.Path());
        options.fps = 50;
    }
    void StartDevice() {
        device = std::make_unique<DeviceSimulator>(options);
        device->Start();
    }
    TempDir root;
    Options options;
    std::unique_ptr<DeviceSimulator> device;
};

TEST_F(LiveStreamTest, CamerasSendTheirFormatsInTurnAndEveryReplyIsRecorded) {
    options.cameraCount = 4;
    options.formats = {CameraFormat::Grey180, CameraFormat::Grey320, CameraFormat::Colour320, CameraFormat::Blank};
    options.blurEvery = 3;
    StartDevice();
    LiveClient client(device->LivePort());
    ASSERT_TRUE(client.connected);
    uint32_t previous = 0;
    for (int round = 0; round < 2; ++round) {
        for (uint8_t cam = 0; cam < 4; ++cam) {
            Message m;
            ASSERT_TRUE(client.ReadMessage(m));
            client.Reply(m, 0x10 | 0x02, 0, 0, 0xABCDEF);
            EXPECT_EQ(m.HeaderLength(), 64u);
            EXPECT_EQ(m.Kind(), 1);
            EXPECT_EQ(m.Camera(), cam);
            if (previous) {
                EXPECT_EQ(m.FrameNumber(), previous + 1);
            }
            previous = m.FrameNumber();
            EXPECT_EQ(m.Flags() & 1, m.FrameNumber() % 3 == 0 ? 1 : 0);
            const uint32_t f = m.FrameNumber();
            switch (cam) {
            case 0:
                ASSERT_EQ(m.Width(), 180);
                ASSERT_EQ(m.Height(), 144);
                EXPECT_EQ(m.Format(), 0);
                ASSERT_EQ(m.payload.size(), 25920u);
                EXPECT_EQ(uint8_t(m.payload[100 * 180 + 20]), PatternGrey(20, 100, 180, 144, f));
                EXPECT_EQ(uint8_t(m.payload[100 * 180 + 20]), 160);
                break;
            case 1:
                EXPECT_EQ(m.Format(), 0);
                ASSERT_EQ(m.payload.size(), 76800u);
                EXPECT_EQ(uint8_t(m.payload[200 * 320 + 300]), 208);
                EXPECT_EQ(uint8_t(m.payload[16 * 320 + (f * 8) % 305]), 235);  // the moving marker
                break;
            case 2:
                EXPECT_EQ(m.Format(), 1);
                ASSERT_EQ(m.payload.size(), 153600u);
                EXPECT_EQ(U16(m.payload, (10 * 320 + 300) * 2), 0x07E0);  // green quadrant
                break;
            case 3:
                EXPECT_EQ(m.Format(), 2);
                EXPECT_EQ(m.payload.size(), 0u);
                EXPECT_EQ(m.X(), BlankRegionX(f));
                EXPECT_EQ(m.Width(), 320);
                break;
            }
        }
    }
    ASSERT_TRUE(device->WaitUntil([&] { return device->LiveReplies().size() >= 8; }, 2000));
    auto replies = device->LiveReplies();
    auto messages = device->LiveMessages();
    ASSERT_GE(messages.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(replies[i].frameNumber, messages[i].frameNumber);
        EXPECT_EQ(replies[i].camera, messages[i].camera);
        EXPECT_EQ(replies[i].options, 0x12);
        EXPECT_EQ(replies[i].mask, 0xABCDEFu);
        EXPECT_EQ(replies[i].length, 64u);
    }
    EXPECT_EQ(device->LiveConnections(), 1u);
}

TEST_F(LiveStreamTest, NothingFollowsUntilTheReplyArrives) {
    StartDevice();
    LiveClient client(device->LivePort());
    Message m;
    ASSERT_TRUE(client.ReadMessage(m));
    std::string more;
    EXPECT_FALSE(client.Read(more, 1, 400));
    client.Reply(m);
    Message next;
    EXPECT_TRUE(client.ReadMessage(next));
    EXPECT_EQ(next.FrameNumber(), m.FrameNumber() + 1);
}

TEST_F(LiveStreamTest, ATuningRequestBringsTracesOfThatCameraAndDetector) {
    options.cameraCount = 2;
    StartDevice();
    LiveClient client(device->LivePort());
    Message m;
    ASSERT_TRUE(client.ReadMessage(m));
    client.Reply(m, 0x10 | 0x04 | 0x08, 1, 7);
    bool found = false;
    for (int i = 0; i < 6 && !found; ++i) {
        Message t = client.Next();
        if (t.Kind() != 2)
            continue;
        found = true;
        EXPECT_EQ(t.Camera(), 1);
        EXPECT_EQ(t.Detector(), 7);
        EXPECT_EQ(t.X(), 250);
        EXPECT_EQ(t.Y(), 16);
        ASSERT_EQ(t.payload.size(), 500u);
        std::vector<uint16_t> expected = TuningTraceValues(1, 7);
        for (size_t k = 0; k < 250; ++k)
            ASSERT_EQ(U16(t.payload, 2 * k), expected[k]) << k;
    }
    EXPECT_TRUE(found);
    auto replies = device->LiveReplies();
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(replies[0].tuningCamera, 1);
    EXPECT_EQ(replies[0].tuningDetector, 7);
    EXPECT_EQ(replies[0].options, 0x1C);
}

// Decodes the units and checks the centre window of the decoded picture.
TEST_F(LiveStreamTest, H264UnitsDecodeToTheTestPatternWithKeyFramesOnSchedule) {
    options.formats = {CameraFormat::H264};
    options.keyFrameInterval = 4;
    StartDevice();
    LiveClient client(device->LivePort());
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ASSERT_NE(codec, nullptr);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ASSERT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int decoded = 0;
    for (int i = 0; i < 9; ++i) {
        Message m = client.Next();
        ASSERT_EQ(m.Format(), 3);
        EXPECT_EQ(m.Width(), 320);
        EXPECT_EQ(m.Height(), 240);
        ASSERT_GE(m.payload.size(), 9u);
        uint32_t flags = U32(m.payload, 0), length = U32(m.payload, 4);
        ASSERT_EQ(length, m.payload.size() - 8);
        EXPECT_EQ(flags & 1, i % 4 == 0 ? 1u : 0u) << i;
        std::string unit = m.payload.substr(8);
        ASSERT_EQ(av_new_packet(packet, int(unit.size())), 0);
        std::memcpy(packet->data, unit.data(), unit.size());
        ASSERT_EQ(avcodec_send_packet(ctx, packet), 0);
        av_packet_unref(packet);
        while (avcodec_receive_frame(ctx, frame) == 0) {
            ++decoded;
            ASSERT_EQ(frame->width, 352);
            ASSERT_EQ(frame->height, 288);
            auto luma = [&](int x, int y) { return int(frame->data[0][y * frame->linesize[0] + x]); };
            // Centre window quadrants (grey 48 / 208 in studio range) and
            // the black frame around it.
            EXPECT_NEAR(luma(16 + 60, 24 + 100), 16 + 48 * 219 / 255, 6);
            EXPECT_NEAR(luma(16 + 300, 24 + 200), 16 + 208 * 219 / 255, 6);
            EXPECT_NEAR(luma(4, 4), 16, 6);
            EXPECT_NEAR(luma(340, 280), 16, 6);
        }
    }
    EXPECT_GE(decoded, 8);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
}

TEST_F(LiveStreamTest, ScenesCarryTheCardsTracesMeasureThemAndAKnockIsFlagged) {
    options.cameraCount = 4;
    options.formats = {CameraFormat::Grey320, CameraFormat::Grey180, CameraFormat::Colour320,
                       CameraFormat::H264};
    options.scenesProject = KORVEX_SAMPLE_PROJECT;
    options.sceneRecordings = false;
    options.shifts = {{1, 5, 3}};
    StartDevice();
    ASSERT_EQ(device->CameraShift(1), std::make_pair(5, 3));
    const SceneSet sample = SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, 1);
    LiveClient client(device->LivePort());
    ASSERT_TRUE(client.connected);
    // Ask for the trace of A1 with every reply; the traces count the
    // pictures of camera 0 drawn so far instead of the test bell.
    unsigned cameraZero = 0, flaggedKnocked = 0, flaggedOthers = 0;
    std::vector<uint16_t> trace;
    for (int i = 0; i < 4 * 25; ++i) {
        Message m;
        ASSERT_TRUE(client.ReadMessage(m));
        client.Reply(m, 0x10 | 0x04, 0, 0);
        if (m.Kind() == 2) {
            trace.resize(250);
            for (size_t k = 0; k < 250; ++k)
                trace[k] = U16(m.payload, k * 2);
            continue;
        }
        if (m.Camera() == 0) {
            ++cameraZero;
            ASSERT_EQ(m.payload.size(), 76800u);
            // The sky of the road picture, not a test quadrant.
            const int sky = uint8_t(m.payload[10 * 320 + 10]);
            EXPECT_NEAR(sky, sample.Card(0).background.Grey(10, 10) * DaylightAt(0), 60);
        }
        if (m.Camera() == 1) {
            EXPECT_EQ(m.payload.size(), 25920u);
            flaggedKnocked += m.Flags() & 1;
        } else {
            flaggedOthers += m.Flags() & 1;
        }
    }
    ASSERT_EQ(trace.size(), 250u);
    const unsigned total = std::accumulate(trace.begin(), trace.end(), 0u);
    EXPECT_GE(total, cameraZero - 2);
    EXPECT_LE(total, cameraZero);
    EXPECT_GT(flaggedKnocked, 15u);
    EXPECT_EQ(flaggedOthers, 0u);
    // Straightened, camera 2 is found in place again at the next check.
    device->SetCameraShift(1, 0, 0);
    unsigned lastFlags = 1;
    for (int i = 0; i < 4 * 25; ++i) {
        Message m = client.Next();
        if (m.Kind() == 1 && m.Camera() == 1)
            lastFlags = m.Flags() & 1;
    }
    EXPECT_EQ(lastFlags, 0u);
}

TEST_F(LiveStreamTest, FaultsStrikeAfterTheGivenNumberOfMessages) {
    options.faults.liveFault = LiveFault::ShortHeader;
    options.faults.liveFaultAfter = 2;
    StartDevice();
    {
        LiveClient client(device->LivePort());
        client.Next();
        client.Next();
        Message m;
        ASSERT_TRUE(client.ReadMessage(m));
        EXPECT_EQ(m.HeaderLength(), 8u);
    }
    FaultOptions f;
    f.liveFault = LiveFault::Close;
    f.liveFaultAfter = 1;
    device->SetFaults(f);
    {
        LiveClient client(device->LivePort());
        client.Next();
        EXPECT_TRUE(client.Closed(3000));
    }
    f.liveFault = LiveFault::OversizedUnit;
    f.liveFaultAfter = 0;
    device->SetFaults(f);
    {
        LiveClient client(device->LivePort());
        Message m;
        ASSERT_TRUE(client.ReadMessage(m));
        EXPECT_EQ(m.Format(), 3);
        EXPECT_EQ(U32(m.payload, 4), m.payload.size() - 8 + 1);
    }
    // A hand-made message: header of 100 bytes, kind 9, camera 12.
    f.liveFault = LiveFault::Raw;
    f.liveFaultAfter = 1;
    f.liveRaw = std::string(100 + 3, '\0');
    f.liveRaw[0] = 100;
    f.liveRaw[8] = 9;
    f.liveRaw[9] = 12;
    f.liveRaw[12] = 3;
    device->SetFaults(f);
    {
        LiveClient client(device->LivePort());
        Message first = client.Next();
        Message raw;
        ASSERT_TRUE(client.ReadMessage(raw));
        EXPECT_EQ(raw.HeaderLength(), 100u);
        EXPECT_EQ(raw.Kind(), 9);
        EXPECT_EQ(raw.payload.size(), 3u);
        client.Reply(raw);
        Message after = client.Next();  // the stream goes on after the reply
        EXPECT_EQ(after.Kind(), 1);
        EXPECT_EQ(after.FrameNumber(), first.FrameNumber() + 1);
    }
    f.liveFault = LiveFault::Stall;
    f.liveFaultAfter = 0;
    device->SetFaults(f);
    {
        LiveClient client(device->LivePort());
        std::string any;
        EXPECT_FALSE(client.Read(any, 1, 500));
        EXPECT_FALSE(client.Closed(10));
    }
    EXPECT_EQ(device->LiveConnections(), 5u);
}

TEST_F(LiveStreamTest, ARestartDropsTheStreamUntilTheDeviceIsBack) {
    StartDevice();
    auto client = std::make_unique<LiveClient>(device->LivePort());
    client->Next();
    device->Restart();
    EXPECT_TRUE(client->Closed(3000));
    ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 5000));
    bool reconnected = false;
    for (int i = 0; i < 20 && !reconnected; ++i) {
        client = std::make_unique<LiveClient>(device->LivePort());
        Message m;
        reconnected = client->connected && client->ReadMessage(m);
        if (!reconnected)
            device->WaitUntil([] { return false; }, 100);
    }
    EXPECT_TRUE(reconnected);
}

TEST_F(LiveStreamTest, StopEndsAConnectionThatWaitsForAReply) {
    StartDevice();
    LiveClient client(device->LivePort());
    Message m;
    ASSERT_TRUE(client.ReadMessage(m));
    device->Stop();  // must not wait for the reply that never comes
    EXPECT_FALSE(device->Running());
    EXPECT_TRUE(client.Closed(2000));
}

} // namespace

namespace {

// A client that connects to the SSH port and never finishes the handshake,
// and a second simulator asked for the same ports, must neither keep Stop
// waiting nor start half-way.
TEST(Lifecycle, StopEndsHalfOpenSshConnectionsAndABusyPortFailsCleanly) {
    TempDir root;
    Options o = QuietOptions(root.Path());
    DeviceSimulator device(o);
    device.Start();
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(device.SshPort());
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    const char banner[] = "SSH-2.0-silent\r\n";
    ASSERT_EQ(send(fd, banner, sizeof banner - 1, 0), ssize_t(sizeof banner - 1));

    Options clash = QuietOptions(root.Path() + "/second");
    std::filesystem::create_directories(root.Path() + "/second");
    clash.sshPort = device.SshPort();
    DeviceSimulator second(clash);
    EXPECT_THROW(second.Start(), std::runtime_error);
    EXPECT_FALSE(second.Running());

    device.Stop();
    EXPECT_FALSE(device.Running());
    // The server's banner and key exchange offer may be waiting; after
    // them the client reads the end of the connection (or a reset).
    char buffer[4096];
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) != 1)
            break;
        ended = recv(fd, buffer, sizeof buffer, 0) <= 0;
    }
    EXPECT_TRUE(ended);
    close(fd);
    device.Stop();  // twice is fine
}

} // namespace

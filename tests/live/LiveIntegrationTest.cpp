// End-to-end: the live thread against the device simulator on loopback.
#include "devsim/DeviceSimulator.h"
#include "live/H264TestStream.h"
#include "live/LiveTestSupport.h"
#include "live/LiveThread.h"
#include "live/Overlay.h"
#include "live/RecordingProxy.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>

namespace korvex {
namespace {

using namespace korvex::test;
namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 20000) {
    return WaitUntil(condition, std::chrono::milliseconds(timeout_ms));
}

struct DeviceFixture : ::testing::Test {
    const korvex::test::TempDir temp{"korvex-live"};
    const fs::path root{temp.Path()};
    std::unique_ptr<devsim::DeviceSimulator> device;
    RecordingSink sink;
    FixedTarget target;
    FixedOptions options;
    OptionMaskState mask;
    RecordingTuning tuning;
    std::unique_ptr<LiveThread> thread;

    void SetUp() override { av_log_set_level(AV_LOG_ERROR); }
    void TearDown() override {
        if (thread)
            thread->Stop();
        if (device)
            device->Stop();
    }
    void StartDevice(devsim::Options o) {
        o.rootDir = (root / "device").string();
        o.sshPort = 0;
        o.livePort = 0;
        o.announce = false;
        device = std::make_unique<devsim::DeviceSimulator>(o);
        device->Start();
    }
    void StartThread(uint16_t port, unsigned readTimeout_ms = 10000) {
        LiveThreadSettings s;
        s.port = port;
        s.readTimeout_ms = readTimeout_ms;
        target.address = kLoopback;
        thread = std::make_unique<LiveThread>(sink, target, options, mask, tuning, s);
        thread->Start();
    }
    size_t DeliveriesOf(unsigned camera) const {
        size_t n = 0;
        for (const auto& d : sink.Deliveries())
            n += d.camera == camera;
        return n;
    }
};

using LiveDevice = DeviceFixture;

uint32_t ColourOf(uint16_t v) {
    return ((v & 0x1Fu) << 3) << 16 | ((v >> 3) & 0xFCu) << 8 | ((v >> 8) & 0xF8u);
}

TEST_F(LiveDevice, GreyAndColourPicturesEqualTheSimulatorPattern) {
    devsim::Options o;
    o.cameraCount = 3;
    o.formats = {devsim::CameraFormat::Grey180, devsim::CameraFormat::Grey320,
                 devsim::CameraFormat::Colour320};
    o.fps = 20;
    StartDevice(o);
    StartThread(device->LivePort());
    ASSERT_TRUE(
        WaitFor([&] { return DeliveriesOf(0) >= 3 && DeliveriesOf(1) >= 3 && DeliveriesOf(2) >= 3; }));
    thread->Stop();
    for (const auto& d : sink.Deliveries()) {
        const Bitmap& b = d.picture;
        const uint32_t f = d.frameNumber;
        ASSERT_EQ(b.Width(), d.camera == 0 ? 180u : 320u);
        for (uint32_t y = 0; y < b.Height(); ++y)
            for (uint32_t x = 0; x < b.Width(); ++x) {
                const uint32_t want = d.camera == 2
                                          ? ColourOf(devsim::PatternColour(x, y, f))
                                          : devsim::PatternGrey(x, y, b.Width(), b.Height(), f) * 0x010101u;
                ASSERT_EQ(b.GetPixelColour(x, y), want)
                    << "camera " << d.camera << " frame " << f << " at " << x << "," << y;
            }
    }
    // Each message was answered with its own frame number and camera.
    const auto messages = device->LiveMessages();
    const auto replies = device->LiveReplies();
    ASSERT_GE(replies.size(), 9u);
    for (size_t i = 0; i < replies.size() && i < messages.size(); ++i) {
        EXPECT_EQ(replies[i].length, 64u);
        EXPECT_EQ(replies[i].frameNumber, messages[i].frameNumber);
        EXPECT_EQ(replies[i].camera, messages[i].camera);
        EXPECT_EQ(replies[i].options, 0x90);
    }
}

TEST_F(LiveDevice, BlankPicturesAndTheBlurMark) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::Blank};
    o.fps = 60;
    o.blurEvery = 3;
    StartDevice(o);
    StartThread(device->LivePort());
    auto seen100 = [&] {
        for (const auto& d : sink.Deliveries())
            if (devsim::BlankRegionX(d.frameNumber) == 100)
                return true;
        return false;
    };
    ASSERT_TRUE(WaitFor([&] { return seen100() && sink.DeliveryCount() >= 20; }));
    thread->Stop();
    unsigned blurred = 0;
    for (const auto& d : sink.Deliveries()) {
        const uint16_t x = devsim::BlankRegionX(d.frameNumber);
        Bitmap expected(320, 240);
        for (uint32_t r = 0; r < 240; ++r)
            for (uint32_t c = x; c < 320; ++c)
                expected.SetPixelColour(c, r, 0);
        if (d.pictureFlags & 1) {
            MarkBlur(expected);
            ++blurred;
        }
        EXPECT_EQ(d.picture, expected) << "frame " << d.frameNumber << " x " << x;
        if (x == 100) {
            EXPECT_EQ(d.picture.GetPixelColour(99, 200), 0xFFFFFFu);
            EXPECT_EQ(d.picture.GetPixelColour(100, 200), 0u);
        }
    }
    EXPECT_GT(blurred, 0u);
}

// Cuts the recorded byte stream into messages and returns the H.264 units
// with their frame numbers (the test reads the wire format by itself).
std::vector<std::pair<uint32_t, EncodedUnit>> UnitsOf(const std::vector<uint8_t>& bytes) {
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    std::vector<std::pair<uint32_t, EncodedUnit>> units;
    size_t at = 0;
    while (at + 64 <= bytes.size()) {
        const uint32_t headerLength = u32(at), frame = u32(at + 4), payload = u32(at + 12);
        const uint8_t kind = bytes[at + 8], format = bytes[at + 24];
        if (at + headerLength + payload > bytes.size())
            break;
        if (kind == 1 && format == 3) {
            const size_t p = at + headerLength;
            EncodedUnit unit;
            unit.keyFrame = (u32(p) & 1) != 0;
            unit.data.assign(bytes.begin() + long(p + 8), bytes.begin() + long(p + 8 + u32(p + 4)));
            units.push_back({frame, std::move(unit)});
        }
        at += headerLength + payload;
    }
    return units;
}

TEST_F(LiveDevice, H264PicturesEqualAnIndependentDecodeOfTheSameUnits) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::H264};
    o.fps = 30;
    o.keyFrameInterval = 10;
    o.blurEvery = 7;
    StartDevice(o);
    RecordingProxy proxy(device->LivePort());
    StartThread(proxy.Port());
    ASSERT_TRUE(WaitFor([&] { return sink.DeliveryCount() >= 30; }));
    thread->Stop();
    const auto deliveries = sink.Deliveries();
    const auto units = UnitsOf(proxy.Received());
    ASSERT_FALSE(units.empty());
    ASSERT_TRUE(units[0].second.keyFrame); // the simulator starts each connection with a key frame
    std::vector<EncodedUnit> plain;
    for (const auto& u : units)
        plain.push_back(u.second);
    const auto expected = IndependentDecode(plain);
    ASSERT_GE(expected.size(), deliveries.size());
    for (size_t i = 0; i < deliveries.size(); ++i) {
        Bitmap want = expected[i];
        if (deliveries[i].pictureFlags & 1)
            MarkBlur(want);
        ASSERT_TRUE(deliveries[i].picture == want) << "picture " << i;
        EXPECT_EQ(deliveries[i].frameNumber, units[i].first);
    }
    // And the pictures show the simulator's pattern, up to coding loss.
    for (const auto& d : deliveries) {
        uint64_t error = 0;
        for (uint32_t y = 24; y < 240; y += 3)
            for (uint32_t x = 0; x < 320; x += 3) {
                const int want = devsim::PatternGrey(x, y, 320, 240, d.frameNumber);
                const int got = int(d.picture.GetPixelColour(x, y) & 0xFF);
                error += uint64_t(std::abs(want - got));
            }
        EXPECT_LT(error / (72 * 107), 6u) << "frame " << d.frameNumber;
    }
}

TEST_F(LiveDevice, RepliesCarryTheViewerStateAndTracesReachTheTuningWindow) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::Grey180};
    o.fps = 30;
    StartDevice(o);
    options.a = false;
    options.b = false;
    options.zoom = 2;
    mask.Open();
    mask.SetMask(0x123456);
    tuning.Select(0, 3);
    tuning.RequestOnce();
    StartThread(device->LivePort());
    ASSERT_TRUE(WaitFor([&] { return tuning.Traces().size() >= 2 && device->LiveReplies().size() >= 6; }));
    thread->Stop();
    const auto expected = devsim::TuningTraceValues(0, 3);
    for (const auto& t : tuning.Traces())
        EXPECT_TRUE(std::equal(t.begin(), t.end(), expected.begin()));
    unsigned once = 0;
    for (const auto& r : device->LiveReplies()) {
        EXPECT_EQ(r.options & ~0x08, 0x01 | 0x02 | 0x04 | 0x10 | 0x20 | 0x40);
        once += (r.options & 0x08) != 0;
        EXPECT_EQ(r.mask, 0x123456u);
        EXPECT_EQ(r.tuningCamera, 0);
        EXPECT_EQ(r.tuningDetector, 3);
        for (int i = 22; i < 64; ++i)
            ASSERT_EQ(r.raw[size_t(i)], 0) << i;
    }
    EXPECT_EQ(once, 1u);
}

TEST_F(LiveDevice, StalledDeviceTimesOutAfterTenSecondsAndIsReconnected) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::Grey320};
    o.fps = 30;
    o.faults.liveFault = devsim::LiveFault::Stall;
    o.faults.liveFaultAfter = 3;
    StartDevice(o);
    StartThread(device->LivePort()); // the real 10-s read time-out
    ASSERT_TRUE(WaitFor([&] { return device->LiveConnections() >= 2 && sink.DeliveryCount() >= 6; }, 25000));
    EXPECT_GE(sink.ResetCount(), 1u);
}

TEST_F(LiveDevice, BrokenStreamsEndOnlyTheConnection) {
    for (auto fault : {devsim::LiveFault::Close, devsim::LiveFault::ShortHeader,
                       devsim::LiveFault::OversizedUnit, devsim::LiveFault::RandomBytes}) {
        SCOPED_TRACE(int(fault));
        devsim::Options o;
        o.formats = {devsim::CameraFormat::H264};
        o.fps = 30;
        o.faults.liveFault = fault;
        o.faults.liveFaultAfter = 4;
        StartDevice(o);
        const unsigned resets = sink.ResetCount();
        StartThread(device->LivePort(), 2000);
        ASSERT_TRUE(WaitFor([&] { return device->LiveConnections() >= 2 && sink.ResetCount() > resets; }));
        thread->Stop();
        thread.reset();
        device->Stop();
        // At most the four good messages and the fault got answers per
        // connection; the broken ones (short header, oversized unit) none.
        if (fault == devsim::LiveFault::ShortHeader || fault == devsim::LiveFault::OversizedUnit) {
            const auto replies = device->LiveReplies();
            const auto messages = device->LiveMessages();
            for (const auto& r : replies)
                EXPECT_NE(std::find_if(messages.begin(), messages.end(),
                                       [&](const auto& m) { return m.frameNumber == r.frameNumber; }),
                          messages.end())
                    << "reply to a message that was not a good one: " << r.frameNumber;
        }
        device.reset();
    }
}

TEST_F(LiveDevice, APeerThatNeverStopsSendingNeitherHoldsTheThreadNorItsStop) {
    for (auto fault : {devsim::LiveFault::EndlessPayload, devsim::LiveFault::EndlessHeader}) {
        SCOPED_TRACE(int(fault));
        devsim::Options o;
        o.formats = {devsim::CameraFormat::Grey180};
        o.fps = 30;
        o.faults.liveFault = fault;
        o.faults.liveFaultAfter = 2;
        StartDevice(o);
        StartThread(device->LivePort());
        // The endless message ends its connection at once; the next one
        // delivers pictures again.
        ASSERT_TRUE(WaitFor([&] { return device->LiveConnections() >= 2 && sink.DeliveryCount() >= 3; }));
        // A stop in the middle of the endless message ends the thread.
        ASSERT_TRUE(WaitFor([&] { return device->LiveConnections() >= 3; }));
        const auto start = std::chrono::steady_clock::now();
        thread->Stop();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        // Not a speed measurement: a stop that waited for the peer would
        // wait for ever.
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
        thread.reset();
        device->Stop();
        device.reset();
    }
}

TEST_F(LiveDevice, ChangedTargetEndsTheConnectionAtTheNextMessage) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::Grey180};
    o.fps = 30;
    StartDevice(o);
    StartThread(device->LivePort());
    ASSERT_TRUE(WaitFor([&] { return sink.DeliveryCount() >= 3; }));
    target.address = 0x0200007F; // 127.0.0.2: nothing listens there
    ASSERT_TRUE(WaitFor([&] { return sink.ResetCount() >= 1; }));
    const size_t delivered = sink.DeliveryCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.DeliveryCount(), delivered);
    EXPECT_EQ(device->LiveConnections(), 1u);
    target.address = kLoopback;
    EXPECT_TRUE(WaitFor([&] { return device->LiveConnections() >= 2 && sink.DeliveryCount() > delivered; }));
}

TEST_F(LiveDevice, LongHeaderAndMismatchedPayload) {
    // The simulator sends one hand-made message among its own pictures.
    auto runWith = [&](const std::vector<uint8_t>& message, uint32_t frame) {
        devsim::Options o;
        o.formats = {devsim::CameraFormat::Grey180};
        o.fps = 30;
        o.faults.liveFault = devsim::LiveFault::Raw;
        o.faults.liveFaultAfter = 2;
        o.faults.liveRaw.assign(message.begin(), message.end());
        StartDevice(o);
        StartThread(device->LivePort());
        auto answered = [&] {
            for (const auto& r : device->LiveReplies())
                if (r.frameNumber == frame)
                    return true;
            return false;
        };
        ASSERT_TRUE(WaitFor(answered));
        // The stream goes on after the hand-made message.
        const size_t after = sink.DeliveryCount();
        ASSERT_TRUE(WaitFor([&] { return sink.DeliveryCount() >= after + 2; }));
        EXPECT_EQ(device->LiveConnections(), 1u);
        thread->Stop();
        thread.reset();
        device->Stop();
        device.reset();
    };

    // A 100-byte header: the 36 bytes beyond the known 64 are skipped and the
    // picture after them arrives whole.
    auto longHeader = Picture(kFormatGrey, 180, 144, 0, 7001);
    longHeader.headerLength = 100;
    runWith(Message(longHeader, std::vector<uint8_t>(25920, 9)), 7001);
    bool seen = false;
    for (const auto& d : sink.Deliveries())
        if (d.frameNumber == 7001) {
            seen = true;
            EXPECT_EQ(d.picture.GetPixelColour(0, 0), 9 * 0x010101u);
            EXPECT_EQ(d.picture.GetPixelColour(d.picture.Width() - 1, d.picture.Height() - 1), 9 * 0x010101u);
        }
    EXPECT_TRUE(seen);

    // A grey 320 x 240 picture with a 180 x 144 payload matches no format:
    // it is consumed and answered, and nothing is shown for it.
    runWith(Message(Picture(kFormatGrey, 320, 240, 0, 7002), std::vector<uint8_t>(25920, 9)), 7002);
    for (const auto& h : sink.Headers())
        EXPECT_NE(h.frameNumber, 7002u);
}

#ifdef KORVEX_CLI_PATH
TEST_F(LiveDevice, CommandLineWritesOneHundredH264PicturesOfThePattern) {
    devsim::Options o;
    o.formats = {devsim::CameraFormat::H264};
    o.fps = 60;
    StartDevice(o);
    const fs::path out = root / "pictures";
    const std::string command = std::string(KORVEX_CLI_PATH) + " live --host 127.0.0.1 --port " +
                                std::to_string(device->LivePort()) + " --frames 100 --tune 0:3 --out " +
                                out.string() + " > " + (root / "stdout.txt").string() + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(out))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 100u);
    for (int n : {0, 57, 99}) {
        char name[32];
        std::snprintf(name, sizeof name, "cam0-%06d.bmp", n);
        std::ifstream in(out / name, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Bitmap b(320, 240);
        b.LoadBmp(bytes.data(), bytes.size());
        // Quadrant centres, away from the moving marker (rows 8-23).
        const std::pair<uint32_t, uint32_t> points[] = {{80, 60}, {240, 60}, {80, 180}, {240, 180}};
        const int grey[] = {48, 96, 160, 208};
        for (int q = 0; q < 4; ++q) {
            const int got = int(b.GetPixelColour(points[q].first, points[q].second) & 0xFF);
            EXPECT_NEAR(got, grey[q], 8) << name << " quadrant " << q;
        }
    }
    std::ifstream report(root / "stdout.txt");
    std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("camera 0: 100 pictures, formats: h264 320x240"), std::string::npos) << text;
    // The trace the simulator sends for detector 3 of camera 0, all 250 values.
    std::string trace = "trace camera 0 detector 3:";
    for (uint16_t v : devsim::TuningTraceValues(0, 3))
        trace += " " + std::to_string(v);
    EXPECT_NE(text.find(trace + "\n"), std::string::npos) << text;
}

// A device that sends only malformed messages: every reconnection line says
// why the connection before it ended, and a run without a picture fails.
TEST_F(LiveDevice, CommandLineSaysWhyEachConnectionEndedAndFailsWithoutPictures) {
    devsim::Options o;
    o.faults.liveFault = devsim::LiveFault::ShortHeader;
    o.faults.liveFaultAfter = 0;
    StartDevice(o);
    const std::string command = std::string(KORVEX_CLI_PATH) + " live --host 127.0.0.1 --port " +
                                std::to_string(device->LivePort()) + " --seconds 3 > " +
                                (root / "stdout.txt").string() + " 2> " + (root / "stderr.txt").string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(root / "stderr.txt");
    const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(err.find("(attempt 1)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("(attempt 2; the last connection ended: malformed message: header length 8)\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("no picture was delivered"), std::string::npos) << err;
}
#endif

} // namespace
} // namespace korvex

#include "live/LiveThread.h"

#include "framework/Trace.h"
#include "live/FakeLiveServer.h"
#include "live/LiveTestSupport.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace korvex {
namespace {

using namespace korvex::test;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 10000) {
    return WaitUntil(condition, std::chrono::milliseconds(timeout_ms));
}

std::vector<uint8_t> GreyMessage(uint32_t frame, uint8_t camera = 0) {
    return Message(Picture(kFormatGrey, 180, 144, camera, frame), std::vector<uint8_t>(25920, uint8_t(frame)));
}

struct ThreadFixture : ::testing::Test {
    RecordingSink sink;
    FixedTarget target;
    FixedOptions options;
    OptionMaskState mask;
    RecordingTuning tuning;
    LiveThreadSettings Settings(uint16_t port) {
        LiveThreadSettings s;
        s.port = port;
        s.connectPause_ms = 50;
        s.readTimeout_ms = 400;
        return s;
    }
};

using LiveThreadLoopback = ThreadFixture;

TEST_F(LiveThreadLoopback, NoTargetMeansNoConnection) {
    FakeLiveServer server([](int, unsigned) {});
    LiveThread thread(sink, target, options, mask, tuning, Settings(server.Port()));
    thread.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    thread.Stop();
    EXPECT_EQ(thread.ConnectionCount(), 0u);
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST_F(LiveThreadLoopback, AnswersEveryMessageAndResetsAfterPeerCloses) {
    std::vector<std::vector<uint8_t>> replies;
    std::mutex lock;
    FakeLiveServer server([&](int fd, unsigned connection) {
        if (connection > 0)
            return;  // later connections are closed at once
        for (uint32_t frame = 1; frame <= 3; ++frame) {
            ASSERT_TRUE(FakeLiveServer::Write(fd, GreyMessage(frame)));
            std::vector<uint8_t> reply(64);
            ASSERT_TRUE(server.Read(fd, reply.data(), 64));
            std::lock_guard<std::mutex> g(lock);
            replies.push_back(reply);
        }
    });
    std::vector<std::string> traces;
    std::mutex traceLock;
    auto old = SetTraceSink([&](const std::string& line) {
        std::lock_guard<std::mutex> g(traceLock);
        traces.push_back(line);
    });
    target.address = kLoopback;
    LiveThread thread(sink, target, options, mask, tuning, Settings(server.Port()));
    thread.Start();
    EXPECT_TRUE(WaitFor([&] { return server.Accepted() >= 2 && sink.ResetCount() >= 1; }));
    thread.Stop();
    SetTraceSink(old);
    ASSERT_EQ(replies.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(replies[i][4], i + 1);
        EXPECT_EQ(replies[i][16], 0x90);
    }
    EXPECT_EQ(sink.DeliveryCount(), 3u);
    std::lock_guard<std::mutex> g(traceLock);
    EXPECT_NE(std::find(traces.begin(), traces.end(), "LiveThread::Run: Opening connection with 127.0.0.1\n"), traces.end());
    EXPECT_NE(std::find(traces.begin(), traces.end(), "LiveThread::Run: Closing connection\n"), traces.end());
}

TEST_F(LiveThreadLoopback, SilentDeviceIsDroppedAfterTheTimeoutAndReconnected) {
    std::atomic<int> closedByClient{0};
    FakeLiveServer server([&](int fd, unsigned) {
        // Accept and never send: the client must give up by itself.
        if (FakeLiveServer::WaitClosed(fd, 5000))
            closedByClient.fetch_add(1);
    });
    target.address = kLoopback;
    LiveThread thread(sink, target, options, mask, tuning, Settings(server.Port()));
    thread.Start();
    EXPECT_TRUE(WaitFor([&] { return closedByClient.load() >= 2; }));
    thread.Stop();
    EXPECT_GE(server.Accepted(), 2u);
    EXPECT_GE(sink.ResetCount(), 2u);
}

TEST_F(LiveThreadLoopback, ChangedTargetEndsTheConnectionAtTheNextMessage) {
    std::atomic<bool> closed{false};
    std::atomic<unsigned> answered{0};
    FakeLiveServer server([&](int fd, unsigned connection) {
        if (connection > 0)
            return;
        for (uint32_t frame = 1; !server.Stopping(); ++frame) {
            if (!FakeLiveServer::Write(fd, GreyMessage(frame)))
                break;
            uint8_t reply[64];
            if (!server.Read(fd, reply, 64, 2000)) {
                closed = true;
                break;
            }
            answered.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    target.address = kLoopback;
    LiveThread thread(sink, target, options, mask, tuning, Settings(server.Port()));
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return answered.load() >= 3; }));
    target.address = 0x0200007F;  // 127.0.0.2: nobody listens there
    EXPECT_TRUE(WaitFor([&] { return closed.load(); }));
    EXPECT_TRUE(WaitFor([&] { return sink.ResetCount() >= 1; }));
    thread.Stop();
    EXPECT_EQ(server.Accepted(), 1u);
}

// The cases the simulator cannot produce, through the real socket path.
TEST_F(LiveThreadLoopback, ScriptedStreamOverLoopback) {
    std::vector<uint8_t> script;
    auto longHeader = Picture(kFormatGrey, 180, 144, 0, 1);
    longHeader.headerLength = 100;
    Append(script, Message(longHeader, std::vector<uint8_t>(25920, 9)));
    Append(script, Message(Picture(kFormatGrey, 320, 240, 0, 2), std::vector<uint8_t>(25920, 9)));  // no row
    std::vector<uint8_t> unit(300, 0);
    unit[3] = 1;
    unit[4] = 0x09;  // an access unit delimiter and zeros: decodes to nothing
    Append(script, Message(Picture(kFormatH264, 320, 240, 1, 3), H264Payload(unit, true)));  // unitLength = payload - 8
    auto tooLong = Message(Picture(kFormatH264, 320, 240, 1, 4), H264Payload(unit, false));
    const uint32_t length = uint32_t(unit.size()) + 1;
    for (int i = 0; i < 4; ++i)
        tooLong[64 + 4 + size_t(i)] = uint8_t(length >> (8 * i));
    Append(script, tooLong);
    std::vector<uint32_t> answered;
    std::atomic<bool> closedAfter{false};
    FakeLiveServer server([&](int fd, unsigned connection) {
        if (connection > 0)
            return;
        ASSERT_TRUE(FakeLiveServer::Write(fd, script));
        uint8_t reply[64];
        while (server.Read(fd, reply, 64, 3000))
            answered.push_back(uint32_t(reply[4]));
        closedAfter = true;
    });
    target.address = kLoopback;
    LiveThread thread(sink, target, options, mask, tuning, Settings(server.Port()));
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return closedAfter.load() && sink.ResetCount() >= 1; }));
    thread.Stop();
    EXPECT_EQ(answered, (std::vector<uint32_t>{1, 2, 3}));
    auto d = sink.Deliveries();
    ASSERT_EQ(d.size(), 1u);  // the long-header picture; the unit decoded to nothing
    EXPECT_EQ(d[0].picture.GetPixelColour(0, 0), 9 * 0x010101u);
    auto headers = sink.Headers();
    ASSERT_EQ(headers.size(), 2u);  // the grey picture and the accepted H.264 unit
    EXPECT_EQ(headers[1].frameNumber, 3u);
}

TEST_F(LiveThreadLoopback, StopEndsABlockedReadPromptly) {
    FakeLiveServer server([&](int fd, unsigned) { FakeLiveServer::WaitClosed(fd, 5000); });
    target.address = kLoopback;
    LiveThreadSettings s = Settings(server.Port());
    s.readTimeout_ms = 60000;  // only the stop request can end the wait
    LiveThread thread(sink, target, options, mask, tuning, s);
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return server.Accepted() >= 1; }));
    thread.Stop();  // returns: the test would time out otherwise
    EXPECT_EQ(sink.ResetCount(), 1u);
}

} // namespace
} // namespace korvex

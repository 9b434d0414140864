// The live half of the session end to end against the demo device on
// loopback: four cameras on the page, option-mask bits and the tuning
// selection in the replies, traces into the tuning window, and a bounded
// stop while the device has stalled.
#include "AppTestSupport.h"

#include "app/device/OptionMaskDialog.h"
#include "app/live/LiveView.h"
#include "app/session/LivePart.h"
#include "app/tuning/TuningFrame.h"
#include "devsim/DeviceSimulator.h"
#include "model/Detector.h"
#include "support/FreePort.h"

#include <QCheckBox>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <chrono>
#include <functional>

namespace korvex::test {
namespace {

class LiveDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        LiveThreadSettings settings;
        settings.connectPause_ms = 100;
        part = std::make_unique<LivePart>(target, settings);
        part->ViewSink().Attach(&view);
        view.Attach(&part->Core());
        part->StartDemo(FreeUdpPort(), false);
        target.store(DemoDevice::Address());
        part->Start();
    }
    void TearDown() override {
        part->Stop();
        part->StopDemo();
        view.Attach(nullptr);
        part.reset();
    }
    devsim::DeviceSimulator& Device() { return *part->Demo().Simulator(); }
    // Runs the event loop until `condition` holds, at most `timeout_ms`.
    static bool Until(const std::function<bool()>& condition, int timeout_ms = 15000) {
        QElapsedTimer t;
        t.start();
        while (!condition()) {
            if (t.elapsed() > timeout_ms)
                return false;
            QTest::qWait(10);
        }
        return true;
    }
    bool LastReply(const std::function<bool(const devsim::LiveReplyRecord&)>& test) {
        auto replies = Device().LiveReplies();
        return !replies.empty() && test(replies.back());
    }
    bool HasPicture(unsigned camera) {
        bool have = false;
        part->Core().WithPicture(camera, [&](const Bitmap& b) {
            // A delivered picture is not all white.
            for (size_t i = 0; i < b.Data().size() && !have; i += 97)
                have = b.Data()[i] != 255;
        });
        return have;
    }

    std::atomic<uint32_t> target{0};
    std::unique_ptr<LivePart> part;
    LiveView view;
};

TEST_F(LiveDemoTest, FourCamerasOfThreeFormatsReachThePage) {
    ASSERT_TRUE(Until([&] { return part->Core().Layout().cameraCount == 4; }));
    ASSERT_TRUE(Until([&] { return HasPicture(0) && HasPicture(1) && HasPicture(2) && HasPicture(3); }));
    const LiveLayout layout = part->Core().Layout();
    EXPECT_EQ(layout.cameraWidth, 320);
    part->Core().WithPicture(1, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 180u); });
    part->Core().WithPicture(3, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 320u); });  // H.264, centre window
    EXPECT_EQ(view.size(), QSize(2 * 320 + 32, (240 + 16) * 2));
    // The demo device is also in the discovery's announcements.
    EXPECT_GT(Device().AnnouncementsSent(), 0u);
}

TEST_F(LiveDemoTest, OptionMaskBitsTravelOnlyWhileTheDialogIsOpen) {
    ASSERT_TRUE(Until([&] { return !Device().LiveReplies().empty(); }));
    EXPECT_TRUE(LastReply([](auto& r) { return (r.options & 0x02) == 0 && r.mask == 0; }));
    {
        OptionMaskDialog dialog(part->Mask());
        dialog.show();
        QTest::mouseClick(dialog.Box(1050), Qt::LeftButton);
        QTest::mouseClick(dialog.Box(1065), Qt::LeftButton);
        const uint32_t want = 1u << 2 | 1u << 17;
        EXPECT_TRUE(Until([&] { return LastReply([&](auto& r) { return (r.options & 0x02) && r.mask == want; }); }));
        QTest::mouseClick(dialog.Box(1050), Qt::LeftButton);
        EXPECT_TRUE(Until([&] { return LastReply([](auto& r) { return r.mask == 1u << 17; }); }));
        dialog.reject();
        EXPECT_FALSE(part->Mask().MaskDialogOpen());
    }
    EXPECT_TRUE(Until([&] { return LastReply([](auto& r) { return (r.options & 0x02) == 0 && r.mask == 0; }); }));
}

TEST_F(LiveDemoTest, TuningSelectionAndTraceRoundTrip) {
    TuningFrame tuning;
    tuning.SetSelection(&part->Tuning());
    QObject::connect(&part->Tuning(), &TuningSink::TraceReady, &tuning, [&] {
        if (auto c = part->Tuning().Take())
            tuning.SetCurve(*c);
    });
    Detector d;
    d.card = 2;
    d.number = 3;
    tuning.ShowDetector(&d);
    ASSERT_TRUE(Until([&] {
        return LastReply([](auto& r) { return (r.options & 0x04) && r.tuningCamera == 2 && r.tuningDetector == 2; });
    }));
    // The device answers with the trace of that camera and detector.
    uint32_t want = 0;
    for (uint16_t v : devsim::TuningTraceValues(2, 2))
        want += v;
    ASSERT_TRUE(Until([&] { return tuning.View().Curve().Total() == want; }));

    // The request button's flag goes out in exactly one reply.
    Device().ClearLogs();
    QTest::mouseClick(&tuning.RequestButton(), Qt::LeftButton);
    ASSERT_TRUE(Until([&] { return Device().LiveReplies().size() > 40; }));
    int flagged = 0;
    for (const auto& r : Device().LiveReplies())
        flagged += (r.options & 0x08) ? 1 : 0;
    EXPECT_EQ(flagged, 1);
}

TEST_F(LiveDemoTest, StopEndsPromptlyWhileTheDeviceStalls) {
    ASSERT_TRUE(Until([&] { return part->Core().Layout().cameraCount == 4; }));
    devsim::FaultOptions faults;
    faults.liveFault = devsim::LiveFault::Stall;
    faults.liveFaultAfter = 0;
    Device().SetFaults(faults);
    // Reconnect so that the stall strikes this connection at once.
    target.store(0);
    ASSERT_TRUE(Until([&] { return part->Core().Layout().cameraCount == 0; }));
    const unsigned connections = Device().LiveConnections();
    target.store(DemoDevice::Address());
    ASSERT_TRUE(Until([&] { return Device().LiveConnections() > connections; }));
    QTest::qWait(200);  // the thread now waits for bytes that never come
    const auto start = std::chrono::steady_clock::now();
    part->Stop();
    part->StopDemo();
    const auto took = std::chrono::steady_clock::now() - start;
    // A hang guard, not a speed measure: the reads wait in short slices
    // that look at the stop request.
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(part->Demo().Running());
}

} // namespace
} // namespace korvex::test

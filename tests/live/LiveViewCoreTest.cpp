#include "live/LiveViewCore.h"

#include "framework/Trace.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvex {
namespace {

class FakeHost : public LiveViewHost {
public:
    void Invalidate(bool erase) override { (erase ? erases : repaints)++; }
    void SetContentSize(int w, int h) override { sizes.push_back({w, h}); }
    int erases = 0, repaints = 0;
    std::vector<std::pair<int, int>> sizes;
};

struct Fixture : ::testing::Test {
    uint64_t now = 1000000;
    FakeHost host;
    LiveViewCore view{host, [this] { return now; }};

    // A picture whose first byte tells it apart.
    static Bitmap Tagged(uint8_t tag, uint32_t w = 320, uint32_t h = 240) {
        Bitmap b(w, h);
        b.Data()[0] = tag;
        return b;
    }
    uint8_t Shown(unsigned camera) const {
        uint8_t tag = 0;
        view.WithPicture(camera, [&](const Bitmap& b) { tag = b.Empty() ? 0 : b.Data()[0]; });
        return tag;
    }
    void Header(uint8_t camera, uint16_t w = 320, uint16_t h = 240) {
        PictureHeader header;
        header.camera = camera;
        header.width = w;
        header.height = h;
        view.OnFrameHeader(header);
    }
};

using LivePacing = Fixture;
using LiveLayoutTest = Fixture;

TEST_F(LivePacing, SecondPictureThirtyMsLaterWaitsForTheTimer) {
    view.Deliver(0, Tagged(1));
    EXPECT_EQ(Shown(0), 1);
    EXPECT_EQ(view.LastShown(0), 1000000u);
    now += 30;
    view.Deliver(0, Tagged(2));
    EXPECT_EQ(Shown(0), 1);
    EXPECT_EQ(view.PendingCount(0), 1u);
    // Timer ticks every 25 ms: nothing before 100 ms after the first.
    for (int t = 0; t < 2; ++t) {
        now += 25;
        EXPECT_FALSE(view.OnTimer()) << now;
    }
    now = 1000000 + 99;
    EXPECT_FALSE(view.OnTimer());
    now = 1000000 + 100;
    EXPECT_TRUE(view.OnTimer());
    EXPECT_EQ(Shown(0), 2);
    EXPECT_EQ(view.LastShown(0), 1000100u);
    EXPECT_EQ(view.PendingCount(0), 0u);
}

// A camera sending `fps` pictures a second for `seconds`, the view's timer
// ticking every 25 ms: the delay of every picture from its arrival to the
// moment the slot takes it, and the number never shown.
struct PacingRun {
    std::vector<uint64_t> delays;
    size_t arrived = 0;
    size_t neverShown = 0;
    size_t longestQueue = 0;
};
PacingRun RunCamera(LiveViewCore& view, uint64_t& now, unsigned fps, unsigned seconds) {
    PacingRun run;
    std::vector<uint64_t> arrived;
    uint16_t shown = 0xFFFF;
    auto note = [&] {
        view.WithPicture(0, [&](const Bitmap& b) {
            const uint16_t tag = uint16_t(b.Data()[0] | b.Data()[1] << 8);
            if (tag != shown && tag < arrived.size())
                run.delays.push_back(now - arrived[tag]);
            shown = tag;
        });
    };
    const uint64_t start = now, end = now + seconds * 1000ull;
    uint64_t nextPicture = start, nextTick = start + 25;
    while (now < end) {
        now = std::min(nextPicture, nextTick);
        if (now == nextPicture) {
            Bitmap b(4, 1);
            b.Data()[0] = uint8_t(arrived.size());
            b.Data()[1] = uint8_t(arrived.size() >> 8);
            arrived.push_back(now);
            view.Deliver(0, std::move(b));
            nextPicture = start + arrived.size() * 1000 / fps;
            note();
        }
        if (now == nextTick) {
            view.OnTimer();
            nextTick += 25;
            note();
        }
        run.longestQueue = std::max(run.longestQueue, view.PendingCount(0));
    }
    run.arrived = arrived.size();
    run.neverShown = arrived.size() - run.delays.size() - view.PendingCount(0);
    std::sort(run.delays.begin(), run.delays.end());
    return run;
}

TEST_F(LivePacing, AFastCameraIsShownNowNotSecondsLate) {
    const PacingRun run = RunCamera(view, now, 25, 20);
    ASSERT_FALSE(run.delays.empty());
    // Ten a second are shown, evenly, and what is shown is recent.
    EXPECT_GE(run.delays.size(), 195u);
    EXPECT_LE(run.delays[run.delays.size() / 2], LiveViewCore::kInterval_ms);
    EXPECT_LE(run.delays.back(), 2 * LiveViewCore::kInterval_ms);
    EXPECT_LE(run.longestQueue, LiveViewCore::kMaxPending);
    // Every picture not shown was dropped, and counted.
    EXPECT_EQ(view.DroppedCount(), run.neverShown);
    EXPECT_GT(run.neverShown, 250u);
}

TEST_F(LivePacing, ASlowCameraLosesNothingAndWaitsLessThanAnInterval) {
    const PacingRun run = RunCamera(view, now, 8, 10);
    EXPECT_GE(run.arrived, 80u);
    EXPECT_EQ(run.delays.size(), run.arrived);
    EXPECT_EQ(view.DroppedCount(), 0u);
    EXPECT_LT(run.delays.back(), LiveViewCore::kInterval_ms);
}

TEST_F(LivePacing, ABurstLeavesTheNewestNextInLine) {
    view.Deliver(0, Tagged(250));
    for (int i = 0; i < 60; ++i)
        view.Deliver(0, Tagged(uint8_t(i)));
    EXPECT_LE(view.PendingCount(0), LiveViewCore::kMaxPending);
    EXPECT_EQ(view.DroppedCount() + view.PendingCount(0), 60u);
    // The newest of the burst is shown within two intervals, nothing older
    // after it.
    std::vector<uint8_t> seen;
    for (int tick = 0; tick < 8; ++tick) {
        now += 25;
        if (view.OnTimer())
            seen.push_back(Shown(0));
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 59);
    EXPECT_EQ(view.PendingCount(0), 0u);
}

TEST_F(LivePacing, CamerasArePacedIndependentlyAndTimerInvalidatesOnce) {
    view.Deliver(0, Tagged(1));
    view.Deliver(5, Tagged(2));
    now += 10;
    view.Deliver(0, Tagged(3));
    view.Deliver(5, Tagged(4));
    const int before = host.repaints;
    now += 90;
    EXPECT_TRUE(view.OnTimer());
    EXPECT_EQ(host.repaints, before + 1);
    EXPECT_EQ(Shown(0), 3);
    EXPECT_EQ(Shown(5), 4);
}

TEST_F(LivePacing, PicturesNoLongerShownAreHandedOutAgain) {
    view.Deliver(0, Tagged(1));
    now += 100;
    view.Deliver(0, Tagged(2));  // replaces picture 1
    Bitmap again = view.NewPicture(320, 240);
    EXPECT_EQ(again.Data()[0], 1);
    EXPECT_EQ(Shown(0), 2);
    // Another size is allocated fresh; nothing is left to hand out twice.
    EXPECT_EQ(view.NewPicture(180, 144).GetPixelColour(0, 0), 0xFFFFFFu);
    EXPECT_EQ(view.NewPicture(320, 240).Data()[0], 0xFF);
}

TEST_F(LiveLayoutTest, FirstPictureOfCameraThreeCreatesFourWhiteSlots) {
    Header(3);
    const LiveLayout l = view.Layout();
    EXPECT_EQ(l.cameraCount, 4u);
    EXPECT_EQ(l.cameraWidth, 320);
    EXPECT_EQ(l.cameraHeight, 240);
    for (unsigned i = 0; i < 4; ++i)
        view.WithPicture(i, [](const Bitmap& b) {
            EXPECT_EQ(b.Width(), 320u);
            EXPECT_EQ(b.Height(), 240u);
            EXPECT_EQ(b.GetPixelColour(100, 100), 0xFFFFFFu);
        });
    view.WithPicture(4, [](const Bitmap& b) { EXPECT_TRUE(b.Empty()); });
    ASSERT_FALSE(host.sizes.empty());
    // Two cells wide, two rows high.
    EXPECT_EQ(host.sizes.back(), (std::pair{2 * 320 + 32, (240 + 16) * 2}));
}

TEST_F(LiveLayoutTest, SmallerPicturesResizeEveryKnownSlotKeepingBytes) {
    Header(1);
    view.Deliver(0, Tagged(7));
    Header(0, 180, 144);
    EXPECT_EQ(view.Layout().cameraWidth, 180);
    view.WithPicture(0, [](const Bitmap& b) {
        EXPECT_EQ(b.Width(), 180u);
        EXPECT_EQ(b.Data().size(), 180u * 144 * 3);
        EXPECT_EQ(b.Data()[0], 7);  // existing bytes kept
    });
    view.WithPicture(1, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 180u); });
    EXPECT_EQ(host.sizes.back(), (std::pair{2 * 180 + 32, 144 + 16}));
    // Growing again fills the new bytes with 255.
    Header(0, 320, 240);
    view.WithPicture(1, [](const Bitmap& b) { EXPECT_EQ(b.Data().back(), 255); });
}

TEST_F(LiveLayoutTest, ResetEmptiesTheViewButKeepsQueues) {
    Header(2);
    view.Deliver(2, Tagged(1));
    view.Deliver(2, Tagged(2));
    const int erases = host.erases;
    view.ResetCameras();
    EXPECT_EQ(view.Layout().cameraCount, 0u);
    view.WithPicture(2, [](const Bitmap& b) { EXPECT_TRUE(b.Empty()); });
    EXPECT_EQ(view.PendingCount(2), 1u);
    EXPECT_EQ(host.sizes.back(), (std::pair{2 * 320 + 32, 0}));
    EXPECT_GE(host.erases, erases + 1);
    // The timer still moves the queued picture into the undrawn slot.
    now += 100;
    EXPECT_TRUE(view.OnTimer());
    EXPECT_EQ(Shown(2), 2);
}

TEST_F(LiveLayoutTest, DoubleClickZoomsTheCameraUnderThePointAndBack) {
    Header(3);
    view.ZoomIn();  // scale 2
    std::vector<std::string> traces;
    auto old = SetTraceSink([&](const std::string& line) { traces.push_back(line); });
    // Camera 1 at scale 2: x = 2 * 320 + 17, y = 1; its cell ends inclusive.
    view.OnDoubleClick(2 * 320 + 17 + 2 * 320, 1 + 2 * 240);
    SetTraceSink(old);
    EXPECT_EQ(view.ZoomCamera(), 1);
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.back(), "LiveView::LeftMouseDblClk: zooming camera 1\n");
    LiveLayout l = view.Layout();
    CellGeometry c = LiveViewCore::Cell(l, 1);
    EXPECT_EQ(c.x, 1);
    EXPECT_EQ(c.y, 1);
    EXPECT_EQ(c.magnification, 4);
    EXPECT_EQ(host.sizes.back(), (std::pair{2 * 2 * 320 + 16, 2 * 2 * 240 + 16}));
    view.OnDoubleClick(5000, 5000);
    EXPECT_EQ(view.ZoomCamera(), -1);
    // Outside every cell: the gap between the columns.
    view.OnDoubleClick(2 * 320 + 8, 10);
    EXPECT_EQ(view.ZoomCamera(), -1);
}

TEST_F(LiveLayoutTest, CellGeometryAndZoomLimits) {
    Header(5, 180, 144);
    LiveLayout l = view.Layout();
    EXPECT_EQ(LiveViewCore::Cell(l, 0).x, 1);
    EXPECT_EQ(LiveViewCore::Cell(l, 5).x, 180 + 17);
    EXPECT_EQ(LiveViewCore::Cell(l, 5).y, 2 * (144 + 16) + 1);
    for (int i = 0; i < 10; ++i)
        view.ZoomIn();
    EXPECT_EQ(view.Layout().scale, 6);
    const size_t calls = host.sizes.size();
    view.ZoomIn();
    EXPECT_EQ(host.sizes.size(), calls);  // nothing happens at the limit
    for (int i = 0; i < 10; ++i)
        view.ZoomOut();
    EXPECT_EQ(view.Layout().scale, 1);
    const size_t calls2 = host.sizes.size();
    view.ZoomOut();
    EXPECT_EQ(host.sizes.size(), calls2);
}

TEST_F(LiveLayoutTest, OptionsToggleAndHeadersWithOddWidthsAreIgnored) {
    EXPECT_TRUE(view.ViewOptionA());
    view.ToggleViewOptionA();
    EXPECT_FALSE(view.ViewOptionA());
    view.ToggleViewOptionB();
    EXPECT_FALSE(view.ViewOptionB());
    Header(0, 322, 240);
    EXPECT_EQ(view.Layout().cameraCount, 0u);
}

TEST_F(LiveLayoutTest, CamerasOfSeveralSizesKeepOneLayout) {
    // One round of a device with a 180-wide camera among 320-wide ones.
    auto round = [&] {
        Header(0);
        Header(1, 180, 144);
        Header(2);
        Header(3);
    };
    round();
    const size_t relayouts = host.sizes.size();
    EXPECT_EQ(view.Layout().cameraWidth, 320);
    EXPECT_EQ(view.Layout().cameraCount, 4u);
    for (int i = 0; i < 5; ++i)
        round();
    // Steady pictures of steady sizes: no further layout, and each slot
    // keeps its own camera's size.
    EXPECT_EQ(host.sizes.size(), relayouts);
    view.WithPicture(1, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 180u); });
    view.WithPicture(2, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 320u); });
    // A camera that really changes its size still re-lays out every slot.
    Header(2, 180, 144);
    EXPECT_EQ(view.Layout().cameraWidth, 180);
    EXPECT_GT(host.sizes.size(), relayouts);
    view.WithPicture(0, [](const Bitmap& b) { EXPECT_EQ(b.Width(), 180u); });
}

} // namespace
} // namespace korvex
